#!/bin/bash
# Read by the other scripts at their start: -h or --help as the first
# argument prints the opening comment of the script that was started and
# exits 0.
#   . scripts/help.sh
set -euo pipefail
if [ "${1:-}" = -h ] || [ "${1:-}" = --help ]; then
    sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"
    exit 0
fi
