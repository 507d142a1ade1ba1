#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <memory>

// ser2net, Debian's serial device server, run in the foreground with a configuration of its own:
// an RFC 2217 accepter and a raw TCP accepter, on free ports of 127.0.0.1, each in front of a
// device, and a third, echoing accepter that tells when it listens.
class Ser2Net {
public:
    // The program, or nothing when it is not installed.
    static QString program()
    {
        // A user's PATH may leave out the system folder it is installed in.
        const QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
        return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                                                {QStringLiteral("/usr/sbin")})
                               : found;
    }

    ~Ser2Net() { stop(); }

    // Starts it with the RFC 2217 accepter in front of rfc2217Device and the raw one in front
    // of rawDevice; what went wrong, or nothing once it listens.
    QString start(const QString& rfc2217Device, const QString& rawDevice)
    {
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        // Free now; ser2net binds them a moment later.
        for (quint16& port : m_ports) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            port = probe.serverPort();
        }
        const QString device = QStringLiteral("  connector: serialdev,%1,38400n81,local\n");
        QFile config(m_dir.filePath(QStringLiteral("ser2net.yaml")));
        const QString yaml =
            QStringLiteral("connection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n")
                .arg(m_ports[0]) +
            device.arg(rfc2217Device) +
            QStringLiteral("connection: &raw\n  accepter: tcp,127.0.0.1,%1\n").arg(m_ports[1]) +
            device.arg(rawDevice) +
            QStringLiteral("connection: &ready\n  accepter: tcp,127.0.0.1,%1\n  connector: echo\n")
                .arg(m_ports[2]);
        if (!config.open(QIODevice::WriteOnly) || config.write(yaml.toUtf8()) < 0)
            return config.errorString();
        config.close();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(program(), {QStringLiteral("-n"), QStringLiteral("-u"),
                                     QStringLiteral("-c"), config.fileName()});
        QTcpSocket probe;
        const auto listening = [&] {
            if (probe.state() == QAbstractSocket::UnconnectedState)
                probe.connectToHost(QHostAddress::LocalHost, m_ports[2]);
            return probe.state() == QAbstractSocket::ConnectedState ||
                   m_process->state() == QProcess::NotRunning;
        };
        if (!QTest::qWaitFor(listening, 5000) || m_process->state() == QProcess::NotRunning)
            return QStringLiteral("ser2net did not start listening: ") +
                   QString::fromLocal8Bit(m_process->readAll());
        return {};
    }

    quint16 rfc2217Port() const { return m_ports[0]; }
    quint16 rawPort() const { return m_ports[1]; }
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
    std::array<quint16, 3> m_ports{};
    std::unique_ptr<QProcess> m_process;
};

// Skips the test, saying why, where ser2net is not installed; CI installs it.
#define REQUIRE_SER2NET()                                                                          \
    do {                                                                                           \
        if (Ser2Net::program().isEmpty())                                                          \
            QSKIP("ser2net is not installed (Debian package ser2net); scripts/test installs it");  \
    } while (false)
