#!/usr/bin/env bash
# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# tests with threads under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
bash scripts/build.sh asan
ctest --preset asan
# Qt itself is not built with ThreadSanitizer; its own internals are left out.
# A test that starts a server (radicale) forks from a process with threads; the
# child only execs, so TSan is told not to kill it.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$PWD/scripts/tsan.supp"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target threaded_tests
ctest --preset tsan -L threaded
