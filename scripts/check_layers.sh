#!/usr/bin/env bash
# Fails when a source file includes a header from a folder above its own.
# The folders, top to bottom; each may include only itself and those below it.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(app reminders timers timesync system sync store calendar widgets platform base)
rank() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}
status=0
for dir in src/*/; do
  own=$(basename "$dir")
  own_rank=$(rank "$own")
  if [ "$own_rank" -lt 0 ]; then
    echo "src/$own: folder not in the layer list of scripts/check_layers.sh" >&2
    status=1
    continue
  fi
  while IFS=: read -r file line target; do
    [ -n "$file" ] || continue
    target_rank=$(rank "$target")
    if [ "$target_rank" -lt 0 ] || [ "$target_rank" -lt "$own_rank" ]; then
      echo "$file:$line: includes $target/ from $own/ (only folders below $own/ may be included)" >&2
      status=1
    fi
  done < <(grep -HnoE '^#include "[a-z]+/' "$dir"* 2>/dev/null | sed -E 's/#include "//; s/\/$//')
done
if [ "$status" -eq 0 ]; then
  echo "layers: every include points down"
fi
exit "$status"
