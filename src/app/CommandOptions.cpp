#include "app/CommandOptions.h"

#include "calendar/Recurrence.h"
#include "reminders/ReminderEditor.h"
#include "timers/Shutdown.h"

#include <QSet>

namespace commandline {

namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

const QStringList kCommands{QStringLiteral("add"), QStringLiteral("list"), QStringLiteral("modify"),
                            QStringLiteral("delete"), QStringLiteral("next"), QStringLiteral("help"),
                            // iCalendar files out and in
                            QStringLiteral("export"), QStringLiteral("import")};
const QStringList kValueOptions{QStringLiteral("at"), QStringLiteral("content"), QStringLiteral("subject"),
                                QStringLiteral("rrule"), QStringLiteral("shutdown")};
const QStringList kFlags{QStringLiteral("every-day"), QStringLiteral("workdays")};

// The sync's commands: --sync-account URL USER, --sync.
const QStringList kSyncCommands{QStringLiteral("sync-account"), QStringLiteral("sync")};

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
  tolva --sync-account 地址 用户名
                            保存同步帐户（地址：日历集合，或服务器，再在其中查找日历）；
                            标准输入不是终端时从中读取密码，否则提示输入；
                            有密钥环时密码保存在其中
  tolva --sync              用保存的帐户同步一次（密码取自密钥环，没有密钥环时读标准输入）
  tolva --export 文件.ics   把全部提醒（关机提醒除外）导出为 iCalendar 文件，输出导出的条数
  tolva --import 文件.ics   从 iCalendar 文件导入提醒，输出导入、简化和跳过的条数
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
        const bool command = kCommands.contains(name) || kSyncCommands.contains(name);
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
        const bool takesValue =
            kValueOptions.contains(name) || (command && name != QLatin1String("list") &&
                                             name != QLatin1String("help") && name != QLatin1String("sync"));
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
            // --sync-account URL USER: the user follows the address.
            if (name == QLatin1String("sync-account")) {
                if (i + 1 >= args.size()) {
                    error = u8("--sync-account 需要服务器地址和用户名");
                    return false;
                }
                o.user = args.at(++i);
            }
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
    if (o.command == QLatin1String("sync-account") && (o.target.trimmed().isEmpty() || o.user.isEmpty())) {
        error = u8("--sync-account 需要服务器地址和用户名");
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

} // namespace

bool ReadOptions(const QStringList& arguments, Options& options, QString& error)
{
    options = Options();
    return readArguments(arguments, options, error) && checkOptions(options, error);
}

QString HelpText()
{
    return u8(kHelp);
}

} // namespace commandline
