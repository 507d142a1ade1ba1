#include "app/MainWindow.h"

#include "app/ChannelMenu.h"
#include "app/DownloadPanel.h"
#include "app/StatusPanels.h"
#include "app/TicketArea.h"
#include "app/TicketSlotBox.h"
#include "info/AboutDialog.h"
#include "info/HelpDialog.h"
#include "session/FailureTexts.h"
#include "ticket/DownloadMessages.h"
#include "ui/AppIcon.h"
#include "ui/Fonts.h"
#include "ui/QtUiServices.h"
#include "ui_MainWindow.h"
#include "workspace/DownloadHistoryDialog.h"

#include <QCloseEvent>
#include <QDialog>

namespace {
constexpr QSize kClientSize(840, 524);
constexpr int kStatusBarHeight = 33;
} // namespace

MainWindow::MainWindow(const QString& settingsPath, std::unique_ptr<UiServices> ui, QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::MainWindow>())
    , m_uiServices(ui ? std::move(ui) : std::make_unique<QtUiServices>(this))
    , m_channels(m_session, settingsPath)
{
    m_ui->setupUi(this);
    setUpLook();
    connectMenus();

    m_channels.startUp();
    m_channelMenu->showChannel();
    connectCore();
    refreshControls();
}

MainWindow::~MainWindow()
{
    // Open boxes and dialogs hold callbacks into the members; they go first.
    qDeleteAll(findChildren<QDialog*>(Qt::FindDirectChildrenOnly));
}

void MainWindow::setUpLook()
{
    setWindowIcon(AppIcon::icon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFont(Fonts::sans());
    menuBar()->setFont(Fonts::sans());
    Fonts::set(m_ui->downloadButton, Fonts::kDefault, true);
    Fonts::set(m_ui->connectButton, Fonts::kDefault, true);
    Fonts::set(m_ui->versionEdit, Fonts::kLarge, true);
    Fonts::set(m_ui->serialEdit, Fonts::kLarge, true);
    Fonts::set(m_ui->usedLabel, Fonts::kMedium, true);
    Fonts::set(m_ui->freeLabel, Fonts::kMedium, true);
    m_ui->versionEdit->setStyleSheet(QStringLiteral("color: red"));
    m_ui->serialEdit->setStyleSheet(QStringLiteral("color: red"));
    m_ticketArea = new TicketArea(m_slots, *m_uiServices, m_channels.store(),
                                  {this,
                                   {m_ui->slotBox1, m_ui->slotBox2, m_ui->slotBox3, m_ui->slotBox4,
                                    m_ui->slotBox5, m_ui->slotBox6, m_ui->slotBox7},
                                   m_ui->spaceBox,
                                   m_ui->usedSpaceEdit,
                                   m_ui->freeSpaceEdit},
                                  this);

    centralWidget()->setFixedSize(kClientSize.width(), kClientSize.height() - kStatusBarHeight);
    m_ui->statusbar->setFixedHeight(kStatusBarHeight);
    m_panels = new StatusPanels(m_ui->statusbar);
    adjustSize();
    setFixedSize(size());
}

void MainWindow::connectMenus()
{
    connect(m_ui->openSetAction, &QAction::triggered, m_ticketArea, &TicketArea::chooseSetToOpen);
    connect(m_ui->saveSetAction, &QAction::triggered, m_ticketArea, &TicketArea::chooseSetToSave);
    connect(m_ui->historyAction, &QAction::triggered, this, &MainWindow::openHistory);
    connect(m_ui->endAction, &QAction::triggered, this, &QWidget::close);
    m_channelMenu = new ChannelMenu(
        m_channels, *m_panels, this,
        {m_ui->portAction, m_ui->settingsAction, m_ui->openCloseAction},
        [this](QDialog* window) { openWindow(window); }, this);
    connect(m_ui->helpAction, &QAction::triggered, this,
            [this] { openWindow(new HelpDialog(this)); });
    connect(m_ui->aboutAction, &QAction::triggered, this,
            [this] { openWindow(new AboutDialog(this)); });
}

void MainWindow::connectCore()
{
    connect(&m_session, &IndicatorSession::stateChanged, this, &MainWindow::onChannelStateChanged);
    connect(&m_session, &IndicatorSession::failed, this, [this](const SessionFailure& failure) {
        if (const auto message = FailureTexts::forWindow(failure))
            m_uiServices->critical(message->title, message->text);
    });

    connect(m_ui->connectButton, &QPushButton::clicked, this, &MainWindow::onConnectClicked);
    connect(&m_session, &IndicatorSession::versionReceived, this,
            [this](const QByteArray& version) {
                m_ui->versionEdit->setText(QString::fromLatin1(version));
            });
    connect(&m_session, &IndicatorSession::serialReceived, this, [this](const QByteArray& serial) {
        m_ui->serialEdit->setText(QString::fromLatin1(serial));
    });
    connect(&m_session, &IndicatorSession::queryFinished, this, &MainWindow::onQueryFinished);

    connect(m_ticketArea, &TicketArea::slotsChanged, this, &MainWindow::refreshControls);

    connect(m_ui->downloadButton, &QPushButton::clicked, this,
            [this] { m_session.download(m_slots.contents(), m_slots.paths()); });
    Downloader& downloader = m_session.downloader();
    showDownloadNotices(downloader, *m_uiServices);
    m_downloadPanel = new DownloadPanel(
        m_session, *m_uiServices,
        {m_ui->downloadFrame, m_ui->statusEdit, m_ui->progressBar, m_ui->cancelButton}, this);
    // Queued: the record is written as the download ends, before the panel has closed its
    // frame; the notice is shown after that, and stays.
    connect(
        &m_session.recorder(), &DownloadRecorder::notWritten, this,
        [this](const QString& errorText) {
            m_downloadPanel->showNotice(tr("Not recorded: %1").arg(errorText));
        },
        Qt::QueuedConnection);
    connect(&downloader, &Downloader::started, this, &MainWindow::refreshControls);
    connect(&downloader, &Downloader::finished, this, &MainWindow::refreshControls);
}

QString MainWindow::panelText(int panel) const
{
    return m_panels->text(panel);
}

void MainWindow::setPanelText(int panel, const QString& text)
{
    m_panels->setText(panel, text);
}

TicketSlotBox* MainWindow::slotBox(int slot) const
{
    return m_ticketArea->box(slot);
}

void MainWindow::openWindow(QDialog* window)
{
    connect(window, &QDialog::finished, this, &MainWindow::activate);
    window->open();
}

void MainWindow::openHistory()
{
    if (!m_history) {
        auto* history = new DownloadHistoryDialog(recorder().path(), this);
        m_history = history;
    }
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        activate();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The pointer table is cleared first and written last: a download cut short leaves the
    // indicator with no valid ticket set, so that takes a yes. Once its outcome is decided only
    // its closing message is open, and any other time the program ends at once, also in the
    // middle of a query.
    const Downloader& downloader = m_session.downloader();
    if (downloader.isRunning() && downloader.outcome() == Outcome::None) {
        event->ignore();
        if (!m_quitAsked)
            askToQuit();
        return;
    }
    // A download whose closing message is still open ends with its outcome, recorded.
    m_session.abandon();
    event->accept();
    QMainWindow::closeEvent(event);
}

void MainWindow::askToQuit()
{
    m_quitAsked = true;
    m_uiServices->ask(windowTitle(),
                      tr("A download is running. If you quit now, the indicator keeps no valid "
                         "ticket set. Quit anyway?"),
                      tr("Quit"), [this](bool quit) {
                          m_quitAsked = false;
                          if (!quit)
                              return;
                          // The download ends now and is recorded as cancelled.
                          m_session.abandon();
                          close();
                      });
}

void MainWindow::activate()
{
    setPanelText(StatusPanels::kState, channelStateText());
    m_panels->updateClock();
    // The slot boxes are drawn again from what the slots hold, so a loaded slot never shows
    // as empty.
    m_ticketArea->redrawSlots();
}

QString MainWindow::channelStateText() const
{
    switch (m_session.state()) {
    case IndicatorSession::State::Closed:
        return tr("Port closed");
    case IndicatorSession::State::Connecting:
        return tr("Connecting ...");
    case IndicatorSession::State::Open:
        break;
    }
    return tr("Port opened");
}

// What may be used now, from the channel's state, the query's result, the slots and whether an
// exchange runs. While a query or a download waits for the indicator nothing that could start a
// second exchange or close the channel under it is usable.
void MainWindow::refreshControls()
{
    const IndicatorSession::State state = m_session.state();
    const bool busy = m_session.isBusy();
    m_channelMenu->refresh(busy);
    // Over TCP/IP the query waits for the connection to be made: a command sent before would
    // go nowhere.
    const bool reachable = state == IndicatorSession::State::Open;
    m_ui->connectButton->setEnabled(reachable && !busy && !m_queryFailed);
    m_ui->downloadButton->setEnabled(reachable && !busy && m_ticketArea->isShown() &&
                                     m_slots.anyInUse());
    m_ui->openSetAction->setEnabled(m_ticketArea->isShown());
    m_ui->saveSetAction->setEnabled(m_slots.anyLoaded());
}

void MainWindow::onChannelStateChanged(IndicatorSession::State state)
{
    setPanelText(StatusPanels::kState, channelStateText());
    if (state == IndicatorSession::State::Closed) {
        showClosedLook();
        return;
    }
    // A new line, on which Connect may be tried again.
    m_queryFailed = false;
    refreshControls();
}

// The look of a closed channel. Closing a serial port also folds the ticket area away, since
// the next port may lead to another indicator; closing a network channel leaves it as it is.
void MainWindow::showClosedLook()
{
    m_ui->serialEdit->clear();
    m_ui->versionEdit->clear();
    if (!m_session.address().isNetwork())
        m_ticketArea->fold();
    refreshControls();
}

void MainWindow::onConnectClicked()
{
    if (m_session.isBusy() || m_session.state() == IndicatorSession::State::Closed)
        return;
    m_uiServices->setBusy(true);
    m_session.query();
    refreshControls();
}

// A failed query has been told through the session's failure already.
void MainWindow::onQueryFinished(bool ok)
{
    m_uiServices->setBusy(false);
    m_queryFailed = !ok;
    if (ok)
        m_ticketArea->show();
    refreshControls();
}
