#!/usr/bin/env bash
# Idle cost of the running program: CPU time and wake-ups per second (voluntary
# context switches of all its threads) over a quiet period, with the main window
# shown and with it hidden into a real tray (trayer, an XEmbed tray host) under
# a private Xvfb, each with an empty database and with 10,000 reminders on other
# days; every run on a fresh temporary copy of the program folder. CPU is the
# threads' own run time (schedstat, in nanoseconds), not clock ticks, so a
# short run still tells 0.05 % from 0.2 %. Each case runs several times.
# Targets: hidden <= 0.3 wake-ups/s, shown <= 2.5/s, CPU < 0.1% of one core.
#   bench/bench_idle.sh [build folder] [seconds, default 20] [runs per case, default 3] [windows, default "shown hidden"]
set -euo pipefail
build=$(realpath "${1:-build/default}")
seconds=${2:-20}
runs=${3:-3}
windows=${4:-shown hidden}
settle=8  # past the hidden start (timer 7, 5 s), so start-up work is not counted

for tool in Xvfb trayer sqlite3; do
  command -v "$tool" >/dev/null || { echo "bench_idle: $tool is missing (apt-get install xvfb trayer sqlite3)" >&2; exit 1; }
done
[ -x "$build/tolva" ] || { echo "bench_idle: $build/tolva is not built" >&2; exit 1; }
[ -f "$build/template/tolva.dat" ] || { echo "bench_idle: $build/template/tolva.dat is missing" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own, and a tray host on it.
display=
for n in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=$n; break; }
done
[ -n "$display" ] || { echo "bench_idle: no free display number" >&2; exit 1; }
Xvfb ":$display" -noreset -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"
trayer --edge top --align right --widthtype pixel --width 200 --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)
sleep 1
kill -0 "${pids[1]}" 2>/dev/null || { echo "bench_idle: trayer did not start" >&2; cat "$work/trayer.log" >&2; exit 1; }

# One line per thread of $1: id, voluntary context switches, name.
snapshot() {
  local t n
  for t in /proc/"$1"/task/*; do
    n=$(awk '/^voluntary_ctxt_switches:/ { print $2 }' "$t/status" 2>/dev/null) || continue
    [ -n "$n" ] && echo "${t##*/} $n $(cat "$t/comm" 2>/dev/null)"
  done
}
# Wake-ups between two snapshots: each thread's own increase (threads that
# started meanwhile count from 0; those that ended are gone), and per name.
wakeups() {
  awk 'NR == FNR { before[$1] = $2; next }
       { id = $1; n = $2; $1 = ""; $2 = ""; name = substr($0, 3)
         d = n - (id in before ? before[id] : 0); total += d; per[name] += d }
       END { printf "%d", total; for (k in per) if (per[k] > 0) printf "\t%s %d", k, per[k]; print "" }' "$1" "$2"
}
# Run time of all threads of $1 so far, in nanoseconds (ended threads count
# in neither snapshot; the program ends none while idle).
cpu_ns() { { cat /proc/"$1"/task/*/schedstat 2>/dev/null || true; } | awk '{ s += $1 } END { printf "%d", s }'; }

# 10,000 reminders spread over other days (none today, none every day).
fill() {
  local today
  today=$(date +%Y-%m-%d)
  sqlite3 "$1" <<SQL
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9999)
INSERT INTO recordmsg (titile, text, date, time, use, insertdatatime)
SELECT 'bench', 'idle', d, printf('%02d:%02d:%02d', (i * 7) % 24, (i * 13) % 60, (i * 29) % 60), '0',
       '2020-01-01 00:00:00'
FROM (SELECT i, date('2020-01-01', '+' || ((i * 37) % 3000) || ' days') AS d FROM n)
WHERE d <> '$today';
SQL
}

run() { # label records [arguments...]
  local label=$1 records=$2
  shift 2
  local dir
  dir=$(mktemp -d "$work/$label-$records.XXXX")
  mkdir -p "$dir/myTolva" "$dir/runtime"
  chmod 700 "$dir/runtime"
  cp "$build/tolva" "$dir/"
  cp "$build/template/tolva.dat" "$dir/myTolva/tolva.dat"
  [ "$records" -eq 0 ] || fill "$dir/myTolva/tolva.dat"
  local count
  count=$(sqlite3 "$dir/myTolva/tolva.dat" 'select count(*) from recordmsg')
  (cd "$dir" && exec env XDG_RUNTIME_DIR="$dir/runtime" HOME="$dir" ./tolva "$@") >"$dir/log" 2>&1 &
  local pid=$!
  sleep "$settle"
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "$label: the program ended before the measurement" >&2
    cat "$dir/log" >&2
    return 1
  fi
  local c0 t0 c1 t1 threads counted
  c0=$(cpu_ns "$pid"); snapshot "$pid" >"$dir/s0"; t0=$(date +%s.%N)
  sleep "$seconds"
  c1=$(cpu_ns "$pid"); snapshot "$pid" >"$dir/s1"; t1=$(date +%s.%N)
  threads=$(wc -l <"$dir/s1")
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  counted=$(wakeups "$dir/s0" "$dir/s1")
  awk -v c=$((c1 - c0)) -v w="${counted%%$'\t'*}" -v t0="$t0" -v t1="$t1" -v label="$label" \
    -v th="$threads" -v n="$count" \
    'BEGIN { d = t1 - t0; printf "%-8s %6d records: CPU %.3f%% of one core, %.2f wake-ups/s (%d threads, %.1f s)\n",
             label, n, 100 * c / 1e9 / d, w / d, th, d }'
  # Where they came from, per thread name, over the whole measurement.
  tr '\t' '\n' <<<"$counted" | tail -n +2 | sed 's/^/           /'
}

echo "idle program under Xvfb with trayer as the tray host, $seconds s each after $settle s to settle, $runs runs"
for records in 0 10000; do
  for window in $windows; do
    for _ in $(seq "$runs"); do
      if [ "$window" = hidden ]; then run hidden "$records" -Tolva; else run shown "$records"; fi
    done
  done
done
echo "targets: hidden <= 0.3 wake-ups/s, shown <= 2.5 wake-ups/s, CPU < 0.1% of one core"
