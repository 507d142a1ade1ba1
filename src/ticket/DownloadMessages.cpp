#include "ticket/DownloadMessages.h"

#include "platform/UiServices.h"
#include "ticket/Downloader.h"

#include <QPointer>

namespace {
using IndicatorProtocol::hex4;
using Kind = DownloadNotice::Kind;

constexpr int kOptionalIndex = SlotTable::kOptionalSlot - 1;
const QString kParagraph = QStringLiteral("\r\n\r\n");
} // namespace

QString DownloadMessages::title()
{
    return tr("Update Error");
}

// "slot 1 (…)", "slot 1 (…) and slot 3 (…)", "slot 1 (…), slot 2 (…) and slot 3 (…)".
QString DownloadMessages::slotList(const QList<int>& slotNumbers)
{
    QStringList names;
    for (const int s : slotNumbers)
        names.append(SlotTable::slotName(s));
    if (names.size() < 2)
        return names.join(QString());
    const QString last = names.takeLast();
    return tr("%1 and %2").arg(names.join(QStringLiteral(", ")), last);
}

QString DownloadMessages::text(const DownloadNotice& notice)
{
    switch (notice.kind) {
    case Kind::LayoutRefused:
        return layoutFaultText(notice.layout);
    case Kind::Busy:
        return tr("The indicator is still answering another command. Nothing was sent; try the "
                  "download again.");
    case Kind::DataError:
        return tr("Data Error") + kParagraph +
               (notice.refused ? tr("The indicator refused the data of %1 at address %2.")
                               : tr("The indicator did not answer the write of %1 at address %2."))
                   .arg(slotList(notice.slotNumbers), hex4(notice.address));
    case Kind::PointerError:
        return pointerErrorText(notice);
    case Kind::NotStored:
        return notStoredText(notice);
    case Kind::Cancelled:
        // The pointer table is cleared before any data is written, so after a cancel the
        // indicator never points at half-written data: it simply holds no valid ticket set.
        return notice.anyStored()
                   ? tr("The download was cancelled. %1").arg(holdingsText(notice))
                   : tr("The download was cancelled. The indicator now holds no valid ticket "
                        "set; download the tickets again before using it.");
    case Kind::Stopped:
        break;
    }
    return stopText(notice);
}

QString DownloadMessages::pointerErrorText(const DownloadNotice& notice)
{
    const QString title = tr("Pointer Error");
    if (notice.pass == DownloadNotice::Pass::Clearing)
        return title;
    return title + kParagraph +
           (notice.refused ? tr("The indicator refused the pointer entry of %1 at address %2.")
                           : tr("The indicator did not answer the write of the pointer entry of "
                                "%1 at address %2."))
               .arg(SlotTable::slotName(notice.slotNumbers.value(0)), hex4(notice.address)) +
           kParagraph + holdingsText(notice);
}

QString DownloadMessages::notStoredText(const DownloadNotice& notice)
{
    const QString slot7Error = tr("Error sending Truck Simple Weighing ticket.");
    QStringList lost;
    for (int s = 0; s < SlotTable::kSlotCount; ++s) {
        const DownloadNotice::SlotFault& fault = notice.faults[s];
        if (fault.failed)
            lost.append((fault.refused
                             ? tr("%1: the indicator refused the data at address %2.")
                             : tr("%1: the indicator did not answer a write at address %2."))
                            .arg(SlotTable::slotName(s + 1), hex4(fault.address)));
    }
    if (lost.isEmpty())
        return slot7Error;
    QString text = tr("These tickets were not stored:\r\n%1\r\n\r\nTheir pointer entries are "
                      "cleared, so the indicator does not use them. Download the tickets again.")
                       .arg(lost.join(QStringLiteral("\r\n")));
    if (notice.slot7Failed && !notice.faults[kOptionalIndex].failed)
        text += kParagraph + slot7Error;
    return text;
}

// Which of the tickets sent the indicator now holds, as proven, and which it does not.
QString DownloadMessages::holdingsText(const DownloadNotice& notice)
{
    QList<int> held, notHeld;
    for (int s = 0; s < SlotTable::kSlotCount; ++s) {
        if (notice.sent[s])
            (notice.stored[s] ? held : notHeld).append(s + 1);
    }
    QString text = held.isEmpty()
                       ? tr("The indicator holds none of these tickets.")
                       : tr("The indicator holds the tickets of %1.").arg(slotList(held));
    if (!notHeld.isEmpty())
        text += tr("\r\nNot stored: %1. Download the tickets again.").arg(slotList(notHeld));
    return text;
}

QString DownloadMessages::causeText(const DownloadNotice& notice)
{
    switch (notice.cause) {
    case DownloadNotice::Cause::StoppedAnswering:
        break;
    case DownloadNotice::Cause::Unmatched:
        return tr("The indicator's answers could not be matched to the commands: it sent more "
                  "answers than it was asked for, again and again.");
    case DownloadNotice::Cause::Lost: {
        QString cause = tr("The connection to the indicator was lost.");
        if (const QString reason = notice.lost.detail; !reason.isEmpty())
            cause += u' ' + reason + (reason.endsWith(u'.') ? QString() : QStringLiteral("."));
        return cause;
    }
    }
    return tr("The indicator stopped answering.");
}

// The message of a download that had to stop: why, where, and what the indicator holds now.
QString DownloadMessages::stopText(const DownloadNotice& notice)
{
    const QString cause = causeText(notice);
    // Stopped at the opening in-step point: not one write went out.
    if (!notice.opened)
        return tr("%1 Nothing was sent. Check the cable and the indicator, then download the "
                  "tickets again.")
            .arg(cause);
    const QString noValidSet =
        tr("The indicator's pointer table is cleared, so it holds no valid ticket set.");
    QString holds;
    switch (notice.pass) {
    case DownloadNotice::Pass::Clearing:
        holds = tr("No ticket data was sent. The indicator's pointer table is partly cleared, so "
                   "it holds no valid ticket set.");
        break;
    case DownloadNotice::Pass::Data:
        holds = noValidSet;
        break;
    case DownloadNotice::Pass::Pointers: {
        QList<int> held;
        for (int s = 0; s < SlotTable::kSlotCount; ++s) {
            if (notice.stored[s])
                held.append(s + 1);
        }
        holds = held.isEmpty()
                    ? noValidSet
                    : tr("The indicator holds only the tickets of %1.").arg(slotList(held));
        break;
    }
    }
    const QString names = notice.pass == DownloadNotice::Pass::Data
                              ? slotList(notice.slotNumbers)
                              : SlotTable::slotName(notice.slotNumbers.value(0));
    const QString where = tr("%1, address %2").arg(names, hex4(notice.address));
    return tr("%1 The download stopped at %2.\r\n\r\n%3 Check the cable and the indicator, then "
              "download the tickets again.")
        .arg(cause, where, holds);
}

void showDownloadNotices(Downloader& downloader, UiServices& ui)
{
    downloader.setHoldOnNotice(true);
    QObject::connect(&downloader, &Downloader::notice, &downloader,
                     [&downloader, &ui](const DownloadNotice& notice) {
                         // The box may outlive the downloader (the window closing under it):
                         // then nothing follows.
                         QPointer<Downloader> self(&downloader);
                         ui.critical(DownloadMessages::title(), DownloadMessages::text(notice),
                                     [self] {
                                         if (self)
                                             self->proceed();
                                     });
                     });
}
