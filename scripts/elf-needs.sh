# shellcheck shell=bash
# Sourced by the package scripts: what the ELF files of a package need of the
# C library and the C++ run time, read from their version needs with
# llvm-readelf (which reads every architecture).

# is_elf FILE: true when FILE is an ELF file.
is_elf() { cmp -s -n 4 "$1" <(printf '\177ELF'); }

# version_needs FILE: the versions FILE needs of its libraries (GLIBC_2.17,
# GLIBCXX_3.4, ...), one a line, each once.
version_needs() {
    llvm-readelf -V "$1" | sed -n '/^Version needs section/,/^$/s/.*Name: \([^ ]*\).*/\1/p' |
        sort -u
}

# highest_glibc FILE: the highest numbered GLIBC_ version FILE needs, as
# 2.17, or "none".
highest_glibc() {
    local v
    v=$(version_needs "$1" | sed -n 's/^GLIBC_\([0-9][0-9.]*\)$/\1/p' | sort -V | tail -n1)
    echo "${v:-none}"
}

# version_above A B: true when version A (2.31, or "none") is above B.
version_above() {
    [ "$1" != none ] && [ "$1" != "$2" ] &&
        [ "$(printf '%s\n%s\n' "$1" "$2" | sort -V | tail -n1)" = "$1" ]
}

# package_floor DIR: the highest GLIBC_ version any ELF file under DIR needs.
package_floor() {
    local f v top=none
    while IFS= read -r -d '' f; do
        is_elf "$f" || continue
        v=$(highest_glibc "$f")
        [ "$top" = none ] || version_above "$v" "$top" || continue
        [ "$v" = none ] || top=$v
    done < <(find "$1" -type f -print0)
    echo "$top"
}
