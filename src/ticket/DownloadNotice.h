#pragma once

#include "platform/ChannelFailure.h"
#include "ticket/DownloadPlan.h"
#include "ticket/SlotTable.h"

#include <QList>
#include <QMetaType>
#include <algorithm>
#include <array>

// What the operator must be told during a download or at its end, as facts: what happened,
// where, and which tickets the indicator holds now. The views word it.
struct DownloadNotice {
    enum class Kind {
        LayoutRefused, // the tickets cannot be laid out in the indicator's memory; nothing sent
        Busy,          // another exchange is pending; nothing sent
        DataError,     // a data block failed; the download goes on
        PointerError,  // a pointer entry failed; the download ends
        NotStored,     // the end: some tickets are not stored
        Cancelled,     // the operator cancelled
        Stopped,       // the indicator stopped answering or could not be followed, or the line went
    };
    enum class Cause { StoppedAnswering, Lost, Unmatched };
    using Pass = DownloadPass;
    // Why a slot's ticket could not be stored: the first data block of it that failed.
    struct SlotFault {
        bool failed = false;
        bool refused = false; // NAK; otherwise no answer
        qint32 address = 0;
        friend bool operator==(const SlotFault&, const SlotFault&) = default;
    };
    using SlotFlags = std::array<bool, SlotTable::kSlotCount>;

    Kind kind = Kind::Stopped;
    LayoutFault layout;                    // LayoutRefused
    Cause cause = Cause::StoppedAnswering; // Stopped
    ChannelFailure lost;                   // Stopped by a lost line: what the channel said
    bool opened = true;         // Stopped: past the opening in-step point, so writes went out
    Pass pass = Pass::Clearing; // Stopped, PointerError: where
    // DataError and Stopped in the data pass: the slots of the block; PointerError and Stopped
    // in the other passes: the entry's slot.
    QList<int> slotNumbers;
    qint32 address = 0;   // DataError, PointerError, Stopped: the indicator address
    bool refused = false; // DataError, PointerError: NAK; otherwise no answer
    std::array<SlotFault, SlotTable::kSlotCount> faults{}; // NotStored
    // NotStored: slot 7 held data and its pointer entry was refused.
    bool slot7Failed = false;
    SlotFlags sent{};   // the slots that held data
    SlotFlags stored{}; // the slots proven stored

    bool anyStored() const { return std::find(stored.begin(), stored.end(), true) != stored.end(); }
};

Q_DECLARE_METATYPE(DownloadNotice)
