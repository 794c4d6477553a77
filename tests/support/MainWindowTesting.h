#pragma once

// What the main window's tests share: a database in a temporary program
// folder with fake seams, the fixed present moment, and the controls by name.

#include "app/ReminderApp.h"
#include "app/ReminderDlg.h"
#include "app/TrayIcon.h"
#include "base/Constants.h"
#include "base/DialogTimers.h"
#include "base/Gbk.h"
#include "base/MainWindowIds.h"
#include "base/Paths.h"
#include "platform/Sound.h"
#include "reminders/AlertDlg.h"
#include "reminders/ReminderList.h"
#include "store/AdoDatabase.h"
#include "support/PopupAcknowledger.h"
#include "support/SqliteFile.h"
#include "support/TestSupport.h"
#include "support/TypeText.h"
#include "timers/CountdownPanel.h"
#include "timers/RestReminderPanel.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/UpDownControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimeEdit>
#include <QtTest>

namespace mainwindowtest {
inline const QDate kToday(2016, 5, 1); // a Sunday
inline const QDateTime kTen(kToday, QTime(10, 0, 0));

inline QString u(const char* s)
{
    return QString::fromUtf8(s);
}

// Direct SQL on the test's database file, beside the store the window uses.
inline QList<QStringList> Query(const QString& path, const QString& sql)
{
    SqliteFile db(path);
    if (!db.isOpen())
        return {{QStringLiteral("cannot open")}};
    QList<QStringList> rows;
    const QByteArray utf8 = sql.toUtf8();
    const bool ok = db.forEachRow(utf8.constData(), [&](sqlite3_stmt* st) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(st); ++c)
            row << SqliteFile::text(st, c);
        rows << row;
    });
    return ok ? rows : QList<QStringList>{{QStringLiteral("bad sql")}};
}

struct Env
{
    FakeSeams fakes;
    TempProgramFolder folder;
    std::shared_ptr<CAdoDatabase> db = std::make_shared<CAdoDatabase>();

    Env() { fakes.clock.set(kTen); }
    bool open()
    {
        QString message;
        return db->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative), QString(), QString(),
                        message) == store::kConnected;
    }
    CReminderDlg::StoreProvider provider() const
    {
        auto d = db;
        return [d] { return d; };
    }
    // Adds a record directly to the file; returns its id.
    QString insert(const QString& subject, const QString& content, const QString& date, const QString& time,
                   const QString& use = QStringLiteral("0"))
    {
        auto quote = [](QString s) {
            return QLatin1Char('\'') + s.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
        };
        Query(folder.databaseFile(),
              QStringLiteral("insert into recordmsg (titile, text, date, time, use, insertdatatime) values "
                             "(%1, %2, %3, %4, %5, '2016-01-01 00:00:00')")
                  .arg(quote(subject), quote(content), quote(date), quote(time), quote(use)));
        return Query(folder.databaseFile(), QStringLiteral("select max(id) from recordmsg"))
            .value(0)
            .value(0);
    }
    QList<QStringList> records() const
    {
        return Query(folder.databaseFile(),
                     QStringLiteral(
                         "select titile, text, date, time, use, insertdatatime from recordmsg order by id"));
    }
};

template <class T> T* item(const CReminderDlg& dlg, const char* name)
{
    return dlg.findChild<T*>(QLatin1String(name));
}

inline UpDownControl* spin(const CReminderDlg& d, int id)
{
    return qobject_cast<UpDownControl*>(d.GetDlgItem(id));
}
inline QLineEdit* subjectEdit(const CReminderDlg& d)
{
    return item<QLineEdit>(d, "subjectEdit");
}
inline QPlainTextEdit* contentEdit(const CReminderDlg& d)
{
    return item<QPlainTextEdit>(d, "contentEdit");
}
inline QTimeEdit* timePicker(const CReminderDlg& d)
{
    return item<QTimeEdit>(d, "timePicker");
}
inline QAbstractButton* button(const CReminderDlg& d, int id)
{
    return qobject_cast<QAbstractButton*>(d.GetDlgItem(id));
}
inline QString statusLine(const CReminderDlg& d)
{
    return item<QLabel>(d, "statusLabel")->text();
}
inline QString listCaption(const CReminderDlg& d)
{
    return item<QGroupBox>(d, "listGroup")->title();
}

inline QStringList listColumn(const CReminderDlg& d, int column)
{
    QStringList out;
    const QAbstractItemModel* m = d.recordList->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, column).data().toString();
    return out;
}

inline void clickRow(CReminderDlg& d, int row)
{
    const QRect r = d.recordList->visualRect(d.recordList->model()->index(row, 1));
    QTest::mouseClick(d.recordList->viewport(), Qt::LeftButton, {}, r.center());
}

inline void clickEmptySpace(CReminderDlg& d)
{
    QWidget* vp = d.recordList->viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(5, vp->height() - 3));
}

inline void click(CReminderDlg& d, int id)
{
    QTest::mouseClick(button(d, id), Qt::LeftButton);
}

inline void typeEditor(CReminderDlg& d, const QString& subject, const QString& content)
{
    subjectEdit(d)->clear();
    contentEdit(d)->clear();
    TypeText(subjectEdit(d), subject);
    TypeText(contentEdit(d), content);
}

inline bool showAndWait(CReminderDlg& d)
{
    d.show();
    return QTest::qWaitForWindowExposed(&d);
}

// The set-up of every main-window test program.
inline void InitTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
    // The offscreen platform has no notification area; these tests are about
    // a desktop that has one (the tray tests cover the other case).
    TrayIcon::SetAvailableForTesting(true);
    // Passes of the due check run where the test says, on this thread.
    CReminderDlg::SetDueWorkerEnabledForTesting(false);
}
inline void CleanupTestCase()
{
    TrayIcon::SetAvailableForTesting(std::nullopt);
}

} // namespace mainwindowtest
