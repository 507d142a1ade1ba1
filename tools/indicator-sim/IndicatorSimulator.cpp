#include "IndicatorSimulator.h"

#include "Protocol.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr qint64 NsPerSecond = 1'000'000'000;
constexpr qint64 NsPerMs = 1'000'000;
constexpr quint64 BitsPerByte = 10; // start bit, 8 data bits, stop bit
constexpr int ReadChunk = 4096;
// Longer lines cannot be commands; the cap keeps a stream without CR from growing the buffer.
constexpr int MaxLineLength = 1024;
constexpr int ListenBacklog = 8;
// The name processLine() logs under.
constexpr char CallName[] = "call";

qint64 monotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * NsPerSecond + ts.tv_nsec;
}

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit())
        return true;
    return fail(error, QStringLiteral("%1: %2").arg(path, f.errorString()));
}

// One direction of a serial line. Deadlines are derived from an anchor and a byte count, so
// rounding to nanoseconds never accumulates; the anchor moves only when the line falls idle.
struct WireClock {
    qint64 anchorNs = 0;
    quint64 bytes = 0;

    qint64 deadline(int baud) const
    {
        return anchorNs + qint64(bytes * BitsPerByte * NsPerSecond / quint64(baud));
    }
    // n bytes that start no earlier than earliestNs, after those already on the line; returns
    // the moment the last of them has crossed.
    qint64 push(qint64 earliestNs, quint64 n, int baud)
    {
        if (deadline(baud) <= earliestNs) {
            anchorNs = earliestNs;
            bytes = 0;
        }
        bytes += n;
        return deadline(baud);
    }
};

// The rate a pseudo-terminal's line is set to, read on the master: the two ends share their
// settings. 0 when it cannot be read or is no standard rate.
int lineRate(int ptyMaster)
{
    static constexpr std::pair<speed_t, int> rates[] = {
        {B1200, 1200},     {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
        {B19200, 19200},   {B38400, 38400},   {B57600, 57600},  {B115200, 115200},
        {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    termios tio{};
    if (::tcgetattr(ptyMaster, &tio) != 0)
        return 0;
    const speed_t speed = ::cfgetospeed(&tio);
    for (const auto& [code, rate] : rates) {
        if (code == speed)
            return rate;
    }
    return 0;
}

} // namespace

struct IndicatorSimulator::Link {
    enum class Kind { Pty, Tcp };
    struct Pending {
        qint64 dueNs;
        QByteArray bytes;
        QByteArray line; // the line answered, for the record
        bool answer;
        bool hangUp;
    };

    Kind kind = Kind::Pty;
    int id = 0;
    int fd = -1;
    // Held open so the master never sees POLLHUP/EIO while no client has the slave open.
    int slaveFd = -1;
    QString path;
    QByteArray line;
    QByteArray held; // received during a stall, not yet looked at
    IndicatorCore::Session session;
    WireClock in;
    WireClock out;
    std::deque<Pending> pending;
    QByteArray outBuf;
    bool dropping = false; // hang-up decided: further input is ignored
    bool closing = false;  // hang up once outBuf is written
    bool closed = false;

    QByteArray name() const
    {
        return kind == Kind::Pty ? QByteArray("pty") : "tcp#" + QByteArray::number(id);
    }
};

struct IndicatorSimulator::Outcome {
    QByteArray line;
    QByteArray reply;
    QByteArray chatter; // sent right after the reply
    QByteArray trailer; // the reply's late LF
    bool duplicate = false;
    qint64 lateNs = 0;
    bool answered = false;
    bool hangUp = false;
};

struct IndicatorSimulator::Events {
    QList<QByteArray> lines;
    int tablesComplete = 0;
    bool hungUp = false;
};

IndicatorSimulator::IndicatorSimulator(QObject* parent)
    : QObject(parent)
{
}

IndicatorSimulator::~IndicatorSimulator()
{
    stop();
}

bool IndicatorSimulator::startPty(QString* error)
{
    termios tio{};
    ::cfmakeraw(&tio);
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, &tio, nullptr) != 0)
        return fail(error, systemError("openpty"));
    char name[256];
    if (::ptsname_r(master, name, sizeof name) != 0) {
        const QString text = systemError("ptsname");
        ::close(master);
        ::close(slave);
        return fail(error, text);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    auto link = std::make_unique<Link>();
    link->kind = Link::Kind::Pty;
    link->fd = master;
    link->slaveFd = slave;
    link->path = QString::fromLocal8Bit(name);
    {
        QMutexLocker lock(&m_mutex);
        m_ptyPath = link->path;
        m_ptyAlive = true;
        m_ptyMaster = master;
        m_incoming.push_back(std::move(link));
    }
    ensureThread();
    wake();
    return true;
}

QString IndicatorSimulator::ptyPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_ptyPath;
}

int IndicatorSimulator::ptyBaudRate() const
{
    QMutexLocker lock(&m_mutex);
    return m_ptyAlive ? lineRate(m_ptyMaster) : 0;
}

bool IndicatorSimulator::setLink(const QString& path, QString* error)
{
    QMutexLocker lock(&m_mutex);
    if (!m_ptyAlive)
        return fail(error, QStringLiteral("no pseudo-terminal to link to"));
    removeLinkLocked();
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            return fail(error, QStringLiteral("%1 exists and is not a symbolic link").arg(path));
        if (::unlink(native.constData()) != 0)
            return fail(error, systemError("unlink"));
    }
    if (::symlink(QFile::encodeName(m_ptyPath).constData(), native.constData()) != 0)
        return fail(error, systemError("symlink"));
    m_linkPath = path;
    m_linkTarget = m_ptyPath;
    return true;
}

QString IndicatorSimulator::linkPath() const
{
    QMutexLocker lock(&m_mutex);
    return m_linkPath;
}

bool IndicatorSimulator::startTcp(quint16 port, QString* error)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_listenFd >= 0)
            return fail(error, QStringLiteral("already listening on port %1").arg(m_tcpPort));
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(error, systemError("socket"));
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, ListenBacklog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const QString text = systemError("tcp");
        ::close(fd);
        return fail(error, text);
    }
    {
        QMutexLocker lock(&m_mutex);
        m_listenFd = fd;
        m_tcpPort = ntohs(addr.sin_port);
    }
    ensureThread();
    wake();
    return true;
}

quint16 IndicatorSimulator::tcpPort() const
{
    QMutexLocker lock(&m_mutex);
    return m_tcpPort;
}

bool IndicatorSimulator::isRunning() const
{
    return m_thread.joinable();
}

void IndicatorSimulator::stop()
{
    const bool wasRunning = m_thread.joinable();
    if (wasRunning) {
        {
            QMutexLocker lock(&m_mutex);
            m_quit = true;
        }
        wake();
        m_thread.join();
        ::close(m_wakeFd);
        ::close(m_timerFd);
        m_wakeFd = m_timerFd = -1;
    }
    QMutexLocker lock(&m_mutex);
    m_quit = false;
    m_hangUpRequested = false;
    // The held bytes went with the links; a new start must not begin stalled.
    if (m_stall == Stall::Holding)
        m_stall = Stall::Over;
    m_resumeNs = 0;
    if (m_restart == Restart::Deaf)
        m_restart = Restart::Over;
    for (auto& link : m_incoming) {
        ::close(link->fd);
        ::close(link->slaveFd);
    }
    m_incoming.clear();
    m_ptyAlive = false;
    m_ptyMaster = -1;
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
    m_tcpPort = 0;
    removeLinkLocked();
    QString error;
    if (!m_dumpDir.isEmpty() && (wasRunning || m_changedSinceDump) && !dumpLocked(&error))
        qWarning("indicator-sim: dump failed: %s", qPrintable(error));
}

void IndicatorSimulator::hangUp()
{
    if (!m_thread.joinable())
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_hangUpRequested = true;
    }
    wake();
}

void IndicatorSimulator::setFaults(const Faults& faults)
{
    QMutexLocker lock(&m_mutex);
    // A new stall arms again even after one ended; other changes leave it be.
    const bool newStall = faults.stallAfter != m_core.faults().stallAfter ||
                          faults.resumeAfterMs != m_core.faults().resumeAfterMs;
    const bool newRestart = faults.restartAfter != m_core.faults().restartAfter;
    m_core.setFaults(faults);
    if (newStall && m_stall == Stall::Over)
        m_stall = Stall::Armed;
    if (newRestart && m_restart == Restart::Over)
        m_restart = Restart::Armed;
}

Faults IndicatorSimulator::faults() const
{
    QMutexLocker lock(&m_mutex);
    return m_core.faults();
}

void IndicatorSimulator::setDumpDir(const QString& dir)
{
    QMutexLocker lock(&m_mutex);
    m_dumpDir = dir;
}

void IndicatorSimulator::setVerbose(bool on)
{
    QMutexLocker lock(&m_mutex);
    m_verbose = on;
}

QByteArray IndicatorSimulator::memory() const
{
    QMutexLocker lock(&m_mutex);
    return m_core.memory();
}

QByteArray IndicatorSimulator::slot(int s) const
{
    QMutexLocker lock(&m_mutex);
    return m_core.slot(s);
}

Counters IndicatorSimulator::counters() const
{
    QMutexLocker lock(&m_mutex);
    return m_core.counters();
}

QList<QByteArray> IndicatorSimulator::commandLines() const
{
    QMutexLocker lock(&m_mutex);
    return m_core.commandLines();
}

QList<Answer> IndicatorSimulator::answers() const
{
    QMutexLocker lock(&m_mutex);
    return m_core.answers();
}

void IndicatorSimulator::resetRecord()
{
    QMutexLocker lock(&m_mutex);
    m_core.resetRecord();
    // The faults that count or fire once start afresh, as --silent-after does.
    m_lateDone.clear();
    if (m_stall == Stall::Over)
        m_stall = Stall::Armed;
    if (m_restart == Restart::Over)
        m_restart = Restart::Armed;
}

QByteArray IndicatorSimulator::processLine(const QByteArray& line)
{
    Events events;
    QByteArray reply;
    {
        QMutexLocker lock(&m_mutex);
        m_core.countIn(quint64(line.size()) + 1);
        // The core's own session: nothing here can hang up, and nothing is timed.
        const IndicatorCore::Outcome outcome = decide(CallName, line, nullptr, events);
        if (outcome.answered) {
            // No clock here: a late LF and a late copy follow at once.
            const QByteArray whole = outcome.reply + outcome.trailer;
            m_core.recordAnswer(line, whole);
            reply = whole;
            if (outcome.duplicate) {
                m_core.recordAnswer(line, whole);
                reply += whole;
            }
            if (!outcome.chatter.isEmpty())
                m_core.recordAnswer({}, outcome.chatter);
            reply += outcome.chatter;
            m_core.countOut(quint64(reply.size()));
        }
    }
    emitEvents(events);
    return reply;
}

QByteArray IndicatorSimulator::handleLine(const QByteArray& line, QByteArray& memory,
                                          const QByteArray& version, const QByteArray& serial)
{
    return protocol::handleLine(line, memory, version, serial);
}

bool IndicatorSimulator::dump(QString* error)
{
    QMutexLocker lock(&m_mutex);
    if (m_dumpDir.isEmpty())
        return fail(error, QStringLiteral("no dump directory set"));
    return dumpLocked(error);
}

bool IndicatorSimulator::dumpLocked(QString* error)
{
    if (!QDir().mkpath(m_dumpDir))
        return fail(error, QStringLiteral("cannot create %1").arg(m_dumpDir));
    const QDir dir(m_dumpDir);
    if (!writeFile(dir.filePath(QStringLiteral("memory.bin")), m_core.memory(), error))
        return false;
    for (int s = 1; s <= protocol::SlotCount; ++s) {
        const QString path = dir.filePath(QStringLiteral("slot%1.bin").arg(s));
        const QByteArray bytes = m_core.slot(s);
        // A file left from an earlier dump would contradict the table now held.
        if (bytes.isEmpty()) {
            if (QFile::exists(path) && !QFile::remove(path))
                return fail(error, QStringLiteral("cannot remove %1").arg(path));
        } else if (!writeFile(path, bytes, error)) {
            return false;
        }
    }
    m_changedSinceDump = false;
    return true;
}

void IndicatorSimulator::ensureThread()
{
    if (m_thread.joinable())
        return;
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    m_thread = std::thread([this] { run(); });
}

void IndicatorSimulator::wake()
{
    const quint64 one = 1;
    if (m_wakeFd >= 0 && ::write(m_wakeFd, &one, sizeof one) < 0 && errno != EAGAIN)
        qWarning("indicator-sim: wake-up failed: %s", strerror(errno));
}

void IndicatorSimulator::run()
{
    // Wire emulation needs wake-ups at the deadline, not up to the default 50 µs slack later.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<pollfd> fds;
    for (;;) {
        Events events;
        int listenFd = -1;
        {
            QMutexLocker lock(&m_mutex);
            if (m_quit)
                break;
            for (auto& link : m_incoming)
                m_links.push_back(std::move(link));
            m_incoming.clear();
            if (std::exchange(m_hangUpRequested, false)) {
                for (auto& link : m_links)
                    closeLink(*link, true, events);
            }
            std::erase_if(m_links, [](const auto& link) { return link->closed; });
            armTimer();
            listenFd = m_listenFd;
            fds.clear();
            fds.push_back({m_wakeFd, POLLIN, 0});
            fds.push_back({m_timerFd, POLLIN, 0});
            fds.push_back({listenFd, POLLIN, 0}); // a negative fd is skipped by poll()
            for (const auto& link : m_links) {
                const short out = link->outBuf.isEmpty() ? 0 : POLLOUT;
                fds.push_back({link->fd, short(POLLIN | out), 0});
            }
        }
        emitEvents(events);
        events = {};

        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            qWarning("indicator-sim: poll failed: %s", strerror(errno));
            break;
        }
        quint64 drained = 0;
        if (fds[0].revents && ::read(m_wakeFd, &drained, sizeof drained) < 0 && errno != EAGAIN)
            qWarning("indicator-sim: wake-up read failed: %s", strerror(errno));
        if (fds[1].revents && ::read(m_timerFd, &drained, sizeof drained) < 0 && errno != EAGAIN)
            qWarning("indicator-sim: timer read failed: %s", strerror(errno));
        {
            QMutexLocker lock(&m_mutex);
            constexpr size_t firstLink = 3;
            for (size_t i = 0; i + firstLink < fds.size(); ++i)
                serviceLink(*m_links[i], fds[i + firstLink].revents, events);
            if (listenFd >= 0 && (fds[2].revents & POLLIN))
                acceptClients(listenFd);
            const qint64 now = monotonicNs();
            resumeIfDue(now, events);
            endRestartIfDue(now);
            for (auto& link : m_links) {
                if (link->closed)
                    continue;
                releaseDue(*link, now);
                flush(*link);
                if (link->closing && (link->outBuf.isEmpty() || link->closed))
                    closeLink(*link, true, events);
            }
        }
        emitEvents(events);
    }
    QMutexLocker lock(&m_mutex);
    Events ignored;
    for (auto& link : m_links)
        closeLink(*link, false, ignored);
    m_links.clear();
}

void IndicatorSimulator::serviceLink(Link& link, short revents, Events& events)
{
    if (link.closed)
        return;
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[ReadChunk];
        const ssize_t n = ::read(link.fd, buf, sizeof buf);
        if (n > 0) {
            receive(link, buf, n, monotonicNs(), events);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The client went away; only a hang-up of our own is signalled.
            log(link.name(), "--", "(closed by the client)");
            closeLink(link, false, events);
            return;
        }
    }
    if (revents & POLLOUT)
        flush(link);
}

void IndicatorSimulator::acceptClients(int listenFd)
{
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto link = std::make_unique<Link>();
        link->kind = Link::Kind::Tcp;
        link->fd = fd;
        link->id = m_nextLinkId++;
        log(link->name(), "--", "(connected)");
        m_links.push_back(std::move(link));
    }
}

void IndicatorSimulator::receive(Link& link, const char* bytes, qint64 n, qint64 nowNs,
                                 Events& events)
{
    m_core.countIn(quint64(n));
    consume(link, QByteArray(bytes, qsizetype(n)), nowNs, false, events);
}

// Splits bytes into lines and handles them; during a stall the rest is held for resumeIfDue(),
// which hands it back with held set: its wire time is spent already.
void IndicatorSimulator::consume(Link& link, const QByteArray& bytes, qint64 nowNs, bool held,
                                 Events& events)
{
    const Faults& faults = m_core.faults();
    const bool wire = faults.baud > 0 && !held;
    const qint64 n = bytes.size();
    qint64 consumed = 0;
    qint64 i = 0;
    for (; i < n && !link.dropping && !stalled(link); ++i) {
        // A restarting indicator hears nothing.
        if (m_restart == Restart::Deaf) {
            link.line.clear();
            continue;
        }
        const char c = bytes[i];
        if (c == protocol::Lf)
            continue;
        if (c != protocol::Cr) {
            if (link.line.size() < MaxLineLength)
                link.line += c;
            continue;
        }
        const qint64 doneNs =
            wire ? link.in.push(nowNs, quint64(i + 1 - consumed), faults.baud) : nowNs;
        consumed = i + 1;
        const QByteArray line = std::exchange(link.line, QByteArray());
        if (!hearsRate(link, line))
            continue;
        if (restarts(line, nowNs)) {
            log(link.name(), "<-", line + protocol::Cr);
            log(link.name(), "--", "(restarting)");
            continue;
        }
        schedule(link, doneNs, nowNs, handle(link, line, events));
    }
    if (wire && consumed < n)
        link.in.push(nowNs, quint64(n - consumed), faults.baud);
    if (i < n && !link.dropping) {
        link.held += bytes.mid(i);
        // From the first byte held, so that the command after the N-th waits the whole time.
        if (m_resumeNs == 0 && faults.resumeAfterMs >= 0)
            m_resumeNs = nowNs + qint64(faults.resumeAfterMs) * NsPerMs;
    }
}

// Under Faults::expectBaud, a line sent at another rate reaches the indicator as garbage: it is
// neither answered nor recorded. Checked per line, so a client that changes its rate is heard
// from its next line on.
bool IndicatorSimulator::hearsRate(const Link& link, const QByteArray& line) const
{
    const int expected = m_core.faults().expectBaud;
    if (expected <= 0 || link.kind != Link::Kind::Pty)
        return true;
    const int rate = lineRate(link.fd);
    if (rate == expected)
        return true;
    log(link.name(), "<-", line + protocol::Cr);
    log(link.name(), "--",
        QByteArray("(not heard: the line is at ") + QByteArray::number(rate) +
            " baud, the indicator at " + QByteArray::number(expected) + ")");
    return false;
}

// The command after the first Faults::restartAfter starts a restart: it and everything heard
// until the restart ends are lost, and nothing queued leaves any more.
bool IndicatorSimulator::restarts(const QByteArray& line, qint64 nowNs)
{
    const Faults& faults = m_core.faults();
    if (line.isEmpty() || m_restart != Restart::Armed || faults.restartAfter < 0 ||
        m_core.counters().commands < quint64(faults.restartAfter))
        return false;
    m_restart = Restart::Deaf;
    m_restartEndNs = nowNs + qint64(faults.deafMs) * NsPerMs;
    for (auto& link : m_links)
        link->pending.clear();
    return true;
}

void IndicatorSimulator::endRestartIfDue(qint64 nowNs)
{
    if (m_restart != Restart::Deaf || nowNs < m_restartEndNs)
        return;
    m_restart = Restart::Over;
    const QByteArray banner = m_core.banner();
    for (auto& link : m_links) {
        if (link->closed)
            continue;
        log(link->name(), "->", banner);
        link->pending.push_back({nowNs, banner, {}, true, false});
        releaseDue(*link, nowNs);
    }
}

bool IndicatorSimulator::stalled(const Link& link)
{
    const Faults& faults = m_core.faults();
    if (m_stall == Stall::Armed && faults.stallAfter >= 0 &&
        m_core.counters().commands >= quint64(faults.stallAfter)) {
        m_stall = Stall::Holding;
        m_resumeNs = 0;
        log(link.name(), "--", "(stalled)");
    }
    return m_stall == Stall::Holding;
}

void IndicatorSimulator::resumeIfDue(qint64 nowNs, Events& events)
{
    if (m_stall != Stall::Holding || m_resumeNs == 0 || nowNs < m_resumeNs)
        return;
    m_stall = Stall::Over;
    m_resumeNs = 0;
    for (auto& link : m_links) {
        if (link->closed || link->held.isEmpty())
            continue;
        log(link->name(), "--", "(resumed)");
        consume(*link, std::exchange(link->held, QByteArray()), nowNs, true, events);
    }
}

// What every line goes through, on a link or from processLine(): the core's decision, the log,
// and the dump of a complete table.
IndicatorCore::Outcome IndicatorSimulator::decide(const QByteArray& name, const QByteArray& line,
                                                  IndicatorCore::Session* session, Events& events)
{
    events.lines.append(line);
    log(name, "<-", line + protocol::Cr);
    const IndicatorCore::Outcome outcome =
        session ? m_core.handle(line, *session) : m_core.handle(line);
    if (outcome.stored)
        m_changedSinceDump = true;
    if (outcome.tableComplete) {
        ++events.tablesComplete;
        QString error;
        // Before the reply goes out, so that a client holding the ACK finds the files.
        if (!m_dumpDir.isEmpty() && !dumpLocked(&error))
            qWarning("indicator-sim: dump failed: %s", qPrintable(error));
    }
    if (outcome.hangUp) {
        log(name, "--", "(hang-up)");
    } else if (outcome.answered) {
        log(name, "->", outcome.reply);
        if (!outcome.chatter.isEmpty())
            log(name, "->", outcome.chatter);
    } else if (!line.isEmpty()) {
        log(name, "->", "(no answer)");
    }
    return outcome;
}

auto IndicatorSimulator::handle(Link& link, const QByteArray& line, Events& events) -> Outcome
{
    IndicatorCore::Outcome decided = decide(link.name(), line, &link.session, events);
    Outcome outcome;
    outcome.line = line;
    outcome.reply = std::move(decided.reply);
    outcome.chatter = std::move(decided.chatter);
    outcome.trailer = std::move(decided.trailer);
    outcome.duplicate = decided.duplicate;
    outcome.answered = decided.answered;
    outcome.hangUp = decided.hangUp;
    if (decided.hangUp)
        link.dropping = true;
    // Only the first answered write to the address is late, until resetRecord().
    const Faults& faults = m_core.faults();
    if (decided.answered && decided.writeAddress >= 0) {
        const quint16 address = quint16(decided.writeAddress);
        if (faults.lateAt.contains(address) && !m_lateDone.contains(address)) {
            m_lateDone.insert(address);
            outcome.lateNs = qint64(faults.lateAt.value(address)) * NsPerMs;
        }
    }
    return outcome;
}

void IndicatorSimulator::schedule(Link& link, qint64 lineDoneNs, qint64 nowNs, Outcome&& outcome)
{
    const Faults& faults = m_core.faults();
    if (!outcome.answered && !outcome.hangUp)
        return;
    // One line at a time, as from a serial device: nothing overtakes what is queued before it.
    const auto push = [&](qint64 due, QByteArray bytes, const QByteArray& line, bool answer,
                          bool hangUp) {
        if (!bytes.isEmpty() && faults.baud > 0)
            due = link.out.push(due, quint64(bytes.size()), faults.baud);
        if (!link.pending.empty())
            due = std::max(due, link.pending.back().dueNs);
        link.pending.push_back({due, std::move(bytes), line, answer, hangUp});
        return due;
    };
    const qint64 due = lineDoneNs + qint64(faults.delayMs) * NsPerMs + outcome.lateNs;
    QByteArray reply = std::move(outcome.reply);
    // A copy without a delay leaves in the same write as the answer.
    if (outcome.duplicate && faults.duplicateDelayMs == 0 && outcome.trailer.isEmpty())
        reply += reply;
    qint64 last = push(due, reply, outcome.line, outcome.answered, outcome.hangUp);
    if (!outcome.trailer.isEmpty())
        last = push(last + qint64(faults.lfAfterMs) * NsPerMs, outcome.trailer, outcome.line, true,
                    false);
    if (outcome.duplicate && (faults.duplicateDelayMs > 0 || !outcome.trailer.isEmpty())) {
        const qint64 copyDue = last + qint64(faults.duplicateDelayMs) * NsPerMs;
        last = push(copyDue, reply, outcome.line, true, false);
        if (!outcome.trailer.isEmpty())
            last = push(last + qint64(faults.lfAfterMs) * NsPerMs, outcome.trailer, outcome.line,
                        true, false);
    }
    if (!outcome.chatter.isEmpty())
        push(last, std::move(outcome.chatter), {}, true, false);
    releaseDue(link, nowNs);
    flush(link);
}

void IndicatorSimulator::releaseDue(Link& link, qint64 nowNs)
{
    while (!link.pending.empty() && link.pending.front().dueNs <= nowNs) {
        Link::Pending p = std::move(link.pending.front());
        link.pending.pop_front();
        if (p.answer)
            m_core.recordAnswer(p.line, p.bytes);
        link.outBuf += p.bytes;
        if (p.hangUp) {
            link.closing = true;
            link.pending.clear();
        }
    }
}

void IndicatorSimulator::flush(Link& link)
{
    while (!link.closed && !link.outBuf.isEmpty()) {
        const ssize_t n =
            link.kind == Link::Kind::Tcp
                ? ::send(link.fd, link.outBuf.constData(), size_t(link.outBuf.size()), MSG_NOSIGNAL)
                : ::write(link.fd, link.outBuf.constData(), size_t(link.outBuf.size()));
        if (n > 0) {
            m_core.countOut(quint64(n));
            link.outBuf.remove(0, qsizetype(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return; // POLLOUT brings us back
        } else {
            Events ignored;
            closeLink(link, false, ignored);
        }
    }
}

void IndicatorSimulator::closeLink(Link& link, bool signalHangUp, Events& events)
{
    if (link.closed)
        return;
    ::close(link.fd);
    if (link.slaveFd >= 0)
        ::close(link.slaveFd);
    link.fd = link.slaveFd = -1;
    link.closed = true;
    link.pending.clear();
    link.held.clear();
    link.outBuf.clear();
    if (link.kind == Link::Kind::Pty && link.path == m_ptyPath) {
        m_ptyAlive = false;
        m_ptyMaster = -1;
        // An unplugged adapter takes its device name with it.
        if (m_linkTarget == link.path)
            removeLinkLocked();
    }
    if (signalHangUp) {
        events.hungUp = true;
        log(link.name(), "--", "(hung up)");
    }
}

void IndicatorSimulator::armTimer()
{
    qint64 next = 0;
    for (const auto& link : m_links) {
        if (!link->closed && !link->pending.empty()) {
            const qint64 due = link->pending.front().dueNs;
            next = next == 0 ? due : std::min(next, due);
        }
    }
    if (m_stall == Stall::Holding && m_resumeNs > 0)
        next = next == 0 ? m_resumeNs : std::min(next, m_resumeNs);
    if (m_restart == Restart::Deaf)
        next = next == 0 ? m_restartEndNs : std::min(next, m_restartEndNs);
    itimerspec wakeAt{};
    // An all-zero value disarms; a due time is never zero on CLOCK_MONOTONIC.
    wakeAt.it_value.tv_sec = time_t(next / NsPerSecond);
    wakeAt.it_value.tv_nsec = long(next % NsPerSecond);
    ::timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &wakeAt, nullptr);
}

void IndicatorSimulator::emitEvents(const Events& events)
{
    for (const QByteArray& line : events.lines)
        emit lineReceived(line);
    for (int i = 0; i < events.tablesComplete; ++i)
        emit pointerTableComplete();
    if (events.hungUp)
        emit hungUp();
}

void IndicatorSimulator::removeLinkLocked()
{
    if (m_linkPath.isEmpty())
        return;
    // Only our own link: someone may have replaced it meanwhile.
    const QByteArray native = QFile::encodeName(m_linkPath);
    char target[512];
    const ssize_t n = ::readlink(native.constData(), target, sizeof target - 1);
    if (n > 0 && QFile::decodeName(QByteArray(target, int(n))) == m_linkTarget)
        ::unlink(native.constData());
    m_linkPath.clear();
    m_linkTarget.clear();
}

void IndicatorSimulator::log(const QByteArray& name, const char* direction,
                             const QByteArray& bytes) const
{
    if (!m_verbose)
        return;
    std::fprintf(stderr, "%s %s %s\n", name.constData(), direction,
                 protocol::visible(bytes).constData());
}

} // namespace sim
