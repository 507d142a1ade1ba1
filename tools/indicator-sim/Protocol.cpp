#include "Protocol.h"

namespace sim::protocol {

namespace {

constexpr int AddressDigits = 4;
constexpr int DataDigits = 2 * WriteSize;
constexpr int WriteLineLength = 2 + AddressDigits + 1 + DataDigits;
constexpr char Separator = '-';

int upperHexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseHex(const char* text, int digits, quint32* value)
{
    quint32 v = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = upperHexValue(text[i]);
        if (d < 0)
            return false;
        v = v << 4 | quint32(d);
    }
    *value = v;
    return true;
}

} // namespace

Command parse(const QByteArray& line)
{
    Command c;
    if (line.isEmpty()) {
        c.kind = Command::Kind::Empty;
    } else if (line == VersionCommand) {
        c.kind = Command::Kind::Version;
    } else if (line == SerialCommand) {
        c.kind = Command::Kind::Serial;
    } else if (line.size() == WriteLineLength && line.startsWith(WritePrefix) &&
               line.at(2 + AddressDigits) == Separator) {
        const char* p = line.constData() + 2;
        quint32 address = 0;
        quint32 data = 0;
        if (parseHex(p, AddressDigits, &address) &&
            parseHex(p + AddressDigits + 1, DataDigits, &data)) {
            c.kind = Command::Kind::Write;
            c.address = quint16(address);
            for (int i = 0; i < WriteSize; ++i)
                c.data[i] = char(data >> (8 * (WriteSize - 1 - i)));
        }
    }
    return c;
}

bool writable(int address)
{
    const int last = address + WriteSize - 1;
    return (address >= DataFirst && last <= DataLast) ||
           (address >= TableFirst && last <= TableLast);
}

void store(QByteArray& memory, const Command& write)
{
    for (int i = 0; i < WriteSize; ++i)
        memory[write.address + i] = write.data[i];
}

QByteArray decodeSlot(const QByteArray& memory, int slot)
{
    if (slot < 1 || slot > SlotCount || memory.size() != MemorySize)
        return {};
    const auto byte = [&](int a) { return int(quint8(memory.at(a))); };
    const int entry = entryAddress(slot);
    const int start = byte(entry) << 8 | byte(entry + 1);
    const int end = byte(entry + 2) << 8 | byte(entry + 3);
    if ((start == 0 && end == 0) || start > end || end > DataLast)
        return {};
    return memory.mid(start, end - start + 1);
}

QByteArray handleLine(const QByteArray& line, QByteArray& memory, const QByteArray& version,
                      const QByteArray& serial)
{
    const Command c = parse(line);
    switch (c.kind) {
    case Command::Kind::Empty:
        return {};
    case Command::Kind::Version:
        return version + Ack + Cr;
    case Command::Kind::Serial:
        return serial + Ack + Cr;
    case Command::Kind::Write:
        if (writable(c.address)) {
            store(memory, c);
            return QByteArray() + Ack + Cr;
        }
        break;
    case Command::Kind::Invalid:
        break;
    }
    return QByteArray() + Nak + Cr;
}

QByteArray visible(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto c = quint8(ch);
        if (ch == Ack)
            out += "<ACK>";
        else if (ch == Nak)
            out += "<NAK>";
        else if (ch == Cr)
            out += "<CR>";
        else if (ch == Lf)
            out += "<LF>";
        else if (c < 0x20 || c >= 0x7F)
            out += "<0x" + QByteArray::number(c, 16).rightJustified(2, '0').toUpper() + '>';
        else
            out += ch;
    }
    return out;
}

} // namespace sim::protocol
