#pragma once

#include "Faults.h"
#include "IndicatorCore.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <thread>
#include <vector>

namespace sim {

// A weighing indicator on a pseudo-terminal and/or a TCP port on 127.0.0.1, with faults on demand:
// the link server around an IndicatorCore. It adds what needs a clock or a file descriptor: the
// wire time, delays, late replies, stalls, hang-ups and dumps. All I/O runs on a thread of its own,
// so the owner's thread can talk to it through QSerialPort or QTcpSocket. start*, setLink, stop and
// hangUp belong to the owner's thread; every other member is safe from any thread. Signals are
// emitted from the I/O thread, outside the lock, so connect them with a receiver (context object)
// in your thread to have them queued there; processLine() emits them directly.
class IndicatorSimulator : public QObject {
    Q_OBJECT
public:
    static constexpr auto& DefaultVersion = Faults::DefaultVersion;
    static constexpr auto& DefaultSerial = Faults::DefaultSerial;
    static constexpr auto& ChatterLine = IndicatorCore::ChatterLine;

    explicit IndicatorSimulator(QObject* parent = nullptr);
    ~IndicatorSimulator() override;

    bool startPty(QString* error = nullptr);
    QString ptyPath() const;
    // The rate the pseudo-terminal's line is set to now (by whoever holds its device open), as
    // the master reads it; 0 without a pseudo-terminal or for a rate of no standard number.
    int ptyBaudRate() const;
    bool setLink(const QString& path, QString* error = nullptr);
    QString linkPath() const;
    bool startTcp(quint16 port = 0, QString* error = nullptr);
    quint16 tcpPort() const;
    bool isRunning() const;
    void stop();
    void hangUp();

    // Replaces every fault at once; a changed stall arms again even after one has ended.
    void setFaults(const Faults& faults);
    Faults faults() const;
    void setDumpDir(const QString& dir);
    void setVerbose(bool on);

    QByteArray memory() const;
    QByteArray slot(int s) const;
    Counters counters() const;
    QList<QByteArray> commandLines() const;
    // Every reply and unsolicited line in the order it was sent.
    QList<Answer> answers() const;
    void resetRecord();

    // One line (without its CR) as if received on a link of its own, with every fault but the
    // timing ones and the drop; returns the reply, empty when there is none.
    QByteArray processLine(const QByteArray& line);

    static QByteArray handleLine(const QByteArray& line, QByteArray& memory,
                                 const QByteArray& version = DefaultVersion,
                                 const QByteArray& serial = DefaultSerial);
    // Writes memory.bin and slot1.bin..slot7.bin into the dump directory now.
    bool dump(QString* error = nullptr);

signals:
    void lineReceived(const QByteArray& line);
    void hungUp();
    void pointerTableComplete();

private:
    struct Link;
    struct Outcome;
    struct Events;

    void ensureThread();
    void wake();
    void run();
    void serviceLink(Link& link, short revents, Events& events);
    void acceptClients(int listenFd);
    void receive(Link& link, const char* bytes, qint64 n, qint64 nowNs, Events& events);
    void consume(Link& link, const QByteArray& bytes, qint64 nowNs, bool held, Events& events);
    bool stalled(const Link& link);
    bool hearsRate(const Link& link, const QByteArray& line) const;
    bool restarts(const QByteArray& line, qint64 nowNs);
    void endRestartIfDue(qint64 nowNs);
    void resumeIfDue(qint64 nowNs, Events& events);
    IndicatorCore::Outcome decide(const QByteArray& name, const QByteArray& line,
                                  IndicatorCore::Session* session, Events& events);
    Outcome handle(Link& link, const QByteArray& line, Events& events);
    void schedule(Link& link, qint64 lineDoneNs, qint64 nowNs, Outcome&& outcome);
    void releaseDue(Link& link, qint64 nowNs);
    void flush(Link& link);
    void closeLink(Link& link, bool signalHangUp, Events& events);
    void armTimer();
    void emitEvents(const Events& events);
    void removeLinkLocked();
    void log(const QByteArray& name, const char* direction, const QByteArray& bytes) const;
    bool dumpLocked(QString* error);

    mutable QMutex m_mutex;
    // Guarded by m_mutex: the indicator, the configuration and the state of the links.
    IndicatorCore m_core;
    QSet<quint16> m_lateDone;
    enum class Stall { Armed, Holding, Over } m_stall = Stall::Armed;
    qint64 m_resumeNs = 0; // 0 until the first held byte starts the clock, and when for ever
    enum class Restart { Armed, Deaf, Over } m_restart = Restart::Armed;
    qint64 m_restartEndNs = 0;
    QString m_dumpDir;
    bool m_verbose = false;
    bool m_changedSinceDump = false;
    QString m_ptyPath;
    bool m_ptyAlive = false;
    int m_ptyMaster = -1; // while m_ptyAlive
    QString m_linkPath;
    QString m_linkTarget;
    quint16 m_tcpPort = 0;
    int m_listenFd = -1;
    bool m_quit = false;
    bool m_hangUpRequested = false;
    std::vector<std::unique_ptr<Link>> m_incoming;
    int m_nextLinkId = 1;

    // Owned by the I/O thread while it runs.
    std::vector<std::unique_ptr<Link>> m_links;
    int m_wakeFd = -1;
    int m_timerFd = -1;
    std::thread m_thread;
};

} // namespace sim
