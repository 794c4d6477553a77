#include "base/Constants.h"
#include "base/Paths.h"
#include "platform/Seams.h"
#include "reminders/DueCheck.h"
#include "store/AdoDatabase.h"
#include "store/SchemaUpgrade.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>
#include <atomic>
#include <grp.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const QString kTable = QStringLiteral("recordmsg");
const QString kNotConnected = QString::fromUtf8("数据库还没有连接好，无效的数据操作！  ");
const QStringList kWriteFields = {"titile", "text", "date", "time", "use", "insertdatatime"};
const QStringList kAllFields = {"titile", "text", "date", "time", "use", "insertdatatime", "id"};

Row reminder(const QString& subject, const QString& date = QStringLiteral("2026-12-08"),
             const QString& time = QStringLiteral("10:00:00"), const QString& use = QStringLiteral("0"))
{
    return Row{subject, QString::fromUtf8("内容"), date, time, use, QStringLiteral("2026-12-01 09:00:00")};
}

int openFile(CAdoDatabase& db, QString& message, const QString& source = QString::fromUtf8(kDatabaseRelative))
{
    return db.Open(QStringLiteral("file"), source, QString(), QString(), message);
}

int insertRow(CAdoDatabase& db, const Row& row)
{
    QString m;
    return db.InsertRows(kTable, kWriteFields, RowSet{row}, 1, m);
}

int countWhere(CAdoDatabase& db, const QString& where)
{
    QString m = where;
    return db.CountRows(kTable, where, m);
}

QStringList ids(CAdoDatabase& db, const QString& where = QString())
{
    RowSet rows;
    QString m;
    db.SelectRows(kTable, where, {"id"}, rows, 1000000, m);
    QStringList out;
    for (const Row& r : rows)
        out << r.value(0);
    return out;
}

// The reminder database as every file made before schema generations had it.
const char kOldestSchema[] = "CREATE TABLE recordmsg (titile TEXT, text TEXT, date TEXT, time TEXT, use TEXT,"
                             " insertdatatime TEXT, id INTEGER PRIMARY KEY AUTOINCREMENT);"
                             "CREATE INDEX recordmsg_time_date ON recordmsg (time, date);";

// Every object of a file's schema, its statement without blanks, and the generation.
QStringList schemaOf(const QString& path)
{
    SqliteFile file(path, SQLITE_OPEN_READONLY);
    QStringList schema = file.column("select type||' '||name||' '||tbl_name||' '||ifnull(sql,'') "
                                     "from sqlite_master order by type, name");
    schema.replaceInStrings(QRegularExpression(QStringLiteral("\\s")), QString());
    schema << QStringLiteral("generation ") + file.scalar("pragma user_version");
    return schema;
}

// A database file of the oldest generation at path, holding three records.
bool makeOldestFile(const QString& path)
{
    QFile::remove(path);
    SqliteFile file(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    return file.exec("PRAGMA journal_mode = DELETE") && file.exec(kOldestSchema) &&
           file.exec("insert into recordmsg (titile, text, date, time, use, insertdatatime) values "
                     "('one', 'a', '2026-12-08', '10:00:00', '0', '2026-12-01 09:00:00'),"
                     "('two', 'b', 'Every Day', '11:00:00', '1', '2026-12-01 09:00:01'),"
                     "('three', null, '2027-01-01', '12:00:00', '0', '2026-12-01 09:00:02')");
}

// What opening the program's data file twice shows: both results, the file's
// generation afterwards, its records, and the boxes shown meanwhile.
QString openTwiceAndLook(const QString& file)
{
    FakeMessageBoxes boxes;
    seams::setMessageBoxes(&boxes);
    QStringList out;
    for (int i = 0; i < 2; ++i) {
        CAdoDatabase db;
        QString message;
        out << QString::number(openFile(db, message));
        QCoreApplication::processEvents();
    }
    seams::setMessageBoxes(nullptr);
    SqliteFile raw(file, SQLITE_OPEN_READONLY);
    out << raw.scalar("pragma user_version");
    out << raw.column("select id||' '||titile from recordmsg order by id").join(QLatin1Char(','));
    out << boxes.texts();
    return out.join(QLatin1Char('|'));
}

// Runs look as an ordinary user: in this process when it is one, else in a
// child that takes the rights of "nobody" (root writes through file modes).
QString asOrdinaryUser(const std::function<QString()>& look)
{
    if (geteuid() != 0)
        return look();
    int channel[2];
    if (pipe(channel) != 0)
        return QStringLiteral("<no pipe>");
    const pid_t child = fork();
    if (child == 0) {
        ::close(channel[0]);
        constexpr uid_t kNobody = 65534;
        QByteArray result = "<cannot become nobody>";
        if (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0)
            result = look().toUtf8();
        const ssize_t written = write(channel[1], result.constData(), size_t(result.size()));
        _exit(written == result.size() ? 0 : 1);
    }
    ::close(channel[1]);
    QByteArray result;
    char buffer[512];
    ssize_t n;
    while ((n = read(channel[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, int(n));
    ::close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return QString::fromUtf8(result);
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void openFileKind()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QVERIFY(!db.IsConnected());
        QString message = QStringLiteral("junk");
        QCOMPARE(openFile(db, message), store::kConnected);
        QCOMPARE(message, QString::fromUtf8("成功连接数据库"));
        QVERIFY(db.IsConnected());
        QCOMPARE(db.ConnectionString(), QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                                            folder.path() + "/myTolva/tolva.dat");
        QCOMPARE(db.FilePath(), folder.databaseFile());
        // Every commit is synced with its folder (EXTRA, 3), in the one-file journal mode.
        QString pragma;
        QCOMPARE(db.CountRows("pragma_synchronous", "where synchronous=3", pragma), 1);
        QCOMPARE(db.CountRows("pragma_journal_mode", "where journal_mode='delete'", pragma), 1);

        // The source spelt with backslashes names the same file.
        QVERIFY(insertRow(db, reminder("a")) == 1);
        QCOMPARE(openFile(db, message, QStringLiteral("myTolva\\tolva.dat")), store::kConnected);
        QCOMPARE(db.FilePath(), folder.databaseFile());
        QCOMPARE(countWhere(db, QString()), 1);

        db.Close();
        QVERIFY(!db.IsConnected());
        QVERIFY(db.FilePath().isEmpty());
        db.Close(); // twice is harmless
    }

    void openOtherKinds()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);

        // Unknown kind (the comparison is case-sensitive) closes the open store first.
        message.clear();
        QCOMPARE(db.Open("File", kDatabaseRelative, "", "", message), store::kBadKind);
        QCOMPARE(message, QString::fromUtf8("类型应该为type,odbc,sqlserver其中一种"));
        QVERIFY(!db.IsConnected());

        message.clear();
        QCOMPARE(db.Open("odbc", "dsn", "me", "secret", message), store::kDataError);
        QCOMPARE(db.ConnectionString(), QStringLiteral("Data Source=dsn;UID=me;PWD=secret;"));
        QVERIFY(!message.isEmpty());
        QVERIFY(!db.IsConnected());

        message = QStringLiteral("server1");
        QCOMPARE(db.Open("sqlserver", "tolva", "me", "secret", message), store::kDataError);
        QCOMPARE(db.ConnectionString(),
                 QStringLiteral("driver={SQL Server};Server=server1;DATABASE=tolva;UID=me;PWD=secret"));
        QVERIFY(!message.isEmpty() && message != QStringLiteral("server1"));
        QVERIFY(!db.IsConnected());
    }

    void openFailures_data()
    {
        // "-" for no file at all, "sql:" for a database made by the statements that follow
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expectedText");
        // What it means to the user, then SQLite's own words.
        QTest::newRow("missing file")
            << QByteArray("-") << QString::fromUtf8("无法打开数据文件（unable to open database file）");
        QTest::newRow("text file") << QByteArray("this is no database\n")
                                   << QString::fromUtf8("数据文件已损坏（file is not a database）");
        QTest::newRow("database without the table")
            << QByteArray() << QString::fromUtf8("数据文件已损坏（no such table: recordmsg）");
        const QByteArray withoutTime = "sql:create table recordmsg (titile text, text text, date text, use "
                                       "text, insertdatatime text, id integer primary key autoincrement)";
        QTest::newRow("reminder table without its time field")
            << withoutTime << QString::fromUtf8("数据文件已损坏（no such column: time）");
        const QByteArray fields =
            "titile text, text text, date text, time text, use text, insertdatatime text, ";
        QTest::newRow("id a text key") << "sql:create table recordmsg (" + fields + "id text primary key)"
                                       << QString::fromUtf8("数据文件已损坏（id is not the integer key）");
        QTest::newRow("id an integer key of its own, not the row's number")
            << "sql:create table recordmsg (" + fields + "id integer primary key desc)"
            << QString::fromUtf8("数据文件已损坏（id is not the integer key）");
        QTest::newRow("id a plain field beside another key")
            << "sql:create table recordmsg (" + fields + "id integer, k integer primary key)"
            << QString::fromUtf8("数据文件已损坏（id is not the integer key）");
        QTest::newRow("table without rowid")
            << "sql:create table recordmsg (" + fields + "id integer primary key) without rowid"
            << QString::fromUtf8("数据文件已损坏（id is not the integer key）");
    }
    void openFailures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expectedText);
        TempProgramFolder folder(false);
        const bool made = content.isEmpty() || content.startsWith("sql:");
        if (made) {
            SqliteFile other(folder.databaseFile(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            QVERIFY(other.exec(content.isEmpty()
                                   ? "create table notes (x text); insert into notes values ('n')"
                                   : content.mid(4).constData()));
        } else if (content != "-") {
            QVERIFY(WriteAll(folder.databaseFile(), content));
        }
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kDataError);
        QCOMPARE(message, expectedText);
        QVERIFY(!db.IsConnected());
        QVERIFY(db.FilePath().isEmpty());
        // The store never creates its database, and leaves a foreign file as it was.
        if (content == "-")
            QVERIFY(!QFile::exists(folder.databaseFile()));
        else if (!made)
            QCOMPARE(ReadAll(folder.databaseFile()), content);
        QString m2 = QStringLiteral("where id=1");
        QCOMPARE(db.CountRows(kTable, "where id=1", m2), store::kNotConnected);
    }

    void comErrorText()
    {
        QCOMPARE(CAdoDatabase::ComErrorText(0x80040E14u), QStringLiteral("IDispatch error #3092"));
        QCOMPARE(CAdoDatabase::ComErrorText(0x80040200u), QStringLiteral("Unknown error 0x80040200"));
        QCOMPARE(CAdoDatabase::ComErrorText(0x80040201u), QStringLiteral("IDispatch error #1"));
        QCOMPARE(CAdoDatabase::ComErrorText(0x8004FFFFu), QStringLiteral("IDispatch error #65023"));
        QCOMPARE(CAdoDatabase::ComErrorText(0x800401FFu), QStringLiteral("Unknown error 0x800401FF"));
        QCOMPARE(CAdoDatabase::ComErrorText(0x80050000u), QStringLiteral("Unknown error 0x80050000"));
        QCOMPARE(CAdoDatabase::ComErrorText(0xAu), QStringLiteral("Unknown error 0xA"));
    }

    void notConnectedAnswers()
    {
        TempProgramFolder folder;
        CAdoDatabase never;
        CAdoDatabase closed;
        QString message;
        QCOMPARE(openFile(closed, message), store::kConnected);
        QCOMPARE(insertRow(closed, reminder("kept")), 1);
        closed.Close();

        for (CAdoDatabase* db : {&never, &closed}) {
            // A clause that would fail if it were ever used.
            const QString where = QStringLiteral("where ((( nonsense");
            RowSet rows{Row{"before"}};
            QString m = where;
            QCOMPARE(db->SelectRows(kTable, where, kAllFields, rows, 5, m), store::kNotConnected);
            QCOMPARE(m, kNotConnected);
            QCOMPARE(rows, RowSet{Row{"before"}});
            m = where;
            QCOMPARE(db->CountRows(kTable, where, m), store::kNotConnected);
            QCOMPARE(m, kNotConnected);
            m = where;
            QCOMPARE(db->InsertRows(kTable, kWriteFields, RowSet{reminder("x")}, 1, m), store::kNotConnected);
            QCOMPARE(m, kNotConnected);
            m = where;
            QCOMPARE(db->UpdateRows(kTable, where, {"use"}, {"1"}, 1, m), store::kNotConnected);
            QCOMPARE(m, kNotConnected);
            m = where;
            QCOMPARE(db->DeleteRows(kTable, where, 1, m), store::kNotConnected);
            QCOMPARE(m, kNotConnected);
        }
        SqliteFile raw(folder.databaseFile());
        QCOMPARE(raw.scalar("select count(*) from recordmsg"), QStringLiteral("1"));
    }

    void insertAndSelectRoundTrip()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);

        const Row chinese{QString::fromUtf8("开会 📅"),
                          QString::fromUtf8("第一行\r\n第二行：带上「资料」"),
                          "Every Day",
                          "08:30:00",
                          "1",
                          "2026-12-08 07:00:00"};
        const Row hostile{"'); drop table recordmsg; --",
                          "\"; delete from recordmsg where 1=1; --",
                          "2026-12-08' or '1'='1",
                          "%1 %2",
                          "0",
                          "2026-12-08 07:00:01"};
        message = QStringLiteral("unchanged");
        QCOMPARE(db.InsertRows(kTable, kWriteFields, RowSet{chinese, hostile}, 2, message), 2);
        QCOMPARE(message, QStringLiteral("unchanged"));

        RowSet rows;
        QCOMPARE(db.SelectRows(kTable, "", kAllFields, rows, 10, message), 2);
        QCOMPARE(message, QStringLiteral("unchanged"));
        QCOMPARE(rows.size(), 2);
        // Newest first; the id comes back as plain decimal digits.
        QCOMPARE(rows[0].mid(0, 6), hostile);
        QCOMPARE(rows[1].mid(0, 6), chinese);
        QCOMPARE(rows[0][6], QStringLiteral("2"));
        QCOMPARE(rows[1][6], QStringLiteral("1"));

        // Literals in where clauses compare as text, Chinese included; "%1" is not a placeholder.
        QCOMPARE(countWhere(db, QString::fromUtf8("where titile='开会 📅'")), 1);
        QCOMPARE(countWhere(db, "where time ='%1 %2'"), 1);
        QCOMPARE(countWhere(db, "where date='Every Day' and use='1'"), 1);

        // Values appended to rows the caller already holds.
        RowSet partial{Row{"x"}};
        QCOMPARE(db.SelectRows(kTable, "where id=1", {"titile", "date"}, partial, 1, message), 1);
        QCOMPARE(partial, (RowSet{Row{"x", chinese[0], "Every Day"}}));
    }

    void emptyValues()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        QCOMPARE(insertRow(db, Row{"subject", "", "2026-12-08", "10:00:00", "", "2026-12-01 09:00:00"}), 1);

        SqliteFile raw(folder.databaseFile());
        QCOMPARE(
            raw.column("select typeof(text) || ',' || typeof(use) || ',' || typeof(titile) from recordmsg"),
            QStringList{"null,null,text"});
        RowSet rows;
        QCOMPARE(db.SelectRows(kTable, "", {"text", "use", "titile"}, rows, 1, message), 1);
        QCOMPARE(rows, (RowSet{Row{"", "", "subject"}}));

        // An update stores the empty text itself, never NULL.
        QCOMPARE(db.UpdateRows(kTable, "where id=1", {"titile", "text"}, {"", "now set"}, 1, message), 1);
        QCOMPARE(raw.column("select typeof(titile) || ':' || titile || ',' || text from recordmsg"),
                 QStringList{"text:,now set"});
    }

    void selectLimits()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(insertRow(db, reminder(QString::number(i))), 1);

        RowSet rows;
        QCOMPARE(db.SelectRows(kTable, "where use='0'", {"titile", "id"}, rows, 3, message), 3);
        QCOMPARE(rows, (RowSet{Row{"4", "5"}, Row{"3", "4"}, Row{"2", "3"}}));

        rows.clear();
        QCOMPARE(db.SelectRows(kTable, "where use='0'", {"titile"}, rows, 0, message), 0);
        QVERIFY(rows.isEmpty());
        QCOMPARE(db.SelectRows(kTable, "where use='0'", {"titile"}, rows, -1, message), 0);
        QVERIFY(rows.isEmpty());
        QCOMPARE(db.SelectRows(kTable, "where use='0'", {"titile"}, rows, 100, message), 5);

        message = QStringLiteral("where use='1'");
        QCOMPARE(db.CountRows(kTable, "where use='1'", message), 0);
        QCOMPARE(message, QStringLiteral("where use='1'"));
        QCOMPARE(db.CountRows(kTable, "", message), 5);
    }

    void updateAndDeleteLimits()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        // 25 expired records, split over both branches of the "or", and 5 that are not.
        RowSet rows;
        for (int i = 0; i < 15; ++i)
            rows << reminder("old", QStringLiteral("2026-11-%1").arg(10 + i), "12:00:00");
        for (int i = 0; i < 10; ++i)
            rows << reminder("today", "2026-12-08", QStringLiteral("09:%1:00").arg(10 + i));
        for (int i = 0; i < 5; ++i)
            rows << reminder("future", "2026-12-08", QStringLiteral("11:%1:00").arg(10 + i));
        QCOMPARE(db.InsertRows(kTable, kWriteFields, rows, int(rows.size()), message), 30);
        const QString expired = "where date='2026-12-08' and time<'10:00:00' or date <'2026-12-08'";
        QCOMPARE(countWhere(db, expired), 25);

        message = "where id=999";
        QCOMPARE(db.UpdateRows(kTable, "where id=999", {"use"}, {"1"}, 1, message), 0);
        QCOMPARE(db.DeleteRows(kTable, "where id=999", 1, message), 0);
        QCOMPARE(message, QStringLiteral("where id=999"));

        QCOMPARE(db.UpdateRows(kTable, expired, {"use"}, {"1"}, 7, message), 7);
        QCOMPARE(countWhere(db, "where use='1'"), 7);
        QCOMPARE(countWhere(db, "where use='1' and titile='future'"), 0);
        QCOMPARE(db.UpdateRows(kTable, expired, {"use"}, {"1"}, 0, message), 0);
        QCOMPARE(countWhere(db, "where use='1'"), 7);

        message = expired;
        QCOMPARE(db.DeleteRows(kTable, expired, 10, message), 10);
        QCOMPARE(message, expired);
        QCOMPARE(countWhere(db, expired), 15);
        QCOMPARE(countWhere(db, "where titile='future'"), 5);
        QCOMPARE(db.DeleteRows(kTable, expired, 0, message), 0);
        QCOMPARE(db.DeleteRows(kTable, expired, -3, message), 0);
        QCOMPARE(countWhere(db, ""), 20);
        QCOMPARE(db.DeleteRows(kTable, expired, 100, message), 15);
        QCOMPARE(countWhere(db, ""), 5);
    }

    void idsAreNeverReused()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(insertRow(db, reminder("r")), 1);
        QCOMPARE(ids(db), (QStringList{"3", "2", "1"}));
        QCOMPARE(db.DeleteRows(kTable, "where id=3", 1, message), 1);
        QCOMPARE(insertRow(db, reminder("r")), 1);
        QCOMPARE(ids(db), (QStringList{"4", "2", "1"}));
    }

    void rejectedStatements_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("malformed where") << kTable << "where date=" << QStringList{"id"};
        QTest::newRow("unknown column") << kTable << "where nosuch='1'" << QStringList{"id"};
        QTest::newRow("second statement")
            << kTable << "where id=1; delete from recordmsg" << QStringList{"id"};
        QTest::newRow("unknown field") << kTable << "" << QStringList{"nosuch"};
        QTest::newRow("expression as field") << kTable << "" << QStringList{"count(*)"};
        QTest::newRow("field with sql") << kTable << "" << QStringList{"id from recordmsg; --"};
        QTest::newRow("table with sql") << "recordmsg; drop table recordmsg"
                                        << "" << QStringList{"id"};
        QTest::newRow("no such table") << "notes"
                                       << "" << QStringList{"id"};
    }
    void rejectedStatements()
    {
        QFETCH(QString, table);
        QFETCH(QString, where);
        QFETCH(QStringList, fields);
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        QCOMPARE(insertRow(db, reminder("stays")), 1);

        const bool fieldsMatter = fields != QStringList{"id"};
        RowSet rows;
        message = where;
        QCOMPARE(db.SelectRows(table, where, fields, rows, 10, message), store::kDataError);
        QVERIFY(!message.isEmpty() && message != where);
        QVERIFY(rows.isEmpty());
        if (!fieldsMatter) {
            message = where;
            QCOMPARE(db.CountRows(table, where, message), store::kDataError);
            QVERIFY(!message.isEmpty() && message != where);
            message = where;
            QCOMPARE(db.DeleteRows(table, where, 10, message), store::kDataError);
            QVERIFY(!message.isEmpty() && message != where);
        }
        message = where;
        QCOMPARE(db.UpdateRows(table, where, fields, {"9"}, 10, message), store::kDataError);
        QVERIFY(!message.isEmpty() && message != where);
        if (where.isEmpty()) {
            message.clear();
            QCOMPARE(db.InsertRows(table, fields, RowSet{Row{"9"}}, 1, message), store::kDataError);
            QVERIFY(!message.isEmpty());
        }

        // Still connected, nothing changed.
        QVERIFY(db.IsConnected());
        SqliteFile raw(folder.databaseFile());
        QCOMPARE(raw.column("select titile from recordmsg"), QStringList{"stays"});
    }

    void badRowShapesWriteNothing()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        QCOMPARE(db.InsertRows(kTable, kWriteFields, RowSet{reminder("a")}, 2, message), store::kDataError);
        QCOMPARE(db.InsertRows(kTable, kWriteFields, RowSet{reminder("a"), Row{"short"}}, 2, message),
                 store::kDataError);
        QCOMPARE(db.InsertRows(kTable, kWriteFields, RowSet{reminder("a")}, 0, message), 0);
        QCOMPARE(insertRow(db, reminder("a")), 1);
        QCOMPARE(db.UpdateRows(kTable, "", {"titile", "text"}, {"only one"}, 1, message), store::kDataError);
        SqliteFile raw(folder.databaseFile());
        QCOMPARE(raw.column("select titile from recordmsg"), QStringList{"a"});
    }

    void failedWriteLeavesNothingHalfDone()
    {
        TempProgramFolder folder;
        {
            SqliteFile raw(folder.databaseFile());
            QVERIFY(
                raw.exec("create trigger refuse_insert before insert on recordmsg when new.titile='bad' "
                         "begin select raise(abort, 'refused by trigger'); end;"
                         "create trigger refuse_update before update on recordmsg when old.titile='bad old' "
                         "begin select raise(abort, 'update refused'); end;"));
        }
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        QCOMPARE(db.InsertRows(kTable, kWriteFields,
                               RowSet{reminder("good"), reminder("bad"), reminder("good")}, 3, message),
                 store::kDataError);
        QVERIFY2(message.contains("refused by trigger"), qPrintable(message));
        QCOMPARE(countWhere(db, ""), 0);

        RowSet rows{reminder("one"), reminder("bad old"), reminder("three")};
        QCOMPARE(db.InsertRows(kTable, kWriteFields, rows, 3, message), 3);
        QCOMPARE(db.UpdateRows(kTable, "where use='0'", {"use"}, {"1"}, 3, message), store::kDataError);
        QVERIFY2(message.contains("update refused"), qPrintable(message));
        QCOMPARE(countWhere(db, "where use='1'"), 0);
        // The store is still usable afterwards.
        QCOMPARE(db.UpdateRows(kTable, "where titile='one'", {"use"}, {"1"}, 1, message), 1);
    }

    void reopenUsesTheNewFile()
    {
        CAdoDatabase db;
        QString message;
        {
            TempProgramFolder first;
            QCOMPARE(openFile(db, message), store::kConnected);
            QCOMPARE(insertRow(db, reminder("first")), 1);
            QCOMPARE(countWhere(db, "where use='0'"), 1);
            QCOMPARE(ids(db, "where use='0'"), QStringList{"1"});
        }
        TempProgramFolder second;
        QCOMPARE(openFile(db, message), store::kConnected);
        QCOMPARE(db.FilePath(), second.databaseFile());
        // The same statements again must run on the new connection.
        QCOMPARE(countWhere(db, "where use='0'"), 0);
        QCOMPARE(ids(db, "where use='0'"), QStringList());
    }

    // A file renamed over the open one is noticed; a write meanwhile names
    // what happened, not missing rights, and changes neither file.
    void fileRenamedOverTheOpenOne()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        QVERIFY(!db.FileReplaced());
        QCOMPARE(insertRow(db, reminder("a")), 1);
        QVERIFY(!db.FileReplaced());
        const QString other = folder.path() + QStringLiteral("/other.dat");
        QVERIFY(QFile::copy(folder.databaseFile(), other));
        QVERIFY(::rename(QFile::encodeName(other).constData(),
                         QFile::encodeName(folder.databaseFile()).constData()) == 0);
        QVERIFY(db.FileReplaced());
        message.clear();
        QCOMPARE(db.InsertRows(kTable, kWriteFields, RowSet{reminder("b")}, 1, message), store::kDataError);
        QVERIFY2(message.startsWith(QString::fromUtf8("数据文件已被其他程序替换或删除（")),
                 qPrintable(message));
        QCOMPARE(SqliteFile(folder.databaseFile()).column("select titile from recordmsg"), QStringList{"a"});
        QCOMPARE(openFile(db, message), store::kConnected);
        QVERIFY(!db.FileReplaced());
        QVERIFY(QFile::remove(folder.databaseFile()));
        QVERIFY(db.FileReplaced());
        db.Close();
        QVERIFY(!db.FileReplaced()); // nothing open, nothing replaced
    }

    void schemaUpgrade_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("generation");
        QTest::addColumn<bool>("sameSchemaAsDelivered");

        const int newest = store::SchemaGeneration();
        QTest::newRow("a file of the oldest generation is upgraded, every record kept")
            << "oldest" << newest << true;
        QTest::newRow("a file of the generation before rules is upgraded, every record kept")
            << "generation 1" << newest << true;
        QTest::newRow("the delivered file is of the newest generation and stays as it is")
            << "delivered" << newest << true;
        QTest::newRow("a file newer than the program opens as it is, never downgraded")
            << "newer" << newest + 7 << false;
        QTest::newRow("an upgrade that fails halfway leaves the file whole as it was, and opens it")
            << "step fails" << 0 << false;
    }
    void schemaUpgrade()
    {
        QFETCH(QString, start);
        QFETCH(int, generation);
        QFETCH(bool, sameSchemaAsDelivered);

        TempProgramFolder folder;
        const QString file = folder.databaseFile();
        const QString delivered = QStringLiteral(TOLVA_TEMPLATE_DB);
        QStringList records{"1 one", "2 two", "3 three"};
        if (start == QLatin1String("delivered")) {
            records.clear();
        } else {
            QVERIFY(makeOldestFile(file));
            SqliteFile raw(file);
            if (start == QLatin1String("generation 1"))
                QVERIFY(raw.exec("CREATE INDEX recordmsg_use ON recordmsg (use);"
                                 "CREATE INDEX recordmsg_date_time ON recordmsg (date, time);"
                                 "pragma user_version=1"));
            if (start == QLatin1String("newer"))
                QVERIFY(raw.exec(
                    QByteArray("pragma user_version=" + QByteArray::number(generation)).constData()));
            // A name the upgrade's last index wants is taken.
            if (start == QLatin1String("step fails"))
                QVERIFY(raw.exec("create table recordmsg_date_time (x)"));
        }
        const QStringList before = schemaOf(file);

        QCOMPARE(openTwiceAndLook(file), QString::number(store::kConnected) + '|' +
                                             QString::number(store::kConnected) + '|' +
                                             QString::number(generation) + '|' + records.join(','));
        if (sameSchemaAsDelivered) {
            QCOMPARE(schemaOf(file), schemaOf(delivered));
            // Every record has a uid of its own.
            QCOMPARE(
                SqliteFile(file, SQLITE_OPEN_READONLY)
                    .scalar("select count(distinct u.uid) from recordmsg m join recorduid u on u.id = m.id"),
                QString::number(records.size()));
        } else
            QCOMPARE(schemaOf(file), before);

        // The upgraded file works as any other: the list's filters and the due check find their records.
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        QCOMPARE(insertRow(db, reminder("four", "2026-12-08", "10:00:00", "1")), 1);
        // Upgraded, an every-day record is not used ("two" was marked so by an older popup).
        const bool upgraded = sameSchemaAsDelivered;
        QCOMPARE(countWhere(db, "where use='1'"), upgraded ? 1 : 2);
        QCOMPARE(countWhere(db, "where (date='2026-12-08' or date ='Every Day') and time ='10:00:00'"),
                 records.isEmpty() ? 1 : 2);
    }

    // Root writes through the mode bits, so the file is opened as an ordinary user.
    void readOnlyOldFileOpensAsItIs()
    {
        TempProgramFolder folder;
        const QString file = folder.databaseFile();
        QVERIFY(makeOldestFile(file));
        const QStringList before = schemaOf(file);
        const auto enter = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                           QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(QFile::setPermissions(folder.dataFolder(), enter));
        QVERIFY(QFile::setPermissions(folder.path(), enter));

        // Opened twice, read as it is, and the user told once.
        const QString seen = asOrdinaryUser([&] { return openTwiceAndLook(file); });
        QCOMPARE(seen, QString::number(store::kConnected) + '|' + QString::number(store::kConnected) +
                           "|0|1 one,2 two,3 three|" + store::ReadOnlyNotUpgradedText());
        QCOMPARE(schemaOf(file), before);

        // Writable again, the next open upgrades it.
        QVERIFY(QFile::setPermissions(folder.path(), enter | QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(folder.dataFolder(), enter | QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(openTwiceAndLook(file),
                 QString::number(store::kConnected) + '|' + QString::number(store::kConnected) + '|' +
                     QString::number(store::SchemaGeneration()) + "|1 one,2 two,3 three");
    }

    void dueClauseUsesTheIndex()
    {
        TempProgramFolder folder;
        SqliteFile raw(folder.databaseFile());
        const QString due = DueCheck::DueClause(QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
        for (const QString& sql : {QStringLiteral("select count(*) from recordmsg ") + due,
                                   QStringLiteral("select id from recordmsg ") + due + " order by id desc"}) {
            // The fourth column of a query plan describes each step.
            const QString plan = raw.column(("explain query plan " + sql).toUtf8().constData(), 3).join(';');
            // The index over records not cancelled finds the second at once,
            // for the day and for every day.
            QVERIFY2(plan.contains("INDEX recordmsg_due (use=? AND date=? AND time=?)"), qPrintable(plan));
            QVERIFY2(!plan.contains("SCAN"), qPrintable(plan));
        }
    }

    // The list's counts and pages on a large table find their records on an
    // index, never by reading the whole table.
    void listStatementsUseTheIndexes_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("plan");
        const QString upcoming = "date='2026-12-08' and time>='10:00:00' or date >'2026-12-08'";
        QTest::newRow("all records are counted on the smallest index")
            << "select count(*) from recordmsg "
            << "SCAN recordmsg USING COVERING INDEX recordmsg_use";
        QTest::newRow("records not taken are counted on their index")
            << "select count(*) from recordmsg where use='0'"
            << "SEARCH recordmsg USING COVERING INDEX recordmsg_use (use=?)";
        QTest::newRow("records still to come are counted on their index")
            << "select count(*) from recordmsg where " + upcoming
            << "SEARCH recordmsg USING COVERING INDEX recordmsg_date_time (date>?)";
        QTest::newRow("a page of records taken, by key")
            << "select titile, id from recordmsg where (use='1') and id<500 order by id desc"
            << "SEARCH recordmsg USING INDEX recordmsg_use (use=? AND rowid<?)";
        QTest::newRow("a page of records still to come, by filter")
            << "select id from recordmsg where id in (select id from recordmsg where " + upcoming +
                   ") and id<500 order by id desc"
            << "SEARCH recordmsg USING INTEGER PRIMARY KEY (rowid=?);LIST SUBQUERY 1;"
               "SEARCH recordmsg USING COVERING INDEX recordmsg_date_time (date>?)";
    }
    void listStatementsUseTheIndexes()
    {
        QFETCH(QString, sql);
        QFETCH(QString, plan);
        TempProgramFolder folder;
        SqliteFile raw(folder.databaseFile());
        QCOMPARE(raw.column(("explain query plan " + sql).toUtf8().constData(), 3).join(';'), plan);
    }

    void twoReadersWhileWriting()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        constexpr int kInserts = 150;
        std::atomic<bool> done{false};
        std::atomic<int> failures{0};
        std::atomic<int> passes{0};
        auto reader = [&](const QString& where) {
            int last = 0;
            while (!done.load()) {
                QString m = where;
                const int n = db.CountRows(kTable, where, m);
                RowSet rows;
                const int read = db.SelectRows(kTable, where, kAllFields, rows, n, m);
                // Rows are only ever added, so a fresh read finds at least the count taken before.
                if (n < last || read != n || rows.size() != n || (n > 0 && rows[0].size() != 7))
                    failures.fetch_add(1);
                last = n;
                passes.fetch_add(1);
            }
        };
        std::thread a(reader, QString());
        std::thread b(reader,
                      QStringLiteral("where (date='2026-12-08' or date ='Every Day') and time ='10:00:00'"));
        int inserted = 0;
        for (int i = 0; i < kInserts; ++i)
            inserted += insertRow(db, reminder(QString::number(i))) == 1;
        // Let the readers see the final state at least once.
        const int seen = passes.load();
        while (passes.load() < seen + 4)
            std::this_thread::yield();
        done = true;
        a.join();
        b.join();
        QCOMPARE(inserted, kInserts);
        QCOMPARE(failures.load(), 0);
        QCOMPARE(countWhere(db, ""), kInserts);
    }

    void lockedDatabaseFailsInTime()
    {
        TempProgramFolder folder;
        CAdoDatabase db;
        QString message;
        QCOMPARE(openFile(db, message), store::kConnected);
        QCOMPARE(insertRow(db, reminder("before")), 1);

        SqliteFile other(folder.databaseFile());
        QVERIFY(other.isOpen());
        QVERIFY(other.exec("begin exclusive"));
        QElapsedTimer timer;
        timer.start();
        message = QStringLiteral("untouched");
        QCOMPARE(db.InsertRows(kTable, kWriteFields, RowSet{reminder("blocked")}, 1, message),
                 store::kDataError);
        const qint64 waited = timer.elapsed();
        QCOMPARE(message, QString::fromUtf8("数据文件正被其他程序使用（database is locked）"));
        QVERIFY2(waited >= 1000 && waited < 5000, qPrintable(QString::number(waited)));

        message.clear();
        QCOMPARE(db.CountRows(kTable, "", message), store::kDataError);
        QVERIFY(!message.isEmpty());
        QVERIFY(other.exec("rollback"));

        QCOMPARE(countWhere(db, ""), 1);
        QCOMPARE(insertRow(db, reminder("after")), 1);
        SqliteFile check(folder.databaseFile());
        QCOMPARE(check.column("select titile from recordmsg order by id"), (QStringList{"before", "after"}));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
