#pragma once

#include "platform/ChannelFailure.h"

#include <QMetaType>
#include <QString>
#include <chrono>

// Something that went wrong outside a download, as a value: what failed, what the channel said,
// and where the channel leads. The views word it.
struct SessionFailure {
    enum class Kind {
        None,
        PortNotOpened, // the serial port did not open
        Unreachable,   // the network connection was not made
        Lost,          // the open channel went away
        QueryRefused,  // the indicator refused the query
        NoAnswer,      // the indicator did not answer the query
    };
    Kind kind = Kind::None;
    // What the channel said: why it did not open or went away.
    ChannelFailure channel;
    // The channel's name ("/dev/ttyUSB0", "10.0.0.7:4001", "rfc2217://10.0.0.7:4001") and its
    // description as the record gives it ("COM 1 /dev/ttyS0").
    QString name;
    QString description;
    // A network channel: its failures are told under the network's title.
    bool network = false;
    // Lost: the loss cut a query short, which tells it in its own words.
    bool duringQuery = false;
    // Unreachable for want of an answer: the time it was given.
    std::chrono::seconds connectLimit{0};
    // The serial line's rate, 0 where none is set: a likely cause of a query left unanswered.
    int rate = 0;
};

Q_DECLARE_METATYPE(SessionFailure)
