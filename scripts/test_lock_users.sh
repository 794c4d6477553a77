#!/usr/bin/env bash
# The single-instance lock against another local user, as two ordinary users
# on one machine. Without a runtime folder of the session (su shells, some
# remote desktops), one user takes the names the program's lock could fall
# back to in the shared temporary folder (runtime-<victim>, tolva-<victim's
# uid>) and plants a lock nobody may read (mode 000). The other user's copy
# must still start and stay, keep its lock in a folder of its own (0700, not a
# link), and a second start of that user's copy must still end at once.
#
#   scripts/test_lock_users.sh [BUILD_DIR]     (as root; BUILD_DIR: build/default, already built)
#
# The shared temporary folder is a folder of this script's own (mode 1777, as
# /tmp), handed to both users as TMPDIR: the machine's /tmp is never written.
# The two users and everything else it made go afterwards, also when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/default}")
users=(tolva-lock-planter tolva-lock-victim)
work=
pids=()

fail() {
    echo "test_lock_users: FAIL: $*" >&2
    exit 1
}

cleanup() {
    set +e
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    for u in "${users[@]}"; do
        id "$u" >/dev/null 2>&1 && userdel -f -r "$u" 2>/dev/null
    done
    [ -n "$work" ] && rm -rf "$work"
}
trap cleanup EXIT

[ "$(id -u)" -eq 0 ] || fail "run this as root (it creates users)"
[ -x "$build/tolva" ] && [ -f "$build/myTolva/tolva.dat" ] || fail "build $build first"
for u in "${users[@]}"; do
    id "$u" >/dev/null 2>&1 && userdel -f -r "$u" 2>/dev/null || true
    useradd -m "$u"
done
planter=${users[0]}
victim=${users[1]}
victim_uid=$(id -u "$victim")

work=$(mktemp -d /tmp/tolva-lock-users.XXXXXX)
chmod 0755 "$work"
shared=$work/tmp
mkdir -m 1777 "$shared"
# The victim's portable copy: the program and its data folder.
program=$work/program
mkdir "$program"
cp "$build/tolva" "$program/tolva"
cp -r "$build/myTolva" "$program/myTolva"
chown -R "$victim:" "$program"

as() {
    local u=$1
    shift
    runuser -u "$u" -- env -i PATH=/usr/bin:/bin HOME="$(getent passwd "$u" | cut -d: -f6)" USER="$u" \
        TMPDIR="$shared" QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 "$@"
}

# The planter takes every name the victim's copy could fall back to.
as "$planter" mkdir -m 0755 "$shared/runtime-$victim"
as "$planter" mkdir -m 0755 "$shared/tolva-$victim_uid"
as "$planter" sh -c "umask 0777 && : > '$shared/TOLVAKORVEN2016.lock' && : > '$shared/TOLVAKORVEN2016.sock'"
as "$planter" sh -c "umask 0777 && : > '$shared/tolva-$victim_uid/TOLVAKORVEN2016.lock'"

as "$victim" "$program/tolva" >"$work/first.log" 2>&1 &
pids+=($!)
first=$!
sleep 3
kill -0 "$first" 2>/dev/null || fail "the victim's program ended at once: $(tail -5 "$work/first.log")"

# Its lock lies in a folder of the victim's own.
lock=$(find "$shared" "$(getent passwd "$victim" | cut -d: -f6)" -name 'TOLVAKORVEN2016.lock' \
    -user "$victim" 2>/dev/null | head -1)
[ -n "$lock" ] || fail "no lock of the victim's copy was found"
folder=$(dirname "$lock")
[ ! -L "$folder" ] || fail "$folder is a link"
[ "$(stat -c '%U %a' "$folder")" = "$victim 700" ] || fail "$folder: $(stat -c '%U %a' "$folder")"

# A second start of the victim's copy asks the first one forward and ends.
start=$(date +%s)
as "$victim" timeout 20 "$program/tolva" >"$work/second.log" 2>&1 || fail "the second copy failed: $(tail -5 "$work/second.log")"
kill -0 "$first" 2>/dev/null || fail "the first copy ended"
echo "test_lock_users: PASS (lock in $folder, second copy ended after $(($(date +%s) - start)) s)"
