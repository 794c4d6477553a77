#include "base/Gbk.h"
#include "base/Paths.h"
#include "base/SettingsFile.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>
#include <QtTest>
#include <unistd.h>

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
QByteArray g(const char* utf8)
{
    return gbk::encode(QString::fromUtf8(utf8));
}

const QString kGeneral = u(settings::kSectionGeneral);
const QString kTimes = u(settings::kSectionTimes);

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    // A settings file with the given bytes, in a fresh file of its own.
    QString withContent(const QByteArray& bytes) { return NewFileWith(m_dir, bytes); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // --- the program's settings through the program folder ---

    void programSettingsDefaultWithoutFile()
    {
        TempProgramFolder folder(false);
        QVERIFY(!QFile::exists(folder.settingsFile()));
        QVERIFY(settings::ReadDeleteChoice());
        const settings::DefaultTimes t = settings::ReadDefaultTimes();
        QCOMPARE(t.restMinutes, 30);
        QCOMPARE(t.countdownHours, 12);
        QCOMPARE(t.countdownMinutes, 30);
        QCOMPARE(t.countdownSeconds, 30);
        QVERIFY(!QFile::exists(folder.settingsFile()));
    }

    void deleteChoice_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("deleteIt");
        const QByteArray head = g("[常规设置]\r\n");
        QTest::newRow("Istrue") << head + "IfDelete=Istrue\r\n" << true;
        QTest::newRow("Isfalse") << head + "IfDelete=Isfalse\r\n" << false;
        QTest::newRow("capitals keep") << head + "IfDelete=ISTRUE\r\n" << false;
        // Private-profile files trim blanks around values, so these still mean delete.
        QTest::newRow("trailing space") << head + "IfDelete=Istrue \r\n" << true;
        QTest::newRow("spaces around") << head + "  IfDelete  =   Istrue\t\r\n" << true;
        QTest::newRow("quoted") << head + "IfDelete=\"Istrue\"\r\n" << true;
        QTest::newRow("empty keeps") << head + "IfDelete=\r\n" << false;
        QTest::newRow("longer word keeps") << head + "IfDelete=Istrue1\r\n" << false;
        // 9-byte buffer: 8 bytes are read, "Istrue  x" becomes "Istrue  ".
        QTest::newRow("cut by buffer keeps") << head + "IfDelete=Istrue  x\r\n" << false;
        QTest::newRow("other key") << head + "IfDeleted=Isfalse\r\n" << true;
        QTest::newRow("key case") << head + "IFDELETE=Isfalse\r\n" << false;
        QTest::newRow("section elsewhere") << g("[默认时间]\r\nIfDelete=Isfalse\r\n") << true;
        QTest::newRow("name only") << head + "IfDelete\r\n" << true;
        QTest::newRow("LF only") << g("[常规设置]\nIfDelete=Isfalse\n") << false;
        QTest::newRow("no final line end") << g("[常规设置]\nIfDelete=Isfalse") << false;
        QTest::newRow("first key wins") << head + "IfDelete=Isfalse\r\nIfDelete=Istrue\r\n" << false;
        QTest::newRow("first section wins") << head + "a=1\r\n" + head + "IfDelete=Isfalse\r\n" << true;
        QTest::newRow("commented out") << head + ";IfDelete=Isfalse\r\n" << true;
        QTest::newRow("UTF-8 instead of GBK")
            << QByteArray("[\xE5\xB8\xB8\xE8\xA7\x84\xE8\xAE\xBE\xE7\xBD\xAE]\r\nIfDelete=Isfalse\r\n")
            << true;
    }
    void deleteChoice()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, deleteIt);
        TempProgramFolder folder(false);
        QVERIFY(WriteAll(folder.settingsFile(), content));
        QCOMPARE(settings::ReadDeleteChoice(), deleteIt);
    }

    void deleteChoiceWritesBothWords()
    {
        TempProgramFolder folder(false);
        settings::WriteDeleteChoice(false);
        QCOMPARE(ReadAll(folder.settingsFile()), g("[常规设置]\r\nIfDelete=Isfalse\r\n"));
        QVERIFY(!settings::ReadDeleteChoice());
        settings::WriteDeleteChoice(true);
        QCOMPARE(ReadAll(folder.settingsFile()), g("[常规设置]\r\nIfDelete=Istrue\r\n"));
        QVERIFY(settings::ReadDeleteChoice());
    }

    void defaultTimes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<int>>("times");
        const QByteArray head = g("[默认时间]\r\n");
        QTest::newRow("rest 500") << head + "MytimeA=500\r\n" << QList<int>{500, 12, 30, 30};
        QTest::newRow("letters give 0") << head + "MytimeB=abc\r\n" << QList<int>{30, 0, 30, 30};
        QTest::newRow("all four") << head + "MytimeA=5\r\nMytimeB=1\r\nMytimeC=0\r\nMytimeD=5\r\n"
                                  << QList<int>{5, 1, 0, 5};
        QTest::newRow("leading digits") << head + "MytimeC=15min\r\n" << QList<int>{30, 12, 15, 30};
        QTest::newRow("empty gives default") << head + "MytimeD=\r\n" << QList<int>{30, 12, 30, 30};
        QTest::newRow("quoted number") << head + "MytimeA=\"45\"\r\n" << QList<int>{45, 12, 30, 30};
        QTest::newRow("key case") << head + "mytimea=7\r\nMYTIMEB=8\r\n" << QList<int>{7, 8, 30, 30};
        QTest::newRow("other section") << g("[常规设置]\r\nMytimeA=7\r\n") << QList<int>{30, 12, 30, 30};
        QTest::newRow("blank lines and comments")
            << "\r\n; saved\r\n\r\n" + head + "\r\n;MytimeA=1\r\n  MytimeA = 9 \r\n"
            << QList<int>{9, 12, 30, 30};
    }
    void defaultTimes()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<int>, times);
        TempProgramFolder folder(false);
        QVERIFY(WriteAll(folder.settingsFile(), content));
        const settings::DefaultTimes t = settings::ReadDefaultTimes();
        QCOMPARE((QList<int>{t.restMinutes, t.countdownHours, t.countdownMinutes, t.countdownSeconds}),
                 times);
    }

    void countdownWritesThreeKeysInOrder()
    {
        TempProgramFolder folder(false);
        settings::WriteCountdown(1, 0, 5);
        QCOMPARE(ReadAll(folder.settingsFile()), g("[默认时间]\r\nMytimeB=1\r\nMytimeC=0\r\nMytimeD=5\r\n"));
        settings::WriteRestMinutes(45);
        settings::WriteCountdown(2, 59, 0);
        QCOMPARE(ReadAll(folder.settingsFile()),
                 g("[默认时间]\r\nMytimeB=2\r\nMytimeC=59\r\nMytimeD=0\r\nMytimeA=45\r\n"));
        const settings::DefaultTimes t = settings::ReadDefaultTimes();
        QCOMPARE(t.restMinutes, 45);
        QCOMPARE(t.countdownHours, 2);
        QCOMPARE(t.countdownMinutes, 59);
        QCOMPARE(t.countdownSeconds, 0);
    }

    // --- the reader ---

    void integerRule_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("number");
        QTest::newRow("plain") << QByteArray("42") << 42;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("leading zeros") << QByteArray("007") << 7;
        QTest::newRow("digits then text") << QByteArray("12ab34") << 12;
        QTest::newRow("letters") << QByteArray("abc") << 0;
        QTest::newRow("text then digits") << QByteArray("a12") << 0;
        QTest::newRow("chinese") << g("三十") << 0;
        QTest::newRow("full-width digits") << g("１２") << 0;
        QTest::newRow("plus") << QByteArray("+15") << 15;
        QTest::newRow("minus") << QByteArray("-5") << -5;
        QTest::newRow("sign only") << QByteArray("-") << 0;
        QTest::newRow("space inside quotes") << QByteArray("\" 17\"") << 17;
        QTest::newRow("decimal point") << QByteArray("2.9") << 2;
        QTest::newRow("hex is not read") << QByteArray("0x1F") << 0;
        QTest::newRow("int max") << QByteArray("2147483647") << 2147483647;
        // Wraps modulo 2^32, as the private-profile integer reader does.
        QTest::newRow("2^31 wraps") << QByteArray("2147483648") << int(-2147483647 - 1);
        QTest::newRow("2^32 wraps to 0") << QByteArray("4294967296") << 0;
        QTest::newRow("99999999999") << QByteArray("99999999999") << 1215752191;
        // 10^5000 - 1 is -1 modulo 2^32.
        QTest::newRow("very long") << QByteArray(5000, '9') << -1;
    }
    void integerRule()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, number);
        const SettingsFile f(withContent("[s]\r\nk=" + value + "\r\n"));
        QCOMPARE(f.readInt(QStringLiteral("s"), QStringLiteral("k"), 77), number);
        QCOMPARE(f.readInt(QStringLiteral("s"), QStringLiteral("missing"), 77), 77);
        QCOMPARE(f.readInt(QStringLiteral("t"), QStringLiteral("k"), -3), -3);
    }

    void missingFileGivesDefaults()
    {
        const SettingsFile f(file("nowhere/none.ini"));
        QCOMPARE(f.readString(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("dflt")), u("dflt"));
        QCOMPARE(f.readInt(QStringLiteral("a"), QStringLiteral("b"), 12), 12);
    }

    void namesIgnoreLetterCase()
    {
        // Ä/ä and Ω/ω: beyond ASCII as well.
        const SettingsFile f(withContent(g("[Times Ä Ω]\r\nMyKey=1\r\n[常规设置]\r\nKÄSE=2\r\n")));
        QCOMPARE(f.readString(u("times ä ω"), u("mykey"), QString()), u("1"));
        QCOMPARE(f.readString(u("TIMES Ä Ω"), u("MYKEY"), QString()), u("1"));
        QCOMPARE(f.readString(u("常规设置"), u("käse"), QString()), u("2"));
        QCOMPARE(f.readString(u("常规设"), u("käse"), u("none")), u("none"));
        QCOMPARE(f.readString(u("Times"), u("MyKey"), u("none")), u("none"));
    }

    void chineseSectionStoredAsGbk()
    {
        const QByteArray bytes = QByteArray::fromHex("5bb3a3b9e6c9e8d6c35d0d0a") + "IfDelete=Isfalse\r\n";
        const SettingsFile f(withContent(bytes));
        QCOMPARE(f.readString(kGeneral, u("IfDelete"), QString()), u("Isfalse"));
        // The writer puts GBK bytes on disk, not UTF-8.
        const QString path = file("gbk-written.ini");
        QVERIFY(SettingsFile(path).writeString(kGeneral, u("IfDelete"), u("Isfalse")));
        QCOMPARE(ReadAll(path), bytes);
    }

    // ']' (0x5D) and '[' can be second bytes of GBK characters; the brackets of
    // a header are found in the decoded text.
    void bracketBytesInsideCharacters()
    {
        const QString name = u("乚乚"); // 815D 815D in GBK
        QVERIFY(gbk::encode(name).contains(']'));
        const QString path = withContent("[" + gbk::encode(name) + "]\r\nk=v\r\n[x]\r\nk=w\r\n");
        QCOMPARE(SettingsFile(path).readString(name, u("k"), QString()), u("v"));
        QCOMPARE(SettingsFile(path).readString(u("x"), u("k"), QString()), u("w"));
        QCOMPARE(SettingsFile(path).readString(u("乚"), u("k"), u("none")), u("none"));
    }

    void valuesTrimmedAndUnquoted_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QByteArray("k=v") << u("v");
        QTest::newRow("spaces and tabs") << QByteArray(" \tk \t= \t v w \t") << u("v w");
        QTest::newRow("double quotes") << QByteArray("k=\" v \"") << u(" v ");
        QTest::newRow("single quotes") << QByteArray("k=' v '") << u(" v ");
        QTest::newRow("unmatched quote") << QByteArray("k=\"v") << u("\"v");
        QTest::newRow("mixed quotes") << QByteArray("k=\"v'") << u("\"v'");
        QTest::newRow("lone quote") << QByteArray("k=\"") << u("\"");
        QTest::newRow("empty quotes") << QByteArray("k=\"\"") << QString();
        QTest::newRow("equals in value") << QByteArray("k=a=b") << u("a=b");
        QTest::newRow("chinese value") << g("k=关机 提醒") << u("关机 提醒");
        QTest::newRow("comment is value") << QByteArray("k=v ; note") << u("v ; note");
    }
    void valuesTrimmedAndUnquoted()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, value);
        const SettingsFile f(withContent("[s]\n" + line + "\n"));
        QCOMPARE(f.readString(u("s"), u("k"), u("default")), value);
    }

    void bufferLimitsBytes()
    {
        const SettingsFile f(withContent(g("[s]\r\nhan=关机关机关\r\nmix=a😀b\r\nascii=abcdefgh\r\n")));
        QCOMPARE(f.readString(u("s"), u("han"), QString(), 6), u("关机"));   // 5 bytes room: not half of 关
        QCOMPARE(f.readString(u("s"), u("han"), QString(), 7), u("关机关")); // 6 bytes room
        QCOMPARE(f.readString(u("s"), u("mix"), QString(), 5), u("a"));
        QCOMPARE(f.readString(u("s"), u("mix"), QString(), 6), u("a😀"));
        QCOMPARE(f.readString(u("s"), u("ascii"), QString(), 9), u("abcdefgh"));
        QCOMPARE(f.readString(u("s"), u("ascii"), QString(), 4), u("abc"));
        QCOMPARE(f.readString(u("s"), u("ascii"), QString(), 1), QString());
        QCOMPARE(f.readString(u("s"), u("ascii"), QString(), 0), QString());
        // The default goes through the same buffer; trailing blanks dropped.
        QCOMPARE(f.readString(u("s"), u("none"), u("默认时间"), 6), u("默认"));
        QCOMPARE(f.readString(u("s"), u("none"), u("dflt  "), 256), u("dflt"));
    }

    // --- hostile files ---

    void garbageDoesNotCrash()
    {
        QRandomGenerator rng(936);
        for (int round = 0; round < 100; ++round) {
            QByteArray bytes(int(rng.bounded(2000)), Qt::Uninitialized);
            for (char& b : bytes) {
                // Plenty of the bytes the parser looks for.
                static const char special[] = "[]=;\r\n \"'";
                const quint32 r = rng.bounded(20);
                b = r < 9 ? special[r] : char(rng.bounded(256));
            }
            const QString path = withContent(bytes);
            SettingsFile f(path);
            const QString v = f.readString(u("s"), u("k"), u("d"), 16);
            QVERIFY(gbk::byteLength(v) <= 15);
            f.readInt(u("s"), u("k"), 1);
            // Writing into garbage keeps it and makes the key readable.
            QVERIFY(f.writeString(u("s"), u("k"), u("written")));
            QCOMPARE(f.readString(u("s"), u("k"), QString()), u("written"));
        }
    }

    void nulBytesAndBinary()
    {
        QByteArray bytes("\0\0\x01\xFF\xFE[s]\0junk\r\n", 15);
        bytes += QByteArray("[s]\r\nk=a\0b\r\nn=4\0"
                            "2\r\n",
                            19);
        bytes += QByteArray(3000, '\0');
        bytes += "\r\n[t]\r\nk=t\r\n";
        const QString path = withContent(bytes);
        SettingsFile f(path);
        // A NUL ends a value, as it ends a private-profile reader's string.
        QCOMPARE(f.readString(u("s"), u("k"), QString()), u("a"));
        QCOMPARE(f.readInt(u("s"), u("n"), 0), 4);
        QCOMPARE(f.readString(u("t"), u("k"), QString()), u("t"));
        QVERIFY(f.writeString(u("t"), u("k"), u("u")));
        QByteArray expected = bytes;
        expected.replace("[t]\r\nk=t", "[t]\r\nk=u");
        QCOMPARE(ReadAll(path), expected);
    }

    void veryLongLines()
    {
        QByteArray bytes = "[s]\r\n" + QByteArray(200000, 'x') + "\r\nk=" + QByteArray(100000, '7') + "\r\n";
        bytes += "[" + QByteArray(100000, '\xB9') + "\r\n"; // a header that never closes
        const SettingsFile f(withContent(bytes));
        QCOMPARE(f.readString(u("s"), u("k"), QString(), 11), QString(10, QLatin1Char('7')));
        QCOMPARE(f.readString(u("s"), u("k"), QString(), 300000).size(), 100000);
    }

    void tenMegabyteFile()
    {
        QByteArray bytes;
        bytes.reserve(10 * 1024 * 1024 + 100);
        for (int i = 0; bytes.size() < 10 * 1024 * 1024; ++i)
            bytes += "[section" + QByteArray::number(i) + "]\r\nkey=" + g("关机提醒") + "\r\n";
        bytes += g("[默认时间]\r\nMytimeA=44\r\n");
        const QString path = withContent(bytes);
        SettingsFile f(path);
        QCOMPARE(f.readInt(kTimes, u("MytimeA"), 30), 44);
        QCOMPARE(f.readString(u("section12345"), u("KEY"), QString()), u("关机提醒"));
        QVERIFY(f.writeString(u("section7"), u("key"), u("x")));
        QByteArray expected = bytes;
        expected.replace("[section7]\r\nkey=" + g("关机提醒"), "[section7]\r\nkey=x");
        QCOMPARE(ReadAll(path).size(), expected.size());
        QVERIFY(ReadAll(path) == expected);
    }

    void fileThatIsNotGbk()
    {
        // UTF-16 with its byte order mark is not understood: defaults, no crash.
        QByteArray utf16("\xFF\xFE", 2);
        const QString text = u("[常规设置]\r\nIfDelete=Isfalse\r\n");
        utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        const SettingsFile f(withContent(utf16));
        QCOMPARE(f.readString(kGeneral, u("IfDelete"), u("Istrue"), 9), u("Istrue"));

        // UTF-8 without a mark reads as GBK: the ASCII names still match.
        const SettingsFile g8(withContent(u("[Times]\r\nName=关机\r\n").toUtf8()));
        QCOMPARE(g8.readString(u("times"), u("name"), QString()), gbk::decode(u("关机").toUtf8()));
    }

    void utf8WithByteOrderMark()
    {
        const QByteArray bytes = "\xEF\xBB\xBF" + u("[常规设置]\r\nIfDelete=Isfalse\r\n").toUtf8();
        const QString path = withContent(bytes);
        SettingsFile f(path);
        QCOMPARE(f.readString(kGeneral, u("IfDelete"), QString()), u("Isfalse"));
        QVERIFY(f.writeString(kTimes, u("MytimeA"), u("关")));
        QCOMPARE(ReadAll(path), bytes + u("[默认时间]\r\nMytimeA=关\r\n").toUtf8());
    }

    // --- the writer ---

    void writeCreatesFileSectionAndKey()
    {
        const QString path = file("new.ini");
        SettingsFile f(path);
        QVERIFY(f.writeString(u("A"), u("one"), u("1")));
        QCOMPARE(ReadAll(path), QByteArray("[A]\r\none=1\r\n"));
        QVERIFY(f.writeString(u("a"), u("two"), u("2")));
        QCOMPARE(ReadAll(path), QByteArray("[A]\r\none=1\r\ntwo=2\r\n"));
        QVERIFY(f.writeString(u("B"), u("one"), u("b")));
        QCOMPARE(ReadAll(path), QByteArray("[A]\r\none=1\r\ntwo=2\r\n[B]\r\none=b\r\n"));
        QVERIFY(f.writeString(u("a"), u("ONE"), u("")));
        QCOMPARE(ReadAll(path), QByteArray("[A]\r\none=\r\ntwo=2\r\n[B]\r\none=b\r\n"));
        QCOMPARE(f.readString(u("A"), u("one"), u("d")), QString());
        QCOMPARE(f.readInt(u("A"), u("one"), 9), 9);
    }

    void writeKeepsEverythingElse()
    {
        // Comments, blank lines, odd spacing, invalid GBK, lines before any
        // section, both line ends and a missing final line end all survive.
        const QByteArray before =
            "; top comment\r\nstray=1\r\n\r\n[Other]\r\nIfDelete = keep me\r\n"
            "junk \xFF\x81 line\n" +
            g("[常规设置]\r\n  ; about IfDelete\r\n\tIfDelete =  Isfalse  \r\nNext=x\r\n") +
            "\r\n[Last]\r\nz=1";
        const QString path = withContent(before);
        SettingsFile f(path);
        QVERIFY(f.writeString(kGeneral, u("IFDELETE"), u("Istrue")));
        QByteArray expected = before;
        expected.replace("\tIfDelete =  Isfalse  \r\n", "\tIfDelete =Istrue\r\n");
        QCOMPARE(ReadAll(path), expected);

        // A new key goes after the section's last line, before the blank line.
        QVERIFY(f.writeString(kGeneral, u("New"), u("值")));
        expected.replace("Next=x\r\n", "Next=x\r\nNew=" + g("值") + "\r\n");
        QCOMPARE(ReadAll(path), expected);

        // The last section has no final line end.
        QVERIFY(f.writeString(u("last"), u("y"), u("2")));
        expected += "\r\ny=2\r\n";
        QCOMPARE(ReadAll(path), expected);

        QVERIFY(f.writeString(u("Brand new"), u("k"), u("v")));
        expected += "[Brand new]\r\nk=v\r\n";
        QCOMPARE(ReadAll(path), expected);
    }

    void writeKeepsLineEndStyle()
    {
        const QString path = withContent("[s]\nk=1\n");
        SettingsFile f(path);
        QVERIFY(f.writeString(u("s"), u("k"), u("2")));
        QVERIFY(f.writeString(u("s"), u("j"), u("3")));
        QVERIFY(f.writeString(u("t"), u("k"), u("4")));
        QCOMPARE(ReadAll(path), QByteArray("[s]\nk=2\nj=3\n[t]\nk=4\n"));
        // A replaced line keeps its own line end, whatever the others use.
        const QString mixed = withContent("[s]\r\nk=1\nj=1\r\n");
        QVERIFY(SettingsFile(mixed).writeString(u("s"), u("K"), u("22")));
        QCOMPARE(ReadAll(mixed), QByteArray("[s]\r\nk=22\nj=1\r\n"));
        const QString crlf = withContent("[s]\r\nk=1\r\n");
        QVERIFY(SettingsFile(crlf).writeString(u("s"), u("k"), u("2")));
        QCOMPARE(ReadAll(crlf), QByteArray("[s]\r\nk=2\r\n"));
    }

    void writeGivesNameOnlyLineAValue()
    {
        const QString path = withContent("[s]\r\nflag   \r\nother=1\r\n");
        SettingsFile f(path);
        QCOMPARE(f.readString(u("s"), u("flag"), u("d")), u("d"));
        QVERIFY(f.writeString(u("s"), u("FLAG"), u("on")));
        QCOMPARE(ReadAll(path), QByteArray("[s]\r\nflag=on\r\nother=1\r\n"));
    }

    void writeChangesOnlyFirstSectionAndKey()
    {
        const QString path = withContent("[s]\r\nk=1\r\nk=2\r\n[S]\r\nk=3\r\n");
        SettingsFile f(path);
        QVERIFY(f.writeString(u("s"), u("k"), u("9")));
        QCOMPARE(ReadAll(path), QByteArray("[s]\r\nk=9\r\nk=2\r\n[S]\r\nk=3\r\n"));
    }

    // A value with a line break would add lines of its own; such writes are
    // refused and the file is left alone.
    void writeRefusesTextThatCannotBeReadBack_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("LF in value") << u("s") << u("k") << u("1\n[t]\nk=2");
        QTest::newRow("CR in value") << u("s") << u("k") << u("1\r2");
        QTest::newRow("NUL in value") << u("s") << u("k") << QString::fromLatin1("a\0b", 3);
        QTest::newRow("LF in key") << u("s") << u("k\nx") << u("1");
        QTest::newRow("LF in section") << u("s]\n[t") << u("k") << u("1");
        QTest::newRow("equals in key") << u("s") << u("a=b") << u("1");
        QTest::newRow("key like section") << u("s") << u("[t]") << u("1");
        QTest::newRow("key like comment") << u("s") << u(";k") << u("1");
    }
    void writeRefusesTextThatCannotBeReadBack()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QByteArray before = "[s]\r\nk=0\r\n";
        const QString path = withContent(before);
        QVERIFY(!SettingsFile(path).writeString(section, key, value));
        QCOMPARE(ReadAll(path), before);
    }

    void failedWriteLeavesOldFile()
    {
        // The parent of the path is a regular file: no temporary file can be
        // made beside it, whatever the user's rights (the tests may run as root).
        const QString blocker = withContent("not a folder");
        QVERIFY(!SettingsFile(blocker + QStringLiteral("/Settings.ini")).writeString(u("s"), u("k"), u("v")));
        QCOMPARE(ReadAll(blocker), QByteArray("not a folder"));

        // The path is a folder: the write fails and the folder stays.
        const QString folder = file("a-folder.ini");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/inside")));
        QVERIFY(!SettingsFile(folder).writeString(u("s"), u("k"), u("v")));
        QVERIFY(QFileInfo(folder + QStringLiteral("/inside")).isDir());
    }

    void unwritableFolderLeavesOldFileWhole()
    {
        if (geteuid() == 0)
            QSKIP("running as root: permission bits do not stop writes");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Settings.ini"));
        const QByteArray before = "[s]\r\nk=old\r\n";
        QVERIFY(WriteAll(path, before));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const bool written = SettingsFile(path).writeString(u("s"), u("k"), u("new"));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!written);
        QCOMPARE(ReadAll(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u("Settings.ini")});
    }

    void unreadableFileIsNotReplaced()
    {
        if (geteuid() == 0)
            QSKIP("running as root: permission bits do not stop reads");
        const QByteArray before = "[s]\r\nk=old\r\nother=keep\r\n";
        const QString path = withContent(before);
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        const bool written = SettingsFile(path).writeString(u("s"), u("k"), u("new"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!written);
        QCOMPARE(ReadAll(path), before);
    }

    // The old file is replaced by a new one, never rewritten in place: a reader
    // holding the old file still sees it whole.
    void writeReplacesFileAtomically()
    {
        const QByteArray before = "[s]\r\nk=old\r\n";
        const QString path = withContent(before);
        QFile held(path);
        QVERIFY(held.open(QIODevice::ReadOnly));
        QVERIFY(SettingsFile(path).writeString(u("s"), u("k"), u("new")));
        QCOMPARE(held.readAll(), before);
        QCOMPARE(ReadAll(path), QByteArray("[s]\r\nk=new\r\n"));
        // No temporary file is left beside it.
        const QString name = QFileInfo(path).fileName();
        QCOMPARE(QDir(m_dir.path()).entryList({name + u("*")}, QDir::Files | QDir::Hidden),
                 QStringList{name});
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
