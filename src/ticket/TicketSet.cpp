#include "ticket/TicketSet.h"

#include "platform/SystemNames.h"
#include "platform/TextRoutines.h"
#include "ticket/TicketSlots.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>
#include <optional>

namespace {

const QString kSection = QStringLiteral("TicketSet");
const QString kSlotKey = QStringLiteral("Slot");
// A set file is a few hundred bytes; the cap only stops a wrongly chosen huge file.
constexpr qint64 kMaxSetFileSize = 64 * 1024;
// Lines quoted in a message are cut to this length.
constexpr int kQuotedLineLength = 40;

bool fail(QString* errorText, const QString& text)
{
    if (errorText)
        *errorText = text;
    return false;
}

QString readFailure(const QString& setPath, const QString& reason)
{
    return QCoreApplication::translate("TicketSet", "The ticket set %1 could not be read: %2")
        .arg(setPath, reason);
}

QString writeFailure(const QString& setPath, const QString& reason)
{
    return QCoreApplication::translate("TicketSet", "The ticket set %1 could not be written: %2")
        .arg(setPath, reason);
}

QString quotedLine(const QString& line)
{
    return u'"' + TextRoutines::cutText(line, kQuotedLineLength) + u'"';
}

// The slot a key names: 1 to 7 for Slot1 to Slot7, 0 for "Slot" and digits naming no slot
// (Slot0, Slot8, Slot01), -1 for any other key.
int slotOfKey(const QString& key)
{
    if (!key.startsWith(kSlotKey, Qt::CaseInsensitive) || key.size() == kSlotKey.size())
        return -1;
    const QString digits = key.mid(kSlotKey.size());
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return -1;
    }
    if (digits.size() != 1 || !TicketSlots::isValidSlot(digits.toInt()))
        return 0;
    return digits.toInt();
}

bool isQuoted(const QString& value)
{
    return value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"');
}

// One line of a set file: what it is, and what is wrong with it ("" when nothing).
struct Line {
    enum Kind { Skip, Section, Entry } kind = Skip;
    int slot = 0;
    QString value;
    QString fault;
};

Line parseLine(const QString& text)
{
    Line line;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
        return line;
    if (trimmed.startsWith(u'[')) {
        line.kind = Line::Section;
        const QString name = trimmed.mid(1, trimmed.size() - 2).trimmed();
        if (!trimmed.endsWith(u']')) {
            line.fault =
                QCoreApplication::translate("TicketSet", "the section name %1 has no closing ]")
                    .arg(trimmed);
        } else if (name.compare(kSection, Qt::CaseInsensitive) != 0) {
            line.fault = QCoreApplication::translate(
                             "TicketSet", "unknown section %1; a ticket set has only [TicketSet]")
                             .arg(trimmed);
        }
        return line;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0) {
        line.fault = QCoreApplication::translate(
                         "TicketSet", "%1 is not a key=value line, a [section], a comment or blank")
                         .arg(quotedLine(trimmed));
        return line;
    }
    line.kind = Line::Entry;
    const QString key = trimmed.left(equals).trimmed();
    line.slot = slotOfKey(key);
    if (key.isEmpty()) {
        line.fault = QCoreApplication::translate("TicketSet", "there is no key before the '='");
    } else if (line.slot < 0) {
        line.fault = QCoreApplication::translate(
                         "TicketSet", "unknown key %1; a ticket set has only Slot1 to Slot7")
                         .arg(quotedLine(key));
    } else if (line.slot == 0) {
        line.fault = QCoreApplication::translate("TicketSet",
                                                 "%1 names no slot; the slots are Slot1 to Slot7")
                         .arg(key);
    }
    line.value = trimmed.mid(equals + 1).trimmed();
    if (isQuoted(line.value))
        line.value = line.value.mid(1, line.value.size() - 2);
    return line;
}

// One line of a set file as it stands in the file, decoded and parsed.
Line readLine(QByteArray raw)
{
    if (raw.endsWith('\r'))
        raw.chop(1);
    // The decoder also skips the byte order mark Notepad puts before UTF-8 text.
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(raw);
    Line line;
    if (decoder.hasError())
        line.fault = QCoreApplication::translate("TicketSet", "it is not UTF-8 text");
    else if (text.contains(QChar(u'\0')))
        // The system would end the file name there and open another file than the one named.
        line.fault = QCoreApplication::translate("TicketSet", "it holds a NUL byte");
    else
        line = parseLine(text);
    return line;
}

// The file an entry names, from the set's folder ("/" included for a set at the root); empty for
// an entry without one.
QString entryPath(const Line& line, const QString& setFolder)
{
    if (line.value.isEmpty())
        return {};
    // A set written on Windows separates its folders with backslashes.
    QString value = line.value;
    value.replace(u'\\', u'/');
    return SystemNames::absolutePath(value, setFolder);
}

// The set file's bytes; nothing, and *errorText, when it cannot be read or is too large.
std::optional<QByteArray> readSetBytes(const QString& setPath, QString* errorText)
{
    if (setPath.isEmpty()) {
        fail(errorText, QCoreApplication::translate("TicketSet", "No ticket set file was chosen."));
        return std::nullopt;
    }
    QString why;
    std::optional<QByteArray> bytes = SystemNames::readStart(setPath, kMaxSetFileSize, &why);
    if (!bytes) {
        fail(errorText, readFailure(setPath, why));
        return std::nullopt;
    }
    if (bytes->size() > kMaxSetFileSize) {
        fail(errorText,
             readFailure(setPath, QCoreApplication::translate(
                                      "TicketSet", "it is larger than %1 bytes, too large "
                                                   "for a ticket set")
                                      .arg(kMaxSetFileSize)));
        return std::nullopt;
    }
    return bytes;
}

// Takes a set file's lines in order, each checked against those before it.
class SetParser {
public:
    explicit SetParser(const QString& setPath)
        : m_canonicalSetPath(QFileInfo(setPath).canonicalFilePath())
    {
        const QString absolute = SystemNames::absolutePath(setPath);
        m_setFolder = absolute.left(absolute.lastIndexOf(u'/') + 1);
    }

    // What is wrong with line n; empty when it is taken.
    QString take(int n, const Line& line)
    {
        if (!line.fault.isEmpty())
            return line.fault;
        if (line.kind == Line::Section) {
            if (m_sectionLine)
                return QCoreApplication::translate(
                           "TicketSet", "a second [TicketSet] section (the first is on line %1)")
                    .arg(m_sectionLine);
            m_sectionLine = n;
            return {};
        }
        if (line.kind == Line::Entry)
            return takeEntry(n, line);
        return {};
    }
    bool hasSection() const { return m_sectionLine != 0; }
    const TicketSet& result() const { return m_result; }

private:
    QString takeEntry(int n, const Line& line)
    {
        if (!m_sectionLine)
            return QCoreApplication::translate("TicketSet",
                                               "Slot%1 stands before the [TicketSet] section")
                .arg(line.slot);
        int& firstLine = m_givenOnLine[line.slot - 1];
        if (firstLine)
            return QCoreApplication::translate("TicketSet",
                                               "Slot%1 is given twice (first on line %2)")
                .arg(QString::number(line.slot), QString::number(firstLine));
        firstLine = n;
        const QString path = entryPath(line, m_setFolder);
        if (!path.isEmpty() && !m_canonicalSetPath.isEmpty() &&
            QFileInfo(path).canonicalFilePath() == m_canonicalSetPath)
            return QCoreApplication::translate("TicketSet",
                                               "Slot%1 names this ticket set, not a ticket")
                .arg(line.slot);
        m_result.paths[line.slot - 1] = path;
        return {};
    }

    QString m_canonicalSetPath;
    QString m_setFolder;
    TicketSet m_result;
    std::array<int, SlotTable::kSlotCount> m_givenOnLine{};
    int m_sectionLine = 0;
};

} // namespace

namespace TicketSetFile {

bool isSetPath(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("tkset"), Qt::CaseInsensitive) == 0;
}

bool read(const QString& setPath, TicketSet* set, QString* errorText)
{
    const std::optional<QByteArray> content = readSetBytes(setPath, errorText);
    if (!content)
        return false;
    SetParser parser(setPath);
    const QList<QByteArray> lines = content->split('\n');
    for (int n = 1; n <= lines.size(); ++n) {
        if (const QString fault = parser.take(n, readLine(lines.at(n - 1))); !fault.isEmpty())
            return fail(errorText, readFailure(setPath, QCoreApplication::translate("TicketSet",
                                                                                    "line %1: %2.")
                                                            .arg(QString::number(n), fault)));
    }
    if (!parser.hasSection()) {
        return fail(errorText,
                    readFailure(setPath, QCoreApplication::translate(
                                             "TicketSet", "it has no [TicketSet] section.")));
    }
    *set = parser.result();
    return true;
}

bool write(const QString& setPath, const TicketSet& set, QString* errorText)
{
    if (setPath.isEmpty())
        return fail(errorText,
                    QCoreApplication::translate("TicketSet", "No ticket set file was chosen."));
    const QDir folder = QFileInfo(setPath).absoluteDir();
    QByteArray out = "[" + kSection.toUtf8() + "]\r\n";
    for (int slot = 1; slot <= SlotTable::kSlotCount; ++slot) {
        const QString& path = set.paths[slot - 1];
        if (path.isEmpty())
            continue;
        if (path.contains(u'\n') || path.contains(u'\r')) {
            return fail(
                errorText,
                writeFailure(setPath, QCoreApplication::translate(
                                          "TicketSet", "the path of slot %1 holds a line break.")
                                          .arg(slot)));
        }
        if (QDir::isRelativePath(path)) {
            return fail(
                errorText,
                writeFailure(setPath, QCoreApplication::translate(
                                          "TicketSet", "the path of slot %1 (%2) is not absolute.")
                                          .arg(QString::number(slot), path)));
        }
        const QString clean = QDir::cleanPath(path);
        const QString relative = folder.relativeFilePath(clean);
        const bool below = QDir::isRelativePath(relative) && relative != QStringLiteral("..") &&
                           !relative.startsWith(QStringLiteral("../"));
        QString stored = below ? relative : clean;
        // Quotes keep the blanks at a path's ends, and a path that is itself in quotes.
        if (stored != stored.trimmed() || isQuoted(stored))
            stored = u'"' + stored + u'"';
        out += QStringLiteral("%1%2=%3\r\n").arg(kSlotKey, QString::number(slot), stored).toUtf8();
    }

    QSaveFile file(setPath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(errorText, writeFailure(setPath, file.errorString()));
    if (file.write(out) != out.size() || !file.commit())
        return fail(errorText, writeFailure(setPath, file.errorString()));
    return true;
}

} // namespace TicketSetFile

QStringList loadTicketSetSlots(TicketSlots& ticketSlots, const TicketSet& set)
{
    // Every file is read once, into a scratch copy, so that the slots change only once each
    // file is known to load or not.
    TicketSlots scratch;
    std::array<QString, SlotTable::kSlotCount> errors;
    for (int slot = 1; slot <= SlotTable::kSlotCount; ++slot) {
        const QString& path = set.paths[slot - 1];
        if (!path.isEmpty())
            scratch.load(slot, path, &errors[slot - 1]);
    }

    QStringList problems;
    for (int slot = 1; slot <= SlotTable::kSlotCount; ++slot) {
        const QString& path = set.paths[slot - 1];
        QString& error = errors[slot - 1];
        if (!path.isEmpty() && error.isEmpty()) {
            ticketSlots.copySlot(slot, scratch);
            continue;
        }
        ticketSlots.remove(slot);
        if (!error.isEmpty()) {
            QString name = SlotTable::slotName(slot);
            name[0] = name.at(0).toUpper();
            problems << QStringLiteral("%1: %2").arg(name, error);
        }
    }
    return problems;
}

QString loadTicketSet(TicketSlots& ticketSlots, const TicketSet& set)
{
    const QStringList problems = loadTicketSetSlots(ticketSlots, set);
    if (problems.isEmpty())
        return {};
    const QString heading =
        problems.size() == 1
            ? QCoreApplication::translate(
                  "TicketSet", "1 ticket of the set could not be loaded; its slot is left empty:")
            : QCoreApplication::translate(
                  "TicketSet", "%1 tickets of the set could not be loaded; their slots are left "
                               "empty:")
                  .arg(QString::number(problems.size()));
    return heading + u'\n' + problems.join(u'\n');
}
