#!/usr/bin/env bash
# Pictures of every dialog under Xvfb at the scale factors 1, 1.5 and 2
# (QT_SCALE_FACTOR) and under the C and zh_CN locales, to look at for cut-off
# texts, overlapping controls and blurred icons: the main window, a reminder
# popup falling due after the start, the about box, the settings dialog and
# the time calibration dialog, opened by clicking their buttons.
#   scripts/hidpi_screenshots.sh [build folder] [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside" ]; then
    build=$(realpath "${1:-build/default}")
    out=$(realpath -m "${2:-$(mktemp -d /tmp/tolva-hidpi.XXXXXX)}")
    for tool in xvfb-run xdotool xwininfo import sqlite3; do
        command -v "$tool" >/dev/null || { echo "missing: $tool (bash scripts/setup.sh installs it)" >&2; exit 1; }
    done
    [ -x "$build/tolva" ] || { echo "$build/tolva is not built" >&2; exit 1; }
    mkdir -p "$out"
    for locale in C.UTF-8 zh_CN.UTF-8; do
        for scale in 1 1.5 2; do
            work=$(mktemp -d)
            cp "$build/tolva" "$work/"
            mkdir -p "$work/myTolva" "$work/runtime"
            chmod 700 "$work/runtime"
            cp "$build/template/tolva.dat" "$work/myTolva/tolva.dat"
            today=$(date +%F)
            sqlite3 "$work/myTolva/tolva.dat" \
                "insert into recordmsg (titile, text, date, time, use, insertdatatime) values
                 ('周会', '三楼会议室，带上周报', '$today', '23:30:00', '0', '$today 08:00:00'),
                 ('给妈妈打电话', '问问周末回不回家吃饭。', '$today', '$(date -d '+7 seconds' +%T)', '0',
                  '$today 08:04:00');"
            env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/runtime" \
                QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" \
                xvfb-run -a -s '-noreset -screen 0 1400x1600x24' bash "$0" --inside "$work" \
                "$out/${locale%%.*}-x$scale" "$scale" "$locale" || echo "failed: $locale x$scale" >&2
            rm -rf "$work"
        done
    done
    echo "pictures in $out"
    exit 0
fi

work=$2
prefix=$3
locale=$5
# The locale is the program's only: xdotool cannot type in one that is not installed.
(cd "$work" && exec env LANG="$locale" LC_ALL="$locale" ./tolva) >"$work/tolva.log" 2>&1 &
tolva=$!
trap 'kill "$tolva" 2>/dev/null || true' EXIT

# The first visible window whose title matches; fails after ten seconds.
window() {
    local ids
    for _ in $(seq 100); do
        ids=$(xdotool search --onlyvisible --name "$1" 2>/dev/null) && break
        sleep 0.1
    done
    [ -n "$ids" ] || { echo "no window $1" >&2; return 1; }
    echo "${ids%%$'\n'*}"
}
# Clicks a point given in the form's dialog units of a window whose size in
# dialog units is W x H: the pixels follow the window's real size.
click_dlu() {
    local id=$1 x=$2 y=$3 w=$4 h=$5 geometry width height
    geometry=$(xwininfo -id "$id")
    width=$(awk '/Width:/{print $2}' <<<"$geometry")
    height=$(awk '/Height:/{print $2}' <<<"$geometry")
    xdotool mousemove --window "$id" $((x * width / w)) $((y * height / h)) click 1
}

# A key for a window: focused first, as there is no window manager to do it.
press() {
    xdotool windowfocus --sync "$1"
    xdotool key "$2"
}

main=$(window '^Tolva.*2016$')
sleep 1.5
import -window "$main" "$prefix-main.png"

popup=$(window '^Tolva.* - ')
sleep 1
import -window "$popup" "$prefix-popup.png"
# Keys in a popup's first second are taken for typing meant elsewhere.
sleep 0.5
press "$popup" Return
sleep 1

# The buttons of the group "Tolva系统设置" in the 321 x 409 form.
click_dlu "$main" 120 386 321 409
about=$(window '^关于')
sleep 0.7
import -window "$about" "$prefix-about.png"
press "$about" Escape
sleep 0.5

click_dlu "$main" 49 386 321 409
settings=$(window '^常规设置$')
sleep 0.7
import -window "$settings" "$prefix-settings.png"
press "$settings" Escape
sleep 0.5

click_dlu "$main" 271 386 321 409
timesync=$(window '^时间校对$')
sleep 0.7
import -window "$timesync" "$prefix-timesync.png"
# Neither Enter nor Esc closes it: its button "关闭窗口" does.
click_dlu "$timesync" 278 161 310 176
sleep 0.5
