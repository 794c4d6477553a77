#pragma once

#include <QString>
#include <functional>

class CAdoDatabase;
class QDialog;
class StoreService;

// Keeps a holiday arrangement (text in the form of the shipped one) in the
// data file: 1, or a failure code with message set (for a malformed text, the
// line and why, in Chinese). The program sets the reminders' own loader at start.
using HolidayKeeper = std::function<int(CAdoDatabase& db, const QString& text, QString& message)>;
void SetHolidayKeeper(HolidayKeeper keeper);
bool HasHolidayKeeper();

// Reads reminders from an iCalendar file into the data file (report: the one
// message that names what was imported, simplified and skipped, or why
// nothing was), and writes every reminder that travels to one. The program
// sets the reminders' own mapping at start.
struct CalendarFiles
{
    std::function<bool(CAdoDatabase& db, const QString& path, QString& report)> importFile;
    std::function<bool(CAdoDatabase& db, const QString& path, int& count, QString& error)> exportFile;
};
void SetCalendarFiles(CalendarFiles files);
bool HasCalendarFiles();

// Backup, restore and compaction of the data file and the loading of a holiday
// arrangement into it: the maintenance buttons of the settings dialog.
class CDataMaintenance
{
public:
    // dialog: the settings dialog, owner of the boxes and closed where a step says so.
    // store: the program's store, closed and reopened around a restore or a compaction.
    CDataMaintenance(QDialog* dialog, StoreService* store);

    void OnBackup();
    void OnRestore();
    void OnCompact();
    // Asks for a holiday arrangement file, keeps it with the holiday keeper and
    // says which years it brought, or why it was refused.
    void OnLoadHolidays();
    // 1 when the store is open again; 0 when it is not: then the store has been
    // released, the dialog closed, the failure shown and the product page opened.
    int ReopenStore();

    // Asks for an iCalendar file and imports its reminders, or exports every
    // reminder to one, and says how it went.
    void OnImport();
    void OnExport();

    // Reloads the main window's list after a restore (its ApplyFilter).
    std::function<void()> refreshList;
    // The file OnLoadHolidays loads; empty when the user cancelled. Defaults to
    // the desktop's file chooser.
    std::function<QString()> chooseHolidayFile;
    // The files OnImport reads and OnExport writes; empty when the user cancelled.
    std::function<QString()> chooseImportFile;
    std::function<QString()> chooseExportFile;

private:
    void closeStore();

    QDialog* m_dialog;
    StoreService* m_store;
};

// The restore question for the backup at path; empty when the backup's
// status (its last-modification time) cannot be read.
QString RestoreQuestion(const QString& backupPath);

// Compacts the database file in place on a connection of its own; the file
// must exist (it is never created). True on success.
bool CompactDatabaseFile(const QString& path);

namespace maintenance_text {
inline constexpr const char kMissingParts[] = "Tolva小精灵零件缺失，请重新下载最新的程序！ ";
inline constexpr const char kNotice[] = "Tolva提示";
inline constexpr const char kQuestionCaption[] = "友情提示";
inline constexpr const char kBackupDone[] = "备份数据成功！ ";
inline constexpr const char kBackupFailed[] = "备份数据失败！ ";
inline constexpr const char kNoBackup[] = "Tolva小精灵目前没有任何备份文件！ ";
inline constexpr const char kRestoreQuestion[] = "\n 是否确定恢复到 %1 的备份数据？  ";
inline constexpr const char kRestoreDone[] = "恢复数据成功！ ";
inline constexpr const char kRestoreFailed[] = "恢复数据失败！ ";
inline constexpr const char kCompactDone[] = "压缩数据成功！ ";
inline constexpr const char kCompactFailed[] = "压缩数据失败！ ";
inline constexpr const char kOpenFailedSuffix[] = "！  ";
inline constexpr const char kHolidaysChooser[] = "载入节假日安排";
inline constexpr const char kHolidaysFilter[] = "节假日安排 (*.txt);;所有文件 (*)";
inline constexpr const char kHolidaysDone[] = "载入节假日安排成功！其中有 %1 年的安排。 ";
inline constexpr const char kHolidaysFailed[] = "载入节假日安排失败！\n%1 ";
inline constexpr const char kHolidaysUnreadable[] = "无法读取文件 %1";
inline constexpr const char kHolidaysTooLarge[] = "文件 %1 太大，不是节假日安排";
inline constexpr const char kHolidaysNotUtf8[] = "文件 %1 不是 UTF-8 编码的文本";
inline constexpr const char kImportChooser[] = "导入提醒";
inline constexpr const char kExportChooser[] = "导出提醒";
inline constexpr const char kCalendarFilter[] = "iCalendar 文件 (*.ics *.ical *.icalendar);;所有文件 (*)";
inline constexpr const char kExportName[] = "Tolva提醒.ics";
inline constexpr const char kImportFailed[] = "导入提醒失败！\n%1 ";
inline constexpr const char kExportDone[] = "导出提醒成功！共 %1 条，保存在 %2 ";
inline constexpr const char kExportFailed[] = "导出提醒失败！\n%1 ";
} // namespace maintenance_text
