#include "cli/TargetRun.h"

#include "cli/Console.h"
#include "link/ChannelManager.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "platform/TcpClient.h"
#include "ticket/DownloadProgress.h"

#include <cmath>

// The record's member of that name, not Qt's keyword.
#undef slots

namespace Cli {

namespace {

QString portFailureText(int error, const QString& device)
{
    switch (error) {
    case SerialPort::kErrNoSuchPort:
        return QStringLiteral("The serial port %1 does not exist.").arg(device);
    case SerialPort::kErrPortInUse:
        return QStringLiteral("The serial port %1 is used by another program.").arg(device);
    case SerialPort::kErrPermissionDenied:
        return QStringLiteral("You may not open the serial port %1. Ask the administrator to add "
                              "your user to the group \"dialout\", then log in again.")
            .arg(device);
    default:
        return QStringLiteral("The serial port %1 could not be opened.").arg(device);
    }
}

} // namespace

ConsoleUi::ConsoleUi(Console& console, QString prefix)
    : m_console(console)
    , m_prefix(std::move(prefix))
{
}

void ConsoleUi::critical(const QString& title, const QString& text, std::function<void()> done)
{
    m_console.message(m_prefix, title + QStringLiteral(": ") + text);
    if (done)
        done();
}

void ConsoleUi::chooseOpenFile(const QString&, const QString&,
                               std::function<void(const QString&)> done)
{
    // Files come from the command line; nobody is there to choose one.
    if (done)
        done(QString());
}

void ConsoleUi::chooseSaveFile(const QString&, const QString&,
                               std::function<void(const QString&)> done)
{
    if (done)
        done(QString());
}

void ConsoleUi::setBusy(bool) {}

TargetRun::TargetRun(Setup setup, Console& console, QObject* parent)
    : QObject(parent)
    , m_setup(std::move(setup))
    , m_console(console)
    , m_ui(console, prefix())
{
    m_connectLimit.setSingleShot(true);
    m_connectLimit.setInterval(kConnectLimit);
    connect(&m_connectLimit, &QTimer::timeout, this, [this] {
        end(QStringLiteral("lost"),
            QStringLiteral("TCP/IP ERROR: %1 did not accept the connection within %2 s.")
                .arg(channelText())
                .arg(kConnectLimit.count() / 1000));
    });
    connect(&m_query, &IndicatorQuery::versionReceived, this,
            [this](const QByteArray& version) { m_version = QString::fromLatin1(version); });
    connect(&m_query, &IndicatorQuery::serialReceived, this,
            [this](const QByteArray& serial) { m_serial = QString::fromLatin1(serial); });
    // Queued: the query ends inside the exchange's own signal; the download starts once every
    // listener has heard that end.
    connect(&m_query, &IndicatorQuery::finished, this, &TargetRun::onQueryFinished,
            Qt::QueuedConnection);
    connect(&m_downloader, &Downloader::statusText, this, &TargetRun::onStatusText);
    connect(&m_downloader, &Downloader::progressRange, this, [this](qint32, qint32 maximum) {
        m_totalBytes = maximum;
        sayPhase(Phase::Data, QStringLiteral("sending %1 bytes").arg(maximum));
    });
    connect(&m_downloader, &Downloader::progressValue, this,
            [this](qint32 value) { m_position = value; });
    // Queued: the downloader finishes inside its own calls, and the run may be deleted after.
    connect(&m_downloader, &Downloader::finished, this, &TargetRun::onDownloadFinished,
            Qt::QueuedConnection);
}

// The downloader, the query and the exchange go before the channel they talk to.
TargetRun::~TargetRun() = default;

QString TargetRun::prefix() const
{
    return m_setup.target.name.isEmpty() ? QString() : m_setup.target.name + QStringLiteral(": ");
}

void TargetRun::say(const QString& text)
{
    m_console.message(prefix(), text);
}

// A terminal shows the phase in the progress line; elsewhere each phase gets one line.
void TargetRun::sayPhase(Phase phase, const QString& text)
{
    if (m_phase == phase)
        return;
    m_phase = phase;
    if (!m_console.isTerminal())
        say(text);
}

QString TargetRun::channelText() const
{
    const PortAddress& port = m_setup.target.port;
    switch (port.kind) {
    case PortAddress::Kind::Com:
        return QStringLiteral("COM %1 %2").arg(port.comNumber).arg(m_device);
    case PortAddress::Kind::Device:
        return port.device;
    case PortAddress::Kind::Tcp:
        break;
    }
    return QStringLiteral("%1:%2").arg(port.host).arg(port.tcpPort);
}

ExitCode TargetRun::exitCode() const
{
    if (m_outcome == QLatin1String("stored"))
        return ExitStored;
    if (m_outcome == QLatin1String("lost"))
        return ExitChannel;
    return ExitNotStored;
}

void TargetRun::start()
{
    if (m_phase != Phase::Waiting)
        return;
    m_startTime = QDateTime::currentDateTime();
    m_clock.start();
    if (m_cancelRequested) {
        end(QStringLiteral("cancelled"), QString());
        return;
    }
    if (m_setup.target.port.isSerial())
        openSerial();
    else
        openTcp();
}

void TargetRun::openSerial()
{
    const PortAddress& address = m_setup.target.port;
    const SettingsStore settings(m_setup.settingsPath);
    auto port = std::make_unique<SerialPort>();
    // COM k is the device the window's settings name for it, as in the window; a device path
    // stands in for COM 1.
    ChannelManager::applyPortSettings(settings, *port);
    const int comNumber = address.kind == PortAddress::Kind::Com ? address.comNumber : 1;
    if (address.kind != PortAddress::Kind::Com)
        port->setPortName(comNumber, address.device);
    port->setCommPort(comNumber);
    m_device = port->devicePath();
    port->setSettings(ChannelManager::lineSettingsText(m_setup.target.baud));
    sayPhase(Phase::Opening,
             QStringLiteral("opening %1 at %2 baud").arg(channelText()).arg(m_setup.target.baud));
    const int error = port->setPortOpen(true);
    if (error != SerialPort::kNoError) {
        end(QStringLiteral("lost"),
            QStringLiteral("Port Error: ") + portFailureText(error, m_device));
        return;
    }
    m_channel = std::move(port);
    onChannelOpen();
}

void TargetRun::openTcp()
{
    const PortAddress& address = m_setup.target.port;
    auto client = std::make_unique<TcpClient>();
    client->setRemoteHost(address.host);
    client->setRemotePort(address.tcpPort);
    connect(client.get(), &TcpClient::connected, this, [this] {
        m_connectLimit.stop();
        if (m_phase == Phase::Opening)
            onChannelOpen();
    });
    connect(client.get(), &TcpClient::errorOccurred, this, &TargetRun::onTcpError);
    sayPhase(Phase::Opening, QStringLiteral("connecting to %1").arg(channelText()));
    m_channel = std::move(client);
    m_connectLimit.start();
    static_cast<TcpClient*>(m_channel.get())->connectToIndicator();
}

void TargetRun::onTcpError(int number, const QString& description)
{
    // Once connected, a failure reaches the query or the download through the exchange.
    if (m_phase != Phase::Opening)
        return;
    m_connectLimit.stop();
    end(QStringLiteral("lost"),
        QStringLiteral("TCP/IP ERROR: %1 could not be reached: %2 (error %3)")
            .arg(channelText(), description)
            .arg(number));
}

void TargetRun::onChannelOpen()
{
    if (m_cancelRequested) {
        end(QStringLiteral("cancelled"), QString());
        return;
    }
    m_exchange.setChannel(m_channel.get());
    m_exchange.resetLine();
    sayPhase(Phase::Querying, QStringLiteral("asking for the version and serial number"));
    m_query.start();
}

void TargetRun::onQueryFinished(bool ok)
{
    if (m_phase != Phase::Querying)
        return;
    if (!ok) {
        switch (m_exchange.lastFailure()) {
        case CommandExchange::Failure::ChannelLost: {
            QString text = (m_setup.target.port.isSerial() ? QStringLiteral("Port Error: ")
                                                           : QStringLiteral("TCP/IP ERROR: ")) +
                           QStringLiteral("The connection to the indicator at %1 was lost.")
                               .arg(channelText());
            if (!m_exchange.lostReason().isEmpty())
                text += u' ' + m_exchange.lostReason();
            end(QStringLiteral("lost"), text);
            return;
        }
        case CommandExchange::Failure::Nak:
            end(QStringLiteral("refused"),
                QStringLiteral("Communication Error: Indicator does not respond"));
            return;
        default:
            end(QStringLiteral("stopped"),
                QStringLiteral("Communication Error: Indicator does not respond"));
            return;
        }
    }
    if (m_setup.task == Task::Query) {
        end(QStringLiteral("stored"), QString());
        return;
    }
    say(QStringLiteral("SW-Version: %1, Serial-Number: %2").arg(m_version, m_serial));
    if (m_cancelRequested) {
        end(QStringLiteral("cancelled"), QString());
        return;
    }
    startDownload();
}

void TargetRun::startDownload()
{
    const Tickets& tickets = *m_setup.tickets;
    // The downloader lays out the same plan; its size is what the progress line counts against.
    const DownloadPlan plan = makeDownloadPlan(tickets.contents);
    m_totalBytes = plan.totalBytes();
    m_totalCommands = int(plan.allCommands().size());
    // The record counts from here, as the window's does: the query is not the download.
    m_downloadStarted = true;
    m_startTime = QDateTime::currentDateTime();
    m_retriesBefore = m_exchange.retryCount();
    m_downloadClock.start();
    m_downloader.start(tickets.contents);
}

void TargetRun::onStatusText(const QString& text)
{
    // The pointer table is updated twice: cleared before the data, written after it.
    if (text.startsWith(QLatin1String("Update pointers"))) {
        if (m_phase == Phase::Querying)
            sayPhase(Phase::Clearing, QStringLiteral("clearing the pointer table"));
        else
            sayPhase(Phase::Pointers, QStringLiteral("writing the pointer table"));
    }
}

void TargetRun::onDownloadFinished()
{
    if (m_phase == Phase::Done)
        return;
    // The downloader has shown its own messages already.
    end(outcomeName(m_downloader.outcome()), QString());
}

QString TargetRun::slotsText(bool stored) const
{
    QStringList numbers;
    for (int s = 1; s <= SlotTable::kSlotCount; ++s) {
        if (m_setup.tickets && !m_setup.tickets->contents[s - 1].isEmpty() &&
            (m_downloader.outcome() != Downloader::Outcome::None && m_downloader.slotStored(s)) ==
                stored)
            numbers.append(QString::number(s));
    }
    if (numbers.isEmpty())
        return {};
    return (numbers.size() == 1 ? QStringLiteral("slot ") : QStringLiteral("slots ")) +
           numbers.join(QStringLiteral(", "));
}

void TargetRun::closeChannel()
{
    m_connectLimit.stop();
    if (!m_channel)
        return;
    if (auto* port = qobject_cast<SerialPort*>(m_channel.get()))
        port->setPortOpen(false);
    else if (auto* client = qobject_cast<TcpClient*>(m_channel.get()))
        client->close();
}

void TargetRun::end(const QString& outcome, const QString& message)
{
    if (m_phase == Phase::Done)
        return;
    m_phase = Phase::Done;
    m_outcome = outcome;
    closeChannel();
    const qint64 elapsed =
        m_downloadStarted ? m_downloadClock.elapsed() : (m_clock.isValid() ? m_clock.elapsed() : 0);
    m_seconds = double(elapsed) / 1000.0;

    if (m_setup.task == Task::Download) {
        // A run that ended before the download holds every slot unstored and no commands.
        m_record = DownloadRecord::fromDownload(m_downloader,
                                                int(m_exchange.retryCount() - m_retriesBefore),
                                                m_setup.tickets->contents, m_setup.tickets->paths);
        m_record.outcome = outcome;
        m_record.time = m_startTime;
        m_record.channel = channelText();
        m_record.baud = m_setup.target.port.isSerial() ? m_setup.target.baud : 0;
        m_record.version = m_version;
        m_record.serial = m_serial;
        m_record.seconds = m_seconds;
    }

    // The message that ended it first, as the window would have shown it, then the outcome.
    if (!message.isEmpty())
        say(message);
    if (m_setup.task == Task::Download) {
        const bool stored = outcome == QLatin1String("stored");
        QString line =
            outcome + QStringLiteral(": ") +
            (stored ? slotsText(true) : slotsText(false) + QStringLiteral(" not stored"));
        if (m_downloadStarted)
            line += QStringLiteral("; %1 commands, %2 retries, %3 s")
                        .arg(m_record.commands)
                        .arg(m_record.retries)
                        .arg(m_seconds, 0, 'f', 2);
        say(line);
    }
    emit finished();
}

void TargetRun::cancel()
{
    if (m_phase == Phase::Done)
        return;
    m_cancelRequested = true;
    switch (m_phase) {
    case Phase::Opening:
        end(QStringLiteral("cancelled"), QString());
        break;
    case Phase::Clearing:
    case Phase::Data:
    case Phase::Pointers:
        m_downloader.cancel();
        break;
    case Phase::Waiting:  // start() ends it
    case Phase::Querying: // ends when the query has its answer
    case Phase::Done:
        break;
    }
}

QString TargetRun::progressLine() const
{
    QString line;
    if (!m_setup.target.name.isEmpty())
        line = m_setup.target.name.leftJustified(m_setup.nameWidth) + QStringLiteral("  ");
    switch (m_phase) {
    case Phase::Waiting:
    case Phase::Done:
        return {};
    case Phase::Opening:
        return line + (m_setup.target.port.isSerial() ? QStringLiteral("opening %1")
                                                      : QStringLiteral("connecting to %1"))
                          .arg(channelText());
    case Phase::Querying:
        return line + QStringLiteral("asking for the version and serial number");
    case Phase::Clearing:
    case Phase::Data:
    case Phase::Pointers:
        break;
    }
    const qint32 bytes =
        m_phase == Phase::Clearing
            ? 0
            : (m_phase == Phase::Pointers
                   ? m_totalBytes
                   : std::min(m_totalBytes, m_position + DownloadPlan::kBlockSize - 1));
    const int sent = m_downloader.commandsSent();
    const double elapsed = double(m_downloadClock.elapsed()) / 1000.0;
    const double rate = elapsed > 0 ? sent / elapsed : 0;
    line += QStringLiteral("%1/%2 bytes")
                .arg(bytes, QString::number(m_totalBytes).size())
                .arg(m_totalBytes);
    line += QStringLiteral("  %1 exch/s").arg(qint64(std::lround(rate)), 6);
    line += QStringLiteral("  %1 left")
                .arg(rate > 0 ? DownloadProgress::durationText(
                                    qint64(std::ceil((m_totalCommands - sent) / rate)))
                              : QStringLiteral("-:--"));
    return line;
}

} // namespace Cli
