#include "platform/IniFile.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

namespace {

struct Line {
    QByteArray text; // without its line end
    QByteArray end;  // "\r\n", "\n" or "" for a last line without one
};

QList<Line> splitLines(const QByteArray& content)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype lf = content.indexOf('\n', start);
        if (lf < 0) {
            lines.append({content.mid(start), {}});
            break;
        }
        const bool crlf = lf > start && content.at(lf - 1) == '\r';
        const qsizetype textEnd = crlf ? lf - 1 : lf;
        lines.append({content.mid(start, textEnd - start), crlf ? "\r\n" : "\n"});
        start = lf + 1;
    }
    return lines;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QByteArray& a, const QByteArray& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The section name of a "[name]" line, or a null array for any other line.
QByteArray sectionName(const QByteArray& line)
{
    const QByteArray trimmed = trimBlanks(line);
    if (!trimmed.startsWith('['))
        return {};
    const qsizetype close = trimmed.indexOf(']');
    if (close < 0)
        return {};
    QByteArray name = trimBlanks(trimmed.mid(1, close - 1));
    if (name.isNull())
        name = QByteArray("");
    return name;
}

bool isComment(const QByteArray& line)
{
    const QByteArray trimmed = trimBlanks(line);
    return trimmed.startsWith(';') || trimmed.startsWith('#');
}

// Where the value of a "key = value" line starts, just past its first '='; -1 for lines that
// are not settings.
qsizetype valueStart(const QByteArray& line)
{
    if (isComment(line) || !sectionName(line).isNull())
        return -1;
    const qsizetype eq = line.indexOf('=');
    return eq < 0 ? -1 : eq + 1;
}

QByteArray settingKey(const QByteArray& line, qsizetype valueAt)
{
    return trimBlanks(line.left(valueAt - 1));
}

// Quotes around a value are the file's way of keeping its blanks; only a matching pair that
// encloses the whole value goes.
QByteArray unquoted(const QByteArray& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// What a search of the first section named `section` found; indexes into the file's lines.
struct Place {
    qsizetype sectionAt = -1;
    qsizetype keyAt = -1;
    qsizetype lastEntryAt = -1; // the section's last line that is not blank
};

Place find(const QList<Line>& lines, const QByteArray& section, const QByteArray& key)
{
    Place place;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& text = lines[i].text;
        const QByteArray name = sectionName(text);
        if (!name.isNull()) {
            // A later section of the same name is never looked at, as on Windows.
            if (place.sectionAt >= 0)
                break;
            if (sameName(name, section))
                place.sectionAt = place.lastEntryAt = i;
            continue;
        }
        if (place.sectionAt < 0)
            continue;
        const qsizetype valueAt = valueStart(text);
        if (valueAt >= 0 && sameName(settingKey(text, valueAt), key)) {
            place.keyAt = i;
            break;
        }
        if (!trimBlanks(text).isEmpty())
            place.lastEntryAt = i;
    }
    return place;
}

// The line end for lines the program writes: the file's own, or CRLF as the platform writes.
QByteArray newlineOf(const QList<Line>& lines)
{
    for (const Line& line : lines) {
        if (!line.end.isEmpty())
            return line.end;
    }
    return "\r\n";
}

// Whether "key=value" in "[section]" reads back as written.
bool storable(const QByteArray& section, const QByteArray& key, const QByteArray& value)
{
    const auto hasBreak = [](const QByteArray& t) { return t.contains('\r') || t.contains('\n'); };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return false;
    if (key.isEmpty() || key.contains('=') || key.startsWith('[') || key.startsWith(';') ||
        key.startsWith('#'))
        return false;
    return !section.contains(']');
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

namespace IniFile {

QByteArray read(const QString& path, const QByteArray& section, const QByteArray& key)
{
    const QList<Line> lines = splitLines(readAll(path));
    const Place place = find(lines, trimBlanks(section), trimBlanks(key));
    if (place.keyAt < 0)
        return {};
    const QByteArray& text = lines[place.keyAt].text;
    return unquoted(trimBlanks(text.mid(valueStart(text))));
}

bool write(const QString& path, const QByteArray& section, const QByteArray& key,
           const QByteArray& value)
{
    const QByteArray sectionWanted = trimBlanks(section);
    const QByteArray keyWanted = trimBlanks(key);
    if (!storable(sectionWanted, keyWanted, value))
        return false;

    const QByteArray content = readAll(path);
    QList<Line> lines = splitLines(content);
    const QByteArray newline = newlineOf(lines);
    const Place place = find(lines, sectionWanted, keyWanted);

    if (place.keyAt >= 0) {
        Line& line = lines[place.keyAt];
        line.text = line.text.left(valueStart(line.text)) + value;
        if (line.end.isEmpty())
            line.end = newline;
    } else {
        if (!lines.isEmpty() && lines.last().end.isEmpty()) {
            // A CR that ends the text would pair with a lone LF and turn into the line end.
            lines.last().end = lines.last().text.endsWith('\r') ? QByteArray("\r\n") : newline;
        }
        const Line setting{keyWanted + '=' + value, newline};
        if (place.sectionAt < 0) {
            lines.append({'[' + sectionWanted + ']', newline});
            lines.append(setting);
        } else {
            lines.insert(place.lastEntryAt + 1, setting);
        }
    }

    QByteArray out;
    out.reserve(content.size() + keyWanted.size() + value.size() + sectionWanted.size() + 8);
    for (const Line& line : lines)
        out += line.text + line.end;

    // Written beside the old file and renamed over it, so a crash or a full disk never
    // leaves a truncated settings file behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace IniFile
