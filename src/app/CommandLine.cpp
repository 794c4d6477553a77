#include "app/CommandLine.h"

#include "app/CommandOptions.h"

#include "app/ReminderApp.h"
#include "app/SyncCommands.h"
#include "base/Constants.h"
#include "base/Gbk.h"
#include "base/Paths.h"
#include "base/WallTime.h"
#include "calendar/Recurrence.h"
#include "reminders/CalendarExchange.h"
#include "reminders/DueQueue.h"
#include "reminders/EditorPanel.h"
#include "reminders/RecordWrite.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "store/StoreErrors.h"
#include "timers/Shutdown.h"

#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <climits>
#include <optional>
#include <sqlite3.h>

namespace commandline {

namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

// What --list writes for a record that follows the official workdays.
const char kWorkdaysRule[] = "workdays";
// A file held locked beyond the store's own wait (a backup, a long write of
// the program) is tried again a few times before the command gives up.
constexpr int kBusyAttempts = 5;
constexpr int kBusyPauseMs = 100;
// ReadRules names its ids in one clause: a page of the list at a time.
constexpr int kRulesPerRead = 500;

enum class Kind { Dated, EveryDay, Rule, Workdays };

// Runs a store operation, again while the file stays locked by another writer;
// a failed transaction has changed nothing, so trying it again is safe.
int retried(const std::function<int(QString&)>& operation, QString& message)
{
    const QString busy = store::ErrorText(SQLITE_BUSY, QString());
    int result = 0;
    for (int attempt = 1;; ++attempt) {
        result = operation(message);
        if (result >= 0 || attempt == kBusyAttempts || !message.startsWith(busy))
            return result;
        QThread::msleep(kBusyPauseMs);
    }
}

bool openStore(CAdoDatabase& db, QString& message)
{
    // An installed program's user may run a command before the program's first start.
    CreateUserDataFolder();
    if (!QFileInfo::exists(DatabaseFilePath())) {
        message = CReminderApp::MissingPartsText();
        return false;
    }
    const int opened = retried(
        [&](QString& m) {
            return db.Open(QStringLiteral("file"), QString::fromUtf8(kDatabaseRelative), QString(), QString(),
                           m) == store::kConnected
                       ? 1
                       : int(store::kDataError);
        },
        message);
    if (opened != 1) {
        message += u8("！  ");
        return false;
    }
    return true;
}

QString table()
{
    return QString::fromLatin1(tolva::kReminderTable);
}

QString idClause(const QString& id)
{
    return QStringLiteral("where id=") + id;
}

// Now, in whole seconds: as a local date-time (the editor's checks) and as a wall time (the rules).
struct Now
{
    QDateTime local = reminders::WholeSeconds(QDateTime::currentDateTime());
    QDateTime wall = calendar::wallTime(local.date(), local.time());
};

// The wall time a record holds; an every-day record, its next showing from now.
QDateTime heldWall(const QString& date, const QString& time, const QDateTime& wallNow)
{
    if (date != QLatin1String(reminders::kEveryDay))
        return calendar::wallFromText(date + QLatin1Char(' ') + time);
    const QDateTime today = calendar::wallFromText(reminders::FormatDate(wallNow) + QLatin1Char(' ') + time);
    return today.isValid() && today < wallNow ? today.addDays(1) : today;
}

// A record as the editor would store it.
struct Draft
{
    QString subject;
    QString content;
    Kind kind = Kind::Dated;
    QDateTime at; // wall time: the moment, or a rule's start
    QString rrule;
    bool autoShutdown = false;
    bool cancelled = false;
    std::optional<repeat::Rule> keptRule; // a rule left as it is stored
};

// The editor's checks, then the values and rule to write; false with the refusal in error.
bool compose(CAdoDatabase& db, const Draft& d, const Now& now, QStringList& values,
             std::optional<repeat::Rule>& rule, QString& error)
{
    for (const auto& [text, limit] : {std::pair<QString, int>{d.subject, EditorPanel::kSubjectMaxBytes},
                                      std::pair<QString, int>{d.content, EditorPanel::kContentMaxBytes}}) {
        if (gbk::byteLength(text) > limit) {
            error = u8(reminders::TextTooLongText()).arg(limit);
            return false;
        }
    }
    if (d.subject.isEmpty() || d.content.isEmpty()) {
        error = u8(d.subject.isEmpty() ? reminders::EnterSubjectText() : reminders::EnterContentText());
        return false;
    }
    const bool pair = d.subject == u8(shutdown::kSubject) &&
                      (d.content == u8(shutdown::kDirect) || d.content == u8(shutdown::kPrompt));
    if (pair && !d.autoShutdown) {
        error = u8(reminders::ShutdownPairRefusedText()).arg(d.content);
        return false;
    }
    QDateTime when = d.at;
    rule.reset();
    if (d.keptRule) {
        rule = d.keptRule;
    } else if (d.kind == Kind::Rule || d.kind == Kind::Workdays) {
        reminders::RuleDraft draft;
        draft.rrule = d.rrule;
        draft.workdays = d.kind == Kind::Workdays;
        repeat::Rule planned;
        if (!reminders::PlanSeries(db, draft, d.at, now.wall, planned, when, error))
            return false;
        rule = planned;
    }
    values = reminders::ComposeRecordValues(d.subject, d.content, when, when, d.kind == Kind::EveryDay,
                                            d.cancelled, now.local);
    if (rule)
        return true;
    const QDateTime moment = walltime::WallMoment(when.date(), when.time());
    if (reminders::ShutdownTimeRefused(d.autoShutdown, moment, moment, now.local)) {
        error = u8(reminders::ShutdownInPastText());
        return false;
    }
    // The due check only looks ahead: a dated record whose moment has passed would never pop up.
    if (d.kind == Kind::Dated && !d.cancelled && moment < now.local) {
        error = u8(reminders::MomentPassedRefusedText());
        return false;
    }
    return true;
}

void applyShutdown(const Options& o, Draft& d)
{
    if (!o.shutdown)
        return;
    d.subject = u8(shutdown::kSubject);
    d.content = u8(*o.shutdown == QLatin1String("ask") ? shutdown::kPrompt : shutdown::kDirect);
    d.autoShutdown = true;
}

Kind kindOf(const Options& o, Kind stored)
{
    if (o.everyDay)
        return Kind::EveryDay;
    if (o.workdays)
        return Kind::Workdays;
    if (o.rrule)
        return o.rrule->isEmpty() ? Kind::Dated : Kind::Rule;
    return stored;
}

int add(CAdoDatabase& db, const Options& o, QTextStream& out, QTextStream& err)
{
    Draft d;
    d.subject = o.target;
    d.content = o.content.value_or(QString());
    d.kind = kindOf(o, Kind::Dated);
    d.rrule = o.rrule.value_or(QString());
    d.at = calendar::wallFromText(*o.at);
    applyShutdown(o, d);
    const Now now;
    QStringList values;
    std::optional<repeat::Rule> rule;
    QString message;
    if (!compose(db, d, now, values, rule, message)) {
        err << message << '\n';
        return kRefused;
    }
    QString id;
    retried(
        [&](QString& m) {
            id = reminders::AddRecord(db, values, rule, m);
            return id.isEmpty() ? int(store::kDataError) : 1;
        },
        message);
    if (id.isEmpty()) {
        err << RefusedWriteText(db, message) << '\n';
        return kRefused;
    }
    out << id << '\n';
    return kDone;
}

// The modify of one record, read and written in one transaction so that no
// other writer's change to it comes between. Returns 1 when written, 0 when
// the record is gone, a failure code, or kRefusedByCheck with the reason in message.
constexpr int kRefusedByCheck = -1000;

int modifyInTransaction(CAdoDatabase& db, const Options& o, QString& message)
{
    RowSet rows;
    message = idClause(o.target);
    const int found = db.SelectRows(table(), idClause(o.target), reminders::ListFields(), rows, 1, message);
    if (found <= 0)
        return found;
    const Row record = rows.first(); // titile, text, date, time, use, insertdatatime, id
    bool ok = true;
    const std::optional<repeat::Rule> stored = repeat::ReadRule(db, o.target, &ok);
    if (!ok)
        return store::kDataError;
    const Now now;
    const Kind storedKind =
        stored ? (stored->isWorkdays() ? Kind::Workdays : Kind::Rule)
               : (record.value(2) == QLatin1String(reminders::kEveryDay) ? Kind::EveryDay : Kind::Dated);
    Draft d;
    d.subject = o.subject.value_or(record.value(0));
    d.content = o.content.value_or(record.value(1));
    d.cancelled = record.value(4) == QLatin1String(reminders::kTaken);
    // As in the editor: a loaded shutdown record keeps its texts without a question.
    d.autoShutdown = record.value(0) == u8(shutdown::kSubject);
    applyShutdown(o, d);
    d.kind = kindOf(o, storedKind);
    d.rrule = o.rrule.value_or(stored ? stored->rrule : QString());
    const bool sameSeries = stored && !o.at && !o.rrule && !o.everyDay && !o.workdays;
    if (o.at)
        d.at = calendar::wallFromText(*o.at);
    else if (stored && (d.kind == Kind::Rule || d.kind == Kind::Workdays) && !sameSeries)
        d.at = calendar::wallFromText(stored->dtstart); // a new rule for the same series
    else
        d.at = heldWall(record.value(2), record.value(3), now.wall);
    if (sameSeries)
        d.keptRule = stored;
    if (!d.at.isValid()) {
        message = u8("这条记录的日期或时间无法读取，请用 --at 给出提醒时间。");
        return kRefusedByCheck;
    }
    QStringList values;
    std::optional<repeat::Rule> rule;
    if (!compose(db, d, now, values, rule, message))
        return kRefusedByCheck;
    return reminders::ModifyRecord(db, o.target, values, rule, message);
}

int modify(CAdoDatabase& db, const Options& o, QTextStream& err)
{
    QString message;
    QString refusal;
    const int changed = retried(
        [&](QString& m) {
            return db.RunInTransaction(
                [&](QString& inner) {
                    const int result = modifyInTransaction(db, o, inner);
                    if (result == kRefusedByCheck) {
                        refusal = inner;
                        return 0; // nothing written; said below
                    }
                    return result;
                },
                m);
        },
        message);
    if (!refusal.isEmpty()) {
        err << refusal << '\n';
        return kRefused;
    }
    if (changed == 1)
        return kDone;
    err << (changed == 0 ? u8(reminders::VanishedText()) : RefusedWriteText(db, message)) << '\n';
    return kRefused;
}

int remove(CAdoDatabase& db, const Options& o, QTextStream& err)
{
    QString message;
    const int deleted = retried(
        [&](QString& m) {
            m = idClause(o.target);
            return db.DeleteRows(table(), idClause(o.target), 1, m);
        },
        message);
    if (deleted == 1)
        return kDone;
    err << (deleted == 0 ? u8(reminders::VanishedText()) : RefusedWriteText(db, message)) << '\n';
    return kRefused;
}

QString ruleText(const std::optional<repeat::Rule>& rule)
{
    if (!rule)
        return QString();
    return rule->isWorkdays() ? QString::fromLatin1(kWorkdaysRule) : rule->rrule;
}

int list(CAdoDatabase& db, QTextStream& out, QTextStream& err)
{
    RowSet rows;
    QString message;
    if (db.SelectRows(table(), QString(), reminders::ListFields(), rows, INT_MAX, message) < 0) {
        err << message << '\n';
        return kRefused;
    }
    QHash<QString, repeat::Rule> rules;
    for (int from = 0; from < rows.size(); from += kRulesPerRead) {
        QStringList ids;
        for (int i = from; i < std::min(int(rows.size()), from + kRulesPerRead); ++i)
            ids << rows.at(i).value(6);
        rules.insert(repeat::ReadRules(db, ids));
    }
    for (const Row& r : rows) {
        const auto rule = rules.constFind(r.value(6));
        const QStringList fields{r.value(6),
                                 r.value(2),
                                 r.value(3),
                                 r.value(4),
                                 r.value(0),
                                 r.value(1),
                                 ruleText(rule == rules.cend() ? std::nullopt : std::optional(*rule))};
        QStringList escaped;
        for (const QString& f : fields)
            escaped << Escaped(f);
        out << escaped.join(QLatin1Char('\t')) << '\n';
    }
    return kDone;
}

// The next occurrences of a record from now on: those of its series, its next
// days, or its one moment. A cancelled record has none.
QList<QDateTime> nextOccurrences(CAdoDatabase& db, const Row& record, const std::optional<repeat::Rule>& rule,
                                 int count)
{
    const Now now;
    QList<QDateTime> found;
    if (record.value(2) == QLatin1String(reminders::kTaken))
        return found;
    const QDateTime held = heldWall(record.value(0), record.value(1), now.wall);
    if (!held.isValid())
        return found;
    if (rule) {
        const calendar::Recurrence series = repeat::SeriesOf(*rule, db);
        QDateTime t = std::max(held, now.wall).addSecs(-1);
        while (found.size() < count && (t = repeat::NextAfter(*rule, series, t)).isValid())
            found << t;
    } else if (record.value(0) == QLatin1String(reminders::kEveryDay)) {
        for (int day = 0; day < count; ++day)
            found << held.addDays(day);
    } else if (held >= now.wall) {
        found << held;
    }
    return found;
}

int next(CAdoDatabase& db, const Options& o, QTextStream& out, QTextStream& err)
{
    RowSet rows;
    QString message = idClause(o.target);
    const int found = db.SelectRows(table(), idClause(o.target),
                                    {QStringLiteral("date"), QStringLiteral("time"), QStringLiteral("use")},
                                    rows, 1, message);
    if (found <= 0) {
        err << (found == 0 ? u8(reminders::VanishedText()) : message) << '\n';
        return kRefused;
    }
    bool ok = true;
    const std::optional<repeat::Rule> rule = repeat::ReadRule(db, o.target, &ok);
    if (!ok) {
        err << u8("读取重复规则失败") << '\n';
        return kRefused;
    }
    const int count = o.count.isEmpty() ? kDefaultNext : o.count.toInt();
    for (const QDateTime& t : nextOccurrences(db, rows.first(), rule, count))
        out << calendar::wallText(t) << '\n';
    return kDone;
}

// iCalendar files out and in.
int exportFile(CAdoDatabase& db, const Options& o, QTextStream& out, QTextStream& err)
{
    int count = 0;
    QString error;
    if (!reminders::ExportCalendarFile(db, o.target, count, error)) {
        err << error << '\n';
        return kRefused;
    }
    out << u8("导出了 %1 个提醒。").arg(count) << '\n';
    return kDone;
}

int importFile(CAdoDatabase& db, const Options& o, QTextStream& out, QTextStream& err)
{
    reminders::ExchangeCounts counts;
    QString error;
    if (!reminders::ImportCalendarFile(db, o.target, counts, error)) {
        err << error << '\n';
        return kRefused;
    }
    out << reminders::ImportSummaryText(counts) << '\n';
    return kDone;
}

} // namespace

bool IsCommand(const QStringList& arguments)
{
    return !arguments.isEmpty() && arguments.first().startsWith(QLatin1String("--"));
}

QString Escaped(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\t':
            escaped += QLatin1String("\\t");
            break;
        case '\n':
            escaped += QLatin1String("\\n");
            break;
        case '\r':
            escaped += QLatin1String("\\r");
            break;
        case '\\':
            escaped += QLatin1String("\\\\");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

int Run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    Options o;
    QString error;
    if (!ReadOptions(arguments, o, error)) {
        err << "tolva: " << error << '\n' << u8("用 tolva --help 查看用法。") << '\n';
        return kBadUsage;
    }
    if (o.command == QLatin1String("help")) {
        out << HelpText();
        return kDone;
    }
    // The account lives in Settings.ini and the secret store: no data file needed.
    if (o.command == QLatin1String("sync-account"))
        return synccommands::SyncAccountCommand(o.target, o.user, out, err);
    CAdoDatabase db;
    if (!openStore(db, error)) {
        err << error << '\n';
        return kRefused;
    }
    if (o.command == QLatin1String("add"))
        return add(db, o, out, err);
    if (o.command == QLatin1String("modify"))
        return modify(db, o, err);
    if (o.command == QLatin1String("delete"))
        return remove(db, o, err);
    if (o.command == QLatin1String("next"))
        return next(db, o, out, err);
    if (o.command == QLatin1String("sync"))
        return synccommands::SyncCommand(db, out, err);
    if (o.command == QLatin1String("export"))
        return exportFile(db, o, out, err);
    if (o.command == QLatin1String("import"))
        return importFile(db, o, out, err);
    return list(db, out, err);
}

} // namespace commandline
