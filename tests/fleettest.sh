#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
# The Ansible collection on a simulated fleet of eight hosts, each with its
# own bus, polkitd, helper and state root, from different starting states;
# the last one's state is damaged. One run of the collection's playbook
# brings seven to the desired state and fails the eighth with its reason,
# changing nothing there; a second run changes nothing; a check with --diff
# of a third state shows each host's difference and changes nothing;
# mic_info returns what micctl status --json says.
#   tests/fleettest.sh BUILD_DIR
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?build directory}")
work=$(mktemp -d /tmp/lumen-kcm-mic-fleet-XXXXXX)
trap '"$source/scripts/simulated-fleet" stop "$work"; rm -rf "$work"' EXIT
hosts=8

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$source/scripts/simulated-fleet" start "$work" "$hosts" "$build"
# The collection as an administrator installs it from its tarball.
export ANSIBLE_COLLECTIONS_PATH="$work/collections" ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0
ansible-galaxy collection build "$("$source/scripts/ansible-collection" path)" --output-path "$work" >/dev/null
ansible-galaxy collection install -p "$work/collections" "$work"/*.tar.gz >/dev/null

micctl() { # HOST ARGUMENTS…
    local host=$1
    shift
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/$host/bus/system_bus_socket" MIC_STATE_ROOT="$work/$host/root" "$build/bin/micctl" "$@"
}

# Every file of a host's state root with its content and label.
snapshot() {
    (cd "$work/$1/root" && find . -print0 | sort -z | while IFS= read -r -d '' path; do
        printf '%s %s ' "$path" "$(getfattr --absolute-names --only-values -h -n security.kestrel.ilev "$path" 2>/dev/null || true)"
        if [ -f "$path" ] && [ ! -L "$path" ]; then sha256sum < "$path"; else echo; fi
    done)
}

# From the fleet's folder, where the desired states are named as an
# administrator names them there.
playbook() { # LOG ARGUMENTS…
    local log=$1
    shift
    (cd "$work" && ansible-playbook -i inventory.yml -f "$hosts" "$@") > "$log" 2>&1 || true
}

# Host N's line of the play recap, with the counts that matter.
recap() { # LOG HOST
    grep -E "^$2 +:" "$1" | sed -E 's/.*(changed=[0-9]+).*(failed=[0-9]+).*/\1 \2/'
}

# Different starting states: the demo system, then each host with one
# setting of its own.
sed -i 's/^fs-protection = yes/fs-protection = no/' "$work/host2/root/var/lib/kestrel/mic.state"
sed -i 's/ = 15$/ = 3/' "$work/host3/root/var/lib/kestrel/users.state"
sed -i 's/^service.ssh.service.isolated = no/service.ssh.service.isolated = yes/' "$work/host4/root/var/lib/kestrel/services.state"
sed -i 's/^service.cron.service.isolated = yes/service.cron.service.isolated = no/' "$work/host5/root/var/lib/kestrel/services.state"
sed -i 's/^enabled-after-reboot = yes/enabled-after-reboot = no/' "$work/host6/root/var/lib/kestrel/mic.state"
echo "this line is damaged" >> "$work/host8/root/var/lib/kestrel/users.state"
damaged_line=$(wc -l <"$work/host8/root/var/lib/kestrel/users.state")

# The desired state: the settings but the rules, which name each host's own
# tree; the users at 7, every service isolated, the file system protected.
micctl host1 export "$work/reference.json"
python3 - "$work" <<'PYTHON'
import json, sys
work = sys.argv[1]
state = json.load(open(work + '/reference.json'))
for key in ('rules', 'exceptions'):
    state.pop(key)
state['userLevels'] = {user: 7 if level == 15 else level for user, level in state['userLevels'].items()}
state['serviceIsolation'] = {name: True for name in state['serviceIsolation']}
state['fileSystemProtection'] = True
json.dump(state, open(work + '/desired.json', 'w'), indent=4)
state['userLevels'] = {user: 3 if level == 7 else level for user, level in state['userLevels'].items()}
state['serviceIsolation']['cups.service'] = False
json.dump(state, open(work + '/third.json', 'w'), indent=4)
PYTHON

# The helper's lock file comes with its first call, which fails here.
micctl host8 status >/dev/null 2>&1 && fail "host8 is not damaged"
damaged=$(snapshot host8)
playbook "$work/first.log" lumen.mic.apply -e mic_state_file=desired.json
for i in $(seq 7); do
    [ "$(recap "$work/first.log" "host$i")" = "changed=1 failed=0" ] || fail "host$i on the first run: $(cat "$work/first.log")"
    micctl "host$i" status | grep -q "Service isolation: all" || fail "host$i is not isolated: $(micctl "host$i" status)"
done
[ "$(recap "$work/first.log" host8)" = "changed=0 failed=1" ] || fail "host8 on the first run: $(cat "$work/first.log")"
grep -q "fatal: \\[host8\\]: FAILED! .*users.state is damaged: line $damaged_line\b" "$work/first.log" || fail "no reason for host8: $(cat "$work/first.log")"
[ "$(snapshot host8)" = "$damaged" ] || fail "the damaged host changed: $(diff <(echo "$damaged") <(snapshot host8))"

playbook "$work/second.log" lumen.mic.apply -e mic_state_file=desired.json
for i in $(seq 7); do
    [ "$(recap "$work/second.log" "host$i")" = "changed=0 failed=0" ] || fail "host$i on the second run: $(cat "$work/second.log")"
done

before=$(for i in $(seq "$hosts"); do snapshot "host$i"; done)
playbook "$work/check.log" lumen.mic.apply -e mic_state_file=third.json --check --diff
for i in $(seq 7); do
    [ "$(recap "$work/check.log" "host$i")" = "changed=1 failed=0" ] || fail "host$i in the check: $(cat "$work/check.log")"
done
[ "$(grep -cxF -- '+serviceIsolation cups.service: false' "$work/check.log")" = 7 ] || fail "the check's diff: $(cat "$work/check.log")"
[ "$(grep -cxF -- '--- before: MIC settings of the host' "$work/check.log")" = 7 ] || fail "the check's diff headers: $(cat "$work/check.log")"
after=$(for i in $(seq "$hosts"); do snapshot "host$i"; done)
[ "$before" = "$after" ] || fail "the check changed a host"

playbook "$work/info.log" "$source/tests/fleet/info.yml" -e fleet_dir="$work"
for i in $(seq 7); do
    micctl "host$i" status --json > "$work/host$i/status.json"
    python3 -c 'import json, sys; sys.exit(json.load(open(sys.argv[1])) != json.load(open(sys.argv[2])))' \
        "$work/host$i/info.json" "$work/host$i/status.json" || fail "mic_info of host$i: $(cat "$work/host$i/info.json")"
done
echo "fleet of $hosts hosts: applied, idempotent, checked, read"
