#!/bin/bash
# Read by the scripts that make Debian roots: the host's Debian mirrors, so
# that a local mirror is used when one is set, in main_url and security_url.
#   . scripts/mirrors.sh
mirror() {
    grep -hoE "https?://[^ ]+/$1/?( |$)" /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1 | tr -d ' ' || true
}
main_url=$(mirror debian)
security_url=$(mirror debian-security)
main_url=${main_url:-http://deb.debian.org/debian}
security_url=${security_url:-http://deb.debian.org/debian-security}
