#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The one transport the command exchange talks to: bytes out, bytes in, and word when the
// channel can no longer be used (adapter unplugged, socket dropped).
class LineChannel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // True while bytes written now can reach the indicator.
    virtual bool isUsable() const = 0;
    // Writes the bytes unchanged; false when the channel refused them.
    virtual bool writeBytes(const QByteArray& bytes) = 0;
    // Names the channel for logs and messages ("/dev/ttyUSB0", "192.168.1.20:1234").
    virtual QString channelName() const = 0;

signals:
    void bytesReceived(const QByteArray& bytes);
    // Emitted once when an open channel becomes unusable; it is closed by then.
    void channelLost(const QString& reason);
};
