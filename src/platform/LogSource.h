#pragma once

#include <QDebug>
#include <QString>

// Which indicator a log line concerns. A fleet talks to many indicators in one thread, so a log
// statement names its own, qCDebug(lcExchange) << LogSource{name} << ..., and a message handler
// takes the name to put it before the line. It adds nothing to the text itself.
struct LogSource {
    QString name;

    // The name the log statement being handled on this thread gave, cleared; empty when none.
    static QString take();
};

QDebug operator<<(QDebug debug, const LogSource& source);
