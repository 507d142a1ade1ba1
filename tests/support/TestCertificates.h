#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// Certificates made with Debian's openssl command in a folder of their own, each NAME.pem with
// its key NAME.key: an authority "ca" and what it signed, a server certificate for localhost and
// 127.0.0.1 ("server", and with its key in server-both.pem for socat), a client certificate
// ("client", and client-locked.key behind a passphrase), one made out to another host
// ("wrong-name"), an expired one ("expired"); another authority "other-ca" and the server
// ("foreign") and client ("stranger") certificates it signed. `openssl ca` takes any dates.
class TestCertificates {
public:
    static QString program() { return QStandardPaths::findExecutable(QStringLiteral("openssl")); }

    // What went wrong, or nothing.
    QString make()
    {
        const QString ec = QStringLiteral("ec_paramgen_curve:prime256v1");
        for (const QString ca : {"ca", "other-ca"}) {
            QDir().mkpath(path(ca));
            const QString config = QStringLiteral(
                "[ca]\ndefault_ca = c\n[c]\ndatabase = %1/index.txt\nserial = %1/serial\n"
                "new_certs_dir = %1\ndefault_md = sha256\npolicy = p\nunique_subject = no\n"
                "copy_extensions = copy\n[p]\ncommonName = supplied\norganizationName = "
                "optional\n");
            if (!write(ca + "/index.txt", {}) || !write(ca + "/serial", "1000\n") ||
                !write(ca + "/openssl.cnf", config.arg(path(ca)).toUtf8()))
                return QStringLiteral("cannot write into %1").arg(path(ca));
            if (QString error = run({"req", "-x509", "-newkey", "ec", "-pkeyopt", ec, "-nodes",
                                     "-keyout", path(ca + ".key"), "-out", path(ca + ".pem"),
                                     "-days", "30", "-subj", "/CN=Test " + ca});
                !error.isEmpty())
                return error;
        }
        const QString here = QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1");
        for (const auto& [name, ca, subject, names, dates] :
             {std::tuple<QString, QString, QString, QString, QStringList>{
                  "server", "ca", "/CN=localhost", here, {"-days", "30"}},
              {"client", "ca", "/CN=ticket-talvor", {}, {"-days", "30"}},
              {"wrong-name",
               "ca",
               "/CN=scale.example",
               "subjectAltName=DNS:scale.example",
               {"-days", "30"}},
              {"expired",
               "ca",
               "/CN=localhost",
               here,
               {"-startdate", "20200101000000Z", "-enddate", "20200201000000Z"}},
              {"foreign", "other-ca", "/CN=localhost/O=Elsewhere", here, {"-days", "30"}},
              {"stranger", "other-ca", "/CN=stranger", {}, {"-days", "30"}}}) {
            QStringList request{
                "req",     "-newkey",           "ec",   "-pkeyopt",          ec,      "-nodes",
                "-keyout", path(name + ".key"), "-out", path(name + ".csr"), "-subj", subject};
            if (!names.isEmpty())
                request << "-addext" << names;
            if (QString error = run(request); !error.isEmpty())
                return error;
            if (QString error =
                    run(QStringList{"ca", "-batch", "-notext", "-config", path(ca + "/openssl.cnf"),
                                    "-cert", path(ca + ".pem"), "-keyfile", path(ca + ".key"),
                                    "-in", path(name + ".csr"), "-out", path(name + ".pem")} +
                        dates);
                !error.isEmpty())
                return error;
        }
        if (!write("server-both.pem", read("server.pem") + read("server.key")))
            return QStringLiteral("cannot write server-both.pem");
        return run({"pkey", "-in", path("client.key"), "-aes256", "-passout", "pass:secret", "-out",
                    path("client-locked.key")});
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The certificate's fingerprint as a pin: "SHA256:" and 64 hex digits.
    QString pin(const QString& name) const
    {
        QProcess openssl;
        openssl.start(program(), {"x509", "-in", path(name), "-noout", "-fingerprint", "-sha256"});
        openssl.waitForFinished(10000);
        // "sha256 Fingerprint=AB:CD:..."
        const QByteArray out = openssl.readAllStandardOutput().trimmed();
        return "SHA256:" +
               QString::fromLatin1(out.mid(out.indexOf('=') + 1)).remove(u':').toLower();
    }

private:
    QByteArray read(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    QString run(const QStringList& arguments) const
    {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(program(), arguments);
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            return "openssl " + arguments.first() + ": " +
                   QString::fromLocal8Bit(openssl.readAll());
        return {};
    }

    QTemporaryDir m_dir;
};

// Skips the test, saying why, where a program it needs is not installed; CI installs them.
#define REQUIRE_TLS_RIGS()                                                                         \
    do {                                                                                           \
        if (TestCertificates::program().isEmpty() || TlsTerminator::program().isEmpty())           \
            QSKIP("openssl or socat is not installed (Debian packages openssl, socat); "           \
                  "scripts/test installs them");                                                   \
    } while (false)
