// The settings file: reading any bytes as Settings.ini, and writing a value
// into any file and reading it back.
#include "FuzzCheck.h"
#include "base/Gbk.h"
#include "base/SettingsFile.h"

#include <QByteArrayList>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Big enough that no value is cut.
constexpr int kWholeValue = 1 << 24;

const QString& filePath()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        if (!dir.isValid())
            std::abort();
        return dir.filePath(QStringLiteral("Settings.ini"));
    }();
    return path;
}

QByteArray fileBytes()
{
    QFile f(filePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void setFileBytes(const QByteArray& data)
{
    QFile f(filePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        std::abort();
}

// Names and values come as GBK bytes (the file's own encoding, so that bracket
// and quote bytes inside characters are easy to reach), as UTF-8, or as any
// UTF-16 units, lone surrogates included.
QString text(const QByteArray& bytes, int form)
{
    switch (form) {
    case 0:
        return QString::fromUtf8(bytes);
    case 1:
        return gbk::decode(bytes);
    default: {
        QString units(bytes.size() / 2, Qt::Uninitialized);
        std::memcpy(units.data(), bytes.constData(), size_t(units.size()) * 2);
        return units;
    }
    }
}

void checkRead(const SettingsFile& file, const QString& section, const QString& key)
{
    const QString def = QStringLiteral("dflt");
    const QString whole = file.readString(section, key, def, kWholeValue);
    // A buffer cuts whole characters off the end, never more.
    const QString cut = file.readString(section, key, def);
    FUZZ_CHECK(whole.startsWith(cut) && gbk::byteLength(cut) <= 255, "value %s cut to %s",
               fuzz::units(whole).constData(), fuzz::units(cut).constData());
    if (cut.size() < whole.size()) {
        const qsizetype at = cut.size();
        const bool pair =
            whole[at].isHighSurrogate() && at + 1 < whole.size() && whole[at + 1].isLowSurrogate();
        FUZZ_CHECK(gbk::byteLength(whole.left(at + (pair ? 2 : 1))) > 255, "value %s cut early to %s",
                   fuzz::units(whole).constData(), fuzz::units(cut).constData());
    }
    FUZZ_CHECK(file.readString(section, key, def, 1).isEmpty(), "a one-byte buffer holds only the NUL");
    // A missing key, and only a missing one, gives the default.
    const QString other = file.readString(section, key, QStringLiteral("other"), kWholeValue);
    FUZZ_CHECK((whole == def && other == QStringLiteral("other")) || whole == other, "default %s or %s",
               fuzz::units(whole).constData(), fuzz::units(other).constData());
    const int number = file.readInt(section, key, -12345);
    if (whole.isEmpty() || other == QStringLiteral("other"))
        FUZZ_CHECK(number == -12345, "no value but the number %d", number);
}

// Whether the two could name the same key: equal but for letter case once
// blanks and control characters are gone from both ends.
bool maybeSameName(const QString& a, const QString& b)
{
    const auto strip = [](QString s) {
        while (!s.isEmpty() && (s.front().isSpace() || s.front().unicode() <= ' '))
            s.remove(0, 1);
        while (!s.isEmpty() && (s.back().isSpace() || s.back().unicode() <= ' '))
            s.chop(1);
        return s;
    };
    return QString::compare(strip(a), strip(b), Qt::CaseInsensitive) == 0;
}

} // namespace

// Input: flags, then section, key, value and a second key, each ended by a NUL,
// then the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int form = data[0] % 3;
    QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QByteArrayList fields;
    for (int i = 0; i < 4; ++i) {
        const qsizetype nul = rest.indexOf('\0');
        fields << (nul < 0 ? rest : rest.left(nul));
        rest = nul < 0 ? QByteArray() : rest.mid(nul + 1);
    }
    const QString section = text(fields[0], form);
    const QString key = text(fields[1], form);
    const QString value = text(fields[2], form);
    const QString otherKey = text(fields[3], form);
    const QByteArray content = rest;

    setFileBytes(content);
    SettingsFile file(filePath());
    checkRead(file, section, key);
    checkRead(file, section, otherKey);
    checkRead(file, QString::fromUtf8(settings::kSectionGeneral), QString::fromUtf8(settings::kKeyIfDelete));
    checkRead(file, QString::fromUtf8(settings::kSectionTimes), QString::fromUtf8(settings::kKeyRestMinutes));

    // Write, then read back: the value as written, the other key as before.
    const QString otherBefore = file.readString(section, otherKey, QStringLiteral("none"), kWholeValue);
    if (!file.writeString(section, key, value)) {
        FUZZ_CHECK(fileBytes() == content, "a refused write changed the file");
        return 0;
    }
    const QString back = file.readString(section, key, QStringLiteral("none"), kWholeValue);
    FUZZ_CHECK(back == value, "wrote %s, read %s", fuzz::units(value).constData(),
               fuzz::units(back).constData());
    if (!maybeSameName(otherKey, key)) {
        const QString otherAfter = file.readString(section, otherKey, QStringLiteral("none"), kWholeValue);
        FUZZ_CHECK(otherAfter == otherBefore, "the other key went from %s to %s",
                   fuzz::units(otherBefore).constData(), fuzz::units(otherAfter).constData());
    }
    // Writing the same value again changes nothing.
    const QByteArray written = fileBytes();
    FUZZ_CHECK(file.writeString(section, key, value), "the second write was refused");
    FUZZ_CHECK(fileBytes() == written, "the second write changed the file");
    return 0;
}
