#!/usr/bin/env bash
# A left click on the real tray icon shows and hides the main window, under a
# window manager (openbox) with a real XEmbed tray host (trayer) on Xvfb: the
# program on a temporary copy of its folder, the icon found in trayer's panel
# and clicked with xdotool, the window's map state read with xwininfo.
#   scripts/tray_toggle.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside" ]; then
    build=$(realpath "${1:-build/default}")
    for tool in xvfb-run xdotool xwininfo xprop openbox trayer; do
        command -v "$tool" >/dev/null || { echo "missing: $tool (bash scripts/setup.sh installs it)" >&2; exit 1; }
    done
    [ -x "$build/tolva" ] || { echo "$build/tolva is not built" >&2; exit 1; }
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp "$build/tolva" "$work/"
    mkdir -p "$work/myTolva" "$work/runtime"
    chmod 700 "$work/runtime"
    cp "$build/template/tolva.dat" "$work/myTolva/tolva.dat"
    # No session bus: Qt docks the icon in the XEmbed tray.
    env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s '-noreset -screen 0 1024x768x24' bash "$0" --inside "$work"
    exit $?
fi

work=$2
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT

openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
    --transparent false --distance 0 >/dev/null 2>&1 &
pids+=($!)
sleep 1
(cd "$work" && exec ./tolva) >"$work/tolva.log" 2>&1 &
tolva=$!
pids+=($tolva)

main=$(xdotool search --sync --onlyvisible --name '^Tolva.*2016$')
main=${main%%$'\n'*}
icon=
for _ in $(seq 50); do
    icon=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/{p=1} p && /"tolva"/ && !f {print $1; f=1}')
    [ -n "$icon" ] && break
    sleep 0.2
done
[ -n "$icon" ] || { echo "the tray icon did not dock" >&2; cat "$work/tolva.log" >&2; exit 1; }

mapped() { [[ $(xwininfo -id "$main") == *'Map State: IsViewable'* ]]; }
# Waits up to three seconds for the window to be shown (1) or hidden (0).
await() {
    for _ in $(seq 30); do
        if [ "$1" = 1 ] && mapped; then return 0; fi
        if [ "$1" = 0 ] && ! mapped; then return 0; fi
        sleep 0.1
    done
    return 1
}
click_icon() {
    xdotool mousemove --window "$icon" 11 15
    sleep 0.3
    xdotool click 1
}

await 1 || { echo "the main window did not show at start" >&2; exit 1; }
sleep 1
fail=0
for round in 1 2; do
    click_icon
    await 0 || { echo "click $((2 * round - 1)): the shown window stayed shown" >&2; fail=1; }
    sleep 0.5
    click_icon
    await 1 || { echo "click $((2 * round)): the hidden window stayed hidden" >&2; fail=1; }
    # Back in its normal state, not iconified by the window manager.
    if [[ $(xprop -id "$main" WM_STATE) == *Iconic* ]]; then
        echo "click $((2 * round)): the window came back iconified" >&2
        fail=1
    fi
    sleep 0.5
done

# The program's own end on a termination request.
kill -TERM "$tolva"
for _ in $(seq 50); do
    kill -0 "$tolva" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$tolva" 2>/dev/null; then
    echo "the program did not end on SIGTERM within five seconds" >&2
    fail=1
fi
[ "$fail" = 0 ] && echo "tray toggle: shown, hidden, shown, hidden, shown"
exit "$fail"
