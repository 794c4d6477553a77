#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time.
#   scripts/fuzz.sh [seconds-per-target]    (default 60)
# Each target starts from a copy of its seed corpus in fuzz/corpus/ (the
# repository's corpus is never written to). Exits non-zero when any target
# found a crash, a sanitizer report, a broken property or a hang; the input
# that did it is kept in the run folder printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [seconds-per-target]" >&2
  exit 2
fi
targets=(settings gbk timeprotocol where)

bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 --target "${targets[@]/#/fuzz_}"

run=$(mktemp -d "${TMPDIR:-/tmp}/tolva-fuzz.XXXXXX")
# The targets' own scratch files (settings files, databases) go to memory
# where there is some: they are rewritten, and synced, for every input.
scratch=$run/scratch
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch=$(mktemp -d /dev/shm/tolva-fuzz.XXXXXX)
fi
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for t in "${targets[@]}"; do
  dir=$run/$t
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp -R "fuzz/corpus/$t/." "$dir/corpus/"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$dir/artifacts/")
  [ -f "fuzz/$t.dict" ] && options+=(-dict="fuzz/$t.dict")
  status=0
  TMPDIR=$scratch "build/fuzz/fuzz/fuzz_$t" "${options[@]}" "$dir/corpus" >"$dir/log" 2>&1 || status=$?
  found=$(find "$dir/artifacts" -type f | wc -l)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$dir/log" | tail -1 | cut -d' ' -f2)
  features=$(grep -o 'ft: [0-9]*' "$dir/log" | tail -1 | cut -d' ' -f2)
  units=$(find "$dir/corpus" -type f | wc -l)
  printf '%-13s runs %-9s exec/s %-6s cov %-5s ft %-6s corpus %-5s' \
    "$t" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${features:-?}" "$units"
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    echo " FAILED (exit $status)"
    grep -m1 -E 'property failed|ERROR: |runtime error' "$dir/log" || true
    find "$dir/artifacts" -type f
    failed+=("$t")
  else
    echo " ok"
  fi
done

echo "logs and corpora: $run"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
