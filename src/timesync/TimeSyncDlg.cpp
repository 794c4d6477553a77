#include "timesync/TimeSyncDlg.h"

#include "base/DialogTimers.h"
#include "platform/AsyncSocket.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "platform/SystemClock.h"
#include "timesync/TimeSyncDlgIds.h"
#include "ui_TimeSyncDlg.h"
#include "widgets/DialogLayout.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableWidget>
#include <QWindow>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>

namespace {

const char kInstructions[] =
    "\r\n\r\n\r\n\r\n\t   请先选择左侧时间服务器\r\n\r\n\t   然后单击下面的校对按钮\r\n\r\n\r\n";
const char kChooseServerText[] = "请先选择时间服务器！  ";
const char kChooseServerCaption[] = "时间校正";
const char kCannotSetText[] = "不能设置新的日期和时间！";
const char kAutomaticSyncText[] =
    "\r\n系统已开启时间自动同步（NTP），不能手动设置时间。请先关闭自动同步，再校对时间。\r\n";
const char kBeforeBuildText[] = "这个时间早于本程序的编译日期，不可能是正确的时间，系统时间没有更改。\r\n";

constexpr int kNumberColumnWidth = 36;
constexpr int kServerColumnWidth = 109;

bool isEnterOrEsc(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

} // namespace

TimeSyncState& TimeSyncCalibration()
{
    static TimeSyncState state;
    return state;
}

CTimeSyncDlg::CTimeSyncDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TimeSyncDlg>()),
      m_timers(new DialogTimers([this](int id) { OnTimer(id); }, this))
{
    setFont(DialogFont());
    m_ui->setupUi(this);
    m_log = m_ui->logEdit;
    m_list = m_ui->serverList;
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ApplyDialogUnits(this);
    // The log's tab stops: every 32 dialog units, the customary edit-control default.
    m_log->setTabStopDistance(DialogUnits(font()).x(32));

    connect(m_ui->calibrateButton, &QPushButton::clicked, this, &CTimeSyncDlg::OnCalibrate);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &CTimeSyncDlg::OnCancel);

    // Enter and Esc are taken away before any control of the dialog sees them.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    OnInitDialog();
}

CTimeSyncDlg::~CTimeSyncDlg()
{
    // A dialog that goes without being closed takes its connection with it:
    // nothing would be left to hear from it.
    if (TimeSyncCalibration().socket)
        endCalibration();
}

void CTimeSyncDlg::OnInitDialog()
{
    m_log->setPlainText(QString::fromUtf8(kInstructions));

    // The log's text in pure blue on the face colour of a read-only edit.
    QPalette palette = m_log->palette();
    palette.setColor(QPalette::Text, QColor(0, 0, 255));
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    m_log->setPalette(palette);

    m_list->setColumnCount(2);
    m_list->setHorizontalHeaderLabels({QString::fromUtf8("编号"), QString::fromUtf8("时间服务器")});
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 4);
    m_list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_list->setColumnWidth(0, kNumberColumnWidth);
    m_list->setColumnWidth(1, kServerColumnWidth);
    m_list->setRowCount(timeproto::kServerCount);
    for (int row = 0; row < timeproto::kServerCount; ++row) {
        auto* number = new QTableWidgetItem(QString::number(row + 1));
        auto* server = new QTableWidgetItem(QString::fromLatin1(timeproto::kServers[row]));
        number->setTextAlignment(Qt::AlignCenter);
        server->setTextAlignment(Qt::AlignCenter);
        m_list->setItem(row, 0, number);
        m_list->setItem(row, 1, server);
    }
    m_list->clearSelection();
}

QWidget* CTimeSyncDlg::GetDlgItem(int id) const
{
    switch (id) {
    case ids::kTimeSyncServerList:
        return m_ui->serverList;
    case ids::kTimeSyncLog:
        return m_ui->logEdit;
    case ids::kTimeSyncCalibrate:
        return m_ui->calibrateButton;
    case ids::kTimeSyncClose:
        return m_ui->closeButton;
    default:
        return nullptr;
    }
}

void CTimeSyncDlg::AppendLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const QString text = QString::vasprintf(format, args);
    va_end(args);

    // As an edit control's "replace selection": drop the selection, keep the
    // caret where it is, insert there and leave the caret after the text.
    QTextCursor cursor = m_log->textCursor();
    cursor.clearSelection();
    m_log->setTextCursor(cursor);
    m_log->ensureCursorVisible();
    cursor.insertText(text);
    m_log->setTextCursor(cursor);
}

void CTimeSyncDlg::OnCalibrate()
{
    TimeSyncState& state = TimeSyncCalibration();
    // The system still decides on the last clock setting: one at a time.
    if (seams::systemClock().pending())
        return;

    // The first selected row in list order; none selected keeps the last server.
    int first = -1;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    if (first >= 0)
        state.serverAddress = m_list->item(first, 1)->text();
    if (state.serverAddress.isEmpty()) {
        ShowMessageBox(this, QString::fromUtf8(kChooseServerText), QString::fromUtf8(kChooseServerCaption),
                       MbButtons::Ok, MbIcon::Warning);
        return;
    }

    // A calibration still under way would otherwise keep its socket and its
    // dots to the end of the dialog, with nothing left to answer them.
    endCalibration();
    m_log->clear();

    AsyncSocketFactory& sockets = seams::sockets();
    AppendLog("\r\nStarted up %s\r\n\r\n", sockets.description().toUtf8().constData());

    int error = 0;
    state.socket = sockets.create(&error);
    if (!state.socket) {
        AppendLog("Socket 创建失败！ #%i\r\n\r\n", error);
        return;
    }
    AppendLog("Socket %i 已经成功创建！\r\n\r\n", state.socket->handle());

    connect(state.socket.get(), &AsyncSocket::notified, this, &CTimeSyncDlg::OnSocketNotify);
    error = state.socket->select(sockev::kFdRead | sockev::kFdConnect);
    if (error != 0) {
        AppendLog("WSAAsyncSelect 错误： #%i.\r\n\r\n", error);
        endCalibration();
        return;
    }

    const QByteArray server = state.serverAddress.toLatin1();
    state.reply.reset();
    state.phase = TimeSyncState::Phase::Connecting;
    error = state.socket->connectTo(::inet_addr(server.constData()), timeproto::kPort);
    if (error != 0 && error != EINPROGRESS) {
        AppendLog("连接错误：#%i.\r\n\r\n", error);
        endCalibration();
        return;
    }
    AppendLog("正在连接：%s...", server.constData());
    m_timers->SetTimer(ids::kTimeSyncProgressTimer, ids::kTimeSyncProgressMs);
}

void CTimeSyncDlg::OnSocketNotify(int event, int error)
{
    TimeSyncState& state = TimeSyncCalibration();
    if (event == sockev::kFdConnect && state.phase == TimeSyncState::Phase::Connecting) {
        AppendLog("\r\n");
        if (error != 0) {
            m_timers->KillTimer(ids::kTimeSyncProgressTimer);
            state.phase = TimeSyncState::Phase::Idle;
            AppendLog("连接错误：#%i.\r\n", error);
            return;
        }
        state.phase = TimeSyncState::Phase::Connected;
        AppendLog("已成功连接到时间服务器：%s.\r\n\r\n", state.serverAddress.toLatin1().constData());
        AppendLog("正在接受数据，请稍候...");
    } else if (event == sockev::kFdRead && state.phase == TimeSyncState::Phase::Connected) {
        if (error == 0 && state.socket) {
            char chunk[timeproto::kReplySize];
            const qint64 n = state.socket->receive(chunk, state.reply.missing(), &error);
            // Waiting: nothing there after all, or the rest is still on its way; the dots go on.
            if (state.reply.onRead(chunk, n, error) == timeproto::ReplyReader::State::Waiting)
                return;
            error = state.reply.error();
        }
        m_timers->KillTimer(ids::kTimeSyncProgressTimer);
        state.phase = TimeSyncState::Phase::Idle;
        AppendLog("\r\n");
        if (error != 0) {
            AppendLog("FD_READ 错误！#%i.", error);
            return;
        }
        const quint32 reply = state.reply.reply();
        AppendLog("接受的时间为从1900年1月1日起 %u 秒. \r\n", reply);
        setClockFromReply(reply);
    }
}

void CTimeSyncDlg::setClockFromReply(quint32 reply)
{
    if (timeproto::ReplyPredatesBuild(reply)) {
        AppendLog("%s", kBeforeBuildText);
        return;
    }
    Clock& clock = seams::clock();
    const QDateTime before = clock.now();
    const QDateTime utc = timeproto::ReplyToUtc(reply);
    // timedated adds the time spent in the call (a password prompt, say) to the
    // time it sets, so the clock has run on from the moment of asking.
    const qint64 askedAt = clock.monotonicMs();
    // Meanwhile the dialog, its dots and the rest of the program go on; only a
    // second calibration waits for the answer (which may also come at once).
    m_ui->calibrateButton->setEnabled(false);
    // The dialog may close before the system answers; the answer then has
    // nowhere to go.
    const QPointer<CTimeSyncDlg> self(this);
    const bool asked =
        seams::systemClock().setUtc(utc, [self, before, utc, askedAt](const SystemClock::Result& result) {
            if (self)
                self->clockAnswered(result, before, utc, askedAt);
        });
    if (!asked) {
        m_ui->calibrateButton->setEnabled(true);
        AppendLog("%s", kCannotSetText);
    }
}

void CTimeSyncDlg::clockAnswered(const SystemClock::Result& result, const QDateTime& before,
                                 const QDateTime& utc, qint64 askedAt)
{
    m_ui->calibrateButton->setEnabled(true);
    if (!result.set) {
        qWarning("The clock was not set: %s", qPrintable(result.reason));
        AppendLog("%s", kCannotSetText);
        if (result.automaticSync)
            AppendLog("%s", kAutomaticSyncText);
        return;
    }
    const QDateTime after = utc.toLocalTime().addMSecs(seams::clock().monotonicMs() - askedAt);

    using timeproto::Locale24HourTime;
    using timeproto::LocaleShortDate;
    AppendLog("\r\n系统的日期和时间已经成功更改：\r\n以前的时间：%s %s.%03i. \r\n校正后时间：%s %s.%03i.\r\n",
              LocaleShortDate(before).toUtf8().constData(), Locale24HourTime(before).toUtf8().constData(),
              before.time().msec(), LocaleShortDate(after).toUtf8().constData(),
              Locale24HourTime(after).toUtf8().constData(), after.time().msec());
}

void CTimeSyncDlg::OnTimer(int /*id*/)
{
    AppendLog(".");
}

void CTimeSyncDlg::endCalibration()
{
    TimeSyncState& state = TimeSyncCalibration();
    m_timers->KillTimer(ids::kTimeSyncProgressTimer);
    state.phase = TimeSyncState::Phase::Idle;
    if (state.socket) {
        state.socket->close();
        state.socket.reset();
    }
}

void CTimeSyncDlg::OnCancel()
{
    endCalibration();
    QDialog::reject();
}

void CTimeSyncDlg::reject()
{
    OnCancel();
}

bool CTimeSyncDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (isEnterOrEsc(event))
        return true;
    return QDialog::eventFilter(watched, event);
}

void CTimeSyncDlg::mousePressEvent(QMouseEvent* event)
{
    // A press on the dialog's own surface moves it, as a press on the caption would.
    if (event->button() == Qt::LeftButton) {
        QWindow* window = windowHandle();
        m_dragging = !(window && window->startSystemMove());
        m_grabOffset = event->globalPosition().toPoint() - pos();
    }
    QDialog::mousePressEvent(event);
}

void CTimeSyncDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - m_grabOffset);
    QDialog::mouseMoveEvent(event);
}

void CTimeSyncDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
