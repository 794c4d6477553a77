#pragma once

#include <QString>

class CAdoDatabase;
class QTextStream;

// `tolva --sync-account URL USER` and `tolva --sync`: the account saved, and one
// sync run, without a window, beside a running copy or without one.
namespace synccommands {

// Reads the password (stdin when it is not a terminal, else asked without echo), finds or
// makes the calendar, saves the account and, where a secret store answers, the password.
int SyncAccountCommand(const QString& url, const QString& user, QTextStream& out, QTextStream& err);
// One sync with the saved account: 0 done, 1 with the error in Chinese on err.
int SyncCommand(CAdoDatabase& db, QTextStream& out, QTextStream& err);

} // namespace synccommands
