#!/usr/bin/env bash
# Configures and builds one preset (default, asan or tsan).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
# ccache (when installed): the same sources compiled in another checkout or build
# folder hit the same cache entries.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
