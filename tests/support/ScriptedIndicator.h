#pragma once

#include "link/IndicatorProtocol.h"
#include "support/FakeLineChannel.h"

#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>

// The indicator played on a fake channel: it answers every command from the event loop, by
// default as the real one does (its version to ;C4, its serial number to ;SR, ACK to a write),
// and a test may script another answer per command: NAK, silence, a hang-up, any bytes, late.
// Answers leave in the order of their commands, as on one line.
class ScriptedIndicator {
public:
    static inline const QByteArray kAck{"\x06\r"};
    static inline const QByteArray kNak{"\x15\r"};
    static inline const QByteArray kSilent;
    // Not bytes: in its turn the channel dies, as an unplugged adapter does.
    static inline const QByteArray kHangUp{"hang up"};

    explicit ScriptedIndicator(FakeLineChannel& channel)
        : m_channel(channel)
    {
        m_clock.start();
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { release(); });
        channel.onWrite = [this](const QByteArray& bytes) { hear(bytes); };
    }
    ~ScriptedIndicator() { m_channel.onWrite = nullptr; }
    ScriptedIndicator(const ScriptedIndicator&) = delete;
    ScriptedIndicator& operator=(const ScriptedIndicator&) = delete;

    QByteArray version = "IND V2.05\x06\r";
    QByteArray serial = "12345\x06\r";
    // The answer to the lone CR the exchange sends after a time-out.
    QByteArray loneCr = kSilent;
    // The answer to each command but the lone CR; by default behaves().
    std::function<QByteArray(const QByteArray& command)> answer;
    // How long after its command each answer leaves; none: on the next pass of the event loop.
    std::function<std::chrono::milliseconds(const QByteArray& command)> delay;
    // An unasked text line follows every n-th answer; 0: never.
    int chatterEvery = 0;

    // What the real indicator answers.
    QByteArray behaves(const QByteArray& command) const
    {
        if (command == IndicatorProtocol::kVersionCommand)
            return version;
        if (command == IndicatorProtocol::kSerialCommand)
            return serial;
        return kAck;
    }

    QList<QByteArray> commands;                    // every write but the lone CRs
    QList<QPair<QByteArray, QByteArray>> answered; // each line answered, and its answer

private:
    void hear(const QByteArray& line)
    {
        const bool loneCrLine = line == QByteArray(1, IndicatorProtocol::kCr);
        if (!loneCrLine)
            commands.append(line);
        const QByteArray reply = loneCrLine ? loneCr : answer ? answer(line) : behaves(line);
        if (reply.isEmpty())
            return;
        answered.append({line, reply});
        qint64 due = m_clock.elapsed() + (delay ? delay(line).count() : 0);
        if (!m_queue.empty())
            due = std::max(due, m_queue.back().first);
        m_queue.emplace_back(due, reply);
        if (chatterEvery > 0 && answered.size() % chatterEvery == 0)
            m_queue.emplace_back(due + 1, QByteArray("ST,GS,+0001234kg\r"));
        schedule();
    }
    void schedule()
    {
        if (!m_queue.empty())
            m_timer.start(int(std::max<qint64>(0, m_queue.front().first - m_clock.elapsed())));
    }
    // Answers due now; one to a command written meanwhile waits for the next pass.
    void release()
    {
        const qint64 now = m_clock.elapsed();
        qsizetype due = 0;
        while (due < qsizetype(m_queue.size()) && m_queue[size_t(due)].first <= now)
            ++due;
        for (; due > 0; --due) {
            const QByteArray bytes = m_queue.front().second;
            m_queue.pop_front();
            if (bytes == kHangUp)
                m_channel.die();
            else
                m_channel.receive(bytes);
        }
        schedule();
    }

    FakeLineChannel& m_channel;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::deque<std::pair<qint64, QByteArray>> m_queue; // due, bytes
};
