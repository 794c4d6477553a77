#include "base/SettingsFile.h"

#include "base/Gbk.h"
#include "base/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QTime>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

// The file is kept as bytes and parsed line by line on every call: only the
// names that are compared and the one value asked for are decoded, so that a
// large or binary file costs little more than reading it, and every line that
// is not rewritten goes back to disk exactly as it came.

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

// Whitespace as the profile functions trim it; none of these bytes can be
// the second byte of a GBK character, so bytes and characters agree on it.
bool isSpace(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A;
}

QString trimmed(const QString& text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && isSpace(text[b].unicode()))
        ++b;
    while (e > b && isSpace(text[e - 1].unicode()))
        --e;
    return text.mid(b, e - b);
}

bool sameName(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// A file that begins with the UTF-8 byte order mark is read and written as
// UTF-8, as private-profile readers do; every other file is GBK.
class Text
{
public:
    explicit Text(const QByteArray& data) : m_utf8(data.startsWith(kUtf8Bom)) {}
    qsizetype start() const { return m_utf8 ? kUtf8Bom.size() : 0; }
    QString decode(const char* p, qsizetype n) const
    {
        return m_utf8 ? QString::fromUtf8(p, n) : gbk::decode(QByteArray::fromRawData(p, n));
    }
    QByteArray encode(const QString& s) const { return m_utf8 ? s.toUtf8() : gbk::encode(s); }
    // False for text with characters the encoding lacks (they would read back as
    // '?' or U+FFFD), lone surrogates among them.
    bool holds(const QString& s) const
    {
        const QByteArray bytes = encode(s);
        return decode(bytes.constData(), bytes.size()) == s;
    }

private:
    bool m_utf8;
};

// Where a section and a key of it are in the file, in byte offsets.
struct Location
{
    bool sectionFound = false;
    // Start of the line after the section's last non-blank line: where a new key goes.
    qsizetype insertAt = 0;
    bool keyFound = false;
    qsizetype keyEquals = -1; // its '=', or -1 for a name without a value
    qsizetype keyNameEnd = 0; // end of the name when there is no '='
    qsizetype keyLineEnd = 0; // where its line end ("\r\n", "\n" or nothing) begins
    std::optional<QString> value;
};

// Only the first section of the name is searched, and in it the first key of the
// name, as the profile functions do. Names in the file stand without the blanks
// around them, so the names asked for are taken without theirs.
Location locate(const QByteArray& data, const Text& text, const QString& sectionName, const QString& keyName)
{
    const QString section = trimmed(sectionName);
    const QString key = trimmed(keyName);
    Location loc;
    const char* const d = data.constData();
    const qsizetype size = data.size();
    bool inSection = false;
    for (qsizetype pos = text.start(); pos < size;) {
        const void* nl = std::memchr(d + pos, '\n', static_cast<size_t>(size - pos));
        const qsizetype end = nl ? static_cast<const char*>(nl) - d : size;
        const qsizetype next = nl ? end + 1 : size;
        qsizetype s = pos;
        qsizetype e = end;
        while (s < e && isSpace(static_cast<unsigned char>(d[s])))
            ++s;
        while (e > s && isSpace(static_cast<unsigned char>(d[e - 1])))
            --e;

        if (s < e && d[s] == '[') {
            // '[' and ']' can be second bytes of GBK characters: find the
            // closing bracket in the decoded line, the last one (private-profile rule).
            const QString line = text.decode(d + s, e - s);
            const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
            if (close > 0) {
                if (inSection)
                    break;
                if (sameName(trimmed(line.mid(1, close - 1)), section)) {
                    loc.sectionFound = true;
                    inSection = true;
                    loc.insertAt = next;
                }
                pos = next;
                continue;
            }
        }
        if (inSection && s < e) {
            loc.insertAt = next;
            if (d[s] != ';') {
                // '=' is never part of a GBK character, so the first '=' byte is the separator.
                const void* eq = std::memchr(d + s, '=', static_cast<size_t>(e - s));
                const qsizetype equals = eq ? static_cast<const char*>(eq) - d : -1;
                qsizetype nameEnd = equals >= 0 ? equals : e;
                while (nameEnd > s && isSpace(static_cast<unsigned char>(d[nameEnd - 1])))
                    --nameEnd;
                if (sameName(text.decode(d + s, nameEnd - s), key)) {
                    loc.keyFound = true;
                    loc.keyEquals = equals;
                    loc.keyNameEnd = nameEnd;
                    loc.keyLineEnd = end > pos && d[end - 1] == '\r' ? end - 1 : end;
                    if (equals >= 0) {
                        qsizetype v = equals + 1;
                        while (v < e && isSpace(static_cast<unsigned char>(d[v])))
                            ++v;
                        loc.value = text.decode(d + v, e - v);
                    }
                    break;
                }
            }
        }
        pos = next;
    }
    return loc;
}

// One pair of matching quotes around a value is taken away (private-profile rule).
QString unquoted(const QString& value)
{
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

bool readFile(const QString& path, QByteArray* data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *data = file.readAll();
    return file.error() == QFileDevice::NoError;
}

// The value of the key, unquoted and untruncated; nothing when the file,
// section or key is missing or the key has no '='.
std::optional<QString> lookUp(const QString& path, const QString& section, const QString& key)
{
    QByteArray data;
    if (!readFile(path, &data))
        return std::nullopt;
    const Location loc = locate(data, Text(data), section, key);
    if (!loc.value)
        return std::nullopt;
    // A NUL ends the value, as it ends a private-profile reader's string.
    QString value = *loc.value;
    const qsizetype nul = value.indexOf(QChar(0));
    if (nul >= 0)
        value.truncate(nul);
    return unquoted(value);
}

// The rule of the integer reader: optional leading whitespace and sign, then
// the decimal digits up to the first other character. The number wraps modulo
// 2^32 as the private-profile integer reader's unsigned arithmetic does, so 99999999999 reads
// as 1215752191 (deterministic, and refused by any range check later).
int leadingNumber(const QString& value)
{
    qsizetype i = 0;
    while (i < value.size() && value[i].unicode() <= ' ')
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == QLatin1Char('+') || value[i] == QLatin1Char('-'))) {
        negative = value[i] == QLatin1Char('-');
        ++i;
    }
    std::uint32_t n = 0;
    for (; i < value.size() && value[i].unicode() >= '0' && value[i].unicode() <= '9'; ++i)
        n = n * 10u + static_cast<std::uint32_t>(value[i].unicode() - '0');
    if (negative)
        n = 0u - n;
    // Two's complement view of n without relying on an out-of-range conversion.
    if (n <= static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
        return static_cast<int>(n);
    return static_cast<int>(n - 0x80000000u) + std::numeric_limits<int>::min();
}

// Names and values that could not be read back as written: a line break or a
// NUL would end the line (and could smuggle in other keys), a '=' would end a
// key name, a key that begins like a section or a comment would be one, and
// the reader takes blanks around a value and a pair of quotes off it.
bool writable(const QString& section, const QString& key, const QString& value)
{
    const auto breaksLine = [](const QString& s) {
        return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')) || s.contains(QChar(0));
    };
    if (breaksLine(section) || breaksLine(key) || breaksLine(value))
        return false;
    if (trimmed(value) != value || unquoted(value) != value)
        return false;
    const QString name = trimmed(key);
    return !key.contains(QLatin1Char('=')) && !name.startsWith(QLatin1Char('[')) &&
           !name.startsWith(QLatin1Char(';'));
}

QMutex& writeMutex()
{
    static QMutex m;
    return m;
}

} // namespace

SettingsFile::SettingsFile(const QString& path) : m_path(path) {}

QString SettingsFile::readString(const QString& section, const QString& key, const QString& def,
                                 int bufferBytes) const
{
    QString result;
    if (const auto value = lookUp(m_path, section, key)) {
        result = *value;
    } else {
        // Trailing blanks of the default are dropped (private-profile rule).
        result = def;
        while (result.endsWith(QLatin1Char(' ')))
            result.chop(1);
    }
    return gbk::truncateToBytes(result, bufferBytes - 1);
}

int SettingsFile::readInt(const QString& section, const QString& key, int def) const
{
    // An empty value gives the default as well (private-profile rule).
    const auto value = lookUp(m_path, section, key);
    if (!value || value->isEmpty())
        return def;
    return leadingNumber(*value);
}

bool SettingsFile::writeString(const QString& section, const QString& key, const QString& value)
{
    if (!writable(section, key, value))
        return false;

    // Two writes in this process must not read the same old file.
    QMutexLocker lock(&writeMutex());
    QByteArray data;
    // A file that exists but cannot be read is not replaced: that would lose its content.
    if (QFile::exists(m_path) && !readFile(m_path, &data))
        return false;

    const Text text(data);
    if (!text.holds(section) || !text.holds(key) || !text.holds(value))
        return false;
    const Location loc = locate(data, text, section, key);
    // New lines follow the file's first line end; a new file gets CRLF, so that
    // the file reads the same in every editor it may be carried to.
    const qsizetype firstLf = data.indexOf('\n');
    const QByteArray eol = firstLf > 0 && data[firstLf - 1] == '\r' ? QByteArray("\r\n")
                           : firstLf >= 0                           ? QByteArray("\n")
                                                                    : QByteArray("\r\n");
    const QByteArray keyLine = text.encode(trimmed(key)) + '=' + text.encode(value);

    QByteArray out;
    if (loc.keyFound) {
        // The line keeps its indentation, name and line end; the old value goes.
        out = data.left(loc.keyEquals >= 0 ? loc.keyEquals + 1 : loc.keyNameEnd);
        if (loc.keyEquals < 0)
            out += '=';
        out += text.encode(value);
        out += data.mid(loc.keyLineEnd);
    } else if (loc.sectionFound) {
        out = data.left(loc.insertAt);
        if (!out.endsWith('\n'))
            out += eol;
        out += keyLine + eol;
        out += data.mid(loc.insertAt);
    } else {
        out = data;
        if (out.size() > text.start() && !out.endsWith('\n'))
            out += eol;
        out += '[' + text.encode(trimmed(section)) + ']' + eol + keyLine + eol;
    }

    // QSaveFile writes a temporary file beside the old one, syncs it and
    // renames it over the old one: the file is either old or new, never half.
    // A new file is the user's alone (0600), like the rest of the data folder;
    // an existing one keeps its bits, which QSaveFile carries over itself.
    const bool isNew = !QFileInfo::exists(m_path);
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (isNew && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

namespace settings {

namespace {
QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}
SettingsFile programSettings()
{
    return SettingsFile(SettingsFilePath());
}
void writeNumber(const char* key, int value)
{
    programSettings().writeString(text(kSectionTimes), text(key), QString::number(value));
}
} // namespace

bool ReadDeleteChoice()
{
    // A 9-byte buffer and an exact, case-sensitive comparison: "ISTRUE" keeps.
    const QString value =
        programSettings().readString(text(kSectionGeneral), text(kKeyIfDelete), text(kValueTrue), 9);
    return gbk::encode(value) == QByteArray(kValueTrue);
}

void WriteDeleteChoice(bool deleteIt)
{
    programSettings().writeString(text(kSectionGeneral), text(kKeyIfDelete),
                                  text(deleteIt ? kValueTrue : kValueFalse));
}

bool ReadSwitch(const char* key)
{
    const QString value = programSettings().readString(text(kSectionGeneral), text(key), text(kValueTrue));
    return value.trimmed() != text(kValueFalse);
}

void WriteSwitch(const char* key, bool on)
{
    programSettings().writeString(text(kSectionGeneral), text(key), text(on ? kValueTrue : kValueFalse));
}

int ReadIdleMinutes()
{
    const int minutes = programSettings().readInt(text(kSectionGeneral), text(kKeyIdleMinutes), 5);
    return minutes >= 1 && minutes <= 180 ? minutes : 5;
}

void WriteIdleMinutes(int minutes)
{
    programSettings().writeString(text(kSectionGeneral), text(kKeyIdleMinutes), QString::number(minutes));
}

QString ReadAllDayTime()
{
    const QString value =
        programSettings().readString(text(kSectionGeneral), text(kKeyAllDayTime), QStringLiteral("09:00:00"));
    const QTime time = QTime::fromString(value.trimmed(), QStringLiteral("HH:mm:ss"));
    return time.isValid() ? time.toString(QStringLiteral("HH:mm:ss")) : QStringLiteral("09:00:00");
}

void WriteAllDayTime(const QString& time)
{
    programSettings().writeString(text(kSectionGeneral), text(kKeyAllDayTime), time);
}

DefaultTimes ReadDefaultTimes()
{
    const SettingsFile file = programSettings();
    const QString section = text(kSectionTimes);
    const DefaultTimes defaults;
    DefaultTimes times;
    times.restMinutes = file.readInt(section, text(kKeyRestMinutes), defaults.restMinutes);
    times.countdownHours = file.readInt(section, text(kKeyCountdownHours), defaults.countdownHours);
    times.countdownMinutes = file.readInt(section, text(kKeyCountdownMinutes), defaults.countdownMinutes);
    times.countdownSeconds = file.readInt(section, text(kKeyCountdownSeconds), defaults.countdownSeconds);
    return times;
}

void WriteRestMinutes(int minutes)
{
    writeNumber(kKeyRestMinutes, minutes);
}

void WriteCountdown(int hours, int minutes, int seconds)
{
    writeNumber(kKeyCountdownHours, hours);
    writeNumber(kKeyCountdownMinutes, minutes);
    writeNumber(kKeyCountdownSeconds, seconds);
}

} // namespace settings
