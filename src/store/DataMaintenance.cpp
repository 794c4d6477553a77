#include "store/DataMaintenance.h"

#include "base/Constants.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "calendar/WorkdayCalendar.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "platform/Shell.h"
#include "store/AdoDatabase.h"
#include "store/DatabaseFile.h"
#include "store/StoreService.h"

#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringDecoder>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

QString text(const char* t)
{
    return QString::fromUtf8(t);
}

// An arrangement is a few hundred lines; anything far larger is another file.
constexpr qint64 kMaxHolidayFileBytes = 1024 * 1024;

HolidayKeeper& holidayKeeper()
{
    static HolidayKeeper keeper;
    return keeper;
}

CalendarFiles& calendarFiles()
{
    static CalendarFiles files;
    return files;
}

} // namespace

void SetCalendarFiles(CalendarFiles files)
{
    calendarFiles() = std::move(files);
}

bool HasCalendarFiles()
{
    return calendarFiles().importFile && calendarFiles().exportFile;
}

void SetHolidayKeeper(HolidayKeeper keeper)
{
    holidayKeeper() = std::move(keeper);
}

bool HasHolidayKeeper()
{
    return bool(holidayKeeper());
}

QString RestoreQuestion(const QString& backupPath)
{
    struct stat st;
    if (::stat(QFile::encodeName(backupPath).constData(), &st) != 0)
        return QString();
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtime);
    if (!modified.isValid())
        return QString();
    return text(maintenance_text::kRestoreQuestion)
        .arg(modified.toString(QStringLiteral("yyyy年MM月dd日 HH:mm:ss")));
}

bool CompactDatabaseFile(const QString& path)
{
    sqlite3* connection = nullptr;
    // Read-write without create: a missing file must stay missing.
    bool ok = sqlite3_open_v2(QFile::encodeName(path).constData(), &connection, SQLITE_OPEN_READWRITE,
                              nullptr) == SQLITE_OK;
    ok = ok && store::UseDurableCommits(connection);
    ok = ok && sqlite3_exec(connection, "VACUUM", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (sqlite3_close(connection) != SQLITE_OK)
        ok = false;
    return ok;
}

CDataMaintenance::CDataMaintenance(QDialog* dialog, StoreService* store) : m_dialog(dialog), m_store(store)
{
    chooseHolidayFile = [this] {
        return QFileDialog::getOpenFileName(m_dialog, text(maintenance_text::kHolidaysChooser),
                                            QDir::homePath(), text(maintenance_text::kHolidaysFilter));
    };
    chooseImportFile = [this] {
        return QFileDialog::getOpenFileName(m_dialog, text(maintenance_text::kImportChooser),
                                            QDir::homePath(), text(maintenance_text::kCalendarFilter));
    };
    chooseExportFile = [this] {
        QString path =
            QFileDialog::getSaveFileName(m_dialog, text(maintenance_text::kExportChooser),
                                         QDir::home().filePath(text(maintenance_text::kExportName)),
                                         text(maintenance_text::kCalendarFilter));
        // Other calendars open a file by its suffix.
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".ics");
        return path;
    };
}

void CDataMaintenance::closeStore()
{
    if (auto db = m_store ? m_store->database() : nullptr)
        db->Close();
}

void CDataMaintenance::OnBackup()
{
    const QString database = DatabaseFilePath();
    if (!fileops::EntryExists(database)) {
        ShowMessageBox(nullptr, text(maintenance_text::kMissingParts));
        m_dialog->close();
        return;
    }
    // The store stays open. The copy is read in one transaction, so that a
    // write elsewhere cannot tear it, and must be a whole reminder database:
    // a damaged data file never replaces the last good backup.
    const QByteArray image = store::ReadDatabaseImage(database);
    const bool copied = !image.isEmpty() && store::WriteDatabaseImage(BackupFilePath(), image, database);
    ShowMessageBox(m_dialog, text(copied ? maintenance_text::kBackupDone : maintenance_text::kBackupFailed),
                   text(maintenance_text::kNotice), MbButtons::Ok, MbIcon::Information);
}

void CDataMaintenance::OnRestore()
{
    const QString backup = BackupFilePath();
    if (!fileops::EntryExists(backup)) {
        ShowMessageBox(nullptr, text(maintenance_text::kNoBackup));
        return;
    }
    const MbResult answer =
        ShowMessageBox(m_dialog, RestoreQuestion(backup), text(maintenance_text::kQuestionCaption),
                       MbButtons::YesNo, MbIcon::None, MbResult::No, true);
    if (answer != MbResult::Yes)
        return;

    // A backup that is no whole reminder database replaces nothing.
    const QByteArray image = store::ReadDatabaseImage(backup);
    if (image.isEmpty()) {
        ShowMessageBox(m_dialog, text(maintenance_text::kRestoreFailed), text(maintenance_text::kNotice),
                       MbButtons::Ok, MbIcon::Information);
        return;
    }
    closeStore();
    const bool copied = store::WriteDatabaseImage(DatabaseFilePath(), image, backup);
    if (ReopenStore() != 1)
        return;
    if (copied && refreshList)
        refreshList();
    ShowMessageBox(m_dialog, text(copied ? maintenance_text::kRestoreDone : maintenance_text::kRestoreFailed),
                   text(maintenance_text::kNotice), MbButtons::Ok, MbIcon::Information);
}

void CDataMaintenance::OnCompact()
{
    const QString database = DatabaseFilePath();
    if (!fileops::EntryExists(database)) {
        ShowMessageBox(nullptr, text(maintenance_text::kMissingParts));
        m_dialog->close();
        return;
    }
    closeStore();
    const bool compacted = CompactDatabaseFile(database);
    if (ReopenStore() == 1)
        ShowMessageBox(nullptr,
                       text(compacted ? maintenance_text::kCompactDone : maintenance_text::kCompactFailed));
}

int CDataMaintenance::ReopenStore()
{
    auto db = m_store ? m_store->database() : nullptr;
    QString message;
    if (db && db->Open(QStringLiteral("file"), QString::fromUtf8(kDatabaseRelative), QString(), QString(),
                       message) == store::kConnected)
        return 1;
    db.reset();
    if (m_store)
        m_store->ReleaseStore();
    m_dialog->accept();
    // A store released earlier has no message of its own and has been reported then.
    if (!message.isEmpty()) {
        ShowMessageBox(nullptr, message + text(maintenance_text::kOpenFailedSuffix));
        seams::shell().open(QString::fromUtf8(tolva::kProductUrl), kSwShowMaximized);
    }
    return 0;
}

void CDataMaintenance::OnLoadHolidays()
{
    const QString path = chooseHolidayFile ? chooseHolidayFile() : QString();
    if (path.isEmpty())
        return;
    const auto tell = [this](const QString& message) {
        ShowMessageBox(m_dialog, message, text(maintenance_text::kNotice), MbButtons::Ok,
                       MbIcon::Information);
    };
    const auto refuse = [&tell](const QString& why) {
        tell(text(maintenance_text::kHolidaysFailed).arg(why));
    };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(text(maintenance_text::kHolidaysUnreadable).arg(QDir::toNativeSeparators(path)));
    const QByteArray bytes = file.read(kMaxHolidayFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(text(maintenance_text::kHolidaysUnreadable).arg(QDir::toNativeSeparators(path)));
    if (bytes.size() > kMaxHolidayFileBytes)
        return refuse(text(maintenance_text::kHolidaysTooLarge).arg(QDir::toNativeSeparators(path)));
    // Text in another encoding would be refused for a line it garbles; say why instead.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString arrangement = utf8.decode(bytes);
    if (utf8.hasError())
        return refuse(text(maintenance_text::kHolidaysNotUtf8).arg(QDir::toNativeSeparators(path)));

    // A store released earlier has been reported then.
    auto db = m_store ? m_store->database() : nullptr;
    if (!db || !holidayKeeper())
        return;
    QString message;
    const int kept = holidayKeeper()(*db, arrangement, message);
    db.reset();
    if (kept != 1)
        return refuse(message.trimmed());
    calendar::WorkdayCalendar loaded;
    loaded.parse(arrangement, nullptr);
    QStringList years;
    for (const int year : loaded.coveredYears())
        years << QString::number(year);
    // The list says which years the arrangements cover.
    if (refreshList)
        refreshList();
    tell(text(maintenance_text::kHolidaysDone).arg(years.join(QString::fromUtf8("、"))));
}

void CDataMaintenance::OnImport()
{
    if (!HasCalendarFiles())
        return;
    const QString path = chooseImportFile ? chooseImportFile() : QString();
    if (path.isEmpty())
        return;
    auto db = m_store ? m_store->database() : nullptr;
    if (!db)
        return;
    QString report;
    const bool ok = calendarFiles().importFile(*db, path, report);
    db.reset();
    if (ok && refreshList)
        refreshList();
    ShowMessageBox(m_dialog, ok ? report : text(maintenance_text::kImportFailed).arg(report.trimmed()),
                   text(maintenance_text::kNotice), MbButtons::Ok, MbIcon::Information);
}

void CDataMaintenance::OnExport()
{
    if (!HasCalendarFiles())
        return;
    const QString path = chooseExportFile ? chooseExportFile() : QString();
    if (path.isEmpty())
        return;
    auto db = m_store ? m_store->database() : nullptr;
    if (!db)
        return;
    int count = 0;
    QString error;
    const bool ok = calendarFiles().exportFile(*db, path, count, error);
    db.reset();
    ShowMessageBox(m_dialog,
                   ok ? text(maintenance_text::kExportDone).arg(count).arg(QDir::toNativeSeparators(path))
                      : text(maintenance_text::kExportFailed).arg(error.trimmed()),
                   text(maintenance_text::kNotice), MbButtons::Ok, MbIcon::Information);
}
