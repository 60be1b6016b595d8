#!/bin/bash
# Makes a target root from Debian's packages for ARCH (armel, armhf or arm64)
# of release SUITE (bullseye, bookworm), unpacked into DIR:
#
#   scripts/sysroot.sh ARCH DIR SUITE [build|device|firmware]
#
# build (the default): the cross build's sysroot: the C library's and GCC 10's
#   development files (clang compiles and links with them), SDL 1.2, libpng,
#   zlib, ENet and GoogleTest, with every library they need at run time; on
#   Debian 11 also SDL2's headers and library, which sdl12-compat is built
#   and linked against (scripts/sdl12-compat.sh).
# device: a handheld's userland as a package meets it at its barest: the C
#   library alone, so that everything else must come with the package.
# firmware: a userland like today's handheld firmware: the C library, SDL2
#   with the libraries it needs, udev's library (which SDL2 loads to find
#   joysticks; without it SDL2 2.0.14 crashes when it closes its joystick
#   subsystem), and no classic SDL 1.2. Debian 11's SDL2 is
#   linked to X11's client libraries and PulseAudio's (where firmware's own
#   builds for KMS/DRM are not), so those come with it.
#
# apt runs with a private state (its own lists, status file, cache and
# architecture), so the host's dpkg architectures and packages stay as they
# are. The root is made in DIR.part and moved to DIR when complete; its stamp
# is written last, so a root without the stamp of this package list is made
# anew. A package that cannot be had stops the script with one line naming it.
set -euo pipefail
arch=${1:-}
root=${2:?usage: scripts/sysroot.sh ARCH DIR SUITE [build|device|firmware]}
suite=${3:?usage: scripts/sysroot.sh ARCH DIR SUITE [build|device|firmware]}
kind=${4:-build}

case $arch in
armel | armhf | arm64) ;;
*) echo "sysroot.sh: unknown architecture '$arch' (armel, armhf, arm64)" >&2 && exit 2 ;;
esac
# The game uses ENet 1.3.14's calls; bullseye has 1.3.13, so its ENet comes
# from bookworm (which needs no newer C library than bullseye's).
case $suite in
bullseye) gcc=10 enet=/bookworm sdl2="libsdl2-dev libsdl2-2.0-0 libx11-dev x11proto-dev" ;;
bookworm) gcc=12 enet='' sdl2='' ;;
*) echo "sysroot.sh: unknown release '$suite' (bullseye, bookworm)" >&2 && exit 2 ;;
esac
# Run-time packages are fetched with everything they depend on; development
# packages (headers, static and link files, pkg-config and CMake files) and
# ENet (which needs only the C library) on their own.
case $kind in
build)
    runtime="libc6 libsdl1.2debian libpng16-16 zlib1g"
    develop="libenet7$enet libc6-dev linux-libc-dev libcrypt-dev libgcc-$gcc-dev libstdc++-$gcc-dev
        libsdl1.2-dev libpng-dev zlib1g-dev libenet-dev$enet libgtest-dev libgmock-dev $sdl2"
    ;;
device)
    runtime="libc6"
    develop=""
    ;;
firmware)
    runtime="libc6 libsdl2-2.0-0 libudev1"
    develop=""
    ;;
*) echo "sysroot.sh: unknown kind '$kind' (build, device, firmware)" >&2 && exit 2 ;;
esac
# shellcheck disable=SC2086,SC2116 # the lists as words, one space apart
stamp=$(echo "$arch $suite $kind:" $runtime / $develop / empty loader cache)
if [ -f "$root/.sysroot-stamp" ] && [ "$(cat "$root/.sysroot-stamp")" = "$stamp" ]; then
    exit 0
fi

. "$(dirname "$0")/mirrors.sh"

part="$root.part"
state="$root.apt"
rm -rf "$state" "$part" "$root"
trap 'rm -rf "$state" "$part"' EXIT
mkdir -p "$state"/{lists/partial,archives/partial,dev,parts,prefs} "$part"
touch "$state/status"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
{
    echo "deb [arch=$arch signed-by=$keyring] $main_url $suite main"
    echo "deb [arch=$arch signed-by=$keyring] $main_url $suite-updates main"
    # bullseye from its last point release: mirrors no longer serve its
    # security archive's packages to everyone.
    [ "$suite" = bullseye ] ||
        echo "deb [arch=$arch signed-by=$keyring] $security_url $suite-security main"
    [ -z "$enet" ] || echo "deb [arch=$arch signed-by=$keyring] $main_url ${enet#/} main"
} >"$state/sources.list"
# A newer release only where a package names it.
[ -z "$enet" ] || printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n' "${enet#/}" \
    >"$state/prefs/newer.pref"
apt_private=(-o "APT::Architecture=$arch" -o "APT::Architectures=$arch"
    -o "Dir::State=$state" -o "Dir::State::status=$state/status"
    -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state" -o "Dir::Cache::Archives=$state/archives"
    -o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=$state/parts"
    -o "Dir::Etc::Parts=$state/parts" -o "Dir::Etc::Preferences=$state/prefs/none"
    -o "Dir::Etc::PreferencesParts=$state/prefs" -o "APT::Install-Recommends=0"
    -o "APT::Get::Assume-Yes=1" -o "APT::Sandbox::User=root" -q)
fail() { echo "sysroot.sh: $*" >&2 && exit 1; }
# The package of the first archive apt could not fetch, from its messages.
failed_package() {
    local name
    name=$(sed -n 's|.*Failed to fetch [^ ]*/\([^/_ ]*\)_[^ ]*\.deb.*|\1|p' "$state/log" | head -n1)
    echo "${name:-(one of: $runtime)}"
}

echo "sysroot: fetching $suite $arch packages ($kind)"
apt-get "${apt_private[@]}" update >"$state/log" 2>&1 ||
    fail "cannot fetch the $suite package lists for $arch from $main_url"
# A release the archive no longer carries for ARCH has no list at all.
compgen -G "$state/lists/*_dists_${suite}_main_binary-${arch}_Packages*" >/dev/null ||
    fail "$main_url has no $suite packages for $arch"
# shellcheck disable=SC2086 # the package lists are words
for p in $runtime $develop; do
    apt-cache "${apt_private[@]}" show --no-all-versions "$p" >/dev/null 2>&1 ||
        fail "package $p is not in $suite for $arch"
done
# shellcheck disable=SC2086
apt-get "${apt_private[@]}" install --download-only $runtime >"$state/log" 2>&1 ||
    fail "cannot fetch package $(failed_package) of $suite for $arch"
for p in $develop; do
    (cd "$state/dev" && apt-get "${apt_private[@]}" download "$p" >"$state/log" 2>&1) ||
        fail "cannot fetch package $p of $suite for $arch"
done

for deb in "$state"/archives/*.deb "$state"/dev/*.deb; do
    [ -e "$deb" ] || continue
    dpkg -x "$deb" "$part" || fail "cannot unpack package $(basename "$deb" .deb) of $suite"
done

# Absolute symlinks would point into the host; make them relative inside the
# root.
find "$part" -type l -lname '/*' -print0 | while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    ln -sfn "$(realpath -s -m --relative-to="$(dirname "$link")" "$part$target")" "$link"
done
# An empty loader cache: without one, qemu's loader reads the host's, which
# sends a soft-float 32-bit program to the host's own 32-bit libraries.
mkdir -p "$part/etc"
: >"$part/etc/ld.so.cache"
mv "$part" "$root"
echo "$stamp" >"$root/.sysroot-stamp"
echo "sysroot: $root ready ($(du -sh "$root" | cut -f1))"
