#include "ticket/TicketSlots.h"

#include "platform/SystemNames.h"
#include "platform/TextRoutines.h"
#include "ticket/TicketSet.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>

namespace {
const QByteArray kNoContent;

QString readFailure(const QString& path, const QString& reason)
{
    return QCoreApplication::translate("TicketSlots", "The file %1 could not be read: %2")
        .arg(path, reason);
}
} // namespace

TicketSlots::TicketSlots(QObject* parent)
    : QObject(parent)
{
}

const QByteArray& TicketSlots::content(int slot) const
{
    return isValidSlot(slot) ? m_data[slot - 1] : kNoContent;
}

QString TicketSlots::path(int slot) const
{
    return isValidSlot(slot) ? m_paths[slot - 1] : QString();
}

bool TicketSlots::isLoaded(int slot) const
{
    return !path(slot).isEmpty();
}

bool TicketSlots::inUse(int slot) const
{
    return !content(slot).isEmpty();
}

bool TicketSlots::anyLoaded() const
{
    return std::any_of(m_paths.begin(), m_paths.end(),
                       [](const QString& path) { return !path.isEmpty(); });
}

bool TicketSlots::anyInUse() const
{
    return usedSpace() > 0;
}

void TicketSlots::copySlot(int slot, const TicketSlots& from)
{
    if (!isValidSlot(slot))
        return;
    m_data[slot - 1] = from.m_data[slot - 1];
    m_paths[slot - 1] = from.m_paths[slot - 1];
}

bool TicketSlots::load(int slot, const QString& path, QString* errorText)
{
    const auto fail = [errorText](const QString& text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    if (!isValidSlot(slot))
        return fail(
            QCoreApplication::translate("TicketSlots", "There is no ticket slot %1.").arg(slot));
    if (path.isEmpty())
        return fail(QCoreApplication::translate("TicketSlots", "No file was chosen."));
    // A set's text would go to the indicator as a ticket without a word.
    if (TicketSetFile::isSetPath(path))
        return fail(
            QCoreApplication::translate("TicketSlots", "The file %1 is a ticket set, not a ticket.")
                .arg(path));

    QString why;
    qint64 fileSize = 0;
    std::optional<QByteArray> data = SystemNames::readStart(path, kMaxFileSize, &why, &fileSize);
    if (!data)
        return fail(readFailure(path, why));
    if (fileSize > kMaxFileSize)
        return fail(QCoreApplication::translate(
                        "TicketSlots",
                        "The file %1 is too large to be a ticket: %2 bytes (at most %3 "
                        "bytes can be loaded).")
                        .arg(path, QString::number(fileSize), QString::number(kMaxFileSize)));
    if (data->size() > kMaxFileSize)
        return fail(
            QCoreApplication::translate(
                "TicketSlots", "The file %1 is too large to be a ticket (more than %2 bytes).")
                .arg(path, QString::number(kMaxFileSize)));

    m_data[slot - 1] = std::move(*data);
    m_paths[slot - 1] = path;
    return true;
}

void TicketSlots::remove(int slot)
{
    if (!isValidSlot(slot) || (m_paths[slot - 1].isEmpty() && m_data[slot - 1].isEmpty()))
        return;
    m_data[slot - 1].clear();
    m_paths[slot - 1].clear();
}

qint32 TicketSlots::usedSpace() const
{
    qint64 used = 0;
    for (const QByteArray& d : m_data)
        used += d.size();
    return static_cast<qint32>(used);
}

qint32 TicketSlots::freeSpace() const
{
    return IndicatorProtocol::kDataAreaSize - usedSpace();
}

QString TicketSlots::fileNameText(int slot) const
{
    return shortFileName(path(slot));
}

QString TicketSlots::sizeText(int slot) const
{
    return isLoaded(slot) ? TextRoutines::numberText(content(slot).size()) : QString();
}

QString TicketSlots::freeSpaceText() const
{
    return TextRoutines::numberText(freeSpace());
}

QString TicketSlots::usedSpaceText() const
{
    return TextRoutines::numberText(usedSpace());
}

QString TicketSlots::shortFileName(const QString& path)
{
    static constexpr int kKeptTail = kFileNameWidth - 3;
    if (path.size() <= kFileNameWidth)
        return path;
    return QStringLiteral("...") + path.right(kKeptTail);
}
