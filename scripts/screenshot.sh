#!/usr/bin/env bash
# Takes a screenshot of the main window under Xvfb, on a temporary copy of the
# program folder holding a few sample reminders.
#   scripts/screenshot.sh [build folder] [output .png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
out=$(realpath -m "${2:-shot.png}")

for tool in xvfb-run import sqlite3; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (apt-get install xvfb xauth imagemagick sqlite3)" >&2; exit 1; }
done
[ -x "$build/tolva" ] || { echo "screenshot: $build/tolva is not built" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/tolva" "$work/"
mkdir -p "$work/myTolva" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/template/tolva.dat" "$work/myTolva/tolva.dat"
today=$(date +%F)
tomorrow=$(date -d tomorrow +%F)
sqlite3 "$work/myTolva/tolva.dat" <<SQL
insert into recordmsg (titile, text, date, time, use, insertdatatime) values
  ('周会', '三楼会议室，带上周报', '$tomorrow', '09:30:00', '0', '$today 08:00:00'),
  ('吃药', '饭后一粒', 'Every Day', '12:30:00', '0', '$today 08:01:00'),
  ('交电费', '网上银行缴费', '$today', '18:00:00', '1', '$today 08:02:00'),
  ('关机', '需要提示', '$tomorrow', '23:00:00', '0', '$today 08:03:00');
SQL

cat >"$work/shoot.sh" <<'EOF'
#!/usr/bin/env bash
cd "$1"
./tolva &
pid=$!
sleep 4
import -window root "$2"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
EOF
chmod +x "$work/shoot.sh"

# The weekday of the date picker follows the user's locale: show a Chinese one.
env XDG_RUNTIME_DIR="$work/runtime" LANG=zh_CN.UTF-8 LC_ALL= LC_CTYPE=C.UTF-8 \
  xvfb-run -a -s '-noreset -screen 0 1024x768x24' "$work/shoot.sh" "$work" "$out"
echo "screenshot: $out"
