#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
# A test over the helper, started by hand without MIC_STATE_ROOT, must stop
# before it touches anything: it empties its state root before each use,
# and without one named that would be the directory it was started in.
#   staterootguardtest.sh TEST_BINARY
set -u
binary=$1
work=$(mktemp -d)
trap 'rm -rf "$work" "$work.log"' EXIT
mkdir "$work/dir"
echo "keep me" >"$work/dir/file"
(cd "$work/dir" && env -u MIC_STATE_ROOT QT_QPA_PLATFORM=offscreen DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus" \
    timeout 60 "$binary" >"$work.log" 2>&1)
status=$?
if [ "$(cat "$work/dir/file" 2>/dev/null)" != "keep me" ] || [ "$(ls -A "$work/dir")" != "file" ]; then
    cat "$work.log"
    echo "the test changed the directory it was started in"
    exit 1
fi
if [ "$status" -eq 0 ]; then
    cat "$work.log"
    echo "the test ran without a state root"
    exit 1
fi
echo "stopped without a state root (exit status $status); the directory it was started in is untouched"
