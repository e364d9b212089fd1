#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
# Run in a minimal Debian root, as root (scripts/package-roots run), given
# the single package of version 0.1.0 and the packages that replace it.
# An administrator's change made with 0.1.0 survives the upgrade to the
# packages of each role: MIC's state files and the helper's records (the
# history, the journal's folder, the states kept for restoring) stay as they
# were, and the new micctl reads them and changes on. Removing the packages
# keeps everything; purging removes the helper's records and nothing else.
set -euo pipefail

old=() new=()
for deb in "$@"; do
    case "$(dpkg-deb -f "$deb" Version)" in
    0.1.0*) old+=("$deb") ;;
    *) new+=("$deb") ;;
    esac
done
[ ${#old[@]} -gt 0 ] && [ ${#new[@]} -gt 0 ] || { echo "needs the 0.1.0 package and the new ones"; exit 2; }

records=/var/lib/lumen-kcm-mic
state_files=(/var/lib/kestrel /etc/kestrel)
fail() {
    echo "FAILED: $*"
    exit 1
}
step() {
    echo "---- $*"
}
install_quietly() {
    apt-get "$@" >/tmp/apt.log 2>&1 || { tail -n 30 /tmp/apt.log; fail "apt-get $*"; }
}
snapshot() {
    local folder
    for folder in "$records" "${state_files[@]}"; do
        if [ -d "$folder" ]; then
            find "$folder" -type f -print0
        fi
    done | sort -z | xargs -0 -r sha256sum
}
helper_on_bus() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.lumen.kcm.mic 2>/dev/null | grep -q "boolean true"
}
# An idle helper ends after 10 s; the next call starts the installed one.
wait_for_helper_to_end() {
    for _ in $(seq 200); do
        helper_on_bus || return 0
        sleep 0.1
    done
    fail "the helper did not end"
}
desired_root_level() {
    printf '{"format": "lumen-mic-state", "version": 1, "userLevels": {"root": %s}}\n' "$1" >/tmp/state.json
}

step "0.1.0 installed, a change made with it"
install_quietly install -y -q --no-install-recommends "${old[@]}" dbus polkitd
mkdir -p /run/dbus
dbus-uuidgen --ensure
dbus-daemon --system --fork
for _ in $(seq 100); do
    [ -S /run/dbus/system_bus_socket ] && break
    sleep 0.1
done
desired_root_level 7
micctl apply /tmp/state.json
grep -qx "root = 7" /var/lib/kestrel/users.state || fail "0.1.0 did not set the level"
[ -d "$records" ] || fail "0.1.0 kept no records"
before=$(snapshot)
history_before=$(micctl history --json)
grep -q '"outcome"' <<<"$history_before" || fail "0.1.0 recorded no history"

step "upgraded to the packages of each role"
wait_for_helper_to_end
install_quietly install -y -q --no-install-recommends "${new[@]}"
dpkg-query -W -f='${Package} ${Version} ${Status}\n' lumen-kcm-mic lumen-mic-helper micctl
[ "$(dpkg-query -W -f='${Version}' lumen-kcm-mic)" != 0.1.0 ] || fail "lumen-kcm-mic was not upgraded"
[ "$(snapshot)" = "$before" ] || { diff <(echo "$before") <(snapshot); fail "the upgrade changed the state files or records"; }
request=$(sed -n 's/.*"requestId": *"\([^"]*\)".*/\1/p' <<<"$history_before" | head -n 1)
[ -n "$request" ] && micctl history --json | grep -qF "\"$request\"" ||
    fail "the new micctl does not show the change made with 0.1.0"
micctl status --json | grep -Eq '"root": *7' || fail "the new micctl does not read the level set with 0.1.0"
desired_root_level 6
micctl apply /tmp/state.json
grep -qx "root = 6" /var/lib/kestrel/users.state || fail "the new packages did not change the level"
helper_path=$(sed -n 's/^Exec=//p' /usr/share/dbus-1/system-services/org.lumen.kcm.mic.service)
[ -x "$helper_path" ] || fail "the bus's service file names no helper: $helper_path"

step "removed: everything kept"
wait_for_helper_to_end
after_change=$(snapshot)
install_quietly remove -y lumen-kcm-mic micctl lumen-mic-helper
[ "$(snapshot)" = "$after_change" ] || fail "removing changed the state files or records"
[ ! -e "$helper_path" ] || fail "the helper is still installed"

step "purged: the helper's records go, MIC's state files stay"
dpkg --purge lumen-kcm-mic micctl lumen-mic-helper >/tmp/purge.log 2>&1 || { cat /tmp/purge.log; fail "dpkg --purge"; }
[ ! -e "$records" ] || fail "purging left $records"
grep -qx "root = 6" /var/lib/kestrel/users.state || fail "purging touched MIC's state files"
echo "upgrade, removal and purge kept what they should"
