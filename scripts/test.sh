#!/usr/bin/env bash
# Sets up, builds and runs every test: the unit and dialog tests, the layer and
# format checks, the rights-dependent tests as an ordinary user, the program
# under a real tray host and under Wayland, a change of the local zone while it
# runs, and the installed package used by two ordinary users.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh default
ctest --preset default
bash scripts/check_layers.sh
bash scripts/check_format.sh
bash scripts/test_unprivileged.sh build/default
bash scripts/tray_toggle.sh build/default
bash scripts/wayland_smoke.sh build/default
bash scripts/e2e_zone.sh build/default
bash scripts/e2e_sync.sh build/default
if [ "$(id -u)" -eq 0 ]; then
  bash scripts/test_lock_users.sh build/default
  bash scripts/e2e_users.sh build/default
else
  echo "test_lock_users, e2e_users: skipped (they create users: run as root)"
fi
