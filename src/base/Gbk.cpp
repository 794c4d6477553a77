#include "base/Gbk.h"

#include <QtGlobal>
#include <cerrno>
#include <iconv.h>

// GB18030 is a superset of code page 936 and gives the same bytes for every
// character the code page has, with one exception: the euro sign, a single byte
// 0x80 in code page 936 and A2E3 in GB18030. We write 0x80, as code page 936
// has it, and read both. glibc's GB18030 follows the 2022 edition, which
// gave a few private-use code points (U+E78D...) up to standard characters;
// those code points, like lone surrogates, cannot be encoded at all and are
// written as '?', the code page's default character.

namespace {

constexpr char16_t kEuroSign = 0x20AC;
constexpr char kEuroByte = '\x80';
constexpr char kDefaultChar = '?';
constexpr char16_t kReplacement = 0xFFFD;

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr const char kUtf16[] = "UTF-16LE";
#else
constexpr const char kUtf16[] = "UTF-16BE";
#endif

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// An iconv descriptor carries state and must not be used by two threads at
// once; opening one per call costs more than the conversion of a short text.
// So each thread keeps its own pair, opened on first use.
class Descriptors
{
public:
    Descriptors() = default;
    Descriptors(const Descriptors&) = delete;
    Descriptors& operator=(const Descriptors&) = delete;
    ~Descriptors()
    {
        if (m_encoder != kNoDescriptor)
            iconv_close(m_encoder);
        if (m_decoder != kNoDescriptor)
            iconv_close(m_decoder);
    }

    // The descriptor reset to its initial state, or kNoDescriptor when the
    // system has no GB18030 converter (then only ASCII survives).
    iconv_t encoder() { return ready(m_encoder, m_encoderTried, "GB18030", kUtf16); }
    iconv_t decoder() { return ready(m_decoder, m_decoderTried, kUtf16, "GB18030"); }

private:
    static iconv_t ready(iconv_t& cd, bool& tried, const char* to, const char* from)
    {
        if (!tried) {
            tried = true;
            cd = iconv_open(to, from);
        }
        if (cd != kNoDescriptor)
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return cd;
    }

    iconv_t m_encoder = kNoDescriptor;
    iconv_t m_decoder = kNoDescriptor;
    bool m_encoderTried = false;
    bool m_decoderTried = false;
};

Descriptors& descriptors()
{
    thread_local Descriptors t;
    return t;
}

bool isAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

bool isAscii(const QByteArray& bytes)
{
    for (const char b : bytes)
        if (static_cast<unsigned char>(b) >= 0x80)
            return false;
    return true;
}

// Code units taken by the code point at p (2 for a whole surrogate pair).
int unitsAt(const char16_t* p, const char16_t* end)
{
    return QChar::isHighSurrogate(p[0]) && p + 1 < end && QChar::isLowSurrogate(p[1]) ? 2 : 1;
}

// Encodes [src, end) to dst and returns the new end of dst. The caller gives
// room for 4 bytes per code unit: no code point takes more than that.
char* encodeRun(iconv_t cd, const char16_t* src, const char16_t* end, char* dst)
{
    while (src < end) {
        if (cd == kNoDescriptor) {
            *dst++ = *src < 0x80 ? static_cast<char>(*src) : kDefaultChar;
            src += unitsAt(src, end);
            continue;
        }
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(src));
        size_t inLeft = static_cast<size_t>(end - src) * sizeof(char16_t);
        size_t outLeft = static_cast<size_t>(end - src) * 4;
        const size_t result = iconv(cd, &in, &inLeft, &dst, &outLeft);
        src = reinterpret_cast<const char16_t*>(in);
        if (result != static_cast<size_t>(-1))
            break;
        // EILSEQ (no GB18030 bytes, or a lone low surrogate) or EINVAL (a high
        // surrogate at the end): one default character for the code point.
        *dst++ = kDefaultChar;
        src += unitsAt(src, end);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return dst;
}

// Length of the encoded character that starts at bytes[pos] of encode()'s output.
int encodedCharLength(const QByteArray& bytes, qsizetype pos)
{
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    if (lead <= 0x80) // ASCII, '?' or the euro sign
        return 1;
    if (pos + 1 < bytes.size()) {
        const auto second = static_cast<unsigned char>(bytes[pos + 1]);
        if (second >= '0' && second <= '9')
            return 4;
    }
    return 2;
}

} // namespace

namespace gbk {

QByteArray encode(const QString& text)
{
    if (isAscii(text))
        return text.toLatin1();

    QByteArray out(text.size() * 4, Qt::Uninitialized);
    char* dst = out.data();
    const char16_t* src = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = src + text.size();
    const iconv_t cd = descriptors().encoder();
    while (src < end) {
        const char16_t* run = src;
        while (run < end && *run != kEuroSign)
            ++run;
        dst = encodeRun(cd, src, run, dst);
        if (run < end)
            *dst++ = kEuroByte;
        src = run < end ? run + 1 : run;
    }
    out.truncate(dst - out.constData());
    return out;
}

QString decode(const QByteArray& bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);

    // No byte sequence gives more code units than it has bytes, so the
    // output never outgrows this.
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* const first = reinterpret_cast<char16_t*>(out.data());
    char16_t* dst = first;
    const char* src = bytes.constData();
    const char* const end = src + bytes.size();
    const iconv_t cd = descriptors().decoder();
    while (src < end) {
        if (cd != kNoDescriptor) {
            char* in = const_cast<char*>(src);
            size_t inLeft = static_cast<size_t>(end - src);
            char* o = reinterpret_cast<char*>(dst);
            size_t outLeft = static_cast<size_t>(end - src) * sizeof(char16_t);
            const size_t result = iconv(cd, &in, &inLeft, &o, &outLeft);
            src = in;
            dst = reinterpret_cast<char16_t*>(o);
            if (result != static_cast<size_t>(-1))
                break;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        // An invalid or incomplete sequence: replace its first byte only, so
        // that an ASCII byte after a stray lead byte (a '=' or a line end) survives.
        const auto b = static_cast<unsigned char>(*src);
        *dst++ = b < 0x80 ? char16_t(b) : b == 0x80 ? kEuroSign : kReplacement;
        ++src;
    }
    out.truncate(dst - first);
    return out;
}

int byteLength(const QString& text)
{
    if (isAscii(text))
        return static_cast<int>(text.size());
    return static_cast<int>(encode(text).size());
}

QString truncateToBytes(const QString& text, int maxBytes)
{
    if (maxBytes <= 0)
        return QString();
    if (isAscii(text))
        return text.left(maxBytes);
    const QByteArray bytes = encode(text);
    if (bytes.size() <= maxBytes)
        return text;

    // encode() gives exactly one encoded character per code point, so the
    // output and the text can be walked side by side.
    const char16_t* const begin = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = begin + text.size();
    const char16_t* p = begin;
    qsizetype used = 0;
    while (used < bytes.size() && p < end) {
        const int length = encodedCharLength(bytes, used);
        if (used + length > maxBytes)
            break;
        used += length;
        p += unitsAt(p, end);
    }
    return text.left(p - begin);
}

} // namespace gbk
