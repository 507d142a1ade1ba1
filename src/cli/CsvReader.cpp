#include "cli/CsvReader.h"

namespace Cli {

QList<CsvReader::Row> CsvReader::rows()
{
    for (m_at = 0; m_at < m_text.size(); ++m_at) {
        const QChar c = m_text.at(m_at);
        if (c == u'\r' || c == u'\n')
            endLine(c);
        else
            take(c);
    }
    if (m_state == State::Quoted)
        fail(QStringLiteral("a quote is not closed"));
    endRow();
    return m_rows;
}

QChar CsvReader::next() const
{
    return m_at + 1 < m_text.size() ? m_text.at(m_at + 1) : QChar();
}

void CsvReader::take(QChar c)
{
    switch (m_state) {
    case State::Comment:
    case State::Skip:
        return;
    case State::Quoted:
        takeQuoted(c);
        return;
    case State::Start:
    case State::Plain:
    case State::Closed:
        break;
    }
    if (c == u',') {
        endField();
    } else if (m_state == State::Closed) {
        if (!c.isSpace())
            fail(QStringLiteral("text follows a closing quote"));
    } else if (c == u'"' && m_state == State::Start) {
        m_state = State::Quoted;
        m_field.clear();
    } else if (c == u'"') {
        // Read on, it would make a name of the text up to the next quote of another line.
        fail(QStringLiteral("a quote inside a field that does not start with one"));
    } else if (c == u'#' && m_state == State::Start && m_row.fields.isEmpty()) {
        m_state = State::Comment;
    } else {
        m_field += c;
        if (!c.isSpace())
            m_state = State::Plain;
    }
}

void CsvReader::takeQuoted(QChar c)
{
    if (c != u'"') {
        m_field += c;
    } else if (next() == u'"') {
        m_field += c;
        ++m_at;
    } else {
        m_state = State::Closed;
    }
}

void CsvReader::endLine(QChar c)
{
    if (c == u'\r' && next() == u'\n')
        ++m_at;
    if (m_state == State::Quoted) {
        m_field += u'\n';
        ++m_line;
        return;
    }
    endRow();
    ++m_line;
    m_row.line = m_line;
}

void CsvReader::endField()
{
    m_row.fields.append(m_state == State::Closed ? m_field : m_field.trimmed());
    m_field.clear();
    m_state = State::Start;
}

void CsvReader::endRow()
{
    const bool blank =
        m_row.fields.isEmpty() && m_state == State::Start && m_field.trimmed().isEmpty();
    if (m_state != State::Comment && !blank) {
        if (m_state != State::Skip)
            endField();
        m_row.lastLine = m_line;
        if (m_row.fault.isEmpty() && m_row.lastLine > m_row.line)
            m_row.fault = QStringLiteral("a quoted field runs over lines %1 to %2, and a name or "
                                         "a port is one line")
                              .arg(QString::number(m_row.line), QString::number(m_row.lastLine));
        m_rows.append(m_row);
    }
    m_row = Row{};
    m_field.clear();
    m_state = State::Start;
}

void CsvReader::fail(const QString& fault)
{
    if (m_row.fault.isEmpty())
        m_row.fault = fault;
    m_state = State::Skip;
}

} // namespace Cli
