#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Cuts what the indicator sends, in chunks of any size, into reply lines. A line ends with its
// CR; an LF or NUL right after a CR belongs to the line that CR ended, as indicators that end
// their answers with CR LF send it. A line longer than the cap keeps its first bytes only, and
// the cap holds as bytes arrive, so that a peer sending garbage cannot grow memory.
class ReplyLines {
public:
    explicit ReplyLines(qsizetype maxLineLength)
        : m_maxLineLength(maxLineLength)
    {
    }

    // The lines the bytes complete, in order, each with its CR.
    QList<QByteArray> take(const QByteArray& bytes);
    // The start of a line not ended yet.
    const QByteArray& pending() const { return m_pending; }
    void clear();

    // The indicator the log lines name.
    void setLogName(const QString& name) { m_logName = name; }

private:
    void append(const QByteArray& bytes, qsizetype from, qsizetype count);

    qsizetype m_maxLineLength;
    QByteArray m_pending;
    // The last byte taken ended a line.
    bool m_afterCr = false;
    qsizetype m_droppedBytes = 0;
    QString m_logName;
};
