#!/usr/bin/env bash
# The program under a Wayland compositor: weston with its headless back end,
# Qt's Wayland platform plug-in, the program on a temporary copy of its folder
# with a reminder due a few seconds after the start. Checks that the main window
# and the reminder popup appear (their xdg toplevels, from the protocol log of
# WAYLAND_DEBUG) and that the program ends cleanly on SIGTERM.
#   scripts/wayland_smoke.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/default}")
for tool in weston sqlite3; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (bash scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$build/tolva" ] || { echo "$build/tolva is not built" >&2; exit 1; }

work=$(mktemp -d)
weston_pid=
tolva_pid=
cleanup() {
    [ -n "$tolva_pid" ] && kill -KILL "$tolva_pid" 2>/dev/null || true
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp "$build/tolva" "$work/"
mkdir -p "$work/myTolva" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/template/tolva.dat" "$work/myTolva/tolva.dat"
due=$(date -d '+8 seconds' +%T)
sqlite3 "$work/myTolva/tolva.dat" \
    "insert into recordmsg (titile, text, date, time, use, insertdatatime)
     values ('smoke', 'wayland', '$(date +%F)', '$due', '0', '$(date '+%F %T')');"

export XDG_RUNTIME_DIR="$work/runtime"
socket=tolva-smoke-$$
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 50); do
    [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
    sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/$socket" ] || { echo "weston did not start" >&2; cat "$work/weston.log" >&2; exit 1; }

# No X display and no session bus: Wayland only, and no notification area.
(cd "$work" && exec env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY="$socket" \
    QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client ./tolva) >"$work/tolva.log" 2>&1 &
tolva_pid=$!

# A toplevel's title as the client sets it: xdg_toplevel@N.set_title("...").
titled() { grep -q "xdg_toplevel@[0-9]*\.set_title(\"$1" "$work/tolva.log"; }
await_title() {
    for _ in $(seq "$2"); do
        titled "$1" && return 0
        kill -0 "$tolva_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

fail=0
if await_title 'Tolva小精灵2016"' 100; then
    echo "main window: shown"
else
    echo "the main window did not appear" >&2
    fail=1
fi
if await_title 'Tolva小精灵 - ' 200; then
    echo "reminder popup: shown"
else
    echo "the reminder popup did not appear" >&2
    fail=1
fi

start=$(date +%s%N)
kill -TERM "$tolva_pid" 2>/dev/null || true
status=
for _ in $(seq 50); do
    if ! kill -0 "$tolva_pid" 2>/dev/null; then
        wait "$tolva_pid" && status=0 || status=$?
        break
    fi
    sleep 0.1
done
if [ -z "$status" ]; then
    echo "the program did not end within five seconds of SIGTERM" >&2
    fail=1
else
    tolva_pid=
    echo "ended on SIGTERM with status $status after $((($(date +%s%N) - start) / 1000000)) ms"
    [ "$status" = 0 ] || fail=1
fi
if grep -E 'Segmentation|Aborted|protocol error|wl_display.*error' "$work/tolva.log" >&2; then
    fail=1
fi
# What the compositor refused or ignored, for the reader.
grep -E '^qt\.qpa|Wayland does not support' "$work/tolva.log" | sort -u >&2 || true
exit "$fail"
