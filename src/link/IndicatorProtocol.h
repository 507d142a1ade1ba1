#pragma once

#include <QByteArray>
#include <chrono>

// What the program sends the indicator and how it reads the answers, in one place for the
// exchange, the query and the download.
namespace IndicatorProtocol {

inline const QByteArray kVersionCommand = ";C4\r";
inline const QByteArray kSerialCommand = ";SR\r";
// Every memory write starts so; the indicator answers it with ACK or NAK only.
inline const QByteArray kWritePrefix = ";E";

constexpr std::chrono::milliseconds kQueryTimeout{1000};
constexpr std::chrono::milliseconds kWriteTimeout{2000};

inline bool isWrite(const QByteArray& command)
{
    return command.startsWith(kWritePrefix);
}

// The version as the window shows it: NUL, CR and LF removed, then cut to start at the first
// upper-case 'V' (the whole cleaned text when there is none).
QByteArray versionText(const QByteArray& replyText);
// The serial number as the window shows it: NUL, CR and LF removed.
QByteArray serialText(const QByteArray& replyText);

} // namespace IndicatorProtocol
