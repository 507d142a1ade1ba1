#pragma once

#include "session/SessionFailure.h"

#include <QCoreApplication>
#include <optional>

// The window's words for the session's failures, in the language of the installed translator:
// each message box's title and text.
class FailureTexts {
    Q_DECLARE_TR_FUNCTIONS(FailureTexts)
public:
    struct Message {
        QString title;
        QString text;
    };

    // Nothing for a failure that is none.
    static std::optional<Message> forWindow(const SessionFailure& failure);

    // What to change so that a refused trust holds: the settings file's keys for the window.
    static QString trustAdvice(const ChannelFailure& failure);

private:
    static QString portNotOpened(const ChannelFailure& failure, const QString& device);
    static QString socketError(const ChannelFailure& failure);
};
