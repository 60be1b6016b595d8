# shellcheck shell=bash disable=SC2154 # cross and native are the caller's
# Sourced by the scripts that compare an ARM build with the native one, with
# the native programs they need as arguments: sets emulator, the command that
# runs the programs of the cross build $cross, and builds the programs in the
# native build $native. Stops with status 2 when $cross is no cross build.
read -r -a emulator <<<"$(sed -n 's/^MD_EMULATOR:INTERNAL=//p' "$cross/CMakeCache.txt" 2>/dev/null)"
if [ ${#emulator[@]} -eq 0 ]; then
    echo "$(basename "$0" .sh): $cross is no cross build" >&2
    exit 2
fi
scripts/deps.sh
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j"$(nproc)" --target "$@" >/dev/null
