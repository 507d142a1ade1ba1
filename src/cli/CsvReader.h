#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Cli {

// Splits a CSV text into rows as CSV reads it: fields apart at commas, a field in quotes may hold
// commas, "" for a quote and line breaks; CR, LF and CR LF each end a line. Blank lines and lines
// starting with '#' hold no row. A row that cannot be read keeps its line and why.
class CsvReader {
public:
    struct Row {
        int line = 0;     // where it starts
        int lastLine = 0; // where it ends: later than line when a quoted field holds a line break
        QStringList fields;
        QString fault; // empty when the row could be read
    };

    explicit CsvReader(const QString& text)
        : m_text(text)
    {
    }

    QList<Row> rows();

private:
    enum class State {
        Start,   // blanks at most since the field began
        Plain,   // in a field without quotes
        Quoted,  // between a field's quotes
        Closed,  // after a field's closing quote
        Comment, // the rest of a line starting with '#'
        Skip,    // the rest of a line with a fault
    };

    QChar next() const;
    void take(QChar c);
    void takeQuoted(QChar c);
    void endLine(QChar c);
    void endField();
    void endRow();
    void fail(const QString& fault);

    const QString m_text;
    qsizetype m_at = 0;
    int m_line = 1;
    State m_state = State::Start;
    QString m_field;
    Row m_row{1, 1, {}, {}};
    QList<Row> m_rows;
};

} // namespace Cli
