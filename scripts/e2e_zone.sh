#!/usr/bin/env bash
# A change of the local zone while the program runs, as timedated makes it:
# /etc/localtime replaced by a rename. The built program (TZ unset) runs on a
# temporary copy of its folder under Xvfb, inside a private mount namespace
# whose /etc is a copy bound over the machine's, which is never changed. The
# zone starts as UTC; a reminder is due 25 s later by the wall clock of
# Asia/Shanghai; the zone is switched while the program runs. The popup must
# appear on its second, and not before.
#   scripts/e2e_zone.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "e2e_zone: $*" >&2
    exit 1
}

if [ "${1:-}" != "--inside" ]; then
    build=$(realpath "${1:-build/default}")
    if [ "$(id -u)" -ne 0 ]; then
        echo "e2e_zone: skipped (a private mount namespace needs root)"
        exit 0
    fi
    for tool in unshare mount Xvfb xdotool sqlite3; do
        command -v "$tool" >/dev/null || fail "missing: $tool (bash scripts/setup.sh installs it)"
    done
    [ -x "$build/tolva" ] || fail "$build/tolva is not built"
    [ -e /usr/share/zoneinfo/Asia/Shanghai ] || fail "tzdata is not installed"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp "$build/tolva" "$work/"
    mkdir -p "$work/myTolva" "$work/runtime"
    chmod 700 "$work/runtime"
    cp "$build/template/tolva.dat" "$work/myTolva/tolva.dat"
    cp -a /etc "$work/etc"
    unshare --mount --propagation private bash "$0" --inside "$work"
    exit $?
fi

work=$2
mount --bind "$work/etc" /etc
# Renames one symbolic link over /etc/localtime, as timedated does.
set_zone() {
    ln -sfn "/usr/share/zoneinfo/$1" /etc/.localtime.tolva
    mv -T /etc/.localtime.tolva /etc/localtime
}
set_zone UTC

display=
for n in $(seq 200 299); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=$n
        break
    fi
done
[ -n "$display" ] || fail "no free X display number"
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -ac -noreset >/dev/null 2>&1 &
pids=($!)
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || fail "Xvfb did not start"
export DISPLAY=":$display"

# Due 25 s from now by Shanghai's wall clock, which is 8 h ahead of UTC's: by
# the zone the program starts in, that wall time is 8 h away.
due=$(($(date +%s) + 25))
day=$(TZ=Asia/Shanghai date -d "@$due" +%F)
time=$(TZ=Asia/Shanghai date -d "@$due" +%T)
sqlite3 "$work/myTolva/tolva.dat" \
    "insert into recordmsg (titile, text, date, time, use, insertdatatime) values
     ('换了时区', '上海时间 $time', '$day', '$time', '0', '2020-01-01 08:00:00');"

(cd "$work" && exec env -u TZ -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=xcb ./tolva) >"$work/tolva.log" 2>&1 &
tolva=$!
pids+=("$tolva")

# The popup's title is "Tolva小精灵 - 提醒您"; search's status says nothing, its output does.
popup() { [ -n "$(xdotool search --all --onlyvisible --pid "$tolva" --name '提醒您' 2>/dev/null || true)" ]; }
main() { [ -n "$(xdotool search --onlyvisible --name '^Tolva.*2016$' 2>/dev/null || true)" ]; }
for _ in $(seq 100); do
    main && break
    sleep 0.1
done
main || {
    cat "$work/tolva.log" >&2
    fail "the main window did not show"
}
sleep 2
popup && fail "a popup showed before the zone changed"
set_zone Asia/Shanghai
switched=$(date +%s.%N)

appeared=
while [ "$(date +%s)" -le $((due + 5)) ]; do
    if popup; then
        appeared=$(date +%s.%N)
        break
    fi
    sleep 0.05
done
[ -n "$appeared" ] || fail "no popup by $((due + 5)) (due at $due, zone switched at $switched)"
# On its second: not before it, and within a second of it.
late=$(awk -v a="$appeared" -v d="$due" 'BEGIN { printf "%.2f", a - d }')
awk -v l="$late" 'BEGIN { exit !(l >= -0.05 && l <= 1.0) }' ||
    fail "the popup appeared ${late} s after its second (due at $due)"
kill -TERM "$tolva" 2>/dev/null || true
echo "e2e_zone: zone switched to Asia/Shanghai by a rename; the popup appeared ${late} s after its second"
