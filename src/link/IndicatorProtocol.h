#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

// What the program sends the indicator and how it reads the answers, in one place for the
// exchange, the query, the download plan and the downloader: the command forms, the ticket
// memory's map and the hexadecimal the indicator reads.
namespace IndicatorProtocol {

inline const QByteArray kVersionCommand = ";C4\r";
inline const QByteArray kSerialCommand = ";SR\r";
// Every memory write starts so; the indicator answers it with ACK or NAK only.
inline const QByteArray kWritePrefix = ";E";

constexpr char kCr = '\r';
constexpr char kAck = '\x06';
constexpr char kNak = '\x15';

constexpr std::chrono::milliseconds kQueryTimeout{1000};
constexpr std::chrono::milliseconds kWriteTimeout{2000};

// The ticket memory: the data area from 0000, and the pointer table of one entry per slot,
// start and end address (inclusive), high byte first; 0000 0000 is an empty slot.
constexpr qint32 kDataAreaSize = 32768;
constexpr qint32 kPointerTableBase = 0xFF00;
constexpr qint32 kPointerEntrySize = 4;
// Four bytes a write, as eight hexadecimal digits.
constexpr int kBytesPerWrite = 4;

inline bool isWrite(const QByteArray& command)
{
    return command.startsWith(kWritePrefix);
}

// An address or offset as the indicator reads it: upper-case hexadecimal, padded to four digits.
QString hex4(qint32 value);
// The address of slot s's pointer entry (s from 0 for slot 1).
inline qint32 pointerEntryAddress(int slotIndex)
{
    return kPointerTableBase + kPointerEntrySize * slotIndex;
}
// ";E" + four address digits + "-" + eight data digits + CR.
QByteArray writeCommand(qint32 address, const QByteArray& dataDigits);
// The data digits of four bytes, two upper-case digits each.
QByteArray dataDigits(const char* bytes);

// The version as the window shows it: NUL, CR and LF removed, then cut to start at the first
// upper-case 'V' (the whole cleaned text when there is none).
QByteArray versionText(const QByteArray& replyText);
// The serial number as the window shows it: NUL, CR and LF removed.
QByteArray serialText(const QByteArray& replyText);

} // namespace IndicatorProtocol
