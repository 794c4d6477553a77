#!/usr/bin/env bash
# Two copies of the program (two data folders) syncing through a real CalDAV
# server (Debian's radicale, its own config and storage, on 127.0.0.1), with
# python3-caldav as an independent client on the same calendar.
#   scripts/e2e_sync.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")

fail() {
    echo "e2e_sync: $*" >&2
    exit 1
}
[ -x "$build/tolva" ] || fail "$build/tolva is not built"
/usr/bin/python3 -c 'import radicale, caldav' 2>/dev/null || fail "radicale and python3-caldav are needed (scripts/setup.sh)"

work=$(mktemp -d)
server_pid=
stop_server() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        server_pid=
    fi
}
trap 'stop_server; rm -rf "$work"' EXIT

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/storage"
echo "alice:pw-alice" >"$work/users"
cat >"$work/radicale.conf" <<CONF
[server]
hosts = 127.0.0.1:$port
[auth]
type = htpasswd
htpasswd_filename = $work/users
htpasswd_encryption = plain
[rights]
type = owner_only
[storage]
filesystem_folder = $work/storage
[logging]
level = warning
CONF
start_server() {
    /usr/bin/python3 -m radicale --config "$work/radicale.conf" >>"$work/radicale.log" 2>&1 &
    server_pid=$!
    for _ in $(seq 100); do
        /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null && return 0
        sleep 0.1
    done
    cat "$work/radicale.log" >&2
    fail "radicale did not start"
}
start_server

# Two portable copies: a myTolva folder beside each executable. No secret
# store answers here, so each command reads the password from stdin.
for c in A B; do
    mkdir -p "$work/$c/myTolva"
    cp "$build/tolva" "$work/$c/"
    cp "$build/template/tolva.dat" "$work/$c/myTolva/tolva.dat"
done
export -n DBUS_SESSION_BUS_ADDRESS
run() { # copy, arguments...
    local c=$1
    shift
    env -u DBUS_SESSION_BUS_ADDRESS "$work/$c/tolva" "$@"
}
sync_copy() { echo pw-alice | run "$1" --sync >/dev/null || fail "sync of $1 failed"; }
has() { run "$1" --list | grep -qF -- "$2"; }

run A --sync-account "http://127.0.0.1:$port/" alice <<<"pw-alice" >/dev/null || fail "account of A"
run B --sync-account "http://127.0.0.1:$port/" alice <<<"pw-alice" >/dev/null || fail "account of B"
[ "$(grep -c Tolva "$work/storage/collection-root/alice/"*/.Radicale.props 2>/dev/null)" = 1 ] ||
    fail "the two accounts did not share one calendar \"Tolva提醒\""

# Added in one, appears in the other after one sync.
future=$(date -d '+3 days' '+%Y-%m-%d 09:30:00')
id=$(run A --add "周会提醒" --at "$future" --content "三楼会议室" --rrule "FREQ=WEEKLY;BYDAY=MO")
sync_copy A
sync_copy B
has B "周会提醒" || fail "added in A, missing in B"

# Changed in B, changes in A.
idB=$(run B --list | grep -F "周会提醒" | cut -f1)
run B --modify "$idB" --subject "周会改到周二" >/dev/null
sync_copy B
sync_copy A
has A "周会改到周二" || fail "changed in B, not changed in A"

# What the program wrote reads back in python3-caldav with its RRULE and VALARM.
/usr/bin/python3 - "$port" <<'PY' || fail "python3-caldav did not read our event back"
import sys, caldav
client = caldav.DAVClient(f"http://127.0.0.1:{sys.argv[1]}/", username="alice", password="pw-alice")
cal = [c for c in client.principal().calendars() if c.name == "Tolva提醒"][0]
texts = [e.data for e in cal.events()]
ours = [t for t in texts if "周会改到周二" in t]
assert ours, texts
assert "RRULE:FREQ=WEEKLY" in ours[0] and "BEGIN:VALARM" in ours[0], ours[0]
# An event with an alarm written by another client comes in.
cal.save_event("""BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//e2e//python3-caldav//EN
BEGIN:VEVENT
UID:e2e-from-caldav@example.org
DTSTAMP:20260101T000000Z
DTSTART:20300105T080000Z
SUMMARY:手机上加的提醒
BEGIN:VALARM
ACTION:DISPLAY
DESCRIPTION:手机上加的提醒
TRIGGER:-PT10M
END:VALARM
END:VEVENT
END:VCALENDAR
""")
PY
sync_copy A
has A "手机上加的提醒" || fail "the event written by python3-caldav did not come in"

# Deleted in A, goes in B.
sync_copy B
run A --delete "$(run A --list | grep -F "手机上加的提醒" | cut -f1)" >/dev/null
sync_copy A
sync_copy B
has B "手机上加的提醒" && fail "deleted in A, still in B"

# Both changed offline: both versions in both copies.
idA=$(run A --list | grep -F "周会改到周二" | cut -f1)
idB=$(run B --list | grep -F "周会改到周二" | cut -f1)
run A --modify "$idA" --subject "甲改的周会" >/dev/null
run B --modify "$idB" --subject "乙改的周会" >/dev/null
sync_copy A
sync_copy B
sync_copy A
for c in A B; do
    has "$c" "甲改的周会" || fail "$c lost A's version of the conflict"
    has "$c" "乙改的周会" || fail "$c lost B's version of the conflict"
    has "$c" "（冲突副本）" || fail "$c has no copy marked （冲突副本）"
done

# The server stopped in the middle of a sync: nothing lost, the next one completes.
for n in $(seq 1 150); do run A --add "批量$n" --at "$future" --content "第$n条" >/dev/null; done
(echo pw-alice | run A --sync >/dev/null 2>&1 || true) &
syncer=$!
sleep 0.5
stop_server
wait "$syncer" || true
start_server
sync_copy A
sync_copy B
[ "$(run A --list | grep -c '批量')" = 150 ] || fail "A lost reminders in the interrupted sync"
[ "$(run B --list | grep -c '批量')" = 150 ] || fail "B does not have all of A's reminders after the next sync"

echo "e2e_sync: passed"
