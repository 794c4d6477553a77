#include "app/CommandLine.h"

#include "app/ReminderApp.h"
#include "base/Constants.h"
#include "base/Gbk.h"
#include "base/Paths.h"
#include "base/WallTime.h"
#include "calendar/Recurrence.h"
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
#include <QSet>
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

const QStringList kCommands{QStringLiteral("add"),    QStringLiteral("list"), QStringLiteral("modify"),
                            QStringLiteral("delete"), QStringLiteral("next"), QStringLiteral("help")};
const QStringList kValueOptions{QStringLiteral("at"), QStringLiteral("content"), QStringLiteral("subject"),
                                QStringLiteral("rrule"), QStringLiteral("shutdown")};
const QStringList kFlags{QStringLiteral("every-day"), QStringLiteral("workdays")};
// What --list writes for a record that follows the official workdays.
const char kWorkdaysRule[] = "workdays";
// Occurrences --next gives when no count is named, and at most.
constexpr int kDefaultNext = 5;
constexpr int kMaxNext = 10000;
// A file held locked beyond the store's own wait (a backup, a long write of
// the program) is tried again a few times before the command gives up.
constexpr int kBusyAttempts = 5;
constexpr int kBusyPauseMs = 100;
// ReadRules names its ids in one clause: a page of the list at a time.
constexpr int kRulesPerRead = 500;

const char kHelp[] = R"(用法：
  tolva                     启动 Tolva小精灵（tolva -Tolva：启动后隐藏在通知区域）
  tolva --add 主题 --at "YYYY-MM-DD HH:MM:SS" [--content 内容]
        [--every-day | --rrule 规则 | --workdays] [--shutdown ask|direct]
                            添加提醒，输出新记录的 ID
  tolva --modify ID [--subject 主题] [--at 时间] [--content 内容]
        [--every-day | --rrule 规则 | --workdays] [--shutdown ask|direct]
                            修改提醒，没有给出的项不变；--rrule "" 去掉重复规则
  tolva --delete ID         删除提醒
  tolva --list              列出全部提醒，新的在前，每条一行，以制表符分隔：
                            ID、日期、时间、生效、主题、内容、重复规则
                            （文字中的制表符、换行、回车和反斜杠写作 \t \n \r \\；
                            按工作日（含调休）重复的写作 workdays）
  tolva --next ID [N]       输出这条提醒接下来的 N 次时间（默认 5 次），每行一个
  tolva --help              显示本说明

选项：
  --at                      提醒时间；有重复规则时是重复的开始
  --every-day               每天提醒
  --rrule                   重复规则（RFC 5545，如 FREQ=WEEKLY;BYDAY=MO,WE,FR；
                            农历用 RFC 7529，如 RSCALE=CHINESE;FREQ=YEARLY;BYMONTH=8;BYMONTHDAY=15）
  --workdays                每个工作日（含调休）
  --shutdown ask|direct     自动关机提醒：关机前提示，或直接关机（主题须为“关机”）

退出状态：0 完成，1 被拒绝或失败，2 用法错误。
)";

enum class Kind { Dated, EveryDay, Rule, Workdays };

struct Options
{
    QString command; // one of kCommands
    QString target;  // --add's subject, or the record id of --modify, --delete and --next
    QString count;   // --next's N, or empty
    std::optional<QString> subject, at, content, rrule, shutdown;
    bool everyDay = false;
    bool workdays = false;
};

bool takeArgument(const QStringList& args, int& i, const QString& name,
                  const std::optional<QString>& inlineValue, QString& value, QString& error)
{
    if (inlineValue) {
        value = *inlineValue;
        return true;
    }
    if (i + 1 >= args.size()) {
        error = u8("选项 --%1 缺少参数").arg(name);
        return false;
    }
    value = args.at(++i);
    return true;
}

bool readArguments(const QStringList& args, Options& o, QString& error)
{
    QSet<QString> seen;
    for (int i = 0; i < args.size(); ++i) {
        const QString arg = args.at(i);
        if (!arg.startsWith(QLatin1String("--")) || arg.size() == 2) {
            error = u8("多余的参数：%1").arg(arg);
            return false;
        }
        QString name = arg.mid(2);
        std::optional<QString> inlineValue;
        if (const int eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            inlineValue = name.mid(eq + 1);
            name.truncate(eq);
        }
        const bool command = kCommands.contains(name);
        if (!command && !kValueOptions.contains(name) && !kFlags.contains(name)) {
            error = u8("未知的选项：--%1").arg(name);
            return false;
        }
        if (command != (i == 0)) {
            error = command ? u8("一次只能执行一个命令：--%1").arg(name)
                            : u8("第一个参数须是命令，而不是 --%1").arg(name);
            return false;
        }
        if (seen.contains(name)) {
            error = u8("选项 --%1 重复了").arg(name);
            return false;
        }
        seen.insert(name);
        const bool takesValue = kValueOptions.contains(name) ||
                                (command && name != QLatin1String("list") && name != QLatin1String("help"));
        if (!takesValue) {
            if (inlineValue) {
                error = u8("选项 --%1 不带参数").arg(name);
                return false;
            }
            if (command)
                o.command = name;
            else if (name == QLatin1String("every-day"))
                o.everyDay = true;
            else
                o.workdays = true;
            continue;
        }
        QString value;
        if (!takeArgument(args, i, name, inlineValue, value, error))
            return false;
        if (command) {
            o.command = name;
            o.target = value;
            // --next ID N: a count may follow the id.
            if (name == QLatin1String("next") && i + 1 < args.size() &&
                !args.at(i + 1).startsWith(QLatin1String("--")))
                o.count = args.at(++i);
        } else if (name == QLatin1String("at")) {
            o.at = value;
        } else if (name == QLatin1String("content")) {
            o.content = value;
        } else if (name == QLatin1String("subject")) {
            o.subject = value;
        } else if (name == QLatin1String("rrule")) {
            o.rrule = value;
        } else {
            o.shutdown = value;
        }
    }
    if (o.command.isEmpty()) {
        error = u8("没有给出命令");
        return false;
    }
    return true;
}

// What the options say beyond their spelling: which go with which command, and their values.
bool checkOptions(const Options& o, QString& error)
{
    const bool writes = o.command == QLatin1String("add") || o.command == QLatin1String("modify");
    const bool hasRecordOptions =
        o.subject || o.at || o.content || o.rrule || o.shutdown || o.everyDay || o.workdays;
    if (!writes && hasRecordOptions) {
        error = u8("命令 --%1 不带其他选项").arg(o.command);
        return false;
    }
    if (o.command == QLatin1String("add") && o.subject) {
        error = u8("--add 的参数就是主题，不用 --subject");
        return false;
    }
    if (o.command == QLatin1String("add") && !o.at) {
        error = u8("--add 需要 --at 给出提醒时间");
        return false;
    }
    if (int(o.everyDay) + int(o.workdays) + int(bool(o.rrule)) > 1) {
        error = u8("--every-day、--rrule 和 --workdays 只能选一个");
        return false;
    }
    if (o.at && !calendar::wallFromText(*o.at).isValid()) {
        error = u8("时间须写成 \"YYYY-MM-DD HH:MM:SS\"：%1").arg(*o.at);
        return false;
    }
    if (o.shutdown) {
        if (*o.shutdown != QLatin1String("ask") && *o.shutdown != QLatin1String("direct")) {
            error = u8("--shutdown 只能是 ask 或 direct：%1").arg(*o.shutdown);
            return false;
        }
        if (o.content) {
            error = u8("自动关机提醒的内容由 --shutdown 决定，不用 --content");
            return false;
        }
        const std::optional<QString> subject = o.command == QLatin1String("add") ? o.target : o.subject;
        if (subject && *subject != u8(shutdown::kSubject)) {
            error = u8("自动关机提醒的主题是“%1”").arg(u8(shutdown::kSubject));
            return false;
        }
    }
    const bool byId = o.command == QLatin1String("modify") || o.command == QLatin1String("delete") ||
                      o.command == QLatin1String("next");
    if (byId && !reminders::IsRecordId(o.target)) {
        error = u8("不是记录 ID：%1").arg(o.target);
        return false;
    }
    if (!o.count.isEmpty()) {
        bool ok = false;
        const int n = o.count.toInt(&ok);
        if (!ok || n < 1 || n > kMaxNext) {
            error = u8("次数须是 1 到 %1 之间的整数：%2").arg(kMaxNext).arg(o.count);
            return false;
        }
    }
    return true;
}

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
    if (!readArguments(arguments, o, error) || !checkOptions(o, error)) {
        err << "tolva: " << error << '\n' << u8("用 tolva --help 查看用法。") << '\n';
        return kBadUsage;
    }
    if (o.command == QLatin1String("help")) {
        out << u8(kHelp);
        return kDone;
    }
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
    return list(db, out, err);
}

} // namespace commandline
