// Any file content, any section, key and value: a write either refuses and leaves the file
// alone, or stores the value so that it reads back, changes nothing more when repeated, and
// leaves every other line as it was.
//
// Input: a flag byte, then section, key and value (libFuzzer's random-length strings), then the
// file content. Flag bits 0 and 1 take the section or key from the content instead, so that the
// writes land in sections and on keys the file already has; bit 2 means "no file at all".

#include "platform/IniFile.h"
#include "platform/SettingsStore.h"
#include "platform/TextRoutines.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_inifile: %s\n", what);
        std::abort();
    }
}

struct Line {
    QByteArray text;
    QByteArray end;
};

// Lines as any reader of the file splits them: at LF, with a CR before the LF part of the end.
QList<Line> lines(const QByteArray& content)
{
    QList<Line> result;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype lf = content.indexOf('\n', start);
        if (lf < 0) {
            result.append({content.mid(start), {}});
            break;
        }
        const qsizetype textEnd = lf > start && content.at(lf - 1) == '\r' ? lf - 1 : lf;
        result.append(
            {content.mid(start, textEnd - start), content.mid(textEnd, lf + 1 - textEnd)});
        start = lf + 1;
    }
    return result;
}

// The text between the n-th '[' of the content and the next ']' or line end.
QByteArray sectionFrom(const QByteArray& content, unsigned n)
{
    const qsizetype count = content.count('[');
    if (count == 0)
        return {};
    qsizetype at = -1;
    for (unsigned i = 0; i <= n % count; ++i)
        at = content.indexOf('[', at + 1);
    qsizetype end = at + 1;
    while (end < content.size() && content.at(end) != ']' && content.at(end) != '\n')
        ++end;
    return content.mid(at + 1, end - at - 1);
}

// The text between the start of the line of the n-th '=' and that '='.
QByteArray keyFrom(const QByteArray& content, unsigned n)
{
    const qsizetype count = content.count('=');
    if (count == 0)
        return {};
    qsizetype at = -1;
    for (unsigned i = 0; i <= n % count; ++i)
        at = content.indexOf('=', at + 1);
    const qsizetype start = content.lastIndexOf('\n', at) + 1;
    return content.mid(start, at - start);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What a read returns for a written value: no blanks around it, then no enclosing quote pair.
QByteArray readBack(QByteArray value)
{
    while (!value.isEmpty() && isBlank(value.front()))
        value.remove(0, 1);
    while (!value.isEmpty() && isBlank(value.back()))
        value.chop(1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

// Names made of letters, digits, '_', '.' and inner blanks are always storable.
bool plainName(const QByteArray& name)
{
    if (name.isEmpty() || isBlank(name.front()) || isBlank(name.back()))
        return false;
    for (char c : name) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == ' '))
            return false;
    }
    return true;
}

// Every line of `before` is in `after`, in order and unchanged, apart from one replaced line
// (that keeps all up to its '=') or one or two added lines; a line end appears only where the
// old last line had none.
void requireOtherLinesKept(const QByteArray& before, const QByteArray& after)
{
    const QList<Line> b = lines(before);
    const QList<Line> a = lines(after);
    const auto sameLine = [&](qsizetype bi, qsizetype ai) {
        if (b[bi].text != a[ai].text)
            return false;
        if (b[bi].end == a[ai].end)
            return true;
        return bi == b.size() - 1 && b[bi].end.isEmpty() && !a[ai].end.isEmpty();
    };
    qsizetype head = 0;
    while (head < b.size() && head < a.size() && sameLine(head, head))
        ++head;
    qsizetype tail = 0;
    while (tail < b.size() - head && tail < a.size() - head &&
           sameLine(b.size() - 1 - tail, a.size() - 1 - tail))
        ++tail;
    const qsizetype oldMiddle = b.size() - head - tail;
    const qsizetype newMiddle = a.size() - head - tail;
    require(a.size() >= b.size(), "a line went missing");
    require((oldMiddle == 0 && newMiddle <= 2) || (oldMiddle == 1 && newMiddle == 1),
            "more than the written line changed");
    if (oldMiddle == 1) {
        const QByteArray& old = b[head].text;
        require(a[head].text.startsWith(old.left(old.indexOf('=') + 1)),
                "a replaced line lost its key");
    }
    for (qsizetype i = head; i < head + newMiddle; ++i)
        require(!a[i].end.isEmpty(), "a written line has no line end");
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("TicketTalvor.ini"));

    FuzzedDataProvider input(data, size);
    const uint8_t flags = input.ConsumeIntegral<uint8_t>();
    QByteArray section = QByteArray::fromStdString(input.ConsumeRandomLengthString(64));
    QByteArray key = QByteArray::fromStdString(input.ConsumeRandomLengthString(64));
    const QByteArray value = QByteArray::fromStdString(input.ConsumeRandomLengthString(400));
    const QByteArray content = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());
    if (flags & 1)
        section = sectionFrom(content, flags >> 3);
    if (flags & 2)
        key = keyFrom(content, flags >> 3);

    QFile::remove(path);
    if (!(flags & 4)) {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
                "cannot set up the file");
    }
    const QByteArray before = fileBytes(path);

    if (!IniFile::write(path, section, key, value)) {
        require(QFile::exists(path) == !(flags & 4), "a refused write touched the file");
        require(fileBytes(path) == before, "a refused write changed the file");
        require(!(plainName(section) && plainName(key) && !value.contains('\r') &&
                  !value.contains('\n')),
                "a plain setting was refused");
        return 0;
    }
    const QByteArray after = fileBytes(path);

    const QByteArray expected = readBack(value);
    require(IniFile::read(path, section, key) == expected, "the value does not read back");
    const QString shown =
        SettingsStore(path).readValue(QString::fromLatin1(section), QString::fromLatin1(key));
    require(shown == QString::fromLatin1(TextRoutines::stripControlChars(expected.left(254))),
            "the settings store shows another value");

    requireOtherLinesKept(before, after);

    require(IniFile::write(path, section, key, value), "a repeated write failed");
    require(fileBytes(path) == after, "a repeated write changed the file");
    return 0;
}
