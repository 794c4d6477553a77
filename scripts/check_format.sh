#!/usr/bin/env bash
# Fails when a C++ source has drifted from .clang-format; with --fix, formats them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if clang-format --dry-run -Werror "${files[@]}" 2>/tmp/check_format.$$; then
  rm -f /tmp/check_format.$$
  echo "format: ${#files[@]} files as .clang-format has them"
  exit 0
fi
grep -E '^[^ ].*: error:' /tmp/check_format.$$ | cut -d: -f1 | sort -u | sed 's/$/: differs from .clang-format (bash scripts\/check_format.sh --fix)/' >&2
rm -f /tmp/check_format.$$
exit 1
