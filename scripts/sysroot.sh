#!/bin/bash
# Builds the target sysroot for a cross build: Debian 12's packages of SDL 1.2,
# libpng, zlib, ENet and GoogleTest for ARCH (armel, armhf or arm64), with
# every library they need at run time, unpacked into DIR.
#
#   scripts/sysroot.sh ARCH DIR
#
# apt runs with a private state (its own lists, status file, cache and
# architecture), so the host's dpkg architectures and packages stay as they
# are. A finished sysroot is kept; it is made anew when its package list
# changes.
set -euo pipefail
arch=$1
root=$2

# Classic SDL 1.2 on armel: sdl12-compat's SDL2 needs ARMv6.
case $arch in
armel) sdl_run=libsdl1.2debian sdl_dev=libsdl1.2-dev ;;
armhf | arm64) sdl_run=libsdl1.2-compat-shim sdl_dev=libsdl1.2-compat-dev ;;
*) echo "sysroot.sh: unknown architecture $arch (armel, armhf, arm64)" >&2 && exit 2 ;;
esac
# Run-time packages, fetched with everything they depend on; development
# packages (headers, link symlinks, pkg-config and CMake files) on their own.
runtime="libc6 libstdc++6 libgcc-s1 $sdl_run libpng16-16 zlib1g libenet7"
develop="$sdl_dev libpng-dev zlib1g-dev libenet-dev libgtest-dev"
stamp="$arch: $runtime / $develop"
if [ -f "$root/.sysroot-stamp" ] && [ "$(cat "$root/.sysroot-stamp")" = "$stamp" ]; then
    exit 0
fi

# The host's Debian mirrors, so that a local mirror is used when set.
mirror() {
    grep -hoE "https?://[^ ]+/$1/?( |$)" /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1 | tr -d ' ' || true
}
main_url=$(mirror debian)
security_url=$(mirror debian-security)
main_url=${main_url:-http://deb.debian.org/debian}
security_url=${security_url:-http://deb.debian.org/debian-security}

state="$root.apt"
rm -rf "$state" "$root"
mkdir -p "$state"/{lists/partial,archives/partial,dev,parts,prefs} "$root"
touch "$state/status"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
{
    echo "deb [arch=$arch signed-by=$keyring] $main_url bookworm main"
    echo "deb [arch=$arch signed-by=$keyring] $main_url bookworm-updates main"
    echo "deb [arch=$arch signed-by=$keyring] $security_url bookworm-security main"
} >"$state/sources.list"
apt_private=(-o "APT::Architecture=$arch" -o "APT::Architectures=$arch"
    -o "Dir::State=$state" -o "Dir::State::status=$state/status"
    -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state" -o "Dir::Cache::Archives=$state/archives"
    -o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=$state/parts"
    -o "Dir::Etc::Parts=$state/parts" -o "Dir::Etc::Preferences=$state/prefs/none"
    -o "Dir::Etc::PreferencesParts=$state/prefs" -o "APT::Install-Recommends=0"
    -o "APT::Get::Assume-Yes=1" -o "APT::Sandbox::User=root" -q)

echo "sysroot: fetching $arch packages"
apt-get "${apt_private[@]}" update >/dev/null
# shellcheck disable=SC2086 # the package lists are words
apt-get "${apt_private[@]}" install --download-only $runtime >/dev/null
# shellcheck disable=SC2086
(cd "$state/dev" && apt-get "${apt_private[@]}" download $develop >/dev/null)

for deb in "$state"/archives/*.deb "$state"/dev/*.deb; do
    dpkg -x "$deb" "$root"
done

# Absolute symlinks would point into the host; make them relative inside the
# sysroot.
find "$root" -type l -lname '/*' -print0 | while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    ln -sfn "$(realpath -s -m --relative-to="$(dirname "$link")" "$root$target")" "$link"
done
rm -rf "$state"
echo "$stamp" >"$root/.sysroot-stamp"
echo "sysroot: $root ready ($(du -sh "$root" | cut -f1))"
