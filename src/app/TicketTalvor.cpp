#include "app/TicketTalvor.h"

#include "app/Fonts.h"
#include "link/PortFailure.h"
#include "platform/QtUiServices.h"
#include "platform/TextRoutines.h"
#include "ui_TicketTalvor.h"

#include <QDateTime>
#include <QLocale>
#include <QTimer>

namespace {
constexpr auto kClockInterval = std::chrono::seconds(1);
constexpr QSize kClientSize(840, 524); // 12600 x 7860 twips
constexpr int kStatusBarHeight = 33;   // 495 twips
const QString kOpen = QStringLiteral("Open");
const QString kClose = QStringLiteral("Close");
const QString kPortClosed = QStringLiteral("Port closed");
const QString kPortOpened = QStringLiteral("Port opened");
const QString kConnecting = QStringLiteral("Connecting ...");
} // namespace

TicketTalvor::TicketTalvor(const QString& settingsPath, std::unique_ptr<UiServices> ui,
                           QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::TicketTalvor>())
    , m_uiServices(ui ? std::move(ui) : std::make_unique<QtUiServices>(this))
    , m_state(settingsPath) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setUpControls();
    setUpFonts();
    setUpStatusBar();
    connectMenus();

    const AppState::StartUpResult startUp = m_state.StartUp();
    setPanelText(2, startUp.channelText);
    setPanelText(3, startUp.lineText);

    auto& tcp = m_state.tcpClient();
    connect(&tcp, &TcpClient::Error, this, &TicketTalvor::onTcpError);
    connect(&tcp, &TcpClient::Connected, this, [this] {
        if (m_state.TcpMode && m_ui->mnuConnect->text() == kClose)
            setPanelText(1, kPortOpened);
    });
    connect(&tcp, &LineChannel::channelLost, this, &TicketTalvor::onChannelLost);
    connect(&m_state.commPort1(), &LineChannel::channelLost, this, &TicketTalvor::onChannelLost);
}

TicketTalvor::~TicketTalvor() = default;

void TicketTalvor::setUpControls() {
    for (int s = 1; s <= kSlotCount; ++s) {
        m_fraTicket[s - 1] = findChild<QGroupBox*>(QStringLiteral("fraTicket_%1").arg(s));
        m_txtFileName[s - 1] = findChild<QLineEdit*>(QStringLiteral("txtFileName_%1").arg(s));
        m_txtFileSize[s - 1] = findChild<QLineEdit*>(QStringLiteral("txtFileSize_%1").arg(s));
        m_cmdLoadTicket[s - 1] = findChild<QPushButton*>(QStringLiteral("cmdLoadTicket_%1").arg(s));
        Q_ASSERT(m_fraTicket[s - 1] && m_txtFileName[s - 1] && m_txtFileSize[s - 1] &&
                 m_cmdLoadTicket[s - 1]);
        m_fraTicket[s - 1]->hide();
    }
    m_ui->fraSpace->hide();
    m_ui->fraDownload->hide();
    m_ui->cmdDownLoad->setEnabled(false);
    m_ui->cmdConnect->setEnabled(false);
    m_ui->txtSW_Version->setStyleSheet(QStringLiteral("color: red"));
    m_ui->txtSNR->setStyleSheet(QStringLiteral("color: red"));
}

void TicketTalvor::setUpFonts() {
    setFont(Fonts::sans());
    menuBar()->setFont(Fonts::sans());
    for (QPushButton* button : findChildren<QPushButton*>())
        Fonts::set(button, Fonts::kDefault, true);
    for (QWidget* box :
         {static_cast<QWidget*>(m_ui->txtSW_Version), static_cast<QWidget*>(m_ui->txtSNR),
          static_cast<QWidget*>(m_ui->txtUsedSpace), static_cast<QWidget*>(m_ui->txtFreeSpace)})
        Fonts::set(box, Fonts::kLarge, true);
    Fonts::set(m_ui->Label28, Fonts::kMedium, true);
    Fonts::set(m_ui->Label27, Fonts::kMedium, true);
    Fonts::set(m_ui->txtStatus, Fonts::kMedium, true);
    for (int s = 1; s <= kSlotCount; ++s) {
        Fonts::set(txtFileName(s), Fonts::kMedium);
        Fonts::set(txtFileSize(s), Fonts::kMedium);
        Fonts::set(fraTicket(s)->findChild<QLabel*>(QStringLiteral("lblBytes_%1").arg(s)),
                   Fonts::kMedium);
    }
}

void TicketTalvor::setUpStatusBar() {
    centralWidget()->setFixedSize(kClientSize.width(), kClientSize.height() - kStatusBarHeight);
    m_ui->staBar->setFixedHeight(kStatusBarHeight);
    // Panel 3 (line settings or host) gets what the others leave.
    const std::array<int, kPanelCount> widths = {120, 90, 0, 110, 90};
    for (int i = 0; i < kPanelCount; ++i) {
        auto* panel = new QLabel(m_ui->staBar);
        panel->setObjectName(QStringLiteral("staBarPanel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(4);
        if (widths[i] > 0)
            panel->setFixedWidth(widths[i]);
        m_ui->staBar->addPermanentWidget(panel, widths[i] > 0 ? 0 : 1);
        m_panels[i] = panel;
    }
    setPanelText(1, QStringLiteral("Not connected"));
    setPanelText(2, QStringLiteral("COM 1"));
    setPanelText(3, QStringLiteral("115200bps, 8-N-1"));
    updateClock();
    m_clock = new QTimer(this);
    m_clock->setInterval(kClockInterval);
    connect(m_clock, &QTimer::timeout, this, &TicketTalvor::updateClock);
    m_clock->start();
    adjustSize();
    setFixedSize(size());
}

void TicketTalvor::updateClock() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    setPanelText(4, locale.toString(now.date(), QLocale::ShortFormat));
    setPanelText(5, locale.toString(now.time(), QStringLiteral("HH:mm:ss")));
}

QString TicketTalvor::panelText(int panel) const {
    return m_panels.at(panel - 1)->text();
}

void TicketTalvor::setPanelText(int panel, const QString& text) {
    m_panels.at(panel - 1)->setText(text);
}

void TicketTalvor::connectMenus() {
    connect(m_ui->mnuEnd, &QAction::triggered, this, &QWidget::close);
    connect(m_ui->mnuConnect, &QAction::triggered, this, &TicketTalvor::onConnectMenu);
}

void TicketTalvor::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        Activate();
    }
}

QString TicketTalvor::channelStateText() const {
    if (m_ui->mnuConnect->text() == kOpen)
        return kPortClosed;
    if (m_state.TcpMode && !m_state.channelOpen())
        return kPortClosed;
    if (m_state.TcpMode && m_state.tcpClient().isConnecting())
        return kConnecting;
    return kPortOpened;
}

void TicketTalvor::Activate() {
    setPanelText(1, channelStateText());
    updateClock();
}

void TicketTalvor::onConnectMenu() {
    const bool opening = m_ui->mnuConnect->text() == kOpen;
    if (m_state.TcpMode)
        opening ? openTcp() : closeTcp();
    else
        opening ? openSerial() : closeSerial();
}

void TicketTalvor::openSerial() {
    SerialPort& port = m_state.commPort1();
    const int error = port.setPortOpen(true);
    if (error != SerialPort::kNoError) {
        if (const auto failure = describePortFailure(error, port.devicePath()))
            m_uiServices->critical(failure->title, failure->text);
        return;
    }
    m_ui->cmdConnect->setEnabled(true);
    m_ui->mnuPort->setEnabled(false);
    m_ui->mnuSettings->setEnabled(false);
    m_ui->mnuConnect->setText(kClose);
    setPanelText(1, kPortOpened);
}

void TicketTalvor::closeSerial() {
    m_state.commPort1().setPortOpen(false);
    showClosedLook();
}

void TicketTalvor::openTcp() {
    m_state.tcpClient().Connect();
    m_ui->mnuPort->setEnabled(false);
    m_ui->cmdConnect->setEnabled(true);
    m_ui->mnuConnect->setText(kClose);
    setPanelText(1, kConnecting);
}

void TicketTalvor::closeTcp() {
    m_state.tcpClient().Close();
    showClosedLook();
}

// The look of a closed channel. Closing a serial port also folds the ticket area away, since a
// new port may lead to another indicator; a TCP/IP close leaves it as it is.
void TicketTalvor::showClosedLook() {
    m_ui->cmdConnect->setEnabled(false);
    m_ui->cmdDownLoad->setEnabled(false);
    m_ui->mnuConnect->setText(kOpen);
    setPanelText(1, kPortClosed);
    m_ui->txtSNR->clear();
    m_ui->txtSW_Version->clear();
    if (!m_state.TcpMode) {
        m_ui->fraSpace->hide();
        m_ui->txtUsedSpace->clear();
        m_ui->txtFreeSpace->clear();
        for (int s = 1; s <= kSlotCount; ++s)
            fraTicket(s)->hide();
        m_ui->mnuSettings->setEnabled(true);
    }
    m_ui->mnuPort->setEnabled(true);
}

void TicketTalvor::onTcpError(int number, const QString& description) {
    const QString text = QStringLiteral("Error: ") + SubRoutines::NumberText(number) +
                         QStringLiteral("\r\n\r\n") + description + QStringLiteral("\r\n");
    m_uiServices->critical(QStringLiteral("TCP/IP ERROR"), text);
    if (m_ui->mnuConnect->text() == kClose) {
        m_state.tcpClient().Close();
        showClosedLook();
    }
}

void TicketTalvor::onChannelLost(const QString& reason) {
    if (m_ui->mnuConnect->text() != kClose)
        return;
    const QString name = m_state.activeChannel().channelName();
    if (m_state.TcpMode)
        m_state.tcpClient().Close();
    else
        m_state.commPort1().setPortOpen(false);
    showClosedLook();
    m_uiServices->critical(
        m_state.TcpMode ? QStringLiteral("TCP/IP ERROR") : QStringLiteral("Port Error"),
        QStringLiteral("The connection to the indicator at %1 was lost.\r\n\r\n%2")
            .arg(name, reason));
}
