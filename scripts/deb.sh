#!/bin/bash
# Builds the Debian packages marrowdigger, marrowdigger-data and
# marrowdigger-server from the working tree (tracked and new files, nothing
# ignored), checks them with lintian and checks their dependencies, then
# unpacks them into a scratch root (never the machine's own) and plays the
# walk through the unpacked launcher against the recorded frame hashes.
# scripts/deb-clean-test.sh then installs them in fresh Debian roots:
#   scripts/deb.sh
# The packages, .changes and .buildinfo end up in build-deb/. Fails on any
# lintian error or warning.
set -euo pipefail
. "$(dirname "$0")/help.sh"
cd "$(dirname "$0")/.."
echo "== Debian packages"
scripts/deps.sh
scripts/deps.sh debhelper dpkg-dev lintian
# The package's version is the project's.
version=$(sed -n 's/^project(marrowdigger VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
packaged=$(dpkg-parsechangelog -S Version)
[ "$packaged" = "$version" ] ||
    { echo "debian/changelog says $packaged, CMakeLists.txt $version" >&2; exit 1; }
out=build-deb
rm -rf "$out"
mkdir -p "$out/src"
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    xargs -0 cp --parents -t "$out/src"
(cd "$out/src" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -us -uc -b)

echo "== lintian"
changes=$(ls "$out"/marrowdigger_*.changes)
lintian --fail-on error,warning --show-overrides "$changes"
echo "lintian: no errors, no warnings"
for deb in "$out"/*.deb; do
    printf '%s: %s bytes, %s KiB installed\n' "${deb##*/}" "$(stat -c %s "$deb")" \
        "$(dpkg-deb -f "$deb" Installed-Size)"
done

echo "== dependencies"
# The game must get sdl12-compat, never classic SDL 1.2 (which only shares
# its library's name); the server no SDL and no game, only the data.
depends() { dpkg-deb -f "$out/${1}_"*.deb Depends; }
for name in marrowdigger marrowdigger-data marrowdigger-server; do
    echo "$name: Depends: $(depends "$name")"
done
depends marrowdigger | tr ',' '\n' | grep -qx ' *libsdl1.2-compat-shim' ||
    { echo "FAIL: marrowdigger does not depend on libsdl1.2-compat-shim" >&2; exit 1; }
if depends marrowdigger-server | tr ',' '\n' | grep -Eq '^ *(libsdl|marrowdigger( |$))'; then
    echo "FAIL: marrowdigger-server depends on SDL or on the game" >&2
    exit 1
fi
# The server's WebSocket door comes with libwebsockets; the game has no use for it.
depends marrowdigger-server | tr ',' '\n' | grep -q '^ *libwebsockets' ||
    { echo "FAIL: marrowdigger-server does not depend on libwebsockets" >&2; exit 1; }
if depends marrowdigger | tr ',' '\n' | grep -q '^ *libwebsockets'; then
    echo "FAIL: the game depends on libwebsockets" >&2
    exit 1
fi
[ "$(dpkg-deb -f "$out"/marrowdigger-data_*.deb Architecture)" = all ] ||
    { echo "FAIL: marrowdigger-data is not Architecture: all" >&2; exit 1; }

echo "== the unpacked packages"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for name in marrowdigger marrowdigger-data marrowdigger-server; do
    dpkg-deb -x "$out/${name}_"*.deb "$root"
done
grep -v '^#' tests/replays/walk.expected >"$root/expected"
script="$PWD/tests/replays/walk.script"
(cd "$root" && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout -k 5 120 usr/games/marrowdigger \
    --headless --script "$script" --trace "$root/walk.trace") ||
    { echo "the unpacked launcher did not play the walk" >&2; exit 1; }
if grep -vxFf "$root/walk.trace" "$root/expected"; then
    echo "FAIL: the lines above are missing from the unpacked game's walk" >&2
    exit 1
fi
echo "the unpacked launcher plays the walk with the recorded frame hashes"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 2 "$root/usr/games/marrowdigger" \
    2>"$root/nodisplay" || status=$?
[ "$status" -eq 1 ] && [ "$(wc -l <"$root/nodisplay")" -eq 1 ] ||
    { echo "FAIL: without a display the unpacked game gave $status:" >&2; cat "$root/nodisplay" >&2; exit 1; }
echo "without a display the unpacked game says: $(cat "$root/nodisplay")"
if readelf -d "$root/usr/games/marrowdigger-server" | grep -Ei 'NEEDED.*(libSDL|libX11|libpulse|libasound)'; then
    echo "FAIL: the packaged server needs the display or sound libraries above" >&2
    exit 1
fi
"$root/usr/games/marrowdigger-server" --data "$root/usr/share/games/marrowdigger" --port 0 --turns 5 \
    --turn-ms 10 --hash-every 5 --quiet >"$root/server.out"
grep -q "^turn 5 hash" "$root/server.out" ||
    { echo "FAIL: the unpacked server did not play:" >&2; cat "$root/server.out" >&2; exit 1; }
echo "the unpacked server plays its data: $(grep '^turn 5 hash' "$root/server.out")"
