#pragma once

#include "ticket/DownloadRecord.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <vector>

// The downloads of the record as the history window's table shows them, newest first, narrowed
// by part of the indicator's serial number. The texts are made when the view asks for a cell, so
// a record of a hundred thousand downloads costs only what is on screen; a new filter walks the
// records once.
class DownloadHistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        TimeColumn,
        SerialColumn,
        VersionColumn,
        ChannelColumn,
        OutcomeColumn,
        SlotsColumn,
        ColumnCount
    };

    explicit DownloadHistoryModel(QObject* parent = nullptr);

    // The records in file order, newest first by the instant each download began (not by its
    // local time, which repeats the night the clocks go back); of two begun at the same instant,
    // the one written later first. Pure, so that a worker thread can do it for a large record.
    static QList<DownloadRecord> newestFirst(QList<DownloadRecord> fileOrder);
    // Records already in the order newestFirst gives.
    void setRecords(QList<DownloadRecord> records);
    // Shows only the downloads whose serial number contains the text, in any case; all for an
    // empty text.
    void setSerialFilter(const QString& text);

    const DownloadRecord& record(int row) const { return m_records.at(m_shown.at(row)); }
    QString text(int row, int column) const;
    static bool isNumberColumn(int column) { return column == SlotsColumn; }

    // A text the indicator sent, its control characters named as in the traffic log.
    static QString shownText(const QString& text);
    // An outcome word of the record ("stored", "refused", ...) in the window's language.
    static QString outcomeText(const QString& outcome);
    // The local time the download began at, with its offset from UTC, so that the two 02:10 of
    // the night the clocks go back read apart: "2026-10-25 02:10:00 +02:00".
    static QString shownTime(const QDateTime& time);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void collectShown();

    QList<DownloadRecord> m_records; // newest first
    std::vector<int> m_shown;        // indexes into m_records that the filter lets through
    QString m_filter;
};
