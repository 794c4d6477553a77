#include "base/DialogTimers.h"
#include "platform/AsyncSocket.h"
#include "platform/Seams.h"
#include "support/Rfc868Server.h"
#include "support/TestSupport.h"
#include "timesync/TimeProtocol.h"
#include "timesync/TimeSyncDlg.h"
#include "timesync/TimeSyncDlgIds.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <arpa/inet.h>
#include <cerrno>
#include <memory>
#include <time.h>

namespace {
const QString kInstructions =
    QString::fromUtf8("\n\n\n\n\t   请先选择左侧时间服务器\n\n\t   然后单击下面的校对按钮\n\n\n");

// A socket layer that answers as a test tells it to, for the failures a real
// one will not produce on demand.
struct Script
{
    int createError = 0; // non-zero: creation fails with it
    int selectError = 0;
    int connectResult = EINPROGRESS;
    int closes = 0;
    quint32 address = 0;
    quint16 port = 0;
    AsyncSocket* last = nullptr;
};

class ScriptedSocket final : public AsyncSocket
{
public:
    explicit ScriptedSocket(Script& s) : m_s(s) {}
    int handle() const override { return 77; }
    int select(int) override { return m_s.selectError; }
    int connectTo(quint32 address, quint16 port) override
    {
        m_s.address = address;
        m_s.port = port;
        return m_s.connectResult;
    }
    qint64 receive(char*, qint64, int* error) override
    {
        *error = EAGAIN;
        return -1;
    }
    void close() override { ++m_s.closes; }

private:
    Script& m_s;
};

class ScriptedFactory final : public AsyncSocketFactory
{
public:
    Script script;
    std::unique_ptr<AsyncSocket> create(int* error) override
    {
        if (script.createError) {
            *error = script.createError;
            return nullptr;
        }
        auto socket = std::make_unique<ScriptedSocket>(script);
        script.last = socket.get();
        return socket;
    }
    QString description() const override { return QStringLiteral("scripted"); }
};

QString logOf(CTimeSyncDlg& dlg)
{
    return qobject_cast<QPlainTextEdit*>(dlg.GetDlgItem(ids::kTimeSyncLog))->toPlainText();
}

QTableWidget* listOf(CTimeSyncDlg& dlg)
{
    return qobject_cast<QTableWidget*>(dlg.GetDlgItem(ids::kTimeSyncServerList));
}

bool dotsRunning(const CTimeSyncDlg& dlg)
{
    return dlg.timers().IsRunning(ids::kTimeSyncProgressTimer);
}

void calibrate(CTimeSyncDlg& dlg)
{
    qobject_cast<QPushButton*>(dlg.GetDlgItem(ids::kTimeSyncCalibrate))->click();
}

void selectRows(CTimeSyncDlg& dlg, std::initializer_list<int> rows)
{
    QTableWidget* list = listOf(dlg);
    list->clearSelection();
    for (int row : rows)
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void calibrateRows(CTimeSyncDlg& dlg, std::initializer_list<int> rows)
{
    dlg.show();
    selectRows(dlg, rows);
    calibrate(dlg);
}

// Literal text, with room for progress dots where the timer may have ticked.
QString pattern(const QStringList& pieces)
{
    QStringList escaped;
    for (const QString& p : pieces)
        escaped << QRegularExpression::escape(p);
    return escaped.join(QStringLiteral("\\.*"));
}
} // namespace

class TestTimeSync : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeSeams> m_fakes;
    std::unique_ptr<PosixSocketFactory> m_sockets;
    // Every connection of the client goes here.
    std::unique_ptr<Rfc868Server> m_server;

    // The instant every "before" line shows.
    const QDateTime m_before{QDate(2026, 3, 4), QTime(9, 8, 7, 123)};

private slots:
    void initTestCase()
    {
        // China Standard Time, without depending on the zone database.
        qputenv("TZ", "CST-8");
        tzset();
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    }

    void init()
    {
        m_fakes = std::make_unique<FakeSeams>();
        m_fakes->clock.set(m_before);
        m_sockets = std::make_unique<PosixSocketFactory>();
        seams::setSockets(m_sockets.get());
        m_server = std::make_unique<Rfc868Server>();
        QVERIFY(m_server->start());
        m_sockets->setRedirect(QStringLiteral("127.0.0.1"), m_server->port());
    }

    void cleanup()
    {
        m_server.reset();
        seams::setSockets(nullptr);
        m_sockets.reset();
        m_fakes.reset();
    }

    // Runs first: nothing has been calibrated yet in this process.
    void noServerChosenAsksAndChangesNothing()
    {
        QVERIFY(TimeSyncCalibration().serverAddress.isEmpty());
        CTimeSyncDlg dlg;
        dlg.show();
        calibrate(dlg);
        QCOMPARE(m_fakes->boxes.shown().size(), 1);
        const MessageBoxRequest& box = m_fakes->boxes.shown().first();
        QCOMPARE(box.text, QString::fromUtf8("请先选择时间服务器！  "));
        QCOMPARE(box.caption, QString::fromUtf8("时间校正"));
        QCOMPARE(box.icon, MbIcon::Warning);
        QCOMPARE(box.owner.data(), &dlg);
        QCOMPARE(logOf(dlg), kInstructions);
        QVERIFY(!TimeSyncCalibration().socket);
        QVERIFY(!dotsRunning(dlg));
    }

    // Also before any calibration: a key that does reach the button shows the box.
    void enterAndEscDoNothing()
    {
        CTimeSyncDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QWidget* button = dlg.GetDlgItem(ids::kTimeSyncCalibrate);
        button->setFocus();
        for (QWidget* target : {button, static_cast<QWidget*>(listOf(dlg)), dlg.GetDlgItem(ids::kTimeSyncLog),
                                static_cast<QWidget*>(&dlg)}) {
            QTest::keyClick(target, Qt::Key_Return);
            QTest::keyClick(target, Qt::Key_Enter);
            QTest::keyClick(target, Qt::Key_Escape);
        }
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected)); // still the value before any ending
        QVERIFY(m_fakes->boxes.shown().isEmpty());
        QCOMPARE(logOf(dlg), kInstructions);

        QTest::keyClick(button, Qt::Key_Space);
        QCOMPARE(m_fakes->boxes.shown().size(), 1);
    }

    void contents()
    {
        CTimeSyncDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString::fromUtf8("时间校对"));
        QTableWidget* list = listOf(dlg);
        QCOMPARE(list->columnCount(), 2);
        QCOMPARE(list->horizontalHeaderItem(0)->text(), QString::fromUtf8("编号"));
        QCOMPARE(list->horizontalHeaderItem(1)->text(), QString::fromUtf8("时间服务器"));
        QCOMPARE(list->columnWidth(0), 36);
        QCOMPARE(list->columnWidth(1), 109);
        const QStringList servers{"132.236.56.250", "208.201.242.2",  "132.163.4.101", "132.163.4.102",
                                  "132.163.4.103",  "128.138.140.44", "64.236.96.53",  "203.129.68.14"};
        QCOMPARE(list->rowCount(), servers.size());
        for (int row = 0; row < servers.size(); ++row) {
            QCOMPARE(list->item(row, 0)->text(), QString::number(row + 1));
            QCOMPARE(list->item(row, 1)->text(), servers[row]);
        }
        QVERIFY(list->selectionModel()->selectedRows().isEmpty());
        auto* log = qobject_cast<QPlainTextEdit*>(dlg.GetDlgItem(ids::kTimeSyncLog));
        QCOMPARE(log->palette().color(QPalette::Text), QColor(0, 0, 255));

        // Laid out from dialog units: every control inside the dialog, none overlapping.
        const QList<QWidget*> controls{list, log, dlg.GetDlgItem(ids::kTimeSyncCalibrate),
                                       dlg.GetDlgItem(ids::kTimeSyncClose), dlg.findChild<QLabel*>()};
        for (int i = 0; i < controls.size(); ++i) {
            QVERIFY(dlg.rect().contains(controls[i]->geometry()));
            for (int j = i + 1; j < controls.size(); ++j)
                QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                         qPrintable(controls[i]->objectName() + " / " + controls[j]->objectName()));
        }
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    }

    void fullExchange()
    {
        m_server->replyWith(4102444800u);

        CTimeSyncDlg dlg;
        calibrateRows(dlg, {0});
        QVERIFY(dotsRunning(dlg));
        QTRY_COMPARE(m_fakes->systemClock.requests().size(), 1);
        QCOMPARE(m_fakes->systemClock.requests()[0],
                 QDateTime(QDate(2030, 1, 1), QTime(0, 0), QTimeZone::utc()));
        QCOMPARE(m_server->connections(), 1);
        QVERIFY(!dotsRunning(dlg));
        // Answered: ready for the next calibration.
        QVERIFY(dlg.GetDlgItem(ids::kTimeSyncCalibrate)->isEnabled());

        const QString expected =
            pattern({"\nStarted up " + m_sockets->description() + "\n\nSocket "}) + "(\\d+)" +
            pattern(
                {QString::fromUtf8(" 已经成功创建！\n\n正在连接：132.236.56.250..."),
                 QString::fromUtf8("\n已成功连接到时间服务器：132.236.56.250.\n\n正在接受数据，请稍候..."),
                 QString::fromUtf8("\n接受的时间为从1900年1月1日起 4102444800 秒. \n"
                                   "\n系统的日期和时间已经成功更改：\n"
                                   "以前的时间：2026/3/4 09:08:07.123. \n"
                                   "校正后时间：2030/1/1 08:00:00.000.\n")});
        const QRegularExpressionMatch m =
            QRegularExpression(QRegularExpression::anchoredPattern(expected)).match(logOf(dlg));
        QVERIFY2(m.hasMatch(), qPrintable(logOf(dlg)));
        QCOMPARE(m.captured(1).toInt(), TimeSyncCalibration().socket->handle());
        // The socket stays until the dialog closes.
        QVERIFY(TimeSyncCalibration().socket->handle() >= 0);
    }

    void latestInstantIsUnsigned()
    {
        m_server->replyWith(4294967295u);
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {7});
        QTRY_COMPARE(m_fakes->systemClock.requests().size(), 1);
        QCOMPARE(m_fakes->systemClock.requests()[0],
                 QDateTime(QDate(2036, 2, 7), QTime(6, 28, 15), QTimeZone::utc()));
        const QString log = logOf(dlg);
        QVERIFY2(log.contains(QString::fromUtf8("正在连接：203.129.68.14...")), qPrintable(log));
        QVERIFY2(log.contains(QString::fromUtf8("接受的时间为从1900年1月1日起 4294967295 秒. \n")),
                 qPrintable(log));
        QVERIFY2(log.endsWith(QString::fromUtf8("校正后时间：2036/2/7 14:28:15.000.\n")), qPrintable(log));
    }

    void afterLineCountsTheTimeTheSettingTook()
    {
        // A clock that takes a while to set, as timedated does while polkit asks.
        struct SlowSystemClock final : SystemClock
        {
            explicit SlowSystemClock(FakeClock& c) : clock(c) {}
            bool setUtc(const QDateTime& utc, Done done) override
            {
                set = utc;
                clock.advanceMs(1037);
                Result result;
                result.set = true;
                done(result);
                return true;
            }
            bool pending() const override { return false; }
            FakeClock& clock;
            QDateTime set;
        } slow(m_fakes->clock);
        seams::setSystemClock(&slow);
        m_server->replyWith(4102444800u);
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {0});
        QTRY_VERIFY(slow.set.isValid());
        seams::setSystemClock(&m_fakes->systemClock);
        QCOMPARE(slow.set, QDateTime(QDate(2030, 1, 1), QTime(0, 0), QTimeZone::utc()));
        const QString log = logOf(dlg);
        QVERIFY2(log.endsWith(QString::fromUtf8("以前的时间：2026/3/4 09:08:07.123. \n"
                                                "校正后时间：2030/1/1 08:00:01.037.\n")),
                 qPrintable(log));
    }

    void replySentOneByteAtATime()
    {
        m_server->hold();
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {1});
        QTRY_VERIFY(logOf(dlg).contains(QString::fromUtf8("正在接受数据，请稍候...")));
        QTRY_COMPARE(m_server->connections(), 1);

        const QByteArray reply = Rfc868Server::encode(4102444800u);
        for (int i = 0; i < reply.size() - 1; ++i) {
            m_server->send(reply.mid(i, 1));
            QTRY_COMPARE(TimeSyncCalibration().reply.received(), i + 1);
            // Still waiting: no reply line, no clock set, the dots go on.
            QVERIFY(!logOf(dlg).contains(QString::fromUtf8("接受的时间")));
            QVERIFY(m_fakes->systemClock.requests().isEmpty());
            QVERIFY(dotsRunning(dlg));
        }
        m_server->send(reply.right(1));
        QTRY_COMPARE(m_fakes->systemClock.requests().size(), 1);
        QCOMPARE(m_fakes->systemClock.requests()[0],
                 QDateTime(QDate(2030, 1, 1), QTime(0, 0), QTimeZone::utc()));
        QVERIFY(!dotsRunning(dlg));
        // One line for the one reply, however many pieces it came in.
        QCOMPARE(logOf(dlg).count(QString::fromUtf8("接受的时间为从1900年1月1日起 4102444800 秒. ")), 1);

        // Whatever else the server sends afterwards changes nothing.
        m_server->send(reply);
        m_server->closeClient();
        QTest::qWait(100);
        QCOMPARE(m_fakes->systemClock.requests().size(), 1);
    }

    void shortReplySetsNothing()
    {
        m_server->replyWithBytes(QByteArray::fromHex("e93c"));
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {2});
        const QString tail = QString::fromUtf8("\nFD_READ 错误！#%1.").arg(EPROTO);
        QTRY_VERIFY2(logOf(dlg).endsWith(tail), qPrintable(logOf(dlg)));
        QVERIFY(m_fakes->systemClock.requests().isEmpty());
        QVERIFY(!dotsRunning(dlg));
        QVERIFY(!logOf(dlg).contains(QString::fromUtf8("接受的时间")));
    }

    void refusedConnection()
    {
        const quint16 port = UnusedLocalPort();
        QVERIFY(port != 0);
        m_sockets->setRedirect(QStringLiteral("127.0.0.1"), port);
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {3});
        // Refused after the connect was under way: a blank line, then the error.
        const QRegularExpression tail(pattern({QString::fromUtf8("正在连接：132.163.4.102..."),
                                               QString::fromUtf8("\n连接错误：#%1.\n").arg(ECONNREFUSED)}) +
                                      "$");
        QTRY_VERIFY2(tail.match(logOf(dlg)).hasMatch(), qPrintable(logOf(dlg)));
        QVERIFY(!dotsRunning(dlg));
        QVERIFY(m_fakes->systemClock.requests().isEmpty());
    }

    void silentServerKeepsTheDotsComing()
    {
        m_server->hold();
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {4});
        const QString waiting = QString::fromUtf8("正在接受数据，请稍候...");
        QTRY_VERIFY(logOf(dlg).endsWith(waiting));
        for (int i = 0; i < 3; ++i)
            dlg.OnTimer(ids::kTimeSyncProgressTimer);
        QVERIFY2(logOf(dlg).endsWith(waiting + "..."), qPrintable(logOf(dlg)));
        QVERIFY(dotsRunning(dlg));
        QCOMPARE(dlg.timers().Period(ids::kTimeSyncProgressTimer), 1000);
        QVERIFY(!dlg.timers().IsOneShot(ids::kTimeSyncProgressTimer));
        // And by itself, once a second: no time-out ends the wait.
        const int dots = logOf(dlg).count(QLatin1Char('.'));
        QTRY_VERIFY_WITH_TIMEOUT(logOf(dlg).count(QLatin1Char('.')) >= dots + 2, 4000);
        QVERIFY(dotsRunning(dlg));
        QVERIFY(m_fakes->systemClock.requests().isEmpty());

        // A dot goes where the user left the caret.
        auto* log = qobject_cast<QPlainTextEdit*>(dlg.GetDlgItem(ids::kTimeSyncLog));
        QTextCursor start = log->textCursor();
        start.setPosition(0);
        log->setTextCursor(start);
        dlg.OnTimer(ids::kTimeSyncProgressTimer);
        QVERIFY(logOf(dlg).startsWith(QStringLiteral(".\nStarted up")));
    }

    void refusedClockIsLogged()
    {
        m_fakes->systemClock.setAccept(false);
        m_server->replyWith(4102444800u);
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {0});
        QTRY_COMPARE(m_fakes->systemClock.requests().size(), 1);
        const QString log = logOf(dlg);
        QVERIFY2(log.endsWith(QString::fromUtf8("4102444800 秒. \n不能设置新的日期和时间！")),
                 qPrintable(log));
        QVERIFY(!log.contains(QString::fromUtf8("成功更改")));
    }

    // Automatic synchronisation on: the Part's line, then why in the user's words.
    void refusedWhileTheSystemSynchronisesItself()
    {
        m_fakes->systemClock.setAccept(false);
        m_fakes->systemClock.setAutomaticSync(true);
        m_server->replyWith(4102444800u);
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {0});
        QTRY_COMPARE(m_fakes->systemClock.requests().size(), 1);
        const QString log = logOf(dlg);
        QVERIFY2(log.endsWith(QString::fromUtf8("4102444800 秒. \n不能设置新的日期和时间！\n"
                                                "系统已开启时间自动同步（NTP），不能手动设置时间。"
                                                "请先关闭自动同步，再校对时间。\n")),
                 qPrintable(log));
    }

    // A server may say anything: a time before this program existed sets nothing.
    void replyBeforeTheBuildSetsNothing_data()
    {
        QTest::addColumn<quint32>("reply");
        const auto secs1900 = [](const QDate& d) {
            return quint32(QDateTime(d, QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch() +
                           timeproto::kSecondsFrom1900To1970);
        };
        QTest::newRow("1900") << 0u;
        QTest::newRow("1970") << quint32(timeproto::kSecondsFrom1900To1970);
        QTest::newRow("two days before the build") << secs1900(timeproto::BuildDate().addDays(-2));
    }
    void replyBeforeTheBuildSetsNothing()
    {
        QFETCH(quint32, reply);
        m_server->replyWith(reply);
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {0});
        const QString line = QString::fromUtf8("接受的时间为从1900年1月1日起 %1 秒. \n").arg(reply);
        QTRY_VERIFY2(logOf(dlg).contains(line), qPrintable(logOf(dlg)));
        QVERIFY2(
            logOf(dlg).endsWith(line + QString::fromUtf8("这个时间早于本程序的编译日期，不可能是正确的时间，"
                                                         "系统时间没有更改。\n")),
            qPrintable(logOf(dlg)));
        QVERIFY(m_fakes->systemClock.requests().isEmpty());
        QVERIFY(!dotsRunning(dlg));
    }

    // While the system decides (polkit asking for a password), the dialog and
    // its timers go on, and no second setting can start.
    void clockSettingWaitsWithoutBlocking()
    {
        m_fakes->systemClock.setHold(true);
        m_server->replyWith(4102444800u);
        auto dlg = std::make_unique<CTimeSyncDlg>();
        calibrateRows(*dlg, {0});
        QTRY_VERIFY(m_fakes->systemClock.pending());
        QWidget* button = dlg->GetDlgItem(ids::kTimeSyncCalibrate);
        QVERIFY(!button->isEnabled());
        bool ticked = false;
        QTimer::singleShot(10, [&] { ticked = true; });
        QTRY_VERIFY(ticked);
        dlg->OnCalibrate();
        QCOMPARE(m_server->connections(), 1);
        QCOMPARE(m_fakes->systemClock.requests().size(), 1);

        m_fakes->systemClock.release();
        QVERIFY(button->isEnabled());
        QVERIFY2(logOf(*dlg).endsWith(QString::fromUtf8("校正后时间：2030/1/1 08:00:00.000.\n")),
                 qPrintable(logOf(*dlg)));

        // The dialog goes before the answer comes: the answer has nowhere to go.
        calibrate(*dlg);
        QTRY_VERIFY(m_fakes->systemClock.pending());
        dlg.reset();
        m_fakes->systemClock.release();
        QCOMPARE(m_fakes->systemClock.requests().size(), 2);
    }

    void lowestSelectedRowIsUsed()
    {
        m_server->hold();
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {6, 2, 5});
        QVERIFY2(logOf(dlg).contains(QString::fromUtf8("正在连接：132.163.4.101...")),
                 qPrintable(logOf(dlg)));
        QCOMPARE(TimeSyncCalibration().serverAddress, QStringLiteral("132.163.4.101"));
    }

    void serverIsRememberedAfterReopening()
    {
        m_server->hold();
        {
            CTimeSyncDlg first;
            calibrateRows(first, {5});
            QTRY_VERIFY(logOf(first).contains(QString::fromUtf8("已成功连接到时间服务器：128.138.140.44.")));
            qobject_cast<QPushButton*>(first.GetDlgItem(ids::kTimeSyncClose))->click();
            QVERIFY(!first.isVisible());
        }
        QVERIFY(!TimeSyncCalibration().socket);
        QTRY_COMPARE(m_server->closedByClient(), 1);

        CTimeSyncDlg second;
        second.show();
        QCOMPARE(logOf(second), kInstructions);
        QVERIFY(listOf(second)->selectionModel()->selectedRows().isEmpty());
        calibrate(second);
        QVERIFY(m_fakes->boxes.shown().isEmpty());
        QVERIFY2(logOf(second).contains(QString::fromUtf8("正在连接：128.138.140.44...")),
                 qPrintable(logOf(second)));
        QTRY_COMPARE(m_server->connections(), 2);
    }

    void newCalibrationClosesThePreviousSocket()
    {
        m_server->hold();
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {0});
        QTRY_COMPARE(m_server->connections(), 1);
        QTRY_VERIFY(logOf(dlg).contains(QString::fromUtf8("正在接受数据")));
        calibrate(dlg);
        QTRY_COMPARE(m_server->connections(), 2);
        QTRY_COMPARE(m_server->closedByClient(), 1);
        // The log starts over.
        QVERIFY(logOf(dlg).startsWith(QStringLiteral("\nStarted up ")));
        QCOMPARE(logOf(dlg).count(QStringLiteral("Started up")), 1);

        // A restart that fails early leaves no connection, and no dots, behind.
        ScriptedFactory scripted;
        scripted.script.createError = ENFILE;
        seams::setSockets(&scripted);
        calibrate(dlg);
        seams::setSockets(m_sockets.get());
        QVERIFY(logOf(dlg).endsWith(QString::fromUtf8("Socket 创建失败！ #%1\n\n").arg(ENFILE)));
        QVERIFY(!dotsRunning(dlg));
        QVERIFY(!TimeSyncCalibration().socket);
        QTRY_COMPARE(m_server->closedByClient(), 2);
    }

    void closingEndsTheCalibration()
    {
        m_server->hold();
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {0});
        QTRY_VERIFY(logOf(dlg).contains(QString::fromUtf8("正在接受数据")));
        QVERIFY(dlg.close()); // the close box
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!TimeSyncCalibration().socket);
        QVERIFY(!dotsRunning(dlg));
        QTRY_COMPARE(m_server->closedByClient(), 1);
    }

    void earlyFailures()
    {
        ScriptedFactory scripted;
        seams::setSockets(&scripted);
        CTimeSyncDlg dlg;
        dlg.show();
        selectRows(dlg, {1});

        scripted.script.createError = EMFILE;
        calibrate(dlg);
        QCOMPARE(logOf(dlg),
                 QString::fromUtf8("\nStarted up scripted\n\nSocket 创建失败！ #%1\n\n").arg(EMFILE));
        QVERIFY(!dotsRunning(dlg));

        scripted.script.createError = 0;
        scripted.script.selectError = EBADF;
        calibrate(dlg);
        QCOMPARE(logOf(dlg),
                 QString::fromUtf8(
                     "\nStarted up scripted\n\nSocket 77 已经成功创建！\n\nWSAAsyncSelect 错误： #%1.\n\n")
                     .arg(EBADF));
        QCOMPARE(scripted.script.closes, 1);
        QVERIFY(!TimeSyncCalibration().socket);

        scripted.script.selectError = 0;
        scripted.script.connectResult = ENETUNREACH;
        calibrate(dlg);
        QCOMPARE(logOf(dlg),
                 QString::fromUtf8("\nStarted up scripted\n\nSocket 77 已经成功创建！\n\n连接错误：#%1.\n\n")
                     .arg(ENETUNREACH));
        QCOMPARE(scripted.script.closes, 2);
        QVERIFY(!dotsRunning(dlg));
        // Port 37 of the chosen server, in network order.
        QCOMPARE(scripted.script.port, quint16(37));
        QCOMPARE(scripted.script.address, quint32(::inet_addr("208.201.242.2")));
        seams::setSockets(m_sockets.get());
    }

    void readErrorEvent()
    {
        ScriptedFactory scripted;
        seams::setSockets(&scripted);
        CTimeSyncDlg dlg;
        calibrateRows(dlg, {1});
        QVERIFY(dotsRunning(dlg));
        emit scripted.script.last->notified(sockev::kFdConnect, 0);
        emit scripted.script.last->notified(sockev::kFdRead, ECONNRESET);
        QVERIFY(logOf(dlg).endsWith(
            QString::fromUtf8("正在接受数据，请稍候...\nFD_READ 错误！#%1.").arg(ECONNRESET)));
        QVERIFY(!dotsRunning(dlg));
        // Still open until the dialog closes.
        QCOMPARE(scripted.script.closes, 0);
        dlg.OnCancel();
        QCOMPARE(scripted.script.closes, 1);
        seams::setSockets(m_sockets.get());
    }

    void dragByAnyFreePoint()
    {
        CTimeSyncDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto drag = [&](QWidget* target, QPoint local, QPoint delta) {
            const QPoint global = target->mapToGlobal(local);
            QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, {});
            QApplication::sendEvent(target, &press);
            QMouseEvent move(QEvent::MouseMove, local + delta, global + delta, Qt::NoButton, Qt::LeftButton,
                             {});
            QApplication::sendEvent(target, &move);
            QMouseEvent release(QEvent::MouseButtonRelease, local + delta, global + delta, Qt::LeftButton,
                                Qt::NoButton, {});
            QApplication::sendEvent(target, &release);
        };

        // A free point: the margin at the dialog's top left.
        QVERIFY(!dlg.childAt(2, 2));
        QPoint start = dlg.pos();
        drag(&dlg, QPoint(2, 2), QPoint(30, 20));
        QCOMPARE(dlg.pos(), start + QPoint(30, 20));

        // The note is not a control that takes the mouse: it drags as well.
        QLabel* note = dlg.findChild<QLabel*>();
        start = dlg.pos();
        drag(note, QPoint(5, 5), QPoint(-10, 15));
        QCOMPARE(dlg.pos(), start + QPoint(-10, 15));

        // A button keeps its press to itself.
        start = dlg.pos();
        drag(dlg.GetDlgItem(ids::kTimeSyncClose), QPoint(5, 5), QPoint(40, 40));
        QCOMPARE(dlg.pos(), start);
    }
};

QTEST_MAIN(TestTimeSync)
#include "tst_timesync.moc"
