#!/usr/bin/env bash
# Runs the test programs whose outcome depends on rights (data folder, start
# with system, shortcuts, backup and restore, start-up, the screen saver tool,
# the command line writing the data file) as
# an unprivileged user: root passes checks that an ordinary user fails, and some
# tests can only make their point (a read-only folder) when not run as root.
#
#   scripts/test_unprivileged.sh [BUILD_DIR]    (BUILD_DIR: build/default, already built)
#
# As root the tests run as TOLVA_TEST_USER (default: nobody); as anybody else,
# as that user. The build folder must be readable by that user. The tests write
# only in a temporary folder of their own (TMPDIR, with the XDG runtime folder
# inside it), which goes afterwards. A test skipped for running as root fails
# the run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/default}")
tests=(tst_paths tst_autostart tst_shortcuts tst_settingsdlg tst_maintenance tst_startup tst_restreminder tst_store tst_reminderdlg
    tst_commandline tst_calendarexchange tst_caldav tst_syncengine tst_idlemonitor tst_syncdlg tst_syncrunner)
user=${TOLVA_TEST_USER:-nobody}

if [ "$(id -u)" -eq 0 ]; then
    id "$user" >/dev/null 2>&1 || { echo "no user $user" >&2; exit 1; }
    [ "$(id -u "$user")" -ne 0 ] || { echo "$user is root" >&2; exit 1; }
    run_as() { runuser -u "$user" -- "$@"; }
else
    user=$(id -un)
    run_as() { "$@"; }
fi

tmp=$(run_as mktemp -d /tmp/tolva-unprivileged.XXXXXX)
cleanup() {
    run_as chmod -R u+rwX "$tmp" 2>/dev/null || true
    run_as rm -rf "$tmp" || rm -rf "$tmp"
}
trap cleanup EXIT
run_as mkdir -m 0700 "$tmp/run"

failed=()
for t in "${tests[@]}"; do
    exe=$build/tests/$t
    [ -x "$exe" ] || { echo "missing $exe: build it first" >&2; exit 1; }
    if ! run_as test -r "$exe" -a -x "$exe"; then
        echo "$user cannot run $exe: make the build folder readable for others" >&2
        exit 1
    fi
    log=$tmp/$t.log
    start=$(date +%s)
    if run_as env -i PATH=/usr/bin:/bin HOME="$tmp" TMPDIR="$tmp" XDG_RUNTIME_DIR="$tmp/run" \
        QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 QT_ASSUME_STDERR_HAS_CONSOLE=1 "$exe" >"$log" 2>&1 &&
        ! grep -q '^SKIP .*root' "$log"; then
        echo "PASS $t as $user ($(($(date +%s) - start)) s): $(grep '^Totals' "$log")"
    else
        echo "FAIL $t as $user:"
        grep -E '^(FAIL|SKIP|   )|Totals' "$log" | sed 's/^/    /'
        failed+=("$t")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "failed as $user: ${failed[*]}" >&2
    exit 1
fi
