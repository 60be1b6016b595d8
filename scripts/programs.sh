#!/bin/bash
# Read by the scripts that start programs in the background.
#   . scripts/programs.sh
# end_programs PID...: asks each program to end, kills what still runs after
# 5 s, and waits for all of them.
end_programs() {
    local pid deadline=$((SECONDS + 5))
    for pid in "$@"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "$@"; do
        while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
