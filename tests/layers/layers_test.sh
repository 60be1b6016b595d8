#!/bin/bash
# The layers of src/: each folder includes only its own headers and those of
# the folders below it, and no two files (a header and its .cpp counting as
# one) include each other round a circle. Prints the arrows between folders.
#   layers_test.sh SRC_DIR
set -euo pipefail
src=$1
# From the bottom up; see docs/architecture.md.
layers=(math resources world wire net server console platform client views menu game headless)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

fail=0
arrows=$(mktemp)
units=$(mktemp)
trap 'rm -f "$arrows" "$units"' EXIT
cd "$src"
for file in */*.h */*.cpp; do
    from=${file%%/*}
    if [ -z "${rank[$from]+set}" ]; then
        echo "FAIL: $file is in a folder that is no layer: $from/"
        fail=1
        continue
    fi
    while IFS= read -r target; do
        to=${target%%/*}
        if [ -z "${rank[$to]+set}" ] || [ ! -e "$target" ]; then
            echo "FAIL: $file includes \"$target\", which is no file of a layer"
            fail=1
        elif [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
            echo "FAIL: $file includes \"$target\": $to/ is above $from/"
            fail=1
        fi
        [ "$to" = "$from" ] || echo "$from $to" >>"$arrows"
        [ "${target%.*}" = "${file%.*}" ] || echo "${file%.*} ${target%.*}" >>"$units"
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done
# tsort names a circle on standard error and fails when there is one.
if ! tsort "$units" >/dev/null 2>"$arrows.loop"; then
    echo "FAIL: files include each other round a circle:"
    grep -v '^tsort: -\?[^:]*: input contains a loop:$' "$arrows.loop" | sed 's/^tsort: /  /'
    fail=1
fi
rm -f "$arrows.loop"
echo "arrows between folders: $(sort -u "$arrows" | wc -l)"
[ "$fail" -eq 0 ] && echo "every include runs down, and no files include each other round a circle"
exit "$fail"
