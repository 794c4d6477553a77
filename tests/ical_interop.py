#!/usr/bin/python3
"""iCalendar files of other programs through `tolva --import`, and the program's
export read back by python3-icalendar and python3-lunardate.

    ical_interop.py TOLVA TEMPLATE_DB

Each run uses a temporary copy of the program with its own data folder."""

import datetime
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

import icalendar
import lunardate

TOLVA, TEMPLATE = sys.argv[1], sys.argv[2]
COUNTS = re.compile(r"导入了 (\d+) 个提醒，其中 (\d+) 个有所简化；跳过了 (\d+) 个")
FAILURES = []

# Calendars the way other programs write them, each with what it must give:
# (imported, simplified, skipped).
CRAFTED = {
    "thunderbird.ics": ("""BEGIN:VCALENDAR
PRODID:-//Mozilla.org/NONSGML Mozilla Calendar V1.1//EN
VERSION:2.0
BEGIN:VTIMEZONE
TZID:America/New_York
BEGIN:DAYLIGHT
TZOFFSETFROM:-0500
TZOFFSETTO:-0400
TZNAME:EDT
DTSTART:19700308T020000
RRULE:FREQ=YEARLY;BYDAY=2SU;BYMONTH=3
END:DAYLIGHT
BEGIN:STANDARD
TZOFFSETFROM:-0400
TZOFFSETTO:-0500
TZNAME:EST
DTSTART:19701101T020000
RRULE:FREQ=YEARLY;BYDAY=1SU;BYMONTH=11
END:STANDARD
END:VTIMEZONE
BEGIN:VEVENT
UID:tb-weekly@example.org
SUMMARY:Team meeting
DTSTART;TZID=America/New_York:20260105T090000
DTEND;TZID=America/New_York:20260105T100000
RRULE:FREQ=WEEKLY;BYDAY=MO
BEGIN:VALARM
ACTION:DISPLAY
DESCRIPTION:Team meeting
TRIGGER;VALUE=DURATION:-PT15M
END:VALARM
END:VEVENT
BEGIN:VEVENT
UID:tb-noalarm@example.org
SUMMARY:Just an appointment
DTSTART:20260301T100000
END:VEVENT
BEGIN:VTODO
UID:tb-todo@example.org
SUMMARY:交报告
DUE:20260310T170000
BEGIN:VALARM
ACTION:AUDIO
TRIGGER:-PT1H
END:VALARM
END:VTODO
END:VCALENDAR
""", (2, 0, 1)),
    "google.ics": ("""BEGIN:VCALENDAR
PRODID:-//Google Inc//Google Calendar 70.9054//EN
VERSION:2.0
BEGIN:VEVENT
DTSTART;VALUE=DATE:20260214
DTEND;VALUE=DATE:20260215
UID:allday@google.com
SUMMARY:情人节
BEGIN:VALARM
ACTION:DISPLAY
DESCRIPTION:This is an event reminder
TRIGGER:-P0DT0H30M0S
END:VALARM
END:VEVENT
BEGIN:VEVENT
DTSTART:20260401T010000Z
UID:end@google.com
SUMMARY:Relative to the end
BEGIN:VALARM
ACTION:DISPLAY
TRIGGER;RELATED=END:-PT5M
END:VALARM
BEGIN:VALARM
ACTION:EMAIL
TRIGGER:-PT5M
END:VALARM
END:VEVENT
BEGIN:VEVENT
DTSTART:20260402T090000
UID:shutdown@google.com
SUMMARY:关机
DESCRIPTION:直接关机
BEGIN:VALARM
ACTION:DISPLAY
TRIGGER:PT0S
END:VALARM
END:VEVENT
END:VCALENDAR
""", (3, 2, 0)),
}


def fail(message):
    FAILURES.append(message)
    print("FAIL:", message)


class Program:
    """A copy of the program with an empty data folder of its own."""

    def __init__(self, root):
        self.dir = tempfile.mkdtemp(dir=root)
        self.exe = os.path.join(self.dir, "tolva")
        shutil.copy(TOLVA, self.exe)
        os.makedirs(os.path.join(self.dir, "myTolva"))
        shutil.copy(TEMPLATE, os.path.join(self.dir, "myTolva", "tolva.dat"))
        home = os.path.join(self.dir, "home")
        os.makedirs(home)
        os.chmod(home, 0o700)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
        self.env.update(HOME=home, XDG_RUNTIME_DIR=home, XDG_CONFIG_HOME=home + "/config",
                        XDG_DATA_HOME=home + "/data", QT_QPA_PLATFORM="offscreen", TZ="Asia/Shanghai",
                        LC_ALL="C.UTF-8")

    def run(self, *args):
        p = subprocess.run([self.exe, *args], env=self.env, capture_output=True, text=True, timeout=120)
        if p.returncode < 0:
            fail("tolva %s: killed by signal %d: %s" % (" ".join(args), -p.returncode, p.stderr))
        return p

    def import_counts(self, path):
        p = self.run("--import", path)
        if p.returncode != 0:
            return None, p
        m = COUNTS.search(p.stdout)
        if not m:
            fail("%s: no counts in %r" % (path, p.stdout))
            return None, p
        return tuple(int(x) for x in m.groups()), p


def components(path):
    """VEVENTs and VTODOs as python3-icalendar reads the file; None when it cannot."""
    try:
        with open(path, "rb") as f:
            cal = icalendar.Calendar.from_ical(f.read())
    except Exception:  # noqa: BLE001 - a reader's fault, not ours
        return None
    return sum(1 for c in cal.walk() if c.name in ("VEVENT", "VTODO"))


def import_others(root):
    shipped = sorted(glob.glob("/usr/lib/python3/dist-packages/icalendar/tests/calendars/*.ics") +
                     glob.glob("/usr/lib/python3/dist-packages/icalendar/tests/*.ics"))
    if not shipped:
        fail("python3-icalendar's test calendars are not installed")
    for path in shipped:
        counts, p = Program(root).import_counts(path)
        expected = components(path)
        if counts is None:
            # A file no reader takes may be refused, with the reason, never crash.
            if p.returncode != 1 or not p.stderr.strip():
                fail("%s: exit %d, %r" % (path, p.returncode, p.stderr))
            elif expected:
                fail("%s: python3-icalendar reads %d components, tolva refused: %s" % (path, expected, p.stderr))
            continue
        imported, simplified, skipped = counts
        if simplified > imported:
            fail("%s: %d simplified of %d imported" % (path, simplified, imported))
        if expected is not None and imported + skipped != expected:
            fail("%s: %d imported + %d skipped, but %d components" % (path, imported, skipped, expected))
        print("%s: %s" % (os.path.basename(path), counts))
        # The same file with an alarm in every event: real events of other programs are imported, and
        # what the program exports of them comes back unchanged.
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        alarmed = re.sub(r"^END:VEVENT(\r?)$", "BEGIN:VALARM\\1\nACTION:DISPLAY\\1\nTRIGGER:-PT10M\\1\n"
                         "END:VALARM\\1\nEND:VEVENT\\1", text, flags=re.M)
        copy = os.path.join(root, "alarmed-" + os.path.basename(path))
        with open(copy, "w", encoding="utf-8", newline="") as f:
            f.write(alarmed)
        program = Program(root)
        counts, p = program.import_counts(copy)
        expected = components(copy)
        if counts is None:
            if expected:
                fail("%s: %s" % (copy, p.stderr))
            continue
        if expected is not None and counts[0] + counts[2] != expected:
            fail("%s: %s, but %d components" % (copy, counts, expected))
        print("%s: %s" % (os.path.basename(copy), counts))
        round_trip(root, program, os.path.basename(copy))
    for name, (text, want) in CRAFTED.items():
        path = os.path.join(root, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace("\n", "\r\n"))
        program = Program(root)
        counts, p = program.import_counts(path)
        if counts != want:
            fail("%s: counts %s, want %s (%s)" % (name, counts, want, p.stderr))
        again, _ = program.import_counts(path)
        if again != (0, 0, want[0] + want[2]):
            fail("%s imported twice: %s" % (name, again))


def round_trip(root, program, name):
    """Export -> import into an empty program -> export: the same bytes. Returns the first export."""
    first = os.path.join(program.dir, "first.ics")
    p = program.run("--export", first)
    if p.returncode != 0:
        fail("%s: --export: %s" % (name, p.stderr))
        return None
    with open(first, "rb") as f:
        data = f.read()
    other = Program(root)
    counts, p = other.import_counts(first)
    if counts is None or counts[1:] != (0, 0):
        fail("%s: round trip import: %s %s" % (name, counts, p.stderr))
    second = os.path.join(other.dir, "second.ics")
    if other.run("--export", second).returncode != 0:
        fail("%s: second export failed" % name)
        return data
    with open(second, "rb") as f:
        if f.read() != data:
            fail("%s: export -> import -> export changed the file" % name)
    return data


def export_and_read_back(root):
    program = Program(root)
    adds = [
        ("一次", ["--at", "2098-03-01 09:30:00"], None),
        ("每天", ["--at", "2098-03-01 07:00:00", "--every-day"], "FREQ=DAILY"),
        ("每周", ["--at", "2098-03-01 08:00:00", "--rrule", "FREQ=WEEKLY;BYDAY=MO,FR"], "FREQ=WEEKLY;BYDAY=MO,FR"),
        ("工作日", ["--at", "2098-03-01 08:00:00", "--workdays"], "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR"),
        ("中秋", ["--at", "2030-01-01 20:00:00", "--rrule", "RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15"],
         None),
        ("关机", ["--at", "2098-03-01 22:00:00", "--shutdown", "direct"], None),
    ]
    for subject, args, _ in adds:
        content = [] if "--shutdown" in args else ["--content", "内容"]
        p = program.run("--add", subject, *content, *args)
        if p.returncode != 0:
            fail("--add %s: %s" % (subject, p.stderr))
    crafted = os.path.join(root, "thunderbird.ics")
    program.import_counts(crafted)
    data = round_trip(root, program, "export")
    if data is None:
        return
    cal = icalendar.Calendar.from_ical(data)
    events = {str(e.get("SUMMARY")): e for e in cal.walk("VEVENT")}
    if "关机" in events:
        fail("a shutdown record was exported")
    if len(events) != len(adds) - 1 + 2:
        fail("exported %s" % sorted(events))
    for summary, e in events.items():
        for prop in ("UID", "DTSTART"):
            if prop not in e:
                fail("%s: no %s" % (summary, prop))
        if not [a for a in e.subcomponents if a.name == "VALARM" and "TRIGGER" in a]:
            fail("%s: no VALARM with a TRIGGER" % summary)
    for subject, _, rule in adds:
        if rule and subject in events:
            written = events[subject]["RRULE"].to_ical().decode()
            if written != rule:
                fail("%s: RRULE %s, want %s" % (subject, written, rule))
    moon = events.get("中秋")
    if moon is not None:
        if "RRULE" in moon:
            fail("a lunar series has an RRULE other readers cannot follow")
        days = [moon.decoded("DTSTART").date()]
        rdates = moon.get("RDATE")
        for r in rdates if isinstance(rdates, list) else [rdates]:
            days += [d.dt.date() for d in r.dts]
        for d in days:
            lunar = lunardate.LunarDate.fromSolarDate(d.year, d.month, d.day)
            if (lunar.month, lunar.day, lunar.isLeapMonth) != (8, 15, False):
                fail("lunar RDATE %s is %s" % (d, lunar))
        years = sorted({d.year for d in days})
        if len(years) < 10 or years != list(range(years[0], years[-1] + 1)):
            fail("lunar RDATEs cover %s" % years)
    meeting = events.get("Team meeting")
    if meeting is not None:
        start = meeting.decoded("DTSTART")
        if start.hour != 9 or getattr(start.tzinfo, "zone", str(start.tzinfo)) != "America/New_York":
            fail("the New York meeting starts at %s" % start)
        trigger = [a for a in meeting.subcomponents if a.name == "VALARM"][0].decoded("TRIGGER")
        if trigger != -datetime.timedelta(minutes=15):
            fail("the New York meeting's alarm is %s" % trigger)



def main():
    with tempfile.TemporaryDirectory() as root:
        import_others(root)
        export_and_read_back(root)
    if FAILURES:
        print("%d failures" % len(FAILURES))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
