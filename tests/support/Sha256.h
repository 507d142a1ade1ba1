#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

// The bytes' SHA-256 in lower-case hexadecimal, as the download record and the preview write it.
inline QString sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
