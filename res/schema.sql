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
-- The schema's generation: an older file is upgraded to it when opened.
PRAGMA user_version = 1;
