#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <optional>

// Whom an encrypted channel trusts and how it proves who it is, as files the operator names: the
// authority that signed the device server's certificate (empty: the system's authorities), or
// the one certificate pinned by its fingerprint; and the certificate and key offered when the
// server asks for one.
struct TlsTrust {
    QString caFile;
    QString certFile;
    QString keyFile;
    QString pin; // "SHA256:<64 hex digits>", as given

    static inline const QString kPinScheme = QStringLiteral("SHA256:");

    bool isEmpty() const
    {
        return caFile.isEmpty() && certFile.isEmpty() && keyFile.isEmpty() && pin.isEmpty();
    }
    // The 32 bytes a pin names; nothing when the text is no pin. Case is free, and the colons
    // that openssl puts between the bytes may stay.
    static std::optional<QByteArray> pinDigest(const QString& text);
    // "SHA256:" and the digest in lower-case hex, as the messages name a certificate.
    static QString pinText(const QByteArray& digest)
    {
        return kPinScheme + QString::fromLatin1(digest.toHex());
    }

    friend bool operator==(const TlsTrust&, const TlsTrust&) = default;
};

// The certificate an encrypted channel verified: its subject and the SHA-256 of its DER bytes in
// lower-case hex, as the download record keeps them.
struct PeerIdentity {
    QString subject;
    QString sha256;

    friend bool operator==(const PeerIdentity&, const PeerIdentity&) = default;
};

inline std::optional<QByteArray> TlsTrust::pinDigest(const QString& text)
{
    constexpr qsizetype kDigestSize = 32;
    if (!text.startsWith(kPinScheme, Qt::CaseInsensitive))
        return std::nullopt;
    QString hex = text.mid(kPinScheme.size());
    hex.remove(u':');
    for (const QChar c : std::as_const(hex)) {
        const char16_t lower = c.toLower().unicode();
        if (!((lower >= u'0' && lower <= u'9') || (lower >= u'a' && lower <= u'f')))
            return std::nullopt;
    }
    const QByteArray digest = QByteArray::fromHex(hex.toLatin1());
    if (hex.size() != 2 * kDigestSize || digest.size() != kDigestSize)
        return std::nullopt;
    return digest;
}

Q_DECLARE_METATYPE(PeerIdentity)
