#include "app/SyncCommands.h"

#include "app/CommandLine.h"
#include "reminders/SyncedReminders.h"
#include "sync/CalDavClient.h"
#include "sync/SyncAccount.h"
#include "sync/SyncRunner.h"

#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>

namespace synccommands {

namespace {

const QString kNoStore = QStringLiteral("没有可用的密钥环，密码不会被保存，每次同步时需要输入");

// One line of standard input; on a terminal asked for on err with the echo off.
QString readPassword(QTextStream& err)
{
    // Only a terminal has terminal attributes (unistd.h's sync() would clash with namespace sync).
    constexpr int kStdin = 0;
    termios saved{};
    const bool terminal = ::tcgetattr(kStdin, &saved) == 0;
    if (terminal) {
        err << QStringLiteral("密码：") << Qt::flush;
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(kStdin, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(kStdin, TCSAFLUSH, &saved);
        err << '\n' << Qt::flush;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

QString reportText(const sync::SyncReport& r)
{
    return QStringLiteral("同步完成：发送 %1，接收 %2，这里删除 %3，服务器上删除 %4，冲突 %5")
        .arg(r.sent)
        .arg(r.received)
        .arg(r.deletedHere)
        .arg(r.deletedThere)
        .arg(r.conflicts);
}

} // namespace

int SyncAccountCommand(const QString& url, const QString& user, QTextStream& out, QTextStream& err)
{
    sync::SyncAccount account = sync::ReadSyncAccount();
    if (account.url != url || account.user != user)
        account.calendar.clear(); // another account: its calendar is found afresh
    account.url = url;
    account.user = user;
    const QString password = readPassword(err);
    sync::CalDavClient client(sync::ServerAccess{url, user, password, account.allowPlainHttp});
    QString calendar;
    sync::RemoteError error;
    if (!client.discover(calendar, nullptr, error)) {
        err << error.text << '\n';
        return commandline::kRefused;
    }
    account.calendar = calendar;
    if (!sync::WriteSyncAccount(account)) {
        err << QStringLiteral("无法写入设置文件") << '\n';
        return commandline::kRefused;
    }
    QString storeError;
    switch (sync::WriteSyncPassword(account, password, storeError)) {
    case SecretStore::Result::Ok:
        break;
    case SecretStore::Result::NoStore:
        err << kNoStore << '\n';
        break;
    default:
        err << QStringLiteral("密码没有保存：") << storeError << '\n';
        break;
    }
    out << QStringLiteral("日历：") << calendar << '\n';
    return commandline::kDone;
}

int SyncCommand(CAdoDatabase& db, QTextStream& out, QTextStream& err)
{
    const sync::SyncAccount account = sync::ReadSyncAccount();
    if (!account.isSet()) {
        err << QStringLiteral("还没有同步帐户：先用 tolva --sync-account 地址 用户名 设置") << '\n';
        return commandline::kRefused;
    }
    QString password, storeError;
    if (sync::ReadSyncPassword(account, password, storeError) != SecretStore::Result::Ok)
        password = readPassword(err);
    reminders::SyncedReminders local(db);
    QString calendar = account.calendar;
    const sync::SyncReport report = sync::SyncOnce(db, local, account, password, calendar);
    if (!report.ok) {
        err << sync::SyncStatusText(report, QDateTime()) << '\n';
        return commandline::kRefused;
    }
    if (calendar != account.calendar) {
        sync::SyncAccount found = account;
        found.calendar = calendar;
        sync::WriteSyncAccount(found);
    }
    out << reportText(report) << '\n';
    return commandline::kDone;
}

} // namespace synccommands
