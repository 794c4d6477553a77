// The GBK codec: decoding any bytes, encoding any text, and cutting text to a
// byte length, with the properties the settings file relies on.
#include "FuzzCheck.h"
#include "base/Gbk.h"

#include <QList>
#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

bool isPrivateUse(char32_t cp)
{
    return cp >= 0xE000 && cp <= 0xF8FF;
}

// Valid text from the bytes: ASCII as it is, two bytes for a BMP character and
// three for the others, so that mutations reach every plane.
QString textFromCodePoints(const uint8_t* data, size_t size)
{
    QString text;
    size_t i = 0;
    while (i < size) {
        const uint8_t b = data[i++];
        char32_t cp = 0;
        if (b < 0x80) {
            cp = b;
        } else if (b < 0xF0) {
            if (i >= size)
                break;
            cp = char32_t((b & 0x7F) << 9 | data[i++] << 1 | (b & 1)) & 0xFFFF;
        } else {
            if (i + 1 >= size)
                break;
            cp = 0x10000 + ((char32_t(b & 0x0F) << 16 | char32_t(data[i]) << 8 | data[i + 1]) % 0x100000);
            i += 2;
        }
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        text += QString::fromUcs4(&cp, 1);
    }
    return text;
}

// Any UTF-16 units, lone surrogates included.
QString textFromUnits(const uint8_t* data, size_t size)
{
    QString text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text += QChar(char16_t(data[i] | data[i + 1] << 8));
    return text;
}

// The code points of the text, a lone surrogate counting as one.
QList<QString> codePoints(const QString& text)
{
    QList<QString> out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        out.append(text.mid(i, n));
        i += n;
    }
    return out;
}

void checkText(const QString& text, int maxBytes)
{
    const QByteArray bytes = gbk::encode(text);
    FUZZ_CHECK(gbk::byteLength(text) == bytes.size(), "text %s", fuzz::units(text).constData());

    // Every code point has its own bytes whatever stands around it, and reads
    // back as itself; what the code page cannot hold becomes '?'.
    QByteArray joined;
    QString expected;
    for (const QString& cp : codePoints(text)) {
        const QByteArray one = gbk::encode(cp);
        const char32_t value = cp.size() == 2 ? QChar::surrogateToUcs4(cp[0], cp[1]) : cp[0].unicode();
        const bool surrogate = cp.size() == 1 && cp[0].isSurrogate();
        FUZZ_CHECK(!one.isEmpty() && one.size() <= 4, "code point %s", fuzz::units(cp).constData());
        if (surrogate || !isPrivateUse(value))
            FUZZ_CHECK(surrogate == (one == "?" && value != '?'), "code point %s gives %s",
                       fuzz::units(cp).constData(), one.toHex().constData());
        joined += one;
        expected += one == "?" ? QStringLiteral("?") : cp;
    }
    FUZZ_CHECK(bytes == joined, "text %s: %s vs %s", fuzz::units(text).constData(), bytes.toHex().constData(),
               joined.toHex().constData());
    const QString back = gbk::decode(bytes);
    FUZZ_CHECK(back == expected, "text %s read back as %s", fuzz::units(text).constData(),
               fuzz::units(back).constData());

    // The longest whole-character prefix within the limit.
    const QString cut = gbk::truncateToBytes(text, maxBytes);
    FUZZ_CHECK(text.startsWith(cut), "cut %s of %s", fuzz::units(cut).constData(),
               fuzz::units(text).constData());
    const QByteArray cutBytes = gbk::encode(cut);
    FUZZ_CHECK(cutBytes.size() <= std::max(maxBytes, 0), "cut to %d gives %d bytes", maxBytes,
               int(cutBytes.size()));
    FUZZ_CHECK(bytes.startsWith(cutBytes), "cut of %s to %d", fuzz::units(text).constData(), maxBytes);
    if (cut.size() < text.size()) {
        const QString rest = text.mid(cut.size());
        FUZZ_CHECK(cut.isEmpty() || !cut.back().isHighSurrogate() || !rest[0].isLowSurrogate(),
                   "pair split in %s at %d", fuzz::units(text).constData(), int(cut.size()));
        const QString next = codePoints(rest).first();
        FUZZ_CHECK(gbk::byteLength(cut + next) > maxBytes, "cut of %s to %d stops early at %d",
                   fuzz::units(text).constData(), maxBytes, int(cut.size()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int mode = data[0] % 3;
    const int maxBytes = int(data[1]) - 8;
    data += 2;
    size -= 2;

    if (mode == 0) {
        const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
        const QString text = gbk::decode(bytes);
        FUZZ_CHECK(text.size() <= bytes.size(), "%s decodes to %d units", bytes.toHex().constData(),
                   int(text.size()));
        // Never half a surrogate pair, and whatever was read can be written
        // again and reads back the same.
        for (const QString& cp : codePoints(text))
            FUZZ_CHECK(!cp[0].isSurrogate() || cp.size() == 2, "%s decodes to %s", bytes.toHex().constData(),
                       fuzz::units(text).constData());
        FUZZ_CHECK(gbk::decode(gbk::encode(text)) == text, "%s decodes to %s, which does not survive writing",
                   bytes.toHex().constData(), fuzz::units(text).constData());
        checkText(text, maxBytes);
    } else {
        checkText(mode == 1 ? textFromCodePoints(data, size) : textFromUnits(data, size), maxBytes);
    }
    return 0;
}
