#!/bin/sh
# The manual pages render with groff's man macros, and through man-db when
# it is installed, without a single warning, and name this version.
#   man_test.sh VERSION PAGE...
set -eu
version=$1
shift
if ! command -v groff >/dev/null; then
    echo "skipped: groff is not installed (scripts/deps.sh installs it)"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
for page in "$@"; do
    groff -man -ww -z "$page" 2>"$tmp/groff" || true
    if command -v man >/dev/null; then
        # man-db's own check, at a fixed width so that it does not depend
        # on a terminal.
        MANWIDTH=80 man --warnings -l "$page" 2>"$tmp/man" >/dev/null || true
    else
        : >"$tmp/man"
    fi
    if [ -s "$tmp/groff" ] || [ -s "$tmp/man" ]; then
        echo "FAIL: $page renders with warnings:"
        cat "$tmp/groff" "$tmp/man"
        status=1
    fi
    if ! grep -q "^\.TH .*\"marrowdigger $version\"" "$page"; then
        echo "FAIL: $page does not name version $version in its .TH line"
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "manual pages: no warnings, version $version"
exit "$status"
