#pragma once

#include "platform/ChannelFailure.h"
#include "platform/LineSettings.h"
#include "platform/TlsTrust.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

// The one transport the session and the command exchange talk to: open, close, bytes out, bytes
// in, and a failure value when the channel does not open or stops being usable (adapter
// unplugged, socket dropped). Each kind of channel opens and sets its line in its own way.
class LineChannel : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Opening, Open };
    Q_ENUM(State)

    using QObject::QObject;

    // A serial port opens at once, a network connection in the background; either way the
    // channel ends Open or failed() tells why. Nothing happens while it is not closed.
    virtual void open() = 0;
    // Closes the channel; nothing is reported of what the close itself causes.
    virtual void close() = 0;
    State state() const { return m_state; }
    // True while bytes written now can reach the indicator.
    bool isUsable() const { return m_state == State::Open; }
    // Writes the bytes unchanged; false when the channel refused them.
    virtual bool writeBytes(const QByteArray& bytes) = 0;

    // Names the channel for the log and the messages ("/dev/ttyUSB0", "192.168.1.20:1234").
    virtual QString channelName() const = 0;
    // Where the channel leads as the download record names it ("COM 1 /dev/ttyS0").
    virtual QString description() const { return channelName(); }
    // The host and port a network channel connects to, without its kind ("192.168.1.20:1234"),
    // for a channel layered on it to name in its own way.
    virtual QString endpoint() const { return channelName(); }
    // The bytes travel encrypted, whatever is layered on them.
    virtual bool isEncrypted() const { return false; }
    // The certificate an encrypted channel verified at its last opening; nothing for the others.
    virtual std::optional<PeerIdentity> peerIdentity() const { return std::nullopt; }

    // The serial line's settings, here or behind a device server; nothing for a channel whose
    // line this program does not set (a raw TCP port).
    virtual std::optional<LineSettings> lineSettings() const { return std::nullopt; }
    // Takes effect at once on an open channel, each kind in its own way, else at the next open.
    virtual void setLineSettings(const LineSettings& settings) { Q_UNUSED(settings) }

    // The indicator the log lines name (a fleet's target); empty: none.
    void setLogName(const QString& name) { m_logName = name; }
    const QString& logName() const { return m_logName; }

signals:
    void bytesReceived(const QByteArray& bytes);
    void stateChanged(LineChannel::State state);
    // Once for each failure: the channel did not open, or an open one became unusable. It is
    // closed by then.
    void failed(const ChannelFailure& failure);

protected:
    void setState(State state);
    // Closed, then failed().
    void fail(const ChannelFailure& failure);

private:
    State m_state = State::Closed;
    QString m_logName;
};
