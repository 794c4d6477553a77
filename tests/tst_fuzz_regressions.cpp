// The inputs the fuzzers (fuzz/) found faults with, each with the behaviour it
// must have now, and the fuzzers' properties over the tricky inputs of the
// targets that found nothing.
#include "base/Gbk.h"
#include "base/Paths.h"
#include "base/SettingsFile.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"
#include "timesync/TimeProtocol.h"

#include <QtTest>
#include <cerrno>
#include <sqlite3.h>
#include <vector>

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
QByteArray g(const char* utf8)
{
    return gbk::encode(QString::fromUtf8(utf8));
}
QString units(std::initializer_list<char16_t> list)
{
    QString s;
    for (const char16_t c : list)
        s += QChar(c);
    return s;
}

const QString kTable = QStringLiteral("recordmsg");
const QStringList kWriteFields = {"titile", "text", "date", "time", "use", "insertdatatime"};

// Everything in the database that an operation could touch, as one text.
QString contents(const QString& path)
{
    sqlite3* db = nullptr;
    QString out;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        const char* const sql =
            "select (select group_concat(name||' '||sql, ';') from sqlite_master) || '|' ||"
            " (select group_concat(id||' '||quote(titile)||' '||quote(use), ';') from recordmsg)";
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        else
            out = QStringLiteral("<%1>").arg(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

// The program folder's database, open, with four records of ids 1 to 4.
bool openWithFourRecords(CAdoDatabase& db)
{
    QString message;
    if (db.Open(u("file"), u(kDatabaseRelative), QString(), QString(), message) != store::kConnected)
        return false;
    RowSet rows;
    for (int i = 0; i < 4; ++i)
        rows << Row{u("r%1").arg(i), u("t"), u("2026-12-08"),
                    u("10:00:00"),   u("0"), u("2026-12-01 09:00:00")};
    return db.InsertRows(kTable, kWriteFields, rows, 4, message) == 4;
}

// The time reply read by reads of the given sizes from the stream (-1 for a
// read that finds nothing yet), then the end of the stream; the dialog asks for
// missing() bytes at most, as here.
timeproto::ReplyReader readReply(const QByteArray& stream, const std::vector<int>& sizes)
{
    timeproto::ReplyReader reader;
    qsizetype at = 0;
    for (const int size : sizes) {
        if (reader.state() != timeproto::ReplyReader::State::Waiting)
            break;
        if (size < 0) {
            reader.onRead(nullptr, -1, EAGAIN);
            continue;
        }
        const int n = std::min<int>(size, reader.missing());
        reader.onRead(stream.constData() + at, n, 0);
        at += n;
    }
    reader.onRead(nullptr, 0, 0);
    return reader;
}

} // namespace

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString withContent(const QByteArray& bytes) { return NewFileWith(m_dir, bytes); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // --- settings file: a value written is read back as it is, or not written ---

    void settingsWriteReadsBackOrRefuses_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("written");
        const QByteArray program = g("[常规设置]\r\nIfDelete=Istrue\r\n[默认时间]\r\nMytimeA=30\r\n");
        const QByteArray bom = "\xEF\xBB\xBF[s]\nk=1\n";
        // Found: the reader took the blank off again.
        QTest::newRow("blank after value")
            << QByteArray::fromHex("0000000000007600656422900a5b6f336865725d0abcfc3d318a0a6b323de580bc0a6b")
            << u("乗]") << u("键") << u("值 ") << false;
        QTest::newRow("blank before value") << program << u("默认时间") << u("MytimeA") << u(" 45") << false;
        QTest::newRow("tab after value") << program << u("默认时间") << u("MytimeA") << u("45\t") << false;
        QTest::newRow("double quotes") << program << u("s") << u("k") << u("\"Istrue\"") << false;
        QTest::newRow("single quotes") << program << u("s") << u("k") << u("'x'") << false;
        // Found: a lone surrogate was written as '?'.
        QTest::newRow("lone surrogate in value") << QByteArray() << QString() << units({0x0160})
                                                 << units({0x3060, 0xF6FE, 0xDB9B, 0x307C}) << false;
        QTest::newRow("lone surrogate in key")
            << program << u("s") << units({'k', 0xDC00}) << u("1") << false;
        QTest::newRow("lone surrogate in section") << bom << units({0xD83D}) << u("k") << u("1") << false;
        QTest::newRow("code point without GBK bytes")
            << program << u("s") << u("k") << units({0xE78D}) << false;
        // What stays written.
        QTest::newRow("same code point in UTF-8") << bom << u("s") << u("k") << units({0xE78D}) << true;
        QTest::newRow("blanks inside") << program << u("s") << u("k") << u("a  b") << true;
        QTest::newRow("lone quote") << program << u("s") << u("k") << u("\"x") << true;
        QTest::newRow("mixed quotes") << program << u("s") << u("k") << u("'x\"") << true;
        QTest::newRow("euro") << program << u("默认时间") << u("MytimeA") << u("€") << true;
        QTest::newRow("empty") << program << u("默认时间") << u("MytimeA") << QString() << true;
        QTest::newRow("four-byte and emoji") << QByteArray() << u("㐀") << u("😀") << u("㐀😀") << true;
    }
    void settingsWriteReadsBackOrRefuses()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, written);
        const QString path = withContent(content);
        SettingsFile file(path);
        QCOMPARE(file.writeString(section, key, value), written);
        if (written)
            QCOMPARE(file.readString(section, key, u("none"), 1 << 20), value);
        else
            QCOMPARE(ReadAll(path), content);
    }

    // Found: a key written with a blank after it was stored without and then not
    // found under the name it was written with.
    void settingsNamesWithoutSurroundingBlanks()
    {
        const QByteArray found = QByteArray::fromHex("bc2efc00d6b5013b20725d0abcfc3d3190");
        const QString path = withContent(found);
        SettingsFile file(path);
        QVERIFY(file.writeString(QString(), u("a "), QString()));
        QCOMPARE(file.readString(QString(), u("a "), u("none")), QString());
        QCOMPARE(file.readString(QString(), u("a"), u("none")), QString());
        QVERIFY(ReadAll(path).startsWith(found));

        // A name with blanks finds the line of the name without: no second line.
        const QString program = withContent(g("[常规设置]\r\nIfDelete=Istrue\r\n"));
        SettingsFile settings(program);
        QVERIFY(settings.writeString(u(" 常规设置\t"), u(" ifdelete "), u("Isfalse")));
        QCOMPARE(ReadAll(program), g("[常规设置]\r\nIfDelete=Isfalse\r\n"));
        QCOMPARE(settings.readString(u("常规设置 "), u("\tIfDelete"), u("none")), u("Isfalse"));
    }

    // --- store: a where clause that does not stand on its own runs nothing ---

    void whereClauseRefused_data()
    {
        QTest::addColumn<QString>("where");
        // Found: the comment swallowed " order by id desc", so the rows came oldest first.
        QTest::newRow("comment swallows the ordering") << u("whe-- date='Every\xe0\xbb\x8a\x8d"
                                                            "e='r use='2'");
        QTest::newRow("line comment at the end") << u("where use='0' --");
        QTest::newRow("block comment left open") << u("where id>0 /* newest");
        QTest::newRow("quoted text left open") << u("where titile='a");
        // The limit of an update or delete ends with the subselect it would close.
        QTest::newRow("closes the subselect") << u("where 0) or 1 or rowid in (select 1");
        QTest::newRow("closes and comments") << u("where 1) --");
        QTest::newRow("parameter") << u("where use=?");
        QTest::newRow("numbered parameter") << u("where id>?1");
        QTest::newRow("named parameter") << u("where id=:id");
        QTest::newRow("semicolon at the end") << u("where id=1 ;");
        QTest::newRow("second statement") << u("where id=1; delete from recordmsg");
        QTest::newRow("second statement after comment") << u("where id=1; /* x */ drop table recordmsg");
        QTest::newRow("nul before more") << QString::fromLatin1("where id=1\0; delete from recordmsg", 34);
    }
    void whereClauseRefused()
    {
        QFETCH(QString, where);
        TempProgramFolder folder;
        CAdoDatabase db;
        QVERIFY(openWithFourRecords(db));
        QString message;
        const QString before = contents(folder.databaseFile());
        QVERIFY(before.contains(u("recordmsg")));

        RowSet read;
        message = where;
        QCOMPARE(db.CountRows(kTable, where, message), store::kDataError);
        QVERIFY(message != where && !message.isEmpty());
        message = where;
        QCOMPARE(db.SelectRows(kTable, where, {"id"}, read, 10, message), store::kDataError);
        QVERIFY(message != where && read.isEmpty());
        message = where;
        QCOMPARE(db.UpdateRows(kTable, where, {"use"}, {"1"}, 1, message), store::kDataError);
        QVERIFY(message != where);
        message = where;
        QCOMPARE(db.DeleteRows(kTable, where, 1, message), store::kDataError);
        QVERIFY(message != where);
        QCOMPARE(contents(folder.databaseFile()), before);
        QVERIFY(db.IsConnected());
    }

    // Clauses with the same characters where they do no harm: newest first, at
    // most the limit, and the message left as it was.
    void whereClauseAccepted_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("matching");
        QTest::newRow("none") << QString() << 4;
        QTest::newRow("comment ended by a line end") << u("where use='0' -- open ones\n") << 4;
        QTest::newRow("closed block comment") << u("where id>1 /* not the first */") << 3;
        QTest::newRow("comment marks in quotes") << u("where titile<>'--' and text<>'/*'") << 4;
        QTest::newRow("parenthesis and semicolon in quotes") << u("where titile<>') or (1;'") << 4;
        QTest::newRow("question mark in quotes") << u("where titile<>'?'") << 4;
        QTest::newRow("subselect of its own") << u("where id in (select id from recordmsg where id<3)") << 2;
    }
    void whereClauseAccepted()
    {
        QFETCH(QString, where);
        QFETCH(int, matching);
        TempProgramFolder folder;
        CAdoDatabase db;
        QVERIFY(openWithFourRecords(db));
        QString message;

        message = where;
        const int count = db.CountRows(kTable, where, message);
        QCOMPARE(message, where);
        QCOMPARE(count, matching);
        RowSet read;
        QCOMPARE(db.SelectRows(kTable, where, {"id"}, read, 10, message), matching);
        QCOMPARE(message, where);
        for (int i = 1; i < read.size(); ++i)
            QVERIFY(read[i - 1][0].toInt() > read[i][0].toInt());
        QCOMPARE(db.UpdateRows(kTable, where, {"use"}, {"1"}, 1, message), std::min(matching, 1));
        QCOMPARE(db.DeleteRows(kTable, where, 2, message), std::min(matching, 2));
        QCOMPARE(message, where);
        message.clear();
        QCOMPARE(db.CountRows(kTable, QString(), message), 4 - std::min(matching, 2));
    }

    // --- time reply: the fuzzer's properties over every chunking of a reply ---

    // However the four bytes come (every way of cutting them into reads, with
    // reads that find nothing in between), the reply is the same, and what the
    // server sends after it is never read.
    void replyInEveryChunking()
    {
        const QByteArray stream = QByteArray::fromHex("e93c0e80") + QByteArray("extra");
        const quint32 word = 0xE93C0E80u;
        // Each bit of cuts: a read ends after that byte of the stream.
        for (int cuts = 0; cuts < 1 << 8; ++cuts) {
            std::vector<int> sizes;
            int size = 0;
            for (int i = 0; i < 9; ++i) {
                ++size;
                if (i == 8 || (cuts & 1 << i)) {
                    sizes.push_back(size);
                    if (cuts & 1 << i && i % 3 == 0)
                        sizes.push_back(-1);
                    size = 0;
                }
            }
            const timeproto::ReplyReader reader = readReply(stream, sizes);
            QCOMPARE(reader.state(), timeproto::ReplyReader::State::Complete);
            QCOMPARE(reader.reply(), word);
            QCOMPARE(reader.received(), timeproto::kReplySize);
            QCOMPARE(reader.missing(), 0);
        }
    }

    // A stream that ends before the fourth byte is an error however it was cut;
    // so is a read that fails, which keeps its own error number.
    void shortReplyInEveryChunking()
    {
        const QByteArray stream = QByteArray::fromHex("e93c0e");
        for (qsizetype length = 0; length <= stream.size(); ++length) {
            for (int cuts = 0; cuts < 1 << length; ++cuts) {
                std::vector<int> sizes;
                int size = 0;
                for (int i = 0; i < length; ++i) {
                    ++size;
                    if (i == length - 1 || (cuts & 1 << i)) {
                        sizes.push_back(size);
                        size = 0;
                    }
                }
                const timeproto::ReplyReader reader = readReply(stream.left(length), sizes);
                QCOMPARE(reader.state(), timeproto::ReplyReader::State::Failed);
                QCOMPARE(reader.error(), timeproto::kShortReplyError);
                QCOMPARE(reader.received(), int(length));
            }
        }
        timeproto::ReplyReader reader;
        reader.onRead("\xe9", 1, 0);
        QCOMPARE(reader.onRead(nullptr, -1, ECONNRESET), timeproto::ReplyReader::State::Failed);
        QCOMPARE(reader.error(), ECONNRESET);
        // Nothing after the end counts, not even the missing bytes.
        QCOMPARE(reader.onRead("\x3c\x0e\x80", 3, 0), timeproto::ReplyReader::State::Failed);
        QCOMPARE(reader.received(), 1);
        reader.reset();
        QCOMPARE(reader.onRead("\xe9\x3c\x0e\x80\x01", 5, 0), timeproto::ReplyReader::State::Complete);
        QCOMPARE(reader.reply(), 0xE93C0E80u);
    }

    // --- GBK: the fuzzer's properties over the inputs it was seeded with ---

    // Each code point has its own bytes whatever stands beside it (the converter
    // starts afresh after one it cannot convert), and reads back as itself or,
    // when the code page lacks it, as '?'.
    void encodingIsPerCodePoint_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("lone high before a pair") << units({0xD83D, 0xD83D, 0xDE00, 'a'});
        QTest::newRow("lone low before euro") << units({0xDC00, 0x20AC, 0x5173});
        QTest::newRow("unconvertible between han") << units({0x5173, 0xE78D, 0x673A, 0xE796, 0x20AC});
        QTest::newRow("bracket second bytes") << u("乗]乗[乗") + units({0xDBFF});
        QTest::newRow("four-byte and ascii") << u("㐀a😀b€€") + units({0xFFFD});
    }
    void encodingIsPerCodePoint()
    {
        QFETCH(QString, text);
        QByteArray joined;
        QString expected;
        for (qsizetype i = 0; i < text.size();) {
            const qsizetype n =
                text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
            const QByteArray one = gbk::encode(text.mid(i, n));
            QVERIFY(!one.isEmpty() && one.size() <= 4);
            joined += one;
            expected += one == "?" ? u("?") : text.mid(i, n);
            i += n;
        }
        QCOMPARE(gbk::encode(text).toHex(), joined.toHex());
        QCOMPARE(gbk::decode(joined), expected);
        QCOMPARE(gbk::byteLength(text), int(joined.size()));
    }

    // Whatever any bytes decode to can be written and reads back the same.
    void decodedTextSurvivesWriting_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("stray leads") << QByteArray("\x81=\xff\x81\r\n\xfe");
        QTest::newRow("cut four-byte") << QByteArray("\x81\x30\x81\x30\x81\x30");
        QTest::newRow("both euros") << QByteArray("\x80\xa2\xe3");
        QTest::newRow("user-defined areas") << QByteArray("\xaa\xa1\xfe\xfe\xa1\x40\xfe\x51");
        QTest::newRow("replacement character's own bytes") << QByteArray("\x84\x31\xa4\x37");
        QTest::newRow("last four-byte") << QByteArray("\xe3\x32\x9a\x35\xe3\x32\x9a\x36");
    }
    void decodedTextSurvivesWriting()
    {
        QFETCH(QByteArray, bytes);
        const QString text = gbk::decode(bytes);
        QVERIFY(text.size() <= bytes.size());
        QCOMPARE(gbk::decode(gbk::encode(text)), text);
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzz_regressions.moc"
