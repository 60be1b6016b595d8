#!/bin/sh
# Installs the build into a scratch prefix and, from an unrelated folder,
# plays the walk script through the installed launcher and headless runner
# on the installed data; the frame trace must hold every recorded line.
# Also: the real game starts through the launcher, a missing data folder is
# refused, and the menu entry and the AppStream description are valid.
#   install_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -eu
cmake=$1 build=$2 src=$3
if [ -n "${MD_TEST_EMULATOR:-}" ]; then
    # The launcher is a shell script that execs the game: an emulator in
    # front of it cannot follow.
    echo "skipped: the installed launcher cannot run under MD_TEST_EMULATOR"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Blanks in the paths check the launcher's quoting.
prefix="$tmp/the prefix"
mkdir "$tmp/elsewhere" "$tmp/elsewhere/out put"
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log"
cd "$tmp/elsewhere"
cp "$src/tests/replays/walk.script" .
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy

# Relative paths are read from the folder the launcher was started in.
timeout -k 5 120 "$prefix/bin/marrowdigger" --headless --script walk.script \
    --trace "out put/walk.trace"
grep -v '^#' "$src/tests/replays/walk.expected" >"$tmp/expected"
[ -s "$tmp/expected" ]
if grep -vxFf "$tmp/elsewhere/out put/walk.trace" "$tmp/expected"; then
    echo "FAIL: the lines above are missing from the installed run's trace"
    exit 1
fi

# The game itself keeps running until stopped: status 124 from timeout.
status=0
timeout -k 5 2 "$prefix/bin/marrowdigger" >"$tmp/game.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { echo "FAIL: the game ended with $status:"; cat "$tmp/game.log"; exit 1; }

for watch in "--watch no.rec" "--watch=no.rec"; do
    status=0
    # shellcheck disable=SC2086 # the option and its value are two words, or one
    "$prefix/bin/marrowdigger" $watch 2>"$tmp/err" || status=$?
    [ "$status" -ne 0 ] && grep -qF "$tmp/elsewhere/no.rec" "$tmp/err" ||
        { echo "FAIL: $watch gave status $status, not naming the player's folder:"; cat "$tmp/err"; exit 1; }
done

status=0
MARROWDIGGER_DATA="$tmp/no data" "$prefix/bin/marrowdigger" 2>"$tmp/err" || status=$?
[ "$status" -eq 1 ] && grep -qF "$tmp/no data" "$tmp/err" ||
    { echo "FAIL: a missing data folder gave status $status:"; cat "$tmp/err"; exit 1; }

entry="$prefix/share/applications/marrowdigger.desktop"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry"
else
    echo "desktop entry not validated: desktop-file-validate is not installed"
fi
metainfo="$prefix/share/metainfo/org.marrowdigger.marrowdigger.metainfo.xml"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo"
else
    echo "AppStream description not validated: appstreamcli is not installed"
fi
echo "installed walk, game start, missing data folder, menu entry and AppStream description: all passed"
