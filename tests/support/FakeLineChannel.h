#pragma once

#include "platform/LineChannel.h"

#include <QList>
#include <functional>

// A channel the test plays the indicator on: open from the start, it records every write and
// lets the test answer at once, later, in pieces, or die.
class FakeLineChannel : public LineChannel {
    Q_OBJECT
public:
    explicit FakeLineChannel(QObject* parent = nullptr)
        : LineChannel(parent)
    {
        setState(State::Open);
    }

    void open() override { setState(State::Open); }
    void close() override { setState(State::Closed); }
    bool writeBytes(const QByteArray& bytes) override
    {
        if (!isUsable())
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
        fail(ChannelFailure::of(ChannelFailure::Kind::DeviceGone, 0, reason));
    }
    void setUsable(bool usable) { setState(usable ? State::Open : State::Closed); }

    QList<QByteArray> writes;
    // Called for every write, so a test can script the indicator's answer.
    std::function<void(const QByteArray&)> onWrite;
};
