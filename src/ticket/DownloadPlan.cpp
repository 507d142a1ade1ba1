#include "ticket/DownloadPlan.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

using namespace IndicatorProtocol;

constexpr char kFillByte = char(0xFF);

} // namespace

QList<QByteArray> DownloadPlan::allCommands() const
{
    QList<QByteArray> commands;
    commands.reserve(2 * SlotTable::kSlotCount + dataBlocks.size());
    for (const QByteArray& c : clearingCommands)
        commands.append(c);
    for (const Block& b : dataBlocks)
        commands.append(b.command);
    for (const QByteArray& c : pointerCommands)
        commands.append(c);
    return commands;
}

LayoutFault checkLayout(const SlotTable::Contents& contents)
{
    qint64 total = 0;
    for (const QByteArray& c : contents)
        total += c.size();
    if (total > kDataAreaSize)
        return {LayoutFault::Kind::TooLarge, total, 0};
    // Only the first ticket starts at 0000; a longer one there ends past it.
    const auto first = std::find_if(contents.begin(), contents.end(),
                                    [](const QByteArray& c) { return !c.isEmpty(); });
    if (first != contents.end() && first->size() == 1)
        return {LayoutFault::Kind::OneByteFirst, total, int(first - contents.begin()) + 1};
    return {};
}

QString layoutFaultText(const LayoutFault& fault)
{
    switch (fault.kind) {
    case LayoutFault::Kind::None:
        break;
    case LayoutFault::Kind::TooLarge:
        return QCoreApplication::translate("DownloadPlan",
                                           "The tickets hold %1 bytes in all, more than the %2 "
                                           "bytes of the indicator's ticket memory. Nothing was "
                                           "sent; remove a ticket and download again.")
            .arg(QString::number(fault.totalBytes), QString::number(kDataAreaSize));
    case LayoutFault::Kind::OneByteFirst:
        return QCoreApplication::translate(
                   "DownloadPlan",
                   "The ticket of %1 is one byte long: at address 0000 its pointer entry would "
                   "read 00000000, which the indicator takes for an empty slot. Nothing was sent; "
                   "use a ticket file of at least two bytes, or put a longer ticket in a slot "
                   "before it.")
            .arg(SlotTable::slotName(fault.slot));
    }
    return {};
}

DownloadPlan makeDownloadPlan(const SlotTable::Contents& contents)
{
    DownloadPlan plan;
    qsizetype total = 0;
    for (const QByteArray& c : contents)
        total += c.size();
    plan.image.reserve(total);

    for (int s = 0; s < SlotTable::kSlotCount; ++s) {
        const QByteArray& content = contents[s];
        if (!content.isEmpty()) {
            plan.startOffset[s] = plan.totalBytes();
            plan.endOffset[s] = plan.startOffset[s] + static_cast<qint32>(content.size()) - 1;
            plan.image.append(content);
        }
        plan.startText[s] = hex4(plan.startOffset[s]);
        plan.endText[s] = hex4(plan.endOffset[s]);
    }

    const QByteArray clearedEntry("00000000");
    for (int s = 0; s < SlotTable::kSlotCount; ++s) {
        const qint32 address = pointerEntryAddress(s);
        plan.clearingCommands[s] = writeCommand(address, clearedEntry);
        plan.pointerCommands[s] =
            writeCommand(address, (plan.startText[s] + plan.endText[s]).toLatin1());
    }

    const qint32 n = plan.totalBytes();
    plan.dataBlocks.reserve((n + DownloadPlan::kBlockSize - 1) / DownloadPlan::kBlockSize);
    for (qint32 c = 1; c <= n; c += DownloadPlan::kBlockSize) {
        char bytes[DownloadPlan::kBlockSize];
        for (qint32 p = c; p < c + DownloadPlan::kBlockSize; ++p)
            bytes[p - c] = p <= n ? plan.image.at(p - 1) : kFillByte;
        plan.dataBlocks.append({c, writeCommand(c - 1, dataDigits(bytes))});
    }
    return plan;
}

DownloadSequence::DownloadSequence(DownloadPlan plan)
    : m_plan(std::move(plan))
    , m_pointerBegin(dataBegin() + int(m_plan.dataBlocks.size()))
{
}

DownloadPass DownloadSequence::passOf(int index) const
{
    return index < dataBegin()      ? DownloadPass::Clearing
           : index < m_pointerBegin ? DownloadPass::Data
                                    : DownloadPass::Pointers;
}

int DownloadSequence::slotOf(int index) const
{
    return passOf(index) == DownloadPass::Clearing ? index : index - m_pointerBegin;
}

qint32 DownloadSequence::addressOf(int index) const
{
    if (passOf(index) == DownloadPass::Data)
        return m_plan.dataBlocks[blockOf(index)].position - 1;
    return pointerEntryAddress(slotOf(index));
}

QByteArray DownloadSequence::commandAt(int index, bool slotBroken) const
{
    switch (passOf(index)) {
    case DownloadPass::Clearing:
        return m_plan.clearingCommands[index];
    case DownloadPass::Data:
        return m_plan.dataBlocks[blockOf(index)].command;
    case DownloadPass::Pointers:
        break;
    }
    const int s = slotOf(index);
    return slotBroken ? m_plan.clearingCommands[s] : m_plan.pointerCommands[s];
}

QList<int>
DownloadSequence::slotsOfBlock(int block,
                               const std::array<bool, SlotTable::kSlotCount>& holding) const
{
    const qint32 first = m_plan.dataBlocks[block].position - 1;
    const qint32 last = first + DownloadPlan::kBlockSize - 1;
    QList<int> result;
    for (int s = 0; s < SlotTable::kSlotCount; ++s) {
        if (holding[s] && m_plan.startOffset[s] <= last && m_plan.endOffset[s] >= first)
            result.append(s + 1);
    }
    return result;
}
