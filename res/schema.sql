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
