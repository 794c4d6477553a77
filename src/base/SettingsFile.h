#pragma once

#include <QString>

// A reader and writer of initialisation (.ini) files that keeps the
// private-profile conventions, so that the file stays what users and other
// tools of that convention expect: GBK text on disk, section and key names matched
// without regard to letter case or to blanks around them, every other line kept
// as it is on write.
// Writes replace the file atomically, so a crash never leaves half a file.
class SettingsFile
{
public:
    explicit SettingsFile(const QString& path);

    // The value of the key, or def when the file, section or key is missing.
    // As with a buffer of bufferBytes bytes: at most bufferBytes - 1 GBK bytes are
    // returned, cut before a character that does not fit whole.
    QString readString(const QString& section, const QString& key, const QString& def,
                       int bufferBytes = 256) const;
    // The value's leading decimal digits as a number (0 when it has none), or def
    // when the file, section or key is missing.
    int readInt(const QString& section, const QString& key, int def) const;
    // Creates the file, section or key as needed; false when the file could not be
    // written, or when readString would not give the value back as it is (a line
    // break or NUL anywhere, blanks or a pair of quotes around the value, and the
    // like), and then the file is left as it was.
    bool writeString(const QString& section, const QString& key, const QString& value);

    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// The settings of the program and their defaults.
namespace settings {

inline constexpr const char kSectionGeneral[] = "常规设置";
inline constexpr const char kKeyIfDelete[] = "IfDelete";
inline constexpr const char kValueTrue[] = "Istrue";
inline constexpr const char kValueFalse[] = "Isfalse";

inline constexpr const char kSectionTimes[] = "默认时间";
inline constexpr const char kKeyRestMinutes[] = "MytimeA";
inline constexpr const char kKeyCountdownHours[] = "MytimeB";
inline constexpr const char kKeyCountdownMinutes[] = "MytimeC";
inline constexpr const char kKeyCountdownSeconds[] = "MytimeD";

// Switches of 常规设置 added with the desktop's notifications and the
// idle-aware rest reminder, and the time an all-day event falls due.
inline constexpr const char kKeyNotify[] = "Notify";           // Istrue / Isfalse, default Istrue
inline constexpr const char kKeyIdleReset[] = "IdleReset";     // Istrue / Isfalse, default Istrue
inline constexpr const char kKeyIdleMinutes[] = "IdleMinutes"; // 1 to 180, default 5
inline constexpr const char kKeyAllDayTime[] = "AllDayTime";   // "HH:mm:ss", default "09:00:00"

struct DefaultTimes
{
    int restMinutes = 30;
    int countdownHours = 12;
    int countdownMinutes = 30;
    int countdownSeconds = 30;
};

// Reads the settings file of the program folder (SettingsFilePath()).
bool ReadDeleteChoice();               // true: delete acknowledged reminders
void WriteDeleteChoice(bool deleteIt); // "Istrue" / "Isfalse"
DefaultTimes ReadDefaultTimes();
void WriteRestMinutes(int minutes);
void WriteCountdown(int hours, int minutes, int seconds); // B, C, D in this order

// A switch of 常规设置: anything but "Isfalse" is on, so a missing key keeps the default on.
bool ReadSwitch(const char* key);
void WriteSwitch(const char* key, bool on);
// Minutes of idle or lock after which the rest reminder counts again (1 to 180; else 5).
int ReadIdleMinutes();
void WriteIdleMinutes(int minutes);
// The time of day an imported all-day event falls due ("HH:mm:ss"; a malformed value gives "09:00:00").
QString ReadAllDayTime();
void WriteAllDayTime(const QString& time);

} // namespace settings
