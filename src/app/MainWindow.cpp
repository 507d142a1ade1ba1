#include "app/MainWindow.h"

#include "app/StatusPanels.h"
#include "dialogs/BaudDialog.h"
#include "dialogs/PortDialog.h"
#include "dialogs/TcpHostDialog.h"
#include "info/AboutDialog.h"
#include "info/HelpDialog.h"
#include "link/PortFailure.h"
#include "platform/TextRoutines.h"
#include "ui/AppIcon.h"
#include "ui/Fonts.h"
#include "ui/QtUiServices.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QDialog>

namespace {
constexpr QSize kClientSize(840, 524); // 12600 x 7860 twips
constexpr int kStatusBarHeight = 33;   // 495 twips
const QString kOpen = QStringLiteral("Open");
const QString kClose = QStringLiteral("Close");
const QString kPortClosed = QStringLiteral("Port closed");
const QString kPortOpened = QStringLiteral("Port opened");
const QString kConnecting = QStringLiteral("Connecting ...");
const QString kAddTicket = QStringLiteral("Add Ticket");
const QString kRemove = QStringLiteral("Remove");
const QString kTicketFilter = QStringLiteral("Print Files(*.prn) or Text Files(*.txt)|*.prn;*.txt");
} // namespace

MainWindow::MainWindow(const QString& settingsPath, std::unique_ptr<UiServices> ui, QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::MainWindow>())
    , m_uiServices(ui ? std::move(ui) : std::make_unique<QtUiServices>(this))
    , m_channels(settingsPath)
{
    m_ui->setupUi(this);
    setWindowIcon(AppIcon::icon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setUpControls();
    setUpFonts();
    setUpStatusBar();
    connectMenus();

    const ChannelManager::StartUpResult startUp = m_channels.startUp();
    setPanelText(2, startUp.channelText);
    setPanelText(3, startUp.lineText);
    m_channels.setTaskRunning([this] { return exchangeRunning(); });
    connect(&m_channels, &ChannelManager::stateChanged, this, &MainWindow::onChannelStateChanged);
    connect(
        &m_channels, &ChannelManager::failed, this,
        [this](const QString& title, const QString& text) { m_uiServices->critical(title, text); });

    connect(m_ui->cmdConnect, &QPushButton::clicked, this, &MainWindow::onConnectClicked);
    connect(&m_query, &IndicatorQuery::versionReceived, this, [this](const QByteArray& version) {
        m_ui->txtSW_Version->setText(QString::fromLatin1(version));
    });
    connect(&m_query, &IndicatorQuery::serialReceived, this, [this](const QByteArray& serial) {
        m_ui->txtSNR->setText(QString::fromLatin1(serial));
    });
    connect(&m_query, &IndicatorQuery::finished, this, &MainWindow::onQueryFinished);

    for (int s = 1; s <= kSlotCount; ++s) {
        connect(cmdLoadTicket(s), &QPushButton::clicked, this,
                [this, s] { onLoadTicketClicked(s); });
    }

    connect(m_ui->cmdDownLoad, &QPushButton::clicked, this, &MainWindow::onDownLoadClicked);
    connect(m_ui->cmdCancel, &QPushButton::clicked, &m_downloader, &Downloader::cancel);
    connect(&m_downloader, &Downloader::started, this, &MainWindow::onDownloadStarted);
    connect(&m_downloader, &Downloader::statusText, this, [this](const QString& text) {
        m_ui->txtStatus->setText(text);
        // Shown at once, block by block, as the operator expects of a progress line.
        m_ui->txtStatus->repaint();
    });
    connect(&m_downloader, &Downloader::progressRange, m_ui->ProgressBar1, &QProgressBar::setRange);
    connect(&m_downloader, &Downloader::progressValue, m_ui->ProgressBar1, &QProgressBar::setValue);
    connect(&m_downloader, &Downloader::finished, this, &MainWindow::onDownloadFinished);
}

MainWindow::~MainWindow()
{
    // Open boxes and dialogs hold callbacks into the members; they go first.
    qDeleteAll(findChildren<QDialog*>(Qt::FindDirectChildrenOnly));
}

void MainWindow::setUpControls()
{
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

void MainWindow::setUpFonts()
{
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

void MainWindow::setUpStatusBar()
{
    centralWidget()->setFixedSize(kClientSize.width(), kClientSize.height() - kStatusBarHeight);
    m_ui->staBar->setFixedHeight(kStatusBarHeight);
    m_panels = new StatusPanels(m_ui->staBar);
    adjustSize();
    setFixedSize(size());
}

QString MainWindow::panelText(int panel) const
{
    return m_panels->text(panel);
}

void MainWindow::setPanelText(int panel, const QString& text)
{
    m_panels->setText(panel, text);
}

void MainWindow::connectMenus()
{
    connect(m_ui->mnuEnd, &QAction::triggered, this, &QWidget::close);
    connect(m_ui->mnuConnect, &QAction::triggered, this, &MainWindow::onConnectMenu);
    connect(m_ui->mnuPort, &QAction::triggered, this, &MainWindow::onPortMenu);
    connect(m_ui->mnuSettings, &QAction::triggered, this, &MainWindow::onSettingsMenu);
    connect(m_ui->mnuHelp1, &QAction::triggered, this,
            [this] { openWindow(new HelpDialog(this)); });
    connect(m_ui->mnuAbout, &QAction::triggered, this,
            [this] { openWindow(new AboutDialog(this)); });
}

void MainWindow::openWindow(QDialog* window)
{
    connect(window, &QDialog::finished, this, &MainWindow::Activate);
    window->open();
}

void MainWindow::onPortMenu()
{
    auto* dialog = new PortDialog(m_channels, this);
    connect(dialog, &PortDialog::statusPanelText, this, &MainWindow::setPanelText);
    openWindow(dialog);
}

void MainWindow::onSettingsMenu()
{
    if (m_channels.isTcpMode()) {
        auto* dialog = new TcpHostDialog(m_channels, this);
        connect(dialog, &TcpHostDialog::statusPanelText, this, &MainWindow::setPanelText);
        openWindow(dialog);
        return;
    }
    auto* dialog = new BaudDialog(m_channels, this);
    connect(dialog, &BaudDialog::statusPanelText, this, &MainWindow::setPanelText);
    openWindow(dialog);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        Activate();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The program ends at once, without a question, also in the middle of an exchange.
    event->accept();
    QMainWindow::closeEvent(event);
}

QString MainWindow::channelStateText() const
{
    switch (m_channels.state()) {
    case ChannelManager::State::Closed:
        return kPortClosed;
    case ChannelManager::State::Connecting:
        return kConnecting;
    case ChannelManager::State::Open:
        break;
    }
    return kPortOpened;
}

void MainWindow::Activate()
{
    setPanelText(1, channelStateText());
    m_panels->updateClock();
    // The slot boxes are drawn again from what the slots hold, so a loaded slot never shows
    // as empty.
    for (int s = 1; s <= kSlotCount; ++s)
        showSlot(s);
}

bool MainWindow::channelIsOpen() const
{
    return m_channels.state() != ChannelManager::State::Closed;
}

bool MainWindow::exchangeRunning() const
{
    return m_query.isRunning() || m_downloader.isRunning();
}

// Enables what may be used now. While a query or a download waits for the indicator nothing
// that could start a second exchange or close the channel under it is usable.
void MainWindow::refreshControls()
{
    const bool open = channelIsOpen();
    const bool busy = exchangeRunning();
    m_ui->mnuConnect->setEnabled(!busy);
    m_ui->mnuPort->setEnabled(!open && !busy);
    m_ui->mnuSettings->setEnabled((!open || m_channels.isTcpMode()) && !busy);
    // Over TCP/IP the query waits for the connection to be made: a command sent before would
    // go nowhere.
    const bool reachable = m_channels.state() == ChannelManager::State::Open;
    m_ui->cmdConnect->setEnabled(open && reachable && !busy && !m_queryFailed);
    m_ui->cmdDownLoad->setEnabled(open && reachable && !busy && m_ticketAreaShown &&
                                  m_slots.anyInUse());
}

void MainWindow::onConnectMenu()
{
    if (channelIsOpen())
        m_channels.close();
    else
        m_channels.open();
}

void MainWindow::onChannelStateChanged(ChannelManager::State state)
{
    m_ui->mnuConnect->setText(state == ChannelManager::State::Closed ? kOpen : kClose);
    setPanelText(1, channelStateText());
    if (state == ChannelManager::State::Closed) {
        showClosedLook();
        return;
    }
    // A serial port opens at once, a TCP/IP connection through Connecting: either way a new
    // line, which the exchange listens to from now on, so that characters that arrive before
    // the first command are known to be none of its answers.
    if (state == ChannelManager::State::Connecting || !m_channels.isTcpMode()) {
        m_queryFailed = false;
        m_exchange.setChannel(&m_channels.activeChannel());
        m_exchange.resetLine();
    }
    refreshControls();
}

// The look of a closed channel. Closing a serial port also folds the ticket area away, since
// the next port may lead to another indicator; a TCP/IP close leaves it as it is.
void MainWindow::showClosedLook()
{
    m_ui->txtSNR->clear();
    m_ui->txtSW_Version->clear();
    if (!m_channels.isTcpMode()) {
        m_ticketAreaShown = false;
        m_ui->fraSpace->hide();
        m_ui->txtUsedSpace->clear();
        m_ui->txtFreeSpace->clear();
        for (int s = 1; s <= kSlotCount; ++s)
            fraTicket(s)->hide();
    }
    refreshControls();
}

void MainWindow::onConnectClicked()
{
    if (exchangeRunning() || !channelIsOpen())
        return;
    m_uiServices->setBusy(true);
    m_query.start();
    refreshControls();
}

void MainWindow::onQueryFinished(bool ok)
{
    m_uiServices->setBusy(false);
    if (!ok) {
        m_queryFailed = true;
        refreshControls();
        if (m_exchange.lastFailure() != CommandExchange::Failure::ChannelLost)
            m_uiServices->critical(QStringLiteral("Communication Error"),
                                   QStringLiteral("Indicator does not respond"));
        else
            m_channels.reportLoss(m_exchange.lostReason());
        return;
    }
    showTicketArea();
    refreshControls();
}

void MainWindow::showTicketArea()
{
    m_ticketAreaShown = true;
    for (int s = 1; s <= kSlotCount; ++s) {
        showSlot(s);
        fraTicket(s)->show();
    }
    // The space boxes tell what the slots really hold, also after a repeated query.
    showSpace();
    m_ui->fraSpace->show();
}

void MainWindow::showSlot(int slot)
{
    txtFileName(slot)->setText(m_slots.fileNameText(slot));
    txtFileName(slot)->setCursorPosition(0); // the "..." of a cut name stays in sight
    txtFileName(slot)->setToolTip(m_slots.path(slot));
    txtFileSize(slot)->setText(m_slots.sizeText(slot));
    cmdLoadTicket(slot)->setText(m_slots.isLoaded(slot) ? kRemove : kAddTicket);
}

void MainWindow::showSpace()
{
    m_ui->txtFreeSpace->setText(m_slots.freeSpaceText());
    m_ui->txtUsedSpace->setText(m_slots.usedSpaceText());
}

void MainWindow::onLoadTicketClicked(int slot)
{
    if (m_slots.isLoaded(slot)) {
        m_slots.remove(slot);
        showSlot(slot);
        showSpace();
        refreshControls();
        return;
    }
    m_uiServices->chooseOpenFile(kTicketFilter, [this, slot](const QString& path) {
        if (!path.isEmpty()) {
            QString error;
            m_uiServices->setBusy(true);
            const bool loaded = m_slots.load(slot, path, &error);
            m_uiServices->setBusy(false);
            if (!loaded)
                m_uiServices->critical(QStringLiteral("File Error"), error);
        }
        showSlot(slot);
        showSpace();
        refreshControls();
    });
}

void MainWindow::onDownLoadClicked()
{
    if (exchangeRunning() || !channelIsOpen())
        return;
    m_downloader.start(m_slots.TicketData());
}

void MainWindow::onDownloadStarted()
{
    m_downloadShown = true;
    m_uiServices->setBusy(true);
    m_ui->ProgressBar1->setMinimum(0);
    m_ui->ProgressBar1->setValue(0);
    m_ui->fraDownload->show();
    refreshControls();
}

void MainWindow::onDownloadFinished()
{
    m_ui->txtStatus->clear();
    if (m_downloadShown) {
        m_downloadShown = false;
        m_uiServices->setBusy(false);
    }
    m_ui->fraDownload->hide();
    refreshControls();
}
