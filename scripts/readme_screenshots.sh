#!/usr/bin/env bash
# Makes the README's pictures under Xvfb with the real program on a temporary
# copy of its folder: the main window, the tray menu (on a trayer panel) and a
# reminder popup that falls due a few seconds after the start.
#   scripts/readme_screenshots.sh [build folder] [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside" ]; then
    build=$(realpath "${1:-build/default}")
    out=$(realpath -m "${2:-docs}")
    for tool in xvfb-run xdotool import convert trayer sqlite3 xwininfo; do
        command -v "$tool" >/dev/null || { echo "missing: $tool (bash scripts/setup.sh installs it)" >&2; exit 1; }
    done
    [ -x "$build/tolva" ] || { echo "$build/tolva is not built" >&2; exit 1; }
    mkdir -p "$out"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp "$build/tolva" "$work/"
    mkdir -p "$work/myTolva" "$work/runtime"
    chmod 700 "$work/runtime"
    cp "$build/template/tolva.dat" "$work/myTolva/tolva.dat"
    today=$(date +%F)
    tomorrow=$(date -d tomorrow +%F)
    due=$(date -d '+14 seconds' +%T)
    sqlite3 "$work/myTolva/tolva.dat" <<SQL
insert into recordmsg (titile, text, date, time, use, insertdatatime) values
  ('周会', '三楼会议室，带上周报', '$tomorrow', '09:30:00', '0', '$today 08:00:00'),
  ('吃药', '饭后一粒', 'Every Day', '12:30:00', '0', '$today 08:01:00'),
  ('交电费', '网上银行缴费', '$today', '07:00:00', '1', '$today 08:02:00'),
  ('关机', '需要提示', '$tomorrow', '23:00:00', '0', '$today 08:03:00'),
  ('给妈妈打电话', '问问周末回不回家吃饭，顺便提醒她按时量血压。', '$today', '$due', '0', '$today 08:04:00');
SQL
    # Two repeating reminders, through the command line as a user's script would add them.
    (cd "$work" && ./tolva --add 写周报 --content 本周进展和下周计划 --at "$tomorrow 16:00:00" \
        --rrule "FREQ=WEEKLY;BYDAY=MO,WE,FR" >/dev/null &&
        ./tolva --add 打卡 --content 上班打卡 --at "$tomorrow 08:50:00" --workdays >/dev/null)
    # The weekday of the date picker follows the user's locale: a Chinese one.
    env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/runtime" LANG=zh_CN.UTF-8 LC_ALL= LC_CTYPE=C.UTF-8 \
        QT_QPA_PLATFORM=xcb xvfb-run -a -s '-noreset -screen 0 1024x768x24' bash "$0" --inside "$work" "$out"
    echo "pictures in $out"
    exit 0
fi

work=$2
out=$3
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT

trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
    --transparent false --tint 0xd4d0c8 --distance 0 >/dev/null 2>&1 &
pids+=($!)
sleep 1
(cd "$work" && exec ./tolva) >"$work/tolva.log" 2>&1 &
pids+=($!)

window() { xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1; }

main=$(window '^Tolva.*2016$')
sleep 2
import -window "$main" "$out/main-window.png"

# The tray icon: the program's window inside trayer's panel.
icon=
for _ in $(seq 50); do
    icon=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/{p=1} p && /"tolva"/{print $1; exit}')
    [ -n "$icon" ] && break
    sleep 0.2
done
[ -n "$icon" ] || { echo "the tray icon did not dock" >&2; cat "$work/tolva.log" >&2; exit 1; }
xdotool mousemove --window "$icon" 11 15
sleep 0.3
xdotool click 3
sleep 1
xdotool key Down Down
sleep 0.5
import -window root "$work/screen.png"
convert "$work/screen.png" -crop 190x150+834+618 +repage "$out/tray-menu.png"
xdotool key Escape

popup=$(window '^Tolva.* - ')
sleep 1
import -window "$popup" "$out/popup.png"
