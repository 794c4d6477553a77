#pragma once

#include "app/ReminderApp.h"
#include "base/Gbk.h"
#include "reminders/AlertDlg.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <memory>
#include <sqlite3.h>

// The reminder popup's test bench: fake seams, a temporary program folder, and
// the application with its store open; records are written and read behind
// the popup's back through a connection of the test's own.
struct PopupRig
{
    FakeSeams fakes;
    TempProgramFolder folder;
    CReminderApp app;
    int reloads = 0;

    PopupRig()
    {
        fakes.clock.set(QDateTime(QDate(2026, 1, 1), QTime(10, 0, 0)));
        app.createStore();
        QString message;
        if (app.database()->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(),
                                 QString(), message) != store::kConnected)
            qFatal("store did not open: %s", qPrintable(message));
    }

    // A connection of the test's own, usable after the application released its store.
    std::unique_ptr<CAdoDatabase> inspector()
    {
        auto db = std::make_unique<CAdoDatabase>();
        QString message;
        db->Open(QStringLiteral("file"), QStringLiteral("myTolva/tolva.dat"), QString(), QString(), message);
        return db;
    }

    QString add(const QString& subject, const QString& content,
                const QString& date = QStringLiteral("2026-01-01"),
                const QString& time = QStringLiteral("10:00:00"))
    {
        auto db = inspector();
        QString message;
        const Row row{
            subject, content, date, time, QStringLiteral("0"), QStringLiteral("2026-01-01 09:00:00")};
        db->InsertRows(QStringLiteral("recordmsg"),
                       {"titile", "text", "date", "time", "use", "insertdatatime"}, {row}, 1, message);
        RowSet rows;
        db->SelectRows(QStringLiteral("recordmsg"), QString(), {QStringLiteral("id")}, rows, 1, message);
        return rows.value(0).value(0);
    }

    // Gives a record a rule (empty rrule: none), its series starting at dtstart.
    void setRule(const QString& id, const QString& dtstart, const QString& rrule)
    {
        if (rrule.isEmpty())
            return;
        auto db = inspector();
        QString message;
        if (repeat::WriteRule(*db, repeat::Rule{id, dtstart, rrule, QString(), QString()}, message) != 1)
            qFatal("rule not written: %s", qPrintable(message));
    }

    // The record's use field, or "gone".
    QString useOf(const QString& id) { return field(id, QStringLiteral("use")); }
    // The record's "date time", or "gone".
    QString momentOf(const QString& id)
    {
        const QString date = field(id, QStringLiteral("date"));
        return date == QLatin1String("gone") ? date
                                             : date + QLatin1Char(' ') + field(id, QStringLiteral("time"));
    }
    QString field(const QString& id, const QString& name)
    {
        auto db = inspector();
        QString message;
        RowSet rows;
        if (db->SelectRows(QStringLiteral("recordmsg"), "where id=" + id, {name}, rows, 1, message) != 1)
            return QStringLiteral("gone");
        return rows.first().value(0);
    }
    bool hasRule(const QString& id) { return bool(repeat::ReadRule(*inspector(), id)); }
    // The record's snooze as stored, or empty.
    QString snoozeOf(const QString& id)
    {
        auto db = inspector();
        QString message;
        RowSet rows;
        if (db->SelectRows(QStringLiteral("snooze"), "where id=" + id, {QStringLiteral("until")}, rows, 1,
                           message) != 1)
            return QString();
        return rows.first().value(0);
    }

    void setIfDelete(const QString& value)
    {
        WriteAll(folder.settingsFile(),
                 gbk::encode(QString::fromUtf8("[常规设置]\r\nIfDelete=") + value + "\r\n"));
    }

    // The database refuses every "delete", "update" or "insert" on a table from now on.
    void block(const char* statement, const char* table = "recordmsg")
    {
        sqlite3* raw = nullptr;
        sqlite3_open(folder.databaseFile().toUtf8().constData(), &raw);
        const QByteArray sql = QByteArray("create trigger refuse_") + statement + "_" + table + " before " +
                               statement + " on " + table + " begin select raise(abort, 'kept'); end;";
        sqlite3_exec(raw, sql.constData(), nullptr, nullptr, nullptr);
        sqlite3_close(raw);
    }

    std::unique_ptr<CAlertDlg> popup(const QString& id)
    {
        auto dlg = std::make_unique<CAlertDlg>(id);
        dlg->reloadList = [this] { ++reloads; };
        dlg->storeService = &app;
        return dlg;
    }

    bool soundLooping() const { return fakes.sound.playing() == kWaveReminder; }
    int plays() const
    {
        int n = 0;
        for (const auto& c : fakes.sound.calls())
            n += c.kind == FakeSound::Call::Play && c.waveId == kWaveReminder && c.loop;
        return n;
    }
};
