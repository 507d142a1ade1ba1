#include "workspace/DownloadHistoryModel.h"

#include "platform/TextRoutines.h"
#include "ticket/Outcome.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss ");

} // namespace

DownloadHistoryModel::DownloadHistoryModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

QList<DownloadRecord> DownloadHistoryModel::newestFirst(QList<DownloadRecord> fileOrder)
{
    // The instants once each, rather than a time zone conversion in every comparison.
    struct Key {
        qint64 instant;
        qsizetype position;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(fileOrder.size()));
    for (qsizetype i = 0; i < fileOrder.size(); ++i)
        keys.push_back({fileOrder.at(i).time.toMSecsSinceEpoch(), i});
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return a.instant != b.instant ? a.instant > b.instant : a.position > b.position;
    });
    QList<DownloadRecord> ordered;
    ordered.reserve(fileOrder.size());
    for (const Key& key : keys)
        ordered.append(std::move(fileOrder[key.position]));
    return ordered;
}

void DownloadHistoryModel::setRecords(QList<DownloadRecord> records)
{
    beginResetModel();
    m_records = std::move(records);
    collectShown();
    endResetModel();
}

void DownloadHistoryModel::setSerialFilter(const QString& text)
{
    if (text == m_filter)
        return;
    beginResetModel();
    m_filter = text;
    collectShown();
    endResetModel();
}

void DownloadHistoryModel::collectShown()
{
    m_shown.clear();
    for (int i = 0; i < int(m_records.size()); ++i) {
        if (m_filter.isEmpty() || m_records.at(i).serial.contains(m_filter, Qt::CaseInsensitive))
            m_shown.push_back(i);
    }
}

QString DownloadHistoryModel::shownText(const QString& text)
{
    return TextRoutines::describeControls(text);
}

// The record keeps its outcome words in English; the table shows them in the window's language.
// A word the window does not know is shown as the record has it.
QString DownloadHistoryModel::outcomeText(const QString& outcome)
{
    const QString shown = Outcomes::shownWord(outcome);
    return shown == outcome ? shownText(outcome) : shown;
}

QString DownloadHistoryModel::shownTime(const QDateTime& time)
{
    return TextRoutines::timeWithOffset(time, kTimeFormat);
}

QString DownloadHistoryModel::text(int row, int column) const
{
    const DownloadRecord& r = record(row);
    switch (column) {
    case TimeColumn:
        return shownTime(r.time);
    case SerialColumn:
        return shownText(r.serial);
    case VersionColumn:
        return shownText(r.version);
    case ChannelColumn:
        return r.baud > 0 ? tr("%1, %2 baud").arg(shownText(r.channel), QString::number(r.baud))
                          : shownText(r.channel);
    case OutcomeColumn:
        return outcomeText(r.outcome);
    case SlotsColumn:
        return QString::number(r.tickets.size());
    default:
        return {};
    }
}

int DownloadHistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int DownloadHistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DownloadHistoryModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return int((isNumberColumn(index.column()) ? Qt::AlignRight : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (index.column() == TimeColumn)
            return record(index.row()).time.toString(Qt::ISODate);
        return {};
    default:
        return {};
    }
}

QVariant DownloadHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TimeColumn:
        return tr("Time");
    case SerialColumn:
        return tr("Serial number");
    case VersionColumn:
        return tr("Version");
    case ChannelColumn:
        return tr("Channel");
    case OutcomeColumn:
        return tr("Outcome");
    case SlotsColumn:
        return tr("Slots");
    default:
        return {};
    }
}
