// Any seven slot contents: the plan clears the seven pointer entries, writes the joined image
// in blocks of four bytes from address 0000 with FF after its end, and points each slot at its
// own bytes. Input: six random-length strings for slots 1 to 6, the rest for slot 7.

#include "ticket/DownloadPlan.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_plan: %s\n", what);
        std::abort();
    }
}

QByteArray hex4(qint64 value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%04llX", static_cast<unsigned long long>(value));
    return text;
}

// ";E<address>-<digits>\r" with the given address; the digits come back decoded.
QByteArray dataOf(const QByteArray& command, const QByteArray& address)
{
    const QByteArray head = ";E" + address + '-';
    require(command.startsWith(head) && command.endsWith('\r'), "malformed write command");
    const QByteArray digits = command.mid(head.size(), command.size() - head.size() - 1);
    require(digits.size() == 8, "a write command without eight digits");
    for (char c : digits)
        require((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), "not upper-case hexadecimal");
    return QByteArray::fromHex(digits);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    std::array<QByteArray, SlotTable::kSlotCount> contents;
    for (int s = 0; s < SlotTable::kSlotCount - 1; ++s)
        contents[s] = QByteArray::fromStdString(input.ConsumeRandomLengthString(size));
    contents.back() = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    QByteArray image;
    for (const QByteArray& c : contents)
        image += c;
    const qsizetype n = image.size();
    const qsizetype blocks = (n + 3) / 4;

    const DownloadPlan plan = makeDownloadPlan(contents);
    require(plan.image == image, "the image is not the slots joined");
    const QList<QByteArray> commands = plan.allCommands();
    require(commands.size() == 7 + blocks + 7, "wrong number of commands");
    // Larger images have no four-digit addresses; the downloader refuses them.
    if (n > IndicatorProtocol::kDataAreaSize)
        return 0;

    for (int s = 0; s < 7; ++s) {
        const QByteArray entry = hex4(0xFF00 + 4 * s);
        require(dataOf(commands[s], entry) == QByteArray(4, '\0'), "a pointer entry not cleared");
    }

    QByteArray written;
    for (qsizetype b = 0; b < blocks; ++b) {
        require(plan.dataBlocks[b].position == 4 * b + 1, "wrong block position");
        require(plan.dataBlocks[b].command == commands[7 + b], "block and command differ");
        written += dataOf(commands[7 + b], hex4(4 * b));
    }
    require(written == image + QByteArray(written.size() - n, char(0xFF)), "data not the image");
    require(written.size() - n < 4, "more fill than one block");

    qsizetype offset = 0;
    for (int s = 0; s < 7; ++s) {
        const QByteArray& content = contents[s];
        const QByteArray entry = dataOf(commands[7 + blocks + s], hex4(0xFF00 + 4 * s));
        const QByteArray expected =
            content.isEmpty()
                ? QByteArray(4, '\0')
                : QByteArray::fromHex(hex4(offset) + hex4(offset + content.size() - 1));
        require(entry == expected, "a pointer entry not at its slot's bytes");
        require(plan.pointerCommands[s] == commands[7 + blocks + s], "pointer and command differ");
        if (!content.isEmpty()) {
            const auto start = static_cast<quint8>(entry[0]) << 8 | static_cast<quint8>(entry[1]);
            const auto end = static_cast<quint8>(entry[2]) << 8 | static_cast<quint8>(entry[3]);
            require(written.mid(start, end - start + 1) == content, "pointers miss the content");
        }
        offset += content.size();
    }
    return 0;
}
