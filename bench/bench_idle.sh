#!/usr/bin/env bash
# Idle cost of the running program: CPU time and wake-ups per second over a
# quiet period, once with the main window shown and once hidden (started with
# -Tolva), each time on a fresh temporary copy of the program folder under Xvfb.
# Targets: < 0.5% of one core and <= 5 wake-ups per second.
#   bench/bench_idle.sh [build folder] [seconds to measure, default 30]
set -euo pipefail
build=$(realpath "${1:-build/default}")
seconds=${2:-30}
settle=8  # past the hidden start (timer 7, 5 s), so start-up work is not counted

command -v xvfb-run >/dev/null || { echo "bench_idle: xvfb-run is missing (apt-get install xvfb xauth)" >&2; exit 1; }
[ -x "$build/tolva" ] || { echo "bench_idle: $build/tolva is not built" >&2; exit 1; }
[ -f "$build/template/tolva.dat" ] || { echo "bench_idle: $build/template/tolva.dat is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/measure.sh" <<'EOF'
#!/usr/bin/env bash
# measure.sh <program folder> <seconds> <settle> <label> [arguments...]
set -euo pipefail
dir=$1 seconds=$2 settle=$3 label=$4
shift 4
cd "$dir"
./tolva "$@" &
pid=$!
sleep "$settle"
if ! kill -0 "$pid" 2>/dev/null; then
  echo "$label: the program ended before the measurement" >&2
  exit 1
fi

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
switches() {
  local total=0 n
  for s in /proc/"$1"/task/*/status; do
    n=$(awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ { t += $2 } END { print t + 0 }' "$s" 2>/dev/null || echo 0)
    total=$((total + n))
  done
  echo "$total"
}

hz=$(getconf CLK_TCK)
c0=$(cpu_ticks "$pid"); w0=$(switches "$pid"); t0=$(date +%s.%N)
sleep "$seconds"
c1=$(cpu_ticks "$pid"); w1=$(switches "$pid"); t1=$(date +%s.%N)
threads=$(ls "/proc/$pid/task" | wc -l)
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

awk -v c=$((c1 - c0)) -v w=$((w1 - w0)) -v t0="$t0" -v t1="$t1" -v hz="$hz" -v label="$label" -v th="$threads" \
  'BEGIN { d = t1 - t0; printf "%s: CPU %.3f%% of one core, %.2f wake-ups/s (%d threads, %.1f s measured)\n",
           label, 100 * c / hz / d, w / d, th, d }'
EOF
chmod +x "$work/measure.sh"

run() {
  local label=$1
  shift
  local dir="$work/$label"
  mkdir -p "$dir/myTolva" "$dir/runtime"
  chmod 700 "$dir/runtime"
  cp "$build/tolva" "$dir/"
  cp "$build/template/tolva.dat" "$dir/myTolva/tolva.dat"
  env XDG_RUNTIME_DIR="$dir/runtime" xvfb-run -a -s '-noreset -screen 0 1024x768x24' \
    "$work/measure.sh" "$dir" "$seconds" "$settle" "$label" "$@"
}

run shown
run hidden -Tolva
echo "targets: < 0.5% of one core, <= 5 wake-ups/s"
