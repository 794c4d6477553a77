#!/usr/bin/env bash
# Shows the tray icon on a real XEmbed tray host (trayer) under Xvfb and takes
# screenshots: the icon docked, the tray menu opened by a right click, the tray
# gone after its host was killed, and the icon back once the host runs again.
#
#   scripts/tray_screenshot.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR defaults to build/default and must hold bench/bench_traymenu (the
# tray harness). The screenshots go to OUT_DIR (default: a new temporary folder),
# whole screens and crops of the tray corner. Needs xvfb, xauth, xdotool,
# imagemagick and trayer.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside" ]; then
    build=$(realpath "${1:-build/default}")
    out=${2:-$(mktemp -d /tmp/tolva-tray.XXXXXX)}
    mkdir -p "$out"
    out=$(realpath "$out")
    for tool in xvfb-run xdotool import convert trayer; do
        command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
    done
    [ -x "$build/bench/bench_traymenu" ] || { echo "build bench_traymenu in $build first" >&2; exit 1; }
    exec xvfb-run -a -s '-noreset -screen 0 1024x768x24' bash "$0" --inside "$build" "$out"
fi

build=$2
out=$3
harness_pid=
trayer_pid=
cleanup() {
    [ -n "$harness_pid" ] && kill "$harness_pid" 2>/dev/null || true
    [ -n "$trayer_pid" ] && kill "$trayer_pid" 2>/dev/null || true
}
trap cleanup EXIT

start_trayer() {
    trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
        --transparent false --tint 0xd4d0c8 --distance 0 >/dev/null 2>&1 &
    trayer_pid=$!
}

# Waits until a window of the harness sits inside the tray panel; prints its id.
docked_icon() {
    for _ in $(seq 50); do
        if xwininfo -root -tree 2>/dev/null | grep -q '"panel": ("panel" "trayer")'; then
            id=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/{p=1} p && /"bench_traymenu"/{print $1; exit}')
            if [ -n "$id" ]; then
                echo "$id"
                return 0
            fi
        fi
        sleep 0.2
    done
    return 1
}

shot() {
    import -window root "$out/$1.png"
    convert "$out/$1.png" -crop 240x200+784+568 +repage -scale 200% "$out/$1-corner.png"
}

start_trayer
sleep 1
# No session bus: Qt takes the XEmbed tray.
env -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=xcb "$build/bench/bench_traymenu" --show >"$out/harness.log" 2>&1 &
harness_pid=$!

icon=$(docked_icon) || { echo "the icon did not dock" >&2; cat "$out/harness.log" >&2; exit 1; }
sleep 0.5
shot 1-icon

# Right click on the icon: our own owner-drawn menu at the pointer.
xdotool mousemove --window "$icon" 11 15
sleep 0.3
xdotool click 3
sleep 1
# Select the second item from the keyboard, to show the selection.
xdotool key Down Down
sleep 0.5
shot 2-menu
xdotool key Escape
sleep 0.5

kill "$trayer_pid"
wait "$trayer_pid" 2>/dev/null || true
trayer_pid=
sleep 1
shot 3-no-tray

start_trayer
icon=$(docked_icon) || { echo "the icon did not come back" >&2; exit 1; }
sleep 0.5
shot 4-icon-back

# The icon still answers: a left click shows the window, "退出主程序" ends the harness.
xdotool mousemove --window "$icon" 11 15
sleep 0.3
xdotool click 1
sleep 1
shot 5-window-shown
xdotool click 3
sleep 1
xdotool key Up Return
wait "$harness_pid" 2>/dev/null || true
harness_pid=
grep -q '^toggle: window shown$' "$out/harness.log" || { echo "the left click did not show the window" >&2; exit 1; }
grep -q '^command 32777$' "$out/harness.log" || { echo "the exit command did not arrive" >&2; exit 1; }

echo "screenshots in $out:"
ls "$out"
