#include "ticket/DownloadRecord.h"

#include "link/IndicatorProtocol.h"
#include "platform/TextRoutines.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kTime = QStringLiteral("time");
const QString kChannel = QStringLiteral("channel");
const QString kBaud = QStringLiteral("baud");
const QString kVersion = QStringLiteral("version");
const QString kSerial = QStringLiteral("serial");
const QString kOutcome = QStringLiteral("outcome");
const QString kSeconds = QStringLiteral("seconds");
const QString kCommands = QStringLiteral("commands");
const QString kRetries = QStringLiteral("retries");
const QString kSlots = QStringLiteral("slots");
const QString kSlot = QStringLiteral("slot");
const QString kFile = QStringLiteral("file");
const QString kSize = QStringLiteral("size");
const QString kSha256 = QStringLiteral("sha256");
const QString kStored = QStringLiteral("stored");
const QString kTls = QStringLiteral("tls");
const QString kSubject = QStringLiteral("subject");

constexpr qsizetype kSha256HexLength = 64;

QString timeText(const QDateTime& time)
{
    return TextRoutines::timeWithOffset(time, QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

// A whole number within [minimum, maximum] stored as a JSON number, or nothing.
std::optional<qint64> wholeNumber(const QJsonValue& value, qint64 minimum, qint64 maximum)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (d != double(qint64(d)) || d < double(minimum) || d > double(maximum))
        return std::nullopt;
    return qint64(d);
}

bool isLowerHex(const QString& text)
{
    for (const QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    }
    return true;
}

std::optional<DownloadRecord::Slot> slotFromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto slot = wholeNumber(object.value(kSlot), 1, SlotTable::kSlotCount);
    const auto size = wholeNumber(object.value(kSize), 0, std::numeric_limits<qint32>::max());
    const QJsonValue file = object.value(kFile);
    const QJsonValue sha256 = object.value(kSha256);
    const QJsonValue stored = object.value(kStored);
    if (!slot || !size || !file.isString() || !sha256.isString() || !stored.isBool())
        return std::nullopt;
    const QString hash = sha256.toString();
    if (hash.size() != kSha256HexLength || !isLowerHex(hash))
        return std::nullopt;
    return DownloadRecord::Slot{int(*slot), file.toString(), *size, hash, stored.toBool()};
}

bool fail(QString* errorText, const QString& text)
{
    if (errorText)
        *errorText = text;
    return false;
}

// The bytes in one write to a file opened for appending: the system places each such write
// whole at the end, whoever else appends.
bool appendOnce(const QString& path, const QByteArray& line, QString* reason)
{
#ifdef Q_OS_WIN
    // Append-only access makes Windows place every write at the end of the file atomically.
    const HANDLE handle = CreateFileW(
        reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
        FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = qt_error_string(int(GetLastError()));
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(handle, line.constData(), DWORD(line.size()), &written, nullptr) &&
                    written == DWORD(line.size());
    if (!ok)
        *reason = qt_error_string(int(GetLastError()));
    CloseHandle(handle);
    return ok;
#else
    // Unbuffered: the line reaches the system in one write, not in pieces of Qt's buffer.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *reason = file.errorString();
        return false;
    }
    if (file.write(line) != line.size()) {
        *reason = file.errorString();
        return false;
    }
    return true;
#endif
}

// True when the file is missing, empty or ends its last line; a line torn by a crash must not
// swallow the next record.
bool endsWithLineEnd(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return true;
    char last = '\n';
    return !file.seek(file.size() - 1) || !file.getChar(&last) || last == '\n';
}

} // namespace

QJsonObject DownloadRecord::toJson() const
{
    QJsonArray slotArray;
    for (const Slot& s : tickets) {
        slotArray.append(QJsonObject{{kSlot, s.slot},
                                     {kFile, s.file},
                                     {kSize, s.size},
                                     {kSha256, s.sha256},
                                     {kStored, s.stored}});
    }
    QJsonObject object{{kTime, timeText(time)}, {kChannel, channel},   {kBaud, baud},
                       {kVersion, version},     {kSerial, serial},     {kOutcome, outcome},
                       {kSeconds, seconds},     {kCommands, commands}, {kRetries, retries},
                       {kSlots, slotArray}};
    if (tls)
        object.insert(kTls, QJsonObject{{kSubject, tls->subject}, {kSha256, tls->sha256}});
    return object;
}

std::optional<DownloadRecord> DownloadRecord::fromJson(const QJsonObject& object)
{
    constexpr qint64 kIntMax = std::numeric_limits<int>::max();
    DownloadRecord record;
    const QJsonValue time = object.value(kTime);
    if (!time.isString())
        return std::nullopt;
    record.time = QDateTime::fromString(time.toString(), Qt::ISODateWithMs);
    if (!record.time.isValid())
        return std::nullopt;
    for (const auto& [key, field] : {std::pair{&kChannel, &DownloadRecord::channel},
                                     std::pair{&kVersion, &DownloadRecord::version},
                                     std::pair{&kSerial, &DownloadRecord::serial},
                                     std::pair{&kOutcome, &DownloadRecord::outcome}}) {
        const QJsonValue value = object.value(*key);
        if (!value.isString())
            return std::nullopt;
        record.*field = value.toString();
    }
    for (const auto& [key, field] : {std::pair{&kBaud, &DownloadRecord::baud},
                                     std::pair{&kCommands, &DownloadRecord::commands},
                                     std::pair{&kRetries, &DownloadRecord::retries}}) {
        const auto number = wholeNumber(object.value(*key), 0, kIntMax);
        if (!number)
            return std::nullopt;
        record.*field = int(*number);
    }
    const QJsonValue seconds = object.value(kSeconds);
    if (!seconds.isDouble() || seconds.toDouble() < 0)
        return std::nullopt;
    record.seconds = seconds.toDouble();
    const QJsonValue slotArray = object.value(kSlots);
    if (!slotArray.isArray())
        return std::nullopt;
    for (const QJsonValue& value : slotArray.toArray()) {
        const auto slot = slotFromJson(value);
        if (!slot)
            return std::nullopt;
        record.tickets.append(*slot);
    }
    if (const QJsonValue tls = object.value(kTls); !tls.isUndefined()) {
        const QJsonValue subject = tls.toObject().value(kSubject);
        const QJsonValue sha256 = tls.toObject().value(kSha256);
        if (!subject.isString() || !sha256.isString())
            return std::nullopt;
        record.tls = PeerIdentity{subject.toString(), sha256.toString()};
    }
    return record;
}

QString DownloadRecord::indicatorText(const QByteArray& text)
{
    QByteArray kept = TextRoutines::stripControlChars(text);
    kept.removeIf(
        [](char c) { return c == IndicatorProtocol::kAck || c == IndicatorProtocol::kNak; });
    return QString::fromLatin1(kept);
}

QList<DownloadRecord::Slot> DownloadRecord::ticketsOf(const SlotTable::Contents& contents,
                                                      const SlotTable::Paths& paths)
{
    QList<Slot> tickets;
    for (int s = 1; s <= SlotTable::kSlotCount; ++s) {
        const QByteArray& bytes = contents[s - 1];
        if (bytes.isEmpty())
            continue;
        tickets.append({s, paths[s - 1], bytes.size(),
                        QString::fromLatin1(
                            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()),
                        false});
    }
    return tickets;
}

namespace DownloadLog {

QString defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("downloads.jsonl"));
}

bool append(const QString& path, const DownloadRecord& record, QString* errorText)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(errorText,
                    QCoreApplication::translate("DownloadRecord",
                                                "The download record %1 could not be written: the "
                                                "folder %2 could not be made.")
                        .arg(path, folder));
    QByteArray line = QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact);
    line.append('\n');
    if (!endsWithLineEnd(path))
        line.prepend('\n');
    QString reason;
    if (!appendOnce(path, line, &reason))
        return fail(errorText,
                    QCoreApplication::translate("DownloadRecord",
                                                "The download record %1 could not be written: %2")
                        .arg(path, reason));
    return true;
}

Contents read(const QString& path)
{
    Contents contents;
    QSet<QString> seen;
    const auto share = [&seen](QString& text) {
        const auto it = seen.constFind(text);
        if (it == seen.constEnd())
            seen.insert(text);
        else
            text = *it;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return contents;
    const QByteArray all = file.readAll();
    // Each line parsed where it lies in the file's bytes, not copied out first: a record of many
    // years would otherwise be held twice.
    for (qsizetype start = 0; start < all.size();) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        const QByteArray line = QByteArray::fromRawData(all.constData() + start, end - start);
        start = end + 1;
        if (QByteArrayView(line).trimmed().isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        auto record =
            document.isObject() ? DownloadRecord::fromJson(document.object()) : std::nullopt;
        if (!record) {
            ++contents.damagedLines;
            continue;
        }
        // The same channels, indicators and tickets come back line after line: one copy each.
        for (QString* text :
             {&record->channel, &record->version, &record->serial, &record->outcome})
            share(*text);
        if (record->tls) {
            share(record->tls->subject);
            share(record->tls->sha256);
        }
        for (DownloadRecord::Slot& s : record->tickets) {
            share(s.file);
            share(s.sha256);
        }
        contents.records.append(std::move(*record));
    }
    return contents;
}

} // namespace DownloadLog
