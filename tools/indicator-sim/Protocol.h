#pragma once

#include <QByteArray>

#include <array>

// The indicator's line protocol without any transport, timing or fault: pure functions.
namespace sim::protocol {

inline constexpr char Ack = 0x06;
inline constexpr char Nak = 0x15;
inline constexpr char Cr = 0x0D;
inline constexpr char Lf = 0x0A;
// What a garbled ACK or NAK arrives as.
inline constexpr char Bel = 0x07;

inline constexpr int MemorySize = 0x10000;
inline constexpr char Erased = char(0xFF);
inline constexpr int DataFirst = 0x0000;
inline constexpr int DataLast = 0x7FFF;
inline constexpr int TableFirst = 0xFF00;
inline constexpr int TableLast = 0xFF1B;
inline constexpr int EntrySize = 4;
inline constexpr int SlotCount = 7;
inline constexpr int WriteSize = 4;

inline constexpr char VersionCommand[] = ";C4";
inline constexpr char SerialCommand[] = ";SR";
inline constexpr char WritePrefix[] = ";E";

constexpr int entryAddress(int slot)
{
    return TableFirst + EntrySize * (slot - 1);
}

struct Command {
    enum class Kind { Empty, Version, Serial, Write, Invalid };
    Kind kind = Kind::Invalid;
    quint16 address = 0;
    std::array<char, WriteSize> data{};
};

// Classifies one received line (CR removed). Hex digits must be upper case, as the tool sends them.
Command parse(const QByteArray& line);

// True when all four bytes from address lie in the data area or all in the pointer table.
bool writable(int address);

void store(QByteArray& memory, const Command& write);

// The bytes of slot 1..7 as its pointer-table entry describes them; empty for an entry
// 0000 0000 and for an entry that cannot describe data (start after end, or past the data area).
QByteArray decodeSlot(const QByteArray& memory, int slot);

// The reply an undisturbed indicator gives to one line; empty for an empty line (no answer).
QByteArray handleLine(const QByteArray& line, QByteArray& memory, const QByteArray& version,
                      const QByteArray& serial);

// Control characters spelled out for logs: <ACK>, <NAK>, <CR>, <LF>, <0xNN>.
QByteArray visible(const QByteArray& bytes);

} // namespace sim::protocol
