#include "base/Gbk.h"

#include <QRandomGenerator>
#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <thread>
#include <vector>

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QString codePoint(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

// glibc's own GBK table, as an independent reference for the characters GBK has.
class GlibcGbk
{
public:
    GlibcGbk() : m_cd(iconv_open("GBK", "UTF-32LE")) {}
    ~GlibcGbk()
    {
        if (valid())
            iconv_close(m_cd);
    }
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // Empty when GBK has no bytes for the code point.
    QByteArray encode(char32_t c)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char out[8];
        char* in = reinterpret_cast<char*>(&c);
        size_t inLeft = sizeof c;
        char* o = out;
        size_t outLeft = sizeof out;
        if (iconv(m_cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1))
            return {};
        return QByteArray(out, o - out);
    }

private:
    iconv_t m_cd;
};

bool wellFormedUtf16(const QString& s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate()) {
            if (i + 1 >= s.size() || !s[i + 1].isLowSurrogate())
                return false;
            ++i;
        } else if (s[i].isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

// Decodes from a heap block of exactly the input's size, so that AddressSanitizer
// catches any read past the end.
QString decodeExact(const QByteArray& bytes)
{
    const auto n = static_cast<size_t>(bytes.size());
    char* block = static_cast<char*>(std::malloc(n ? n : 1));
    std::memcpy(block, bytes.constData(), n);
    const QString s = gbk::decode(QByteArray::fromRawData(block, bytes.size()));
    std::free(block);
    return s;
}

} // namespace

class TestGbk : public QObject
{
    Q_OBJECT

private slots:
    void knownBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("ascii") << u("a=1 [x]") << QByteArray("a=1 [x]");
        QTest::newRow("shutdown") << u("关机") << QByteArray::fromHex("b9d8bbfa");
        QTest::newRow("section general") << u("常规设置") << QByteArray::fromHex("b3a3b9e6c9e8d6c3");
        QTest::newRow("section times") << u("默认时间") << QByteArray::fromHex("c4acc8cfcab1bce4");
        QTest::newRow("mixed") << u("a删除信息b") << QByteArray::fromHex("61c9beb3fdd0c5cfa262");
        // Code page 936 has the euro sign on one byte; GB18030 would give A2E3.
        QTest::newRow("euro") << u("1€") << QByteArray("1\x80");
        QTest::newRow("euro between") << u("关€机") << QByteArray::fromHex("b9d880bbfa");
        // Outside GBK, written as GB18030.
        QTest::newRow("emoji") << u("😀") << QByteArray::fromHex("9439fc36");
        QTest::newRow("extension A") << u("㐀") << QByteArray::fromHex("8139ee39");
        QTest::newRow("two-byte GB18030 only") << u("ḿ") << QByteArray::fromHex("a8bc");
        QTest::newRow("C1 control") << codePoint(0x80) << QByteArray::fromHex("81308130");
        QTest::newRow("replacement char") << codePoint(0xFFFD) << QByteArray::fromHex("8431a437");
        QTest::newRow("nul") << QString(QChar(0)) << QByteArray(1, '\0');
        QTest::newRow("title") << u("Tolva小精灵2016")
                               << QByteArray::fromHex("546f6c7661d0a1beabc1e932303136");
    }
    void knownBytes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(gbk::encode(text).toHex(), bytes.toHex());
        QCOMPARE(gbk::byteLength(text), int(bytes.size()));
        QCOMPARE(gbk::decode(bytes), text);
    }

    // Every character GBK has is written exactly as GBK writes it; the euro sign
    // is the one code point where GB18030 differs, and it is handled.
    void sameBytesAsGbkForEveryGbkCharacter()
    {
        GlibcGbk reference;
        if (!reference.valid())
            QSKIP("this C library has no GBK converter to compare with");
        int compared = 0;
        for (char32_t c = 1; c <= 0xFFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const QByteArray expected = reference.encode(c);
            if (expected.isEmpty())
                continue;
            ++compared;
            const QByteArray actual = gbk::encode(codePoint(c));
            if (actual != expected)
                QFAIL(qPrintable(
                    QStringLiteral("U+%1: %2 instead of %3")
                        .arg(uint(c), 4, 16, QLatin1Char('0'))
                        .arg(QString::fromLatin1(actual.toHex()), QString::fromLatin1(expected.toHex()))));
        }
        QVERIFY2(compared > 21000, qPrintable(QString::number(compared)));
    }

    // Everything GB18030 can carry comes back unchanged; the only code points
    // that cannot are private-use ones, which become '?'.
    void roundTripsWholeBmp()
    {
        QString all;
        for (char32_t c = 1; c <= 0xFFFF; ++c)
            if (c < 0xD800 || c > 0xDFFF)
                all += QChar(char16_t(c));
        const QByteArray bytes = gbk::encode(all);
        QCOMPARE(gbk::byteLength(all), int(bytes.size()));
        const QString back = gbk::decode(bytes);
        QCOMPARE(back.size(), all.size());
        int lost = 0;
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (back[i] == all[i])
                continue;
            ++lost;
            QCOMPARE(back[i], QLatin1Char('?'));
            const char16_t c = all[i].unicode();
            QVERIFY2(c >= 0xE000 && c <= 0xF8FF, qPrintable(QString::number(c, 16)));
        }
        QVERIFY(lost < 64);
    }

    void roundTripsSupplementaryPlanes()
    {
        QString text;
        for (char32_t c = 0x10000; c <= 0x10FFFF; c += 97)
            text += codePoint(c);
        text += codePoint(0x10FFFF);
        const QByteArray bytes = gbk::encode(text);
        QCOMPARE(bytes.size(), (text.size() / 2) * 4);
        QCOMPARE(gbk::decode(bytes), text);
    }

    void loneSurrogatesBecomeDefaultChar_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        const QChar high(char16_t(0xD83D));
        const QChar low(char16_t(0xDE00));
        QTest::newRow("high at end") << u("关") + high << QByteArray::fromHex("b9d83f");
        QTest::newRow("high then ascii") << QString(high) + u("a") << QByteArray("?a");
        QTest::newRow("low alone") << u("a") + low + u("关") << QByteArray::fromHex("613fb9d8");
        QTest::newRow("reversed pair") << QString(low) + high << QByteArray("??");
        QTest::newRow("high before euro") << QString(high) + u("€") << QByteArray("?\x80");
    }
    void loneSurrogatesBecomeDefaultChar()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(gbk::encode(text).toHex(), bytes.toHex());
        QCOMPARE(gbk::byteLength(text), int(bytes.size()));
    }

    void invalidBytesBecomeReplacement_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString r(QChar(char16_t(0xFFFD)));
        QTest::newRow("lone lead at end") << QByteArray("a\x81") << u("a") + r;
        QTest::newRow("lead before equals") << QByteArray("k\x81=v") << u("k") + r + u("=v");
        QTest::newRow("lead before line end") << QByteArray("\xB9\r\n") << r + u("\r\n");
        QTest::newRow("0xFF") << QByteArray("\xFF"
                                            "b")
                              << r + u("b");
        QTest::newRow("bad trail 0x7F") << QByteArray("\xA1\x7F") << r + QChar(0x7F);
        QTest::newRow("cut four-byte") << QByteArray("\x81\x30") << r + u("0");
        QTest::newRow("cut four-byte 3") << QByteArray("\x81\x30\x81") << r + u("0") + r;
        QTest::newRow("four-byte out of range")
            << QByteArray("\xE3\x32\x9A\x36z") << r + u("2") + r + u("6z");
        QTest::newRow("euro byte") << QByteArray("\x80") << u("€");
        QTest::newRow("euro of GB18030") << QByteArray("\xA2\xE3") << u("€");
        QTest::newRow("nul kept") << QByteArray("a\0\xB9\xD8", 4) << QString(QChar('a')) + QChar(0) + u("关");
    }
    void invalidBytesBecomeReplacement()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(decodeExact(bytes), text);
    }

    // Any bytes at all: no crash, no read past the end, at most one code unit per
    // byte, and never a broken surrogate pair.
    void decodesRandomBytesSafely()
    {
        QRandomGenerator rng(20160);
        for (int round = 0; round < 2000; ++round) {
            QByteArray bytes(int(rng.bounded(40)), Qt::Uninitialized);
            for (char& b : bytes)
                b = char(rng.bounded(256));
            const QString s = decodeExact(bytes);
            QVERIFY(s.size() <= bytes.size());
            QVERIFY(wellFormedUtf16(s));
        }
    }

    // Every prefix of a valid text decodes to a prefix of the text, plus at most
    // replacement characters for a cut character at the end.
    void decodesEveryPrefix()
    {
        const QString text = u("a关😀㐀€b");
        const QByteArray bytes = gbk::encode(text);
        for (qsizetype n = 0; n <= bytes.size(); ++n) {
            const QString s = decodeExact(bytes.left(n));
            qsizetype common = 0;
            while (common < s.size() && common < text.size() && s[common] == text[common])
                ++common;
            for (qsizetype i = common; i < s.size(); ++i)
                QVERIFY2(s[i] == QChar(char16_t(0xFFFD)) || s[i].unicode() < 0x80, qPrintable(s));
            QVERIFY(wellFormedUtf16(s));
        }
    }

    void truncation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QString>("expected");
        const QString han30 = u("a") + u("关").repeated(30);
        QTest::newRow("52 odd start") << han30 << 52 << u("a") + u("关").repeated(25);
        QTest::newRow("52 even start") << u("关").repeated(30) << 52 << u("关").repeated(26);
        QTest::newRow("256 of 200 han") << u("机").repeated(200) << 256 << u("机").repeated(128);
        QTest::newRow("256 odd") << u("x") + u("机").repeated(200) << 256 << u("x") + u("机").repeated(127);
        QTest::newRow("fits whole") << han30 << 61 << han30;
        QTest::newRow("ascii") << u("abcdef") << 4 << u("abcd");
        QTest::newRow("emoji does not fit") << u("ab😀") << 5 << u("ab");
        QTest::newRow("emoji fits") << u("ab😀c") << 6 << u("ab😀");
        QTest::newRow("four-byte han") << u("㐀㐀") << 7 << u("㐀");
        QTest::newRow("euro is one byte") << u("关€关") << 3 << u("关€");
        QTest::newRow("zero") << u("关") << 0 << QString();
        QTest::newRow("negative") << u("abc") << -1 << QString();
        QTest::newRow("one byte, two-byte char") << u("关") << 1 << QString();
    }
    void truncation()
    {
        QFETCH(QString, text);
        QFETCH(int, maxBytes);
        QFETCH(QString, expected);
        QCOMPARE(gbk::truncateToBytes(text, maxBytes), expected);
    }

    // For every limit: the result is a prefix, fits, is the longest that fits,
    // and never ends inside a surrogate pair.
    void truncationIsLongestWholePrefix()
    {
        const QString text = u("Tolva小精灵😀㐀€x关机") + QChar(char16_t(0xDC00)) + u("提醒😀");
        const int total = gbk::byteLength(text);
        for (int limit = 0; limit <= total + 1; ++limit) {
            const QString cut = gbk::truncateToBytes(text, limit);
            QVERIFY(text.startsWith(cut));
            QVERIFY(gbk::byteLength(cut) <= limit);
            QVERIFY(cut.isEmpty() || !cut.back().isHighSurrogate());
            if (cut.size() < text.size()) {
                const int step = text[cut.size()].isHighSurrogate() ? 2 : 1;
                QVERIFY2(gbk::byteLength(text.left(cut.size() + step)) > limit, qPrintable(cut));
            }
            QVERIFY(gbk::encode(text).startsWith(gbk::encode(cut)));
        }
    }

    // Each thread needs its own converter state: results must not mix.
    void concurrentUseGivesSameResults()
    {
        const QString text = u("常规设置IfDelete=Istrue😀㐀€").repeated(20);
        const QByteArray bytes = gbk::encode(text);
        const QString cut = gbk::truncateToBytes(text, 101);
        QCOMPARE(gbk::byteLength(cut), 100);
        std::vector<std::thread> threads;
        std::vector<int> failures(4, 0);
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 300; ++i) {
                    if (gbk::encode(text) != bytes || gbk::decode(bytes) != text ||
                        gbk::truncateToBytes(text, 101) != cut)
                        ++failures[size_t(t)];
                }
            });
        }
        for (auto& th : threads)
            th.join();
        for (int f : failures)
            QCOMPARE(f, 0);
    }
};

QTEST_GUILESS_MAIN(TestGbk)
#include "tst_gbk.moc"
