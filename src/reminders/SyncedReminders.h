#pragma once

#include "sync/LocalCalendar.h"

class CAdoDatabase;

namespace reminders {

// The reminder table as the sync sees it: each record that travels as a
// VCALENDAR of its one event, in the mapping the export and import use.
class SyncedReminders final : public sync::LocalCalendar
{
public:
    explicit SyncedReminders(CAdoDatabase& db);
    bool items(QList<sync::LocalItem>& out, QString& error) override;
    bool item(const QString& uid, sync::LocalItem& out, QString& error) override;
    Applied apply(const QByteArray& data, sync::LocalItem& stored, QString& error) override;
    bool remove(const QString& uid, QString& error) override;

private:
    CAdoDatabase& m_db;
};

} // namespace reminders
