# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
# The Debian mirrors that the machine's own apt sources name, for the roots
# made from them (scripts/debian13, scripts/package-roots). Sourced, not run:
#
#   machine_mirror              the first archive that is not the security one
#   machine_security_mirror     the security archive, if the machine has one
#
# Both read the deb822 sources first, then the one-line ones.

machine_sources_uri() {
    local wanted=$1 uri
    uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk -v wanted="$wanted" '/^URIs:/ && ($2 ~ /security/) == (wanted == "security") { print $2; exit }')
    if [ -z "$uri" ]; then
        uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            awk -v wanted="$wanted" '$1 == "deb" && ($0 ~ /security/) == (wanted == "security") {
                for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { print $i; exit } }')
    fi
    echo "$uri"
}

machine_mirror() {
    local mirror
    mirror=$(machine_sources_uri archive)
    if [ -z "$mirror" ]; then
        echo "$(basename "$0"): no Debian mirror in the machine's apt sources" >&2
        return 1
    fi
    echo "$mirror"
}

# Empty when the machine has no security archive: the roots then go without.
machine_security_mirror() {
    machine_sources_uri security
}
