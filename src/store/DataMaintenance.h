#pragma once

#include <QString>
#include <functional>

class QDialog;
class StoreService;

// Backup, restore and compaction of the data file: the maintenance buttons of
// the settings dialog.
class CDataMaintenance
{
public:
    // dialog: the settings dialog, owner of the boxes and closed where a step says so.
    // store: the program's store, closed and reopened around a restore or a compaction.
    CDataMaintenance(QDialog* dialog, StoreService* store);

    void OnBackup();
    void OnRestore();
    void OnCompact();
    // 1 when the store is open again; 0 when it is not: then the store has been
    // released, the dialog closed, the failure shown and the product page opened.
    int ReopenStore();

    // Reloads the main window's list after a restore (its ApplyFilter).
    std::function<void()> refreshList;

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
} // namespace maintenance_text
