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

bool isSection(const QByteArray& line)
{
    return !sectionName(line).isNull();
}

bool isComment(const QByteArray& line)
{
    const QByteArray trimmed = trimBlanks(line);
    return trimmed.startsWith(';') || trimmed.startsWith('#');
}

// Splits a "key = value" line; false for lines that are not settings.
bool splitSetting(const QByteArray& line, QByteArray* key, QByteArray* value)
{
    if (isComment(line) || isSection(line))
        return false;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return false;
    *key = trimBlanks(line.left(eq));
    *value = trimBlanks(line.mid(eq + 1));
    return true;
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
    bool inSection = false;
    for (const Line& line : splitLines(readAll(path))) {
        const QByteArray name = sectionName(line.text);
        if (!name.isNull()) {
            inSection = sameName(name, section);
            continue;
        }
        QByteArray lineKey;
        QByteArray value;
        if (inSection && splitSetting(line.text, &lineKey, &value) && sameName(lineKey, key))
            return value;
    }
    return {};
}

bool write(const QString& path, const QByteArray& section, const QByteArray& key,
           const QByteArray& value)
{
    const QByteArray content = readAll(path);
    QList<Line> lines = splitLines(content);

    // New lines follow the file's own line ends.
    QByteArray newline = "\n";
    for (const Line& line : lines) {
        if (!line.end.isEmpty()) {
            newline = line.end;
            break;
        }
    }
    const QByteArray setting = key + '=' + value;

    qsizetype sectionAt = -1;
    qsizetype lastSettingAt = -1;
    qsizetype keyAt = -1;
    for (qsizetype i = 0; i < lines.size() && keyAt < 0; ++i) {
        const QByteArray name = sectionName(lines[i].text);
        if (!name.isNull()) {
            if (sectionAt >= 0)
                break;
            if (sameName(name, section)) {
                sectionAt = i;
                lastSettingAt = i;
            }
            continue;
        }
        if (sectionAt < 0)
            continue;
        QByteArray lineKey;
        QByteArray lineValue;
        if (splitSetting(lines[i].text, &lineKey, &lineValue)) {
            lastSettingAt = i;
            if (sameName(lineKey, key))
                keyAt = i;
        } else if (!trimBlanks(lines[i].text).isEmpty()) {
            lastSettingAt = i;
        }
    }

    if (keyAt >= 0) {
        lines[keyAt].text = setting;
    } else {
        if (!lines.isEmpty() && lines.last().end.isEmpty())
            lines.last().end = newline;
        if (sectionAt < 0) {
            lines.append({'[' + section + ']', newline});
            lines.append({setting, newline});
        } else {
            lines.insert(lastSettingAt + 1, {setting, newline});
        }
    }

    QByteArray out;
    out.reserve(content.size() + setting.size() + section.size() + 8);
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
