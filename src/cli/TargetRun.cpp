#include "cli/TargetRun.h"

#include "cli/Console.h"
#include "cli/TerminalTexts.h"
#include "platform/SettingsStore.h"
#include "platform/TextRoutines.h"
#include "ticket/DownloadProgress.h"

#include <cmath>

namespace Cli {

namespace {
const QString kAskingText = QStringLiteral("asking for the version and serial number");
}

TargetRun::TargetRun(Setup setup, Console& console, QObject* parent)
    : QObject(parent)
    , m_setup(std::move(setup))
    , m_console(console)
{
    // Only a serial port needs the settings' device names; a fleet of thousands reads no file for
    // its network rows.
    if (m_setup.target.port.isSerial())
        m_session.setComPorts(ComPorts::fromSettings(SettingsStore(m_setup.settingsPath)));
    m_session.setAddress(m_setup.target.port);
    m_session.setTlsTrust(m_setup.target.tls);
    m_session.setLineSettings(LineSettings::at(m_setup.target.baud));
    m_session.setConnectLimit(kConnectLimit);
    m_session.setLogName(m_setup.target.name);
    m_session.recorder().setPath(m_setup.recordPath);
    // The failure that ended a run is told as the window tells it, title first.
    connect(&m_session, &IndicatorSession::failed, this,
            [this](const SessionFailure& failure) { say(TerminalTexts::failure(failure)); });
    connect(&m_session, &IndicatorSession::stateChanged, this, [this](IndicatorSession::State s) {
        if (s == IndicatorSession::State::Open)
            sayPhase(Phase::Querying, kAskingText);
    });
    // The serial number is the query's last answer: told before the download that follows.
    connect(&m_session, &IndicatorSession::serialReceived, this, [this] {
        if (m_setup.task != Task::Download)
            return;
        // The query is over: its line is not drawn again under the answer.
        m_phase = Phase::Queried;
        say(QStringLiteral("SW-Version: %1, Serial-Number: %2").arg(version(), serial()));
    });
    // A record that cannot be written never fails the download; the technician is told.
    connect(&m_session.recorder(), &DownloadRecorder::notWritten, this,
            [this](const QString& error) { say(error); });
    Downloader& downloader = m_session.downloader();
    connect(&downloader, &Downloader::notice, this,
            [this](const DownloadNotice& notice) { say(TerminalTexts::notice(notice)); });
    connect(&downloader, &Downloader::phaseChanged, this, &TargetRun::onPhase);
    connect(&downloader, &Downloader::blockDone, this,
            [this](qint32, qint32 bytesDone) { m_bytesDone = bytesDone; });
    // Queued: the session ends its run inside its own handlers, and the run may be deleted after.
    connect(&m_run, &SessionRun::finished, this, &TargetRun::onRunFinished, Qt::QueuedConnection);
    if (m_setup.stored) {
        m_run.setSkipCheck([this] {
            return m_setup.stored->holds(m_session.channelDescription(), serial(),
                                         tickets().hashed);
        });
    }
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &TargetRun::readyToRetry);
}

TargetRun::~TargetRun() = default;

QString TargetRun::prefix() const
{
    return m_setup.target.name.isEmpty() ? QString() : m_setup.target.name + QStringLiteral(": ");
}

QString TargetRun::openingText() const
{
    return (m_setup.target.port.isSerial() ? QStringLiteral("opening %1")
                                           : QStringLiteral("connecting to %1"))
        .arg(m_session.channelDescription());
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

void TargetRun::start()
{
    if (m_phase != Phase::Waiting && m_phase != Phase::Resting)
        return;
    ++m_tries;
    QString text = openingText();
    if (m_setup.target.port.takesRate())
        text += QStringLiteral(" at %1 baud").arg(m_setup.target.baud);
    if (m_tries > 1)
        text += QStringLiteral(" (try %1 of %2)")
                    .arg(QString::number(m_tries), QString::number(m_setup.retries + 1));
    sayPhase(Phase::Opening, text);
    m_run.start(m_setup.task, tickets().contents, tickets().paths);
}

const Tickets& TargetRun::tickets() const
{
    static const Tickets none;
    return m_setup.tickets ? *m_setup.tickets : none;
}

void TargetRun::cancel()
{
    m_cancelled = true;
    if (m_phase == Phase::Resting) {
        m_retryTimer.stop();
        m_phase = Phase::Done;
        QMetaObject::invokeMethod(this, &TargetRun::finished, Qt::QueuedConnection);
        return;
    }
    m_run.cancel();
}

void TargetRun::skipCancelled()
{
    if (m_phase != Phase::Waiting)
        return;
    m_run.endUnstarted(Outcome::Cancelled, tickets().contents, tickets().paths);
}

void TargetRun::onPhase(Downloader::Phase phase)
{
    switch (phase) {
    case Downloader::Phase::Preparing:
        break;
    case Downloader::Phase::Clearing:
        sayPhase(Phase::Clearing, QStringLiteral("clearing the pointer table"));
        break;
    case Downloader::Phase::Data:
        sayPhase(Phase::Data,
                 QStringLiteral("sending ") +
                     TerminalTexts::counted(m_session.downloader().totalBytes(),
                                            QStringLiteral("byte"), QStringLiteral("bytes")));
        break;
    case Downloader::Phase::Pointers:
        sayPhase(Phase::Pointers, QStringLiteral("writing the pointer table"));
        break;
    }
}

QString TargetRun::slotsText(bool stored) const
{
    QStringList numbers;
    for (const DownloadRecord::Slot& slot : record().tickets) {
        if (slot.stored == stored)
            numbers.append(QString::number(slot.slot));
    }
    if (numbers.isEmpty())
        return {};
    return (numbers.size() == 1 ? QStringLiteral("slot ") : QStringLiteral("slots ")) +
           numbers.join(QStringLiteral(", "));
}

// The slots given an empty file: a download clears them as it clears every slot it sends
// nothing to.
QString TargetRun::emptySlotsText() const
{
    QStringList numbers;
    for (int s = 1; m_setup.tickets && s <= SlotTable::kSlotCount; ++s) {
        if (!m_setup.tickets->paths[s - 1].isEmpty() && m_setup.tickets->contents[s - 1].isEmpty())
            numbers.append(QString::number(s));
    }
    if (numbers.isEmpty())
        return {};
    const bool one = numbers.size() == 1;
    const QString named = (one ? QStringLiteral("slot ") : QStringLiteral("slots ")) +
                          numbers.join(QStringLiteral(", "));
    const QString why =
        one ? QStringLiteral("its file is empty") : QStringLiteral("their files are empty");
    return (outcome() == Outcome::Stored ? QStringLiteral("; %1 cleared: %2")
                                         : QStringLiteral("; %1: %2"))
        .arg(named, why);
}

// How the try ended: the outcome, the slots it concerns, and what it cost.
QString TargetRun::endLine() const
{
    if (outcome() == Outcome::AlreadyStored)
        return Outcomes::word(outcome()) + QStringLiteral(": ") + slotsText(true) +
               QStringLiteral(" as the record shows; nothing written");
    const bool stored = outcome() == Outcome::Stored;
    QString line = Outcomes::word(outcome()) + QStringLiteral(": ") +
                   (stored ? slotsText(true) : slotsText(false) + QStringLiteral(" not stored")) +
                   emptySlotsText();
    if (record().commands > 0)
        line += QStringLiteral("; %1, %2, %3 s")
                    .arg(TerminalTexts::counted(record().commands, QStringLiteral("command"),
                                                QStringLiteral("commands")),
                         TerminalTexts::counted(record().retries, QStringLiteral("retry"),
                                                QStringLiteral("retries")),
                         QString::number(record().seconds, 'f', 2));
    return line;
}

void TargetRun::onRunFinished()
{
    if (m_phase == Phase::Done || m_phase == Phase::Resting)
        return;
    const bool again = m_setup.task == Task::Download && !m_cancelled &&
                       m_tries <= m_setup.retries && m_run.mayTryAgain();
    // The phase first: the progress block drawn under the line no longer shows this try.
    m_phase = again ? Phase::Resting : Phase::Done;
    if (again)
        m_retryTimer.start(m_setup.retryAfter);
    if (m_setup.task == Task::Download) {
        QString line = endLine();
        if (again)
            line += QStringLiteral("; trying again in %1 s")
                        .arg(QString::number(double(m_setup.retryAfter.count()) / 1000.0));
        say(line);
    }
    if (again)
        emit resting();
    else
        emit finished();
}

// Bytes sent of the total, exchanges a second, and the time left at the rate so far.
QString TargetRun::transferLine() const
{
    const Downloader& downloader = m_session.downloader();
    const qint32 total = downloader.totalBytes();
    const qint32 bytes = m_phase == Phase::Clearing   ? 0
                         : m_phase == Phase::Pointers ? total
                                                      : m_bytesDone;
    const std::chrono::milliseconds clock = downloader.elapsed();
    const double elapsed = double(clock.count()) / 1000.0;
    const int exchanges = downloader.commandsSent() + downloader.probesSent();
    const double rate = elapsed > 0 ? exchanges / elapsed : 0;
    const std::optional<qint64> left = DownloadProgress::secondsLeft(bytes, total, clock);
    const QString totalText = QString::number(total);
    return QStringLiteral("%1/%2 bytes  %3 exch/s  %4 left")
        .arg(QString::number(bytes).rightJustified(totalText.size()), totalText,
             QString::number(qint64(std::lround(rate))).rightJustified(6),
             left ? DownloadProgress::durationText(*left) : QStringLiteral("-:--"));
}

QString TargetRun::progressLine(int nameWidth) const
{
    QString line;
    if (!m_setup.target.name.isEmpty())
        line = TextRoutines::cutText(TextRoutines::describeControls(m_setup.target.name), nameWidth)
                   .leftJustified(nameWidth) +
               QStringLiteral("  ");
    switch (m_phase) {
    case Phase::Waiting:
    case Phase::Queried:
    case Phase::Done:
        return {};
    case Phase::Resting:
        return line + QStringLiteral("try %1 of %2 in %3 s")
                          .arg(QString::number(m_tries + 1), QString::number(m_setup.retries + 1),
                               QString::number((m_retryTimer.remainingTime() + 999) / 1000));
    case Phase::Opening:
        return line + openingText();
    case Phase::Querying:
        return line + kAskingText;
    case Phase::Clearing:
    case Phase::Data:
    case Phase::Pointers:
        break;
    }
    return line + transferLine();
}

} // namespace Cli
