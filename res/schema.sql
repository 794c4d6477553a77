-- The reminder table. Every field but id holds text; id is assigned by the
-- database, increases with every insert and is never reused (AUTOINCREMENT).
PRAGMA journal_mode = DELETE;
CREATE TABLE recordmsg (
    titile          TEXT,
    text            TEXT,
    date            TEXT,
    time            TEXT,
    use             TEXT,
    insertdatatime  TEXT,
    id              INTEGER PRIMARY KEY AUTOINCREMENT
);
-- The due check asks for one second of one day (or "Every Day") once a second.
CREATE INDEX recordmsg_time_date ON recordmsg (time, date);
-- Generation 1: the list's pages and counts per filter.
CREATE INDEX recordmsg_use ON recordmsg (use);
CREATE INDEX recordmsg_date_time ON recordmsg (date, time);
-- Generation 2: repeating reminders, snoozes, a loaded holiday arrangement and
-- the ids other calendars know a record by, beside the reminder table and kept
-- with their record; the due check's index over records not cancelled.
CREATE TABLE repeatrule (id INTEGER PRIMARY KEY, dtstart TEXT NOT NULL, rrule TEXT NOT NULL DEFAULT '', workdays TEXT NOT NULL DEFAULT '', tzid TEXT NOT NULL DEFAULT '', alarm INTEGER NOT NULL DEFAULT 0);
CREATE TABLE snooze (id INTEGER PRIMARY KEY, until TEXT NOT NULL);
CREATE INDEX snooze_until ON snooze (until);
CREATE TABLE holidays (id INTEGER PRIMARY KEY, loaded TEXT NOT NULL, text TEXT NOT NULL);
CREATE TABLE recorduid (id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE);
CREATE INDEX recordmsg_due ON recordmsg (use, date, time);
CREATE TRIGGER recordmsg_uid AFTER INSERT ON recordmsg BEGIN INSERT OR IGNORE INTO recorduid (id, uid) VALUES (new.id, lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89ab', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))); END;
-- Generation 3: an imported series' alarm before its start, the last
-- acknowledgement of a record, and the CalDAV sync's state of each event and of
-- its collection.
CREATE TABLE recordack (id INTEGER PRIMARY KEY, at TEXT NOT NULL);
CREATE TABLE syncstatus (uid TEXT PRIMARY KEY, href TEXT NOT NULL, etag TEXT NOT NULL DEFAULT '', remote TEXT NOT NULL DEFAULT '', local TEXT NOT NULL DEFAULT '');
CREATE TABLE syncmeta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TRIGGER recordmsg_gone AFTER DELETE ON recordmsg BEGIN DELETE FROM repeatrule WHERE id = old.id; DELETE FROM snooze WHERE id = old.id; DELETE FROM recorduid WHERE id = old.id; DELETE FROM recordack WHERE id = old.id; END;
-- The schema's generation: an older file is upgraded to it when opened.
PRAGMA user_version = 3;
