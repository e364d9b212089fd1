#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
# micctl of one Qt against the helper of the other: the Qt 5 build's micctl
# reads and applies through the Qt 6 build's helper, and the Qt 6 build's
# micctl through the Qt 5 build's, each helper on a private system bus of
# its own, both over one state root.
#
#   tests/crossversiontest.sh QT5-BUILD QT6-BUILD DEBIAN13-ROOT
#
# Runs on the Debian 12 machine, as root. The Qt 6 programs run here with the
# Debian 13 root's loader and libraries, so that both helpers and both
# clients meet the machine's polkitd as installed helpers and clients do.
set -u
build5=$(realpath "$1")
build6=$(realpath "$2")
root=$(realpath "$3")
top=$(cd "$(dirname "$0")/.." && pwd)

# The polkitd user reaches the bus folders.
work=$(mktemp -d /tmp/lumen-kcm-mic-crossversion-XXXXXX)
chmod 755 "$work"
cleanup() {
    "$top/scripts/private-system-bus" stop "$work/bus6" 2>/dev/null
    "$top/scripts/private-system-bus" stop "$work/bus5" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

# A program of the Qt 6 build, run by the root's loader with the root's
# libraries and plugins.
cat >"$work/qt6" <<WRAPPER
#!/bin/sh
export QT_PLUGIN_PATH="$root/usr/lib/x86_64-linux-gnu/qt6/plugins"
# KAuth's own backends, which micctl does not use, are looked for where the
# root has them, not here.
export QT_LOGGING_RULES="kf.auth.warning=false"
exec "$root/lib64/ld-linux-x86-64.so.2" --library-path "$root/usr/lib/x86_64-linux-gnu:$root/lib/x86_64-linux-gnu" "\$@"
WRAPPER
printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$work/qt6" "$build6/bin/lumen_kcm_mic_helper" >"$work/helper6"
chmod 755 "$work/qt6" "$work/helper6"
"$work/qt6" "$build6/bin/micctl" --version >/dev/null || fail "the Qt 6 micctl does not run here"

state="$work/root"
"$top/scripts/make-demo-root" "$state" >/dev/null
start_bus() { # FOLDER HELPER BUILD
    "$top/scripts/private-system-bus" start "$1" "$2" "$3/helper/org.lumen.kcm.mic.policy" \
        "$3/helper/org.lumen.kcm.mic.conf" "$state" "$3/bin/tarn-wmfunc" >/dev/null ||
        fail "the bus in $1 did not start"
}
start_bus "$work/bus5" "$build5/bin/lumen_kcm_mic_helper" "$build5"
start_bus "$work/bus6" "$work/helper6" "$build6"

micctl5() { # BUS ARGUMENTS…
    local bus=$1
    shift
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/$bus/system_bus_socket" MIC_STATE_ROOT="$state" "$build5/bin/micctl" "$@"
}
micctl6() { # BUS ARGUMENTS…
    local bus=$1
    shift
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/$bus/system_bus_socket" MIC_STATE_ROOT="$state" "$work/qt6" "$build6/bin/micctl" "$@"
}
# The helper that answered a bus's calls, by its command line.
served_by() { # BUS
    local pid
    pid=$(DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/$1/system_bus_socket" dbus-send --system --print-reply \
        --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetConnectionUnixProcessID string:org.lumen.kcm.mic 2>/dev/null |
        awk '/uint32/ { print $2 }')
    [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline"
}

# Both read the same state through the other's helper.
status5=$(micctl5 bus6 status --json) || fail "Qt 5 micctl could not read through the Qt 6 helper"
served_by bus6 | grep -qF "$build6/bin/lumen_kcm_mic_helper" || fail "bus6 is not served by the Qt 6 helper: $(served_by bus6)"
status6=$(micctl6 bus5 status --json) || fail "Qt 6 micctl could not read through the Qt 5 helper"
served_by bus5 | grep -qF "$build5/bin/lumen_kcm_mic_helper" || fail "bus5 is not served by the Qt 5 helper: $(served_by bus5)"
[ "$status5" = "$status6" ] || fail "the two reads differ:
$status5
$status6"
echo "both micctls read the same state through the other Qt's helper"

# Qt 5 micctl applies through the Qt 6 helper: the file system protected,
# one service isolated, root's level lowered; its check, then the change.
micctl5 bus6 export "$work/desired.json" || fail "Qt 5 micctl could not export through the Qt 6 helper"
python3 - "$work/desired.json" <<'PYTHON'
import json, sys
path = sys.argv[1]
state = json.load(open(path))
state["fileSystemProtection"] = True
state["serviceIsolation"]["ssh.service"] = True
state["userLevels"]["root"] = 31
json.dump(state, open(path, "w"), indent=1)
PYTHON
micctl5 bus6 apply --check "$work/desired.json" >"$work/check5.out"
[ $? -eq 2 ] || fail "Qt 5 micctl's check through the Qt 6 helper: $(cat "$work/check5.out")"
micctl5 bus6 apply --json "$work/desired.json" >"$work/apply5.json" || fail "Qt 5 micctl could not apply through the Qt 6 helper: $(cat "$work/apply5.json")"
python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); assert d["changed"] and not d["failed"] and d["relabelled"]["count"] > 0, d' "$work/apply5.json" ||
    fail "the Qt 6 helper's outcome, as the Qt 5 micctl reads it: $(cat "$work/apply5.json")"
grep -qx 'fs-protection = yes' "$state/var/lib/kestrel/mic.state" || fail "the protection is not in the state file"
grep -qx 'service.ssh.service.isolated = yes' "$state/var/lib/kestrel/services.state" || fail "ssh is not isolated in the state file"
grep -qx 'root = 31' "$state/var/lib/kestrel/users.state" || fail "root's level is not in the state file"
[ "$(getfattr --only-values -n security.kestrel.ilev "$state/srv/demo/data" 2>/dev/null)" = 7 ] || fail "the data folder was not relabelled"
{ micctl5 bus6 apply "$work/desired.json" >"$work/again5.out" && grep -qx 'Nothing to change.' "$work/again5.out"; } || fail "a second apply through the Qt 6 helper changed something: $(cat "$work/again5.out")"
echo "Qt 5 micctl applied through the Qt 6 helper"

# Qt 6 micctl reads that through the Qt 5 helper and applies back.
micctl6 bus5 export "$work/seen6.json" || fail "Qt 6 micctl could not export through the Qt 5 helper"
cmp -s "$work/desired.json" "$work/seen6.json" || python3 - "$work/desired.json" "$work/seen6.json" <<'PYTHON' || fail "the Qt 6 micctl does not see the change"
import json, sys
a, b = (json.load(open(p)) for p in sys.argv[1:])
assert a == b, (a, b)
PYTHON
python3 - "$work/desired.json" <<'PYTHON'
import json, sys
path = sys.argv[1]
state = json.load(open(path))
state["serviceIsolation"]["ssh.service"] = False
state["userLevels"]["root"] = 63
json.dump(state, open(path, "w"), indent=1)
PYTHON
micctl6 bus5 apply --json "$work/desired.json" >"$work/apply6.json" || fail "Qt 6 micctl could not apply through the Qt 5 helper: $(cat "$work/apply6.json")"
python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); assert d["changed"] and not d["failed"], d' "$work/apply6.json" ||
    fail "the Qt 5 helper's outcome, as the Qt 6 micctl reads it: $(cat "$work/apply6.json")"
grep -qx 'service.ssh.service.isolated = no' "$state/var/lib/kestrel/services.state" || fail "ssh is still isolated in the state file"
grep -qx 'root = 63' "$state/var/lib/kestrel/users.state" || fail "root's level is not back in the state file"
micctl6 bus5 history --json -n 2 | python3 -c 'import json, sys; assert [e["outcome"] for e in json.load(sys.stdin)] == ["applied", "applied"]' ||
    fail "the history does not show both changes: $(micctl6 bus5 history -n 2)"
echo "Qt 6 micctl applied through the Qt 5 helper"

# A caller the policy denies is denied by the other Qt's helper too. The
# programs are copied where nobody can run them: the work tree may lie in a
# folder only root can enter.
mkdir -m 755 "$work/bin"
install -m 755 "$build5/bin/micctl" "$work/bin/micctl5"
install -m 755 "$build6/bin/micctl" "$work/bin/micctl6"
denied() { # BUS MICCTL…
    local bus=$1 said
    shift
    said=$(runuser -u nobody -- env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/$bus/system_bus_socket" "$@" status 2>&1 >/dev/null)
    [ $? -eq 1 ] && grep -q "not authorized" <<<"$said" || fail "nobody on $bus was not refused: $said"
}
denied bus6 "$work/bin/micctl5"
denied bus5 "$work/qt6" "$work/bin/micctl6"
echo "nobody is refused by the other Qt's helper"
echo "PASS"
