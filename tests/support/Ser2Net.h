#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace Ser2NetRig {

// The program in PATH or in a system folder a user's PATH may leave out; empty when missing.
inline QString findProgram(const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(
                                 name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
                           : found;
}

// A port of 127.0.0.1 free now; the server started next binds it a moment later.
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// Waits, in the event loop, until something accepts connections on the port or the process
// ends; what went wrong, or nothing.
inline QString waitListening(QProcess& process, quint16 port, const QString& name)
{
    QTcpSocket probe;
    const auto listening = [&] {
        if (probe.state() == QAbstractSocket::UnconnectedState)
            probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.state() == QAbstractSocket::ConnectedState ||
               process.state() == QProcess::NotRunning;
    };
    if (!QTest::qWaitFor(listening, 5000) || process.state() == QProcess::NotRunning)
        return name + QStringLiteral(" did not start listening: ") +
               QString::fromLocal8Bit(process.readAll());
    return {};
}

} // namespace Ser2NetRig

// ser2net, Debian's serial device server, run in the foreground with a configuration of its own:
// accepters on free ports of 127.0.0.1, each in front of a device (RFC 2217 or raw, plain or
// inside TLS with a server certificate of ser2net's own), and an echoing accepter that tells
// when it listens.
class Ser2Net {
public:
    // One accepter: what it speaks, in front of which device.
    struct Accepter {
        QString stack; // ser2net's layers before "tcp": "telnet(rfc2217)", empty for raw
        QString device;

        static Accepter rfc2217(const QString& device) { return {"telnet(rfc2217)", device}; }
        static Accepter raw(const QString& device) { return {{}, device}; }
        // Inside TLS with this key and certificate (PEM files).
        static Accepter rfc2217Tls(const QString& device, const QString& key, const QString& cert)
        {
            return {QStringLiteral("telnet(rfc2217),ssl(key=%1,cert=%2)").arg(key, cert), device};
        }
        static Accepter rawTls(const QString& device, const QString& key, const QString& cert)
        {
            return {QStringLiteral("ssl(key=%1,cert=%2)").arg(key, cert), device};
        }
    };

    // The program, or nothing when it is not installed.
    static QString program() { return Ser2NetRig::findProgram(QStringLiteral("ser2net")); }

    ~Ser2Net() { stop(); }

    // Starts it with the RFC 2217 accepter in front of rfc2217Device and the raw one in front
    // of rawDevice; what went wrong, or nothing once it listens.
    QString start(const QString& rfc2217Device, const QString& rawDevice)
    {
        return start({Accepter::rfc2217(rfc2217Device), Accepter::raw(rawDevice)});
    }

    // charDelay false: ser2net passes each answer on at once instead of waiting for two
    // character times more.
    QString start(const QList<Accepter>& accepters, bool charDelay = true)
    {
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        m_ports.clear();
        QString yaml;
        for (qsizetype i = 0; i < accepters.size(); ++i) {
            const Accepter& a = accepters[i];
            m_ports.append(Ser2NetRig::freePort());
            yaml += QStringLiteral("connection: &c%1\n  accepter: %2tcp,127.0.0.1,%3\n"
                                   "  connector: serialdev,%4,38400n81,local\n")
                        .arg(QString::number(i), a.stack.isEmpty() ? QString() : a.stack + u',',
                             QString::number(m_ports.last()), a.device);
            if (!charDelay)
                yaml += QStringLiteral("  options:\n    chardelay: false\n");
        }
        const quint16 ready = Ser2NetRig::freePort();
        yaml += QStringLiteral("connection: &ready\n  accepter: tcp,127.0.0.1,%1\n  connector: "
                               "echo\n")
                    .arg(ready);
        QFile config(m_dir.filePath(QStringLiteral("ser2net.yaml")));
        if (!config.open(QIODevice::WriteOnly) || config.write(yaml.toUtf8()) < 0)
            return config.errorString();
        config.close();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(program(), {QStringLiteral("-n"), QStringLiteral("-u"),
                                     QStringLiteral("-c"), config.fileName()});
        return Ser2NetRig::waitListening(*m_process, ready, QStringLiteral("ser2net"));
    }

    // The port of the accepter at that place in start()'s list.
    quint16 port(qsizetype accepter) const { return m_ports.value(accepter); }
    quint16 rfc2217Port() const { return port(0); }
    quint16 rawPort() const { return port(1); }
    bool isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }

    // Ends it at once, as a device server that goes away does.
    void stop()
    {
        if (!isRunning())
            return;
        m_process->kill();
        m_process->waitForFinished(5000);
    }

private:
    QTemporaryDir m_dir;
    QList<quint16> m_ports;
    std::unique_ptr<QProcess> m_process;
};

// A TLS terminator that demands client certificates, in front of a plain port (socat, as sites
// put one before ser2net's RFC 2217 port): it takes a connection only from a client whose
// certificate the client CA signed, and passes the bytes on to the port.
class TlsTerminator {
public:
    static QString program() { return Ser2NetRig::findProgram(QStringLiteral("socat")); }

    ~TlsTerminator()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // certAndKey: the server's certificate and key in one PEM file. What went wrong, or nothing
    // once it listens.
    QString start(const QString& certAndKey, const QString& clientCa, quint16 target)
    {
        m_port = Ser2NetRig::freePort();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program(),
                        {QStringLiteral("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,cert=%2,"
                                        "cafile=%3,verify=1")
                             .arg(QString::number(m_port), certAndKey, clientCa),
                         QStringLiteral("TCP:127.0.0.1:%1").arg(target)});
        return Ser2NetRig::waitListening(m_process, m_port, QStringLiteral("socat"));
    }
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// Skips the test, saying why, where ser2net is not installed; CI installs it.
#define REQUIRE_SER2NET()                                                                          \
    do {                                                                                           \
        if (Ser2Net::program().isEmpty())                                                          \
            QSKIP("ser2net is not installed (Debian package ser2net); scripts/test installs it");  \
    } while (false)
