#pragma once

#include "platform/LineChannel.h"

#include <QList>
#include <functional>

// A channel the test plays the indicator on: it records every write and lets the test answer
// at once, later, in pieces, or die.
class FakeLineChannel : public LineChannel {
    Q_OBJECT
public:
    using LineChannel::LineChannel;

    bool isUsable() const override { return m_usable; }
    bool writeBytes(const QByteArray& bytes) override
    {
        if (!m_usable)
            return false;
        writes.append(bytes);
        if (onWrite)
            onWrite(bytes);
        return true;
    }
    QString channelName() const override { return QStringLiteral("fake"); }

    // Delivers bytes as the indicator would, through the receive signal.
    void receive(const QByteArray& bytes) { emit bytesReceived(bytes); }
    // Makes the channel unusable, as an unplugged adapter does.
    void die(const QString& reason = QStringLiteral("unplugged"))
    {
        m_usable = false;
        emit channelLost(reason);
    }
    void setUsable(bool usable) { m_usable = usable; }

    QList<QByteArray> writes;
    // Called for every write, so a test can script the indicator's answer.
    std::function<void(const QByteArray&)> onWrite;

private:
    bool m_usable = true;
};
