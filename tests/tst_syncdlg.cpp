#include "base/Constants.h"
#include "base/SettingsFile.h"
#include "support/TestSupport.h"
#include "sync/SyncAccount.h"
#include "system/SyncDlg.h"
#include "system/SyncDlgIds.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

namespace {
QString u(const char* text)
{
    return QString::fromUtf8(text);
}

const char kPlainHttpQuestion[] = "这个地址以 http:// 开头，同步时会以明文发送密码，确定要使用吗？  ";
const char kNoStore[] = "没有可用的密钥环，密码不会被保存，每次同步时需要输入。  ";
} // namespace

class TestSyncDlg : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void savesTheAccountAndThePasswordApart();
    void addressChecks_data();
    void addressChecks();
    void withoutSecretStoreThePasswordServesThisRunAndIsToldOnce();
    void syncNowDisablesTheButtonsUntilTheOutcomeComes();
    void findChoosesOwnCalendarNeverAnother_data();
    void findChoosesOwnCalendarNeverAnother();

private:
    template <typename T> T* ctl(CSyncDlg& dlg, int id) { return qobject_cast<T*>(dlg.control(id)); }
    void fill(CSyncDlg& dlg, const QString& url, const QString& user, const QString& password);
    QString settingsText() const { return QString::fromUtf8(ReadAll(m_program->settingsFile())); }

    std::unique_ptr<FakeSeams> m_fakes;
    std::unique_ptr<TempProgramFolder> m_program;
};

void TestSyncDlg::init()
{
    m_fakes = std::make_unique<FakeSeams>();
    m_program = std::make_unique<TempProgramFolder>();
    QVERIFY(m_program->isValid());
}

void TestSyncDlg::cleanup()
{
    m_program.reset();
    m_fakes.reset();
}

void TestSyncDlg::fill(CSyncDlg& dlg, const QString& url, const QString& user, const QString& password)
{
    ctl<QLineEdit>(dlg, ids::kSyncUrl)->setText(url);
    ctl<QLineEdit>(dlg, ids::kSyncUser)->setText(user);
    ctl<QLineEdit>(dlg, ids::kSyncPassword)->setText(password);
}

void TestSyncDlg::savesTheAccountAndThePasswordApart()
{
    {
        CSyncDlg dlg;
        QSignalSpy told(&dlg, &CSyncDlg::accountSaved);
        QCOMPARE(ctl<QLineEdit>(dlg, ids::kSyncPassword)->echoMode(), QLineEdit::Password);
        QCOMPARE(ctl<QSpinBox>(dlg, ids::kSyncInterval)->value(), 5);
        QCOMPARE(ctl<QSpinBox>(dlg, ids::kSyncInterval)->maximum(), 1440);
        fill(dlg, u("https://dav.example.org/cal/"), u("alice"), u("s3cret-口令"));
        ctl<QSpinBox>(dlg, ids::kSyncInterval)->setValue(15);
        ctl<QAbstractButton>(dlg, ids::kSyncSave)->click();
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first().first().value<sync::SyncAccount>().intervalMinutes, 15);
    }
    QCOMPARE(m_fakes->boxes.texts(), QStringList());
    QVERIFY(!settingsText().contains(u("s3cret")));
    QCOMPARE(m_fakes->secrets.secrets().values(), QStringList{u("s3cret-口令")});
    const sync::SyncAccount saved = sync::ReadSyncAccount();
    QCOMPARE(saved.url, u("https://dav.example.org/cal/"));
    QCOMPARE(saved.user, u("alice"));
    QCOMPARE(saved.intervalMinutes, 15);
    QVERIFY(!saved.allowPlainHttp);
    QString password, error;
    QCOMPARE(sync::ReadSyncPassword(saved, password, error), SecretStore::Result::Ok);
    QCOMPARE(password, u("s3cret-口令"));

    // Reopened, the dialog shows the account but never the password.
    CSyncDlg again;
    QCOMPARE(ctl<QLineEdit>(again, ids::kSyncUrl)->text(), saved.url);
    QCOMPARE(ctl<QLineEdit>(again, ids::kSyncUser)->text(), saved.user);
    QCOMPARE(ctl<QSpinBox>(again, ids::kSyncInterval)->value(), 15);
    QVERIFY(ctl<QLineEdit>(again, ids::kSyncPassword)->text().isEmpty());
}

void TestSyncDlg::addressChecks_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("allowHttp");
    QTest::addColumn<QString>("allowedBefore"); // the address saved earlier with AllowHttp

    const int none = int(MbResult::None);
    QTest::newRow("an https address is saved without a question")
        << u("https://dav.example.org/") << u("bob") << none << QString() << true << false << QString();
    QTest::newRow("plain http to the loopback address is saved without a question")
        << u("http://127.0.0.1:5232/bob/") << u("bob") << none << QString() << true << false << QString();
    QTest::newRow("plain http to localhost is saved without a question")
        << u("http://localhost:5232/") << u("bob") << none << QString() << true << false << QString();
    QTest::newRow("plain http to another host is saved, allowed, after Yes")
        << u("http://nas.lan/dav/") << u("bob") << int(MbResult::Yes) << u(kPlainHttpQuestion) << true << true
        << QString();
    QTest::newRow("plain http to another host declined saves nothing")
        << u("http://nas.lan/dav/") << u("bob") << int(MbResult::No) << u(kPlainHttpQuestion) << false
        << false << QString();
    QTest::newRow("plain http to another host allowed before is not asked again")
        << u("http://nas.lan/dav/") << u("bob") << none << QString() << true << true
        << u("http://nas.lan/dav/");
    QTest::newRow("plain http allowed before for another address is asked again")
        << u("http://nas.lan/dav/") << u("bob") << int(MbResult::No) << u(kPlainHttpQuestion) << false << true
        << u("http://old.lan/dav/");
    QTest::newRow("an empty address is refused")
        << u("   ") << u("bob") << none << u("请输入服务器地址。  ") << false << false << QString();
    QTest::newRow("an address without a scheme is refused")
        << u("dav.example.org/cal") << u("bob") << none
        << u("服务器地址无效，请输入以 https:// 开头的完整地址。  ") << false << false << QString();
    QTest::newRow("an ftp address is refused")
        << u("ftp://dav.example.org/") << u("bob") << none
        << u("服务器地址无效，请输入以 https:// 开头的完整地址。  ") << false << false << QString();
    QTest::newRow("an address with a space in its host is refused")
        << u("https://dav example.org/") << u("bob") << none
        << u("服务器地址无效，请输入以 https:// 开头的完整地址。  ") << false << false << QString();
    QTest::newRow("an empty user name is refused") << u("https://dav.example.org/") << QString() << none
                                                   << u("请输入用户名。  ") << false << false << QString();
}

void TestSyncDlg::addressChecks()
{
    QFETCH(QString, url);
    QFETCH(QString, user);
    QFETCH(int, answer);
    QFETCH(QString, box);
    QFETCH(bool, saved);
    QFETCH(bool, allowHttp);
    QFETCH(QString, allowedBefore);

    if (!allowedBefore.isEmpty()) {
        sync::SyncAccount before;
        before.url = allowedBefore;
        before.user = user;
        before.allowPlainHttp = true;
        QVERIFY(sync::WriteSyncAccount(before));
    }
    if (answer != int(MbResult::None))
        m_fakes->boxes.answerNext(MbResult(answer));
    CSyncDlg dlg;
    fill(dlg, url, user, u("pw"));
    QCOMPARE(dlg.OnSave(), saved);
    QCOMPARE(m_fakes->boxes.texts(), box.isEmpty() ? QStringList() : QStringList{box});
    if (box == u(kPlainHttpQuestion))
        QCOMPARE(m_fakes->boxes.shown().first().defaultButton, MbResult::No);
    const sync::SyncAccount account = sync::ReadSyncAccount();
    QCOMPARE(account.url, saved ? url : allowedBefore);
    QCOMPARE(account.allowPlainHttp, allowHttp);
    QCOMPARE(m_fakes->secrets.secrets().size(), saved ? 1 : 0);
}

void TestSyncDlg::withoutSecretStoreThePasswordServesThisRunAndIsToldOnce()
{
    m_fakes->secrets.setAvailable(false);
    CSyncDlg dlg;
    QSignalSpy forRun(&dlg, &CSyncDlg::passwordForRun);
    fill(dlg, u("https://dav.example.org/"), u("carol"), u("pw1"));
    QVERIFY(dlg.OnSave());
    ctl<QLineEdit>(dlg, ids::kSyncPassword)->setText(u("pw2"));
    QVERIFY(dlg.OnSave());
    QCOMPARE(m_fakes->boxes.texts(), QStringList{u(kNoStore)});
    QCOMPARE(forRun.size(), 2);
    QCOMPARE(forRun.last().first().toString(), u("pw2"));
    QVERIFY(!settingsText().contains(u("pw1")));
    QVERIFY(!settingsText().contains(u("pw2")));
    QCOMPARE(sync::ReadSyncAccount().user, u("carol"));
}

void TestSyncDlg::syncNowDisablesTheButtonsUntilTheOutcomeComes()
{
    CSyncDlg dlg;
    QSignalSpy syncs(&dlg, &CSyncDlg::syncRequested);
    QSignalSpy finds(&dlg, &CSyncDlg::discoverRequested);
    auto* status = ctl<QLabel>(dlg, ids::kSyncStatus);
    const int starters[] = {ids::kSyncNow, ids::kSyncFind, ids::kSyncSave};

    // Nothing starts while the address is missing.
    ctl<QAbstractButton>(dlg, ids::kSyncNow)->click();
    QCOMPARE(syncs.size(), 0);
    QVERIFY(ctl<QAbstractButton>(dlg, ids::kSyncNow)->isEnabled());

    fill(dlg, u("https://dav.example.org/"), u("dave"), u("pw"));
    ctl<QAbstractButton>(dlg, ids::kSyncNow)->click();
    QCOMPARE(syncs.size(), 1);
    QCOMPARE(sync::ReadSyncAccount().user, u("dave"));
    QCOMPARE(status->text(), u("正在同步…"));
    for (int id : starters)
        QVERIFY2(!dlg.control(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(dlg.control(ids::kSyncClose)->isEnabled());

    dlg.setStatus(u("无法连接服务器"));
    QCOMPARE(status->text(), u("无法连接服务器"));
    for (int id : starters)
        QVERIFY2(dlg.control(id)->isEnabled(), qPrintable(QString::number(id)));

    ctl<QAbstractButton>(dlg, ids::kSyncFind)->click();
    QCOMPARE(finds.size(), 1);
    const auto account = finds.first().first().value<sync::SyncAccount>();
    QCOMPARE(account.user, u("dave"));
    QCOMPARE(finds.first().at(1).toString(), u("pw"));
    QVERIFY(!dlg.control(ids::kSyncFind)->isEnabled());
}

void TestSyncDlg::findChoosesOwnCalendarNeverAnother_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("chosen");

    const QString own = u("Tolva提醒");
    QTest::newRow("the program's own calendar is chosen though listed after the user's")
        << QString() << QStringList{u("个人"), u("工作"), own} << u("/c/2/");
    QTest::newRow("none of the user's own calendars is chosen by default")
        << QString() << QStringList{u("个人"), u("工作")} << QString();
    QTest::newRow("the calendar the account names stays chosen")
        << u("/c/1/") << QStringList{u("个人"), u("工作"), own} << u("/c/1/");
}

void TestSyncDlg::findChoosesOwnCalendarNeverAnother()
{
    QFETCH(QString, saved);
    QFETCH(QStringList, names);
    QFETCH(QString, chosen);

    if (!saved.isEmpty()) {
        sync::SyncAccount a;
        a.url = u("https://dav.example.org/");
        a.user = u("erin");
        a.calendar = saved;
        QVERIFY(sync::WriteSyncAccount(a));
    }
    CSyncDlg dlg;
    dlg.setRunning(true);
    QList<SyncCalendarChoice> found;
    for (int i = 0; i < names.size(); ++i)
        found.append({QStringLiteral("/c/%1/").arg(i), names.at(i)});
    dlg.setCalendars(found);
    auto* combo = ctl<QComboBox>(dlg, ids::kSyncCalendar);
    QCOMPARE(combo->count(), names.size());
    QCOMPARE(combo->currentData().toString(), chosen);
    QVERIFY(dlg.control(ids::kSyncFind)->isEnabled());
}

QTEST_MAIN(TestSyncDlg)
#include "tst_syncdlg.moc"
