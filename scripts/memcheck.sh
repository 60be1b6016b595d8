#!/bin/bash
# Runs a program under valgrind's memcheck, reporting nothing but errors:
# exit status 99 when it found any, else the program's own.
#   scripts/memcheck.sh PROGRAM [ARGUMENTS...]
# For example, 100 frames of the walk replay:
#   SDL_VIDEODRIVER=dummy scripts/memcheck.sh build/marrowdigger-headless \
#       --data gamedata --script tests/replays/walk.script --frames 100
set -euo pipefail
. "$(dirname "$0")/help.sh"
exec valgrind --tool=memcheck --quiet --error-exitcode=99 --leak-check=no "$@"
