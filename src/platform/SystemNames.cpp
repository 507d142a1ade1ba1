#include "platform/SystemNames.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the UTF-8 sequence at p, or 0 where none starts (overlong forms, surrogates
// and code points past U+10FFFF included).
int sequenceLength(const uchar* p, qsizetype left)
{
    const uchar lead = p[0];
    const int length = lead < 0x80                    ? 1
                       : lead >= 0xC2 && lead <= 0xDF ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
    if (length == 0 || length > left)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
    }
    if ((lead == 0xE0 && p[1] < 0xA0) || (lead == 0xED && p[1] >= 0xA0) ||
        (lead == 0xF0 && p[1] < 0x90) || (lead == 0xF4 && p[1] >= 0x90))
        return 0;
    return length;
}

bool isEscape(QChar c)
{
    return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF;
}

} // namespace

namespace SystemNames {

QString fromBytes(const QByteArray& bytes)
{
    QString name;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        if (const int length = sequenceLength(p + i, bytes.size() - i); length > 0) {
            i += length;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + runStart, i - runStart);
        name += QChar(char16_t(kEscapeBase + p[i]));
        runStart = ++i;
    }
    return name + QString::fromUtf8(bytes.constData() + runStart, bytes.size() - runStart);
}

QByteArray toBytes(const QString& name)
{
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        // A lone low surrogate cannot stand in UTF-8 text: it is an escaped byte.
        const bool paired = i > 0 && name.at(i - 1).isHighSurrogate();
        if (!isEscape(name.at(i)) || paired)
            continue;
        bytes += QStringView(name).mid(runStart, i - runStart).toUtf8();
        bytes += char(name.at(i).unicode() - kEscapeBase);
        runStart = i + 1;
    }
    return bytes + QStringView(name).mid(runStart).toUtf8();
}

QString absolutePath(const QString& path, const QString& base)
{
    if (QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    return QDir::cleanPath((base.isEmpty() ? QDir::currentPath() : base) + u'/' + path);
}

bool openForReading(QFile& file, const QString& path, QString* error)
{
#ifdef Q_OS_UNIX
    const QByteArray bytes = toBytes(path);
    if (bytes != path.toUtf8()) {
        // QFile knows names only as UTF-8 text: the system opens it by its bytes.
        const int fd = ::open(bytes.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            return true;
        ::close(fd);
        *error = file.errorString();
        return false;
    }
#endif
    file.setFileName(path);
    if (file.open(QIODevice::ReadOnly))
        return true;
    *error = file.errorString();
    return false;
}

std::optional<QByteArray> readStart(const QString& path, qint64 limit, QString* error,
                                    qint64* fileSize)
{
    QFile file;
    if (!openForReading(file, path, error))
        return std::nullopt;
    if (fileSize)
        *fileSize = file.size();
    // In chunks, so that a device or a pipe, which has no size, cannot grow the bytes past the
    // limit either.
    constexpr qint64 kChunk = 64 * 1024;
    QByteArray bytes;
    bytes.reserve(std::min(file.size(), limit) + 1);
    while (bytes.size() <= limit) {
        const QByteArray chunk = file.read(std::min(kChunk, limit + 1 - bytes.size()));
        if (file.error() != QFileDevice::NoError) {
            *error = file.errorString();
            return std::nullopt;
        }
        if (chunk.isEmpty())
            break;
        bytes.append(chunk);
    }
    return bytes;
}

} // namespace SystemNames
