#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
# Opens the module in kcmshell5 (or kcmshell6 for a build with Qt 6) under
# a virtual display and waits for its
# window. Fails when the window does not appear or the host cannot load the
# module.
set -u
build=$1
host_command=kcmshell${2:-5}
work=$(mktemp -d)
cleanup() {
    [ -n "${host:-}" ] && kill "$host" 2>/dev/null
    [ -f "$work/session.pid" ] && kill "$(cat "$work/session.pid")" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 500))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do
    DISPLAY=$display xwininfo -root >/dev/null 2>&1 && break
    sleep 0.1
done

export DISPLAY=$display
# The run command's environment, in English: the test knows the window by
# its title.
export LANGUAGE=en
. "$(dirname "$0")/../scripts/module-environment" "$build"
export XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
export MIC_STATE_ROOT="$work/root"
# No system bus serves the helper here: the module reports that and stays up.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-system-bus"
# A session bus of the test's own, stopped by its PID.
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/session.address" 4>"$work/session.pid"
export DBUS_SESSION_BUS_ADDRESS=$(cat "$work/session.address")
"$host_command" lumen_kcm_mic >"$work/host.log" 2>&1 &
host=$!

# kcmshell6 names the window after the module alone.
title="Integrity Control — System Settings Module"
[ "$host_command" = kcmshell6 ] && title="Integrity Control"
for _ in $(seq 150); do
    if xwininfo -root -tree | grep -qF "\"$title\""; then
        if grep -qiE "error loading|could not load|cannot load|failed to load" "$work/host.log"; then
            cat "$work/host.log"
            echo "the host opened a window but could not load the module"
            exit 1
        fi
        echo "the module's window appeared: $title"
        # The window's Help opens the administrator's guide in KDE's help
        # centre, as the run command sets it up.
        window=$(xdotool search --name "Integrity Control" | tail -1)
        # The Help button sits at the right end of the button row, or at its
        # left end in Plasma 6's look; the window may still take its size
        # after its first read, so it is measured before each click. The
        # help centre takes seconds to start: a click every few seconds.
        help_x=-59
        [ "${QT_QPA_PLATFORMTHEME:-}" = kde ] && help_x=50
        guide_title="Integrity Control: the administrator's guide — Help Center"
        for attempt in $(seq 60); do
            if [ $((attempt % 15)) -eq 1 ]; then
                eval "$(xdotool getwindowgeometry --shell "$window")"
                [ "$help_x" -lt 0 ] && x=$((X + WIDTH + help_x)) || x=$((X + help_x))
                xdotool mousemove "$x" $((Y + HEIGHT - 31)) click 1
            fi
            sleep 0.2
            xwininfo -root -tree | grep -qF "\"$guide_title\"" && break
        done
        if ! xwininfo -root -tree | grep -qF "\"$guide_title\""; then
            cat "$work/host.log"
            xwininfo -root -tree | grep '"' | head -20
            echo "Help did not open the guide in the help centre"
            exit 1
        fi
        echo "Help opened the guide: $guide_title"
        [ -n "${MIC_SHOT:-}" ] && import -window root "$MIC_SHOT"
        exit 0
    fi
    if ! kill -0 "$host" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
cat "$work/host.log"
xwininfo -root -tree | head -40
echo "no window \"$title\""
exit 1
