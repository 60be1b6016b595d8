#!/bin/bash
# Tests scripts/check-package.sh's C library floor: a copy of the package
# with one more library in libs/, built for the purpose against Debian 12's
# C library so that it needs GLIBC_2.34, must fail the check, which must name
# that library and the version.
#
#   scripts/test-check-package.sh armhf|arm64     (after scripts/package.sh ARCH)
set -euo pipefail
. "$(dirname "$0")/help.sh"
cd "$(dirname "$0")/.."
arch=${1:-}
usage="scripts/test-check-package.sh armhf|arm64"
source scripts/cross-arch.sh
source scripts/elf-needs.sh
[ "$floor" = 2.30 ] || { echo "usage: $usage" >&2; exit 2; }
zip=dist/marrowdigger-$arch.zip
[ -f "$zip" ] || { echo "test-check-package: $zip missing (scripts/package.sh $arch)" >&2; exit 2; }
scripts/deps.sh clang lld llvm zip "libc6-$arch-cross"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "test-check-package: $*" >&2 && exit 1; }

# dlopen moved into the C library proper in 2.34, under that version.
probe=marrowdigger/libs/libfloorprobe.so
mkdir -p "$work/stage/marrowdigger/libs"
echo 'void *dlopen(const char *file, int mode); void *probe(void) { return dlopen("x", 1); }' \
    >"$work/probe.c"
clang --target="$triplet" -shared -nostdlib -fuse-ld=lld -o "$work/stage/$probe" \
    "$work/probe.c" "/usr/$triplet/lib/libc.so.6"
[ "$(highest_glibc "$work/stage/$probe")" = 2.34 ] || fail "the probe does not need GLIBC_2.34"

cp "$zip" "$work/probe.zip"
(cd "$work/stage" && zip -q "$work/probe.zip" "$probe")
if scripts/check-package.sh "$arch" "$work/probe.zip" >"$work/out" 2>&1; then
    cat "$work/out" >&2
    fail "the check passed a package with a library that needs GLIBC_2.34"
fi
grep -q "$probe needs GLIBC_2.34" "$work/out" || { cat "$work/out" >&2; fail "the check did not name $probe"; }
echo "test-check-package: a library needing GLIBC_2.34 fails the check, named: $(grep -m1 "$probe needs" "$work/out")"
