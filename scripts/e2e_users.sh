#!/usr/bin/env bash
# The installed program for ordinary users, several on one machine:
#  - builds the .deb from a build folder and checks it (lintian without errors,
#    the usual places below /usr, no /opt and no myTolva, no maintainer scripts,
#    a stripped binary, Depends naming the SVG plug-in);
#  - installs it with dpkg -i (dpkg refuses it when a Depends is missing) and
#    checks that every library resolves;
#  - creates two ordinary users of the group users and starts the installed
#    program as each of them at the same time on a private Xvfb: each gets a
#    data folder of their own (0700, files 0600) made from the shipped
#    database, each copy runs its own single instance, a second start of the
#    same user's copy ends at once, a reminder one user has is popped up by that
#    user's copy only, and the other user can read nothing of it;
#  - checks that every shared library the running program loaded (Qt's
#    plug-ins among them) comes from a package its Depends pull in;
#  - as each user, through the main window's settings dialog, turns start
#    with system on (the user's own autostart entry, valid, running the
#    installed program hidden), sends the shortcuts (desktop, menu and
#    applications folder, valid) and turns start with system off again, and
#    checks that nothing was written to the machine's folders;
#  - purges the package and removes the users and everything else it made, also
#    when it fails, so that it can be run again.
#
#   scripts/e2e_users.sh [BUILD_DIR]      (as root, on Debian 12; BUILD_DIR: build/default)
#
# Refuses to run when a package tolva is installed already: it never removes
# what it did not install.
set -euo pipefail
cd "$(dirname "$0")/.."
# (grep -q reads here-strings, never a pipe: with pipefail an early exit of
# grep -q makes the writer fail with SIGPIPE.)

build=$(realpath "${1:-build/default}")
users=(tolva-e2e-a tolva-e2e-b)
work=
xvfb_pid=
installed=0
pids=()

fail() {
    echo "e2e_users: FAIL: $*" >&2
    exit 1
}
note() { echo "e2e_users: $*"; }

cleanup() {
    set +e
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    for u in "${users[@]}"; do
        id "$u" >/dev/null 2>&1 && userdel -f -r "$u" 2>/dev/null
    done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ "$installed" = 1 ] && dpkg --purge tolva >/dev/null
    [ -n "$work" ] && rm -rf "$work"
}
trap cleanup EXIT

[ "$(id -u)" -eq 0 ] || fail "run this as root (it installs a package and creates users)"
for tool in cmake cpack dpkg dpkg-deb lintian Xvfb xdotool setpriv timeout useradd userdel sqlite3 file ldd; do
    command -v "$tool" >/dev/null || fail "missing tool: $tool"
done
if grep -q 'ok installed' <<<"$(dpkg-query -W -f='${Status}' tolva 2>/dev/null)"; then
    fail "a package tolva is installed already; remove it first (this script only removes its own)"
fi
# Leftovers of an earlier run that was killed before it could clean up.
for u in "${users[@]}"; do
    if id "$u" >/dev/null 2>&1; then
        userdel -f -r "$u" 2>/dev/null || true
    fi
done

work=$(mktemp -d /tmp/tolva-e2e-users.XXXXXX)
chmod 0755 "$work"

# --- The package ---------------------------------------------------------------
[ -f "$build/CMakeCache.txt" ] || fail "configure $build first (cmake --preset default)"
cmake --build "$build" --target tolva tolva_package_docs >/dev/null
(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/tolva_*.deb)
note "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
echo "$lintian_out" | sed 's/^/  lintian: /'
if grep -q '^E:' <<<"$lintian_out"; then
    fail "lintian reports errors"
fi

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/tolva ./usr/share/tolva/tolva.dat ./usr/share/applications/org.example.tolva.desktop \
    ./usr/share/icons/hicolor/scalable/apps/org.example.tolva.svg ./usr/share/metainfo/org.example.tolva.metainfo.xml \
    ./usr/share/doc/tolva/copyright ./usr/share/doc/tolva/changelog.gz; do
    grep -qx "$f" <<<"$contents" || fail "the package lacks $f"
done
grep -q '^\./opt' <<<"$contents" && fail "the package still puts files in /opt"
grep -q 'myTolva' <<<"$contents" && fail "the package ships a myTolva folder"
control=$(dpkg-deb -I "$deb")
grep -Eq '^ +[0-9]+ bytes, +[0-9]+ lines +\*? *(preinst|postinst|prerm|postrm|config)' <<<"$control" &&
    fail "the package has maintainer scripts"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libqt6svg6' <<<"$depends" || fail "Depends lacks libqt6svg6: $depends"
# xdg-screensaver starts the rest reminder's screen saver through xset.
grep -q 'x11-xserver-utils' <<<"$depends" || fail "Depends lacks x11-xserver-utils: $depends"
dpkg-deb -x "$deb" "$work/unpacked"
grep -q ', stripped' <<<"$(file "$work/unpacked/usr/bin/tolva")" || fail "the binary is not stripped"
note "binary: $(du -k "$work/unpacked/usr/bin/tolva" | cut -f1) KiB, stripped"

# --- Installed ------------------------------------------------------------------
# Every Depends must already be installed (scripts/setup.sh installs them): the
# script installs nothing but the package itself, so that it can remove all it
# installed.
missing=()
for dep in $(echo "$depends" | tr ',' '\n' | sed -e 's/(.*)//' -e 's/|.*//' -e 's/[[:space:]]//g'); do
    grep -q 'ok installed' <<<"$(dpkg-query -W -f='${Status}' "$dep" 2>/dev/null)" || missing+=("$dep")
done
[ ${#missing[@]} -eq 0 ] || fail "Depends not installed here: ${missing[*]} (apt-get install ${missing[*]})"
installed=1
dpkg -i "$deb" >/dev/null || fail "dpkg refused the package"
libs=$(ldd /usr/bin/tolva)
grep -q 'not found' <<<"$libs" && fail "unresolved libraries: $(grep 'not found' <<<"$libs")"
template_sum=$(sha256sum /usr/share/tolva/tolva.dat | cut -d' ' -f1)
[ "$(stat -c %a /usr/share/tolva/tolva.dat)" = 644 ] || fail "shipped database is not 0644"

# --- A display both users may reach ---------------------------------------------
display=
for n in $(seq 90 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=$n
        break
    fi
done
[ -n "$display" ] || fail "no free X display number"
# A throw-away display of this test: no access control, no TCP.
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -ac -noreset >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || fail "Xvfb did not start"

# The command line that runs a command as user u: setpriv execs env, which execs
# the command, so that $! of a copy started in the background is the program's
# own process (a shell function would put a subshell in between).
user_cmd() { # user; sets uc
    local home
    home=$(getent passwd "$1" | cut -d: -f6)
    uc=(setpriv --reuid="$1" --regid=users --init-groups env -i HOME="$home" USER="$1" LOGNAME="$1"
        PATH=/usr/bin:/bin DISPLAY=":$display" XDG_RUNTIME_DIR="$work/run-$1" LANG=C.UTF-8)
}
as_user() { # user command...
    user_cmd "$1"
    shift
    "${uc[@]}" "$@"
}

for u in "${users[@]}"; do
    useradd -m -N -g users -s /bin/bash "$u"
    install -d -m 0700 -o "$u" -g users "$work/run-$u"
done

data_of() { echo "$(getent passwd "$1" | cut -d: -f6)/.local/share/Tolva/myTolva"; }

# --- Both users at the same time --------------------------------------------------
for u in "${users[@]}"; do
    user_cmd "$u"
    "${uc[@]}" /usr/bin/tolva -Tolva >"$work/$u.log" 2>&1 &
    pids+=($!)
done
for i in 0 1; do
    u=${users[$i]}
    d=$(data_of "$u")
    for _ in $(seq 100); do [ -f "$d/tolva.dat" ] && break; sleep 0.1; done
    [ -f "$d/tolva.dat" ] || { cat "$work/$u.log" >&2; fail "$u: no data folder made"; }
    [ "$(stat -c '%a %U' "$d")" = "700 $u" ] || fail "$u: data folder is $(stat -c '%a %U' "$d")"
    [ "$(stat -c '%a %U' "$d/tolva.dat")" = "600 $u" ] || fail "$u: tolva.dat is $(stat -c '%a %U' "$d/tolva.dat")"
    [ "$(sha256sum "$d/tolva.dat" | cut -d' ' -f1)" = "$template_sum" ] || fail "$u: not a copy of the shipped database"
done
sleep 2
for i in 0 1; do
    kill -0 "${pids[$i]}" 2>/dev/null || { cat "$work/${users[$i]}.log" >&2; fail "${users[$i]}'s copy ended: the other user's copy stopped it"; }
done
note "two users run the program at the same time, each with a data folder of their own"

# Each user reads nothing of the other's.
a=${users[0]}
b=${users[1]}
if as_user "$b" cat "$(data_of "$a")/tolva.dat" >/dev/null 2>&1; then fail "$b can read $a's reminders"; fi
if as_user "$b" ls "$(data_of "$a")" >/dev/null 2>&1; then fail "$b can list $a's data folder"; fi

# A second start of the same user's program ends at once; the first stays.
if ! as_user "$a" timeout 10 /usr/bin/tolva -Tolva >/dev/null 2>&1; then
    fail "$a's second copy did not end by itself"
fi
kill -0 "${pids[0]}" 2>/dev/null || fail "$a's first copy ended when a second one started"
note "a second start of the same user's copy ends at once"

# Every shared library the running program loaded comes from a package that its
# Depends pull in (the SVG plug-ins, which it loads itself, included).
for _ in $(seq 100); do
    maps=$(awk '$6 ~ /\.so/ {print $6}' "/proc/${pids[0]}/maps" | sort -u)
    grep -q 'iconengines/libqsvgicon.so' <<<"$maps" && break
    sleep 0.1
done
grep -q 'iconengines/libqsvgicon.so' <<<"$maps" ||
    fail "the program did not load the SVG plug-ins: its icons are blank"
closure=$(mktemp)
todo=(tolva)
declare -A seen=()
while [ ${#todo[@]} -gt 0 ]; do
    p=${todo[0]}
    todo=("${todo[@]:1}")
    [ -n "${seen[$p]:-}" ] && continue
    seen[$p]=1
    echo "$p" >>"$closure"
    deps=$(dpkg-query -W -f='${Depends}, ${Pre-Depends}' "$p" 2>/dev/null | tr ',|' '\n\n' |
        sed -e 's/(.*)//' -e 's/:any//' -e 's/[[:space:]]//g' | grep -v '^$' || true)
    for dep in $deps; do
        # A virtual package: whatever installed package provides it.
        if ! dpkg-query -W "$dep" >/dev/null 2>&1; then
            dep=$(dpkg-query -W -f='${Package} ${Provides}\n' | awk -v v="$dep" '{for (i = 2; i <= NF; i++) { gsub(/[(),].*/, "", $i); if ($i == v) print $1 }}' | head -1)
        fi
        [ -n "$dep" ] && [ -z "${seen[${dep%%:*}]:-}" ] && todo+=("${dep%%:*}")
    done
done
# Qt's plug-ins: what the program loads at run time beyond what it links (ldd
# above covers those). Libraries that some library opens only when present
# (libXcursor for the xcb plug-in) are that library's business.
plugins=$(grep '/qt6/plugins/' <<<"$maps")
for lib in $plugins; do
    [ -e "$lib" ] || continue
    # With /lib merged into /usr/lib, dpkg may know the file by either name.
    pkg=
    for name in "$lib" "$(realpath "$lib")" "${lib#/usr}" "$(realpath "$lib" | sed 's|^/usr||')"; do
        pkg=$(dpkg -S "$name" 2>/dev/null | head -1 | cut -d: -f1 || true)
        [ -n "$pkg" ] && break
    done
    [ -n "$pkg" ] || fail "$lib belongs to no package"
    grep -qx "$pkg" "$closure" || fail "$lib (package $pkg) is loaded but no Depends pulls it in"
done
rm -f "$closure"
note "$(wc -l <<<"$plugins") Qt plug-ins loaded, all from packages the Depends pull in"

# A reminder of one user pops up in that user's copy only.
for p in "${pids[@]}"; do kill "$p"; done
for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
pids=()
due=$(date -d '+6 seconds' '+%H:%M:%S')
today=$(date '+%Y-%m-%d')
as_user "$a" sqlite3 "$(data_of "$a")/tolva.dat" \
    "insert into recordmsg(titile, text, date, time, use, insertdatatime) values('e2e', 'only for $a', '$today', '$due', '0', '$today 00:00:00')"
[ "$(stat -c %a "$(data_of "$a")/tolva.dat")" = 600 ] || fail "$a: tolva.dat lost its mode"
for u in "${users[@]}"; do
    user_cmd "$u"
    "${uc[@]}" /usr/bin/tolva -Tolva >>"$work/$u.log" 2>&1 &
    pids+=($!)
done
# The pop-up's window of a copy, by its title "Tolva小精灵 - 提醒您"; empty when none.
popup() {
    local ids
    ids=$(DISPLAY=":$display" xdotool search --all --onlyvisible --pid "$1" --name '提醒您' 2>/dev/null || true)
    head -1 <<<"$ids"
}
shown=
for _ in $(seq 150); do
    shown=$(popup "${pids[0]}")
    [ -n "$shown" ] && break
    sleep 0.1
done
[ -n "$shown" ] || fail "$a's reminder did not pop up in $a's copy"
[ -z "$(popup "${pids[1]}")" ] || fail "$a's reminder popped up in $b's copy"
[ "$(as_user "$b" sqlite3 "$(data_of "$b")/tolva.dat" 'select count(*) from recordmsg')" = 0 ] ||
    fail "$b's database holds reminders"
note "$a's reminder popped up in $a's copy only"

# Nothing the program made is open to others, and the shipped database is unchanged.
for u in "${users[@]}"; do
    d=$(data_of "$u")
    others=$(find "$d" \( -type f -o -type d \) -perm /077 -print)
    [ -z "$others" ] || fail "$u: open to others: $others"
done
[ "$(sha256sum /usr/share/tolva/tolva.dat | cut -d' ' -f1)" = "$template_sum" ] || fail "the shipped database was written"

# --- Start with system and the shortcuts, as each user, through the window ------
# Driven with the pointer: clicks at the middle of a button, laid out in dialog
# units and scaled by the window's real size; no window manager (without one,
# a newly mapped window is on top and Qt gives itself the focus).
for p in "${pids[@]}"; do kill "$p"; done
for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
pids=()
# The reminder is done with: its pop-up would come again over the windows below.
as_user "$a" sqlite3 "$(data_of "$a")/tolva.dat" "delete from recordmsg where titile = 'e2e'"
xdo() { DISPLAY=":$display" xdotool "$@"; }
# The first visible window of a copy whose title matches; empty when none.
window_of() { # pid title-regex
    local ids
    ids=$(xdo search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null || true)
    head -1 <<<"$ids"
}
wait_window() { # pid title-regex what; sets win
    win=
    for _ in $(seq 100); do
        win=$(window_of "$1" "$2")
        [ -n "$win" ] && return 0
        sleep 0.1
    done
    fail "$3 did not show"
}
# The middle of a widget at x y w h on a form of fw x fh dialog units.
click_widget() { # window fw fh x y w h
    local geo width height
    geo=$(xdo getwindowgeometry --shell "$1")
    width=$(sed -n 's/^WIDTH=//p' <<<"$geo")
    height=$(sed -n 's/^HEIGHT=//p' <<<"$geo")
    xdo mousemove --window "$1" $(((2 * $4 + $6) * width / (2 * $2))) $(((2 * $5 + $7) * height / (2 * $3))) click 1
}
# Waits for the copy's message box (its caption is the program title) and
# acknowledges it with Enter; fails unless it goes.
acknowledge() { # pid what
    local box
    wait_window "$1" '^Tolva小精灵$' "$2: the message box"
    box=$win
    for _ in $(seq 5); do
        xdo windowfocus "$box" 2>/dev/null || true
        sleep 0.2
        xdo key --clearmodifiers Return
        for _ in $(seq 10); do
            [ -z "$(window_of "$1" '^Tolva小精灵$')" ] && return 0
            sleep 0.1
        done
    done
    fail "$2: the message box did not go with Enter"
}
machine_state() {
    find /etc/xdg/autostart /usr/share/applications -printf '%p %U %s %T@\n' 2>/dev/null | sort
}
machine_before=$(machine_state)
for u in "${users[@]}"; do
    home=$(getent passwd "$u" | cut -d: -f6)
    user_cmd "$u"
    "${uc[@]}" /usr/bin/tolva >>"$work/$u.log" 2>&1 &
    pid=$!
    pids=("$pid")
    wait_window "$pid" '^Tolva小精灵2016$' "$u: the main window"
    main=$win
    # settingsButton, 17 379 64x15 on the main window's 321x409.
    click_widget "$main" 321 409 17 379 64 15
    wait_window "$pid" '^常规设置$' "$u: the settings dialog"
    settings=$win
    # The user's own folders (XDG_CONFIG_HOME and XDG_DATA_HOME are not set):
    # nothing of the program there before the buttons are pressed.
    entry="$home/.config/autostart/Tolvaelfin.desktop"
    apps="$home/.local/share/applications"
    links=("$home/Desktop/Tolva小精灵.desktop" "$apps/Tolva软件/Tolva小精灵/Tolva小精灵.desktop")
    twin="$apps/Tolva小精灵.desktop"
    for f in "$entry" "${links[@]}" "$twin"; do [ ! -e "$f" ] || fail "$u: $f is there before any button was pressed"; done
    # autostartOnButton, 20 21 50x14 on the dialog's 232x343.
    click_widget "$settings" 232 343 20 21 50 14
    acknowledge "$pid" "$u: start with system"
    [ -f "$entry" ] || fail "$u: no $entry after start with system"
    [ "$(stat -c %U "$entry")" = "$u" ] || fail "$u: $entry belongs to $(stat -c %U "$entry")"
    exec_line=$(grep '^Exec=' "$entry" || true)
    grep -q '/usr/bin/tolva' <<<"$exec_line" && grep -q -- '-Tolva' <<<"$exec_line" ||
        fail "$u: the autostart entry runs '$exec_line'"
    grep -q '^Hidden=true' "$entry" && fail "$u: the autostart entry is hidden"
    as_user "$u" desktop-file-validate "$entry" || fail "$u: $entry is not a valid desktop entry"
    note "$u: start with system wrote $entry ($exec_line)"

    # shortcutSendButton, 20 62 50x14.
    click_widget "$settings" 232 343 20 62 50 14
    acknowledge "$pid" "$u: send shortcuts"
    # Start menu, menu folder and quick launch are all the applications folder:
    # one entry there, so the menu shows the program once.
    for link in "${links[@]}"; do
        [ -f "$link" ] || fail "$u: no shortcut $link"
        [ "$(stat -c %U "$link")" = "$u" ] || fail "$u: $link belongs to $(stat -c %U "$link")"
        grep -q '^Exec=.*/usr/bin/tolva' "$link" || fail "$u: $link runs $(grep '^Exec=' "$link")"
        as_user "$u" desktop-file-validate "$link" || fail "$u: $link is not a valid desktop entry"
    done
    [ ! -e "$twin" ] || fail "$u: $twin makes a second menu entry"
    note "$u: the shortcuts are on the desktop and once in the menu, all valid"

    # autostartOffButton, 91 21 50x14.
    click_widget "$settings" 232 343 91 21 50 14
    acknowledge "$pid" "$u: cancel start with system"
    if [ -e "$entry" ] && ! grep -q '^Hidden=true' "$entry"; then
        fail "$u: the autostart entry is still in effect after cancel"
    fi
    note "$u: cancel removed the autostart entry"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pids=()
done
[ "$(machine_state)" = "$machine_before" ] || fail "/etc/xdg/autostart or /usr/share/applications changed:
$(diff <(echo "$machine_before") <(machine_state))"
note "nothing written to /etc/xdg/autostart or /usr/share/applications"
note "PASS"
