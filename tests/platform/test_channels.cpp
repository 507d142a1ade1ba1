#include "link/ComPorts.h"
#include "platform/SerialChannel.h"
#include "platform/TcpChannel.h"
#include "support/PseudoTerminal.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The two channels as the rest of the program relies on them: the line settings that reach the
// device, the error numbers, and which endings count as a lost channel.
class TestChannels : public QObject {
    Q_OBJECT
private slots:
    void lineSettingsReachTheDevice_data();
    void lineSettingsReachTheDevice();
    void defaultDevices_data();
    void defaultDevices();
    void openFailures_data();
    void openFailures();
    void missingDevice();
    void lowLatency_data();
    void lowLatency();
    void socketErrorNumbers_data();
    void socketErrorNumbers();
    void tcpEndings();
};

void TestChannels::lineSettingsReachTheDevice_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("whileOpen"); // applied to an open port rather than at the open
    QTest::addColumn<speed_t>("speed");
    QTest::newRow("4800") << 4800 << false << speed_t(B4800);
    QTest::newRow("9600") << 9600 << false << speed_t(B9600);
    QTest::newRow("19200") << 19200 << false << speed_t(B19200);
    QTest::newRow("38400") << 38400 << false << speed_t(B38400);
    QTest::newRow("57600 on an open port") << 57600 << true << speed_t(B57600);
    QTest::newRow("115200") << 115200 << false << speed_t(B115200);
}

// A pseudo-terminal keeps the settings the program gave it, so tcgetattr reads them back.
void TestChannels::lineSettingsReachTheDevice()
{
    QFETCH(int, rate);
    QFETCH(bool, whileOpen);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialChannel port(pty.path());
    if (!whileOpen)
        port.setLineSettings(LineSettings::at(rate));
    port.open();
    QVERIFY(port.isUsable());
    if (whileOpen)
        port.setLineSettings(LineSettings::at(rate));
    auto* device = port.findChild<QSerialPort*>();
    QVERIFY(device);
    termios tio{};
    QCOMPARE(::tcgetattr(device->handle(), &tio), 0);
    QTEST(::cfgetospeed(&tio), "speed");
    QTEST(::cfgetispeed(&tio), "speed");
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(device->parity(), QSerialPort::NoParity);
    QCOMPARE(device->stopBits(), QSerialPort::OneStop);
    QCOMPARE(device->dataBits(), QSerialPort::Data8);
    QCOMPARE(device->flowControl(), QSerialPort::NoFlowControl);
}

void TestChannels::defaultDevices_data()
{
    QTest::addColumn<int>("com");
    QTest::addColumn<QString>("device");
    for (int k = 1; k <= ComPorts::kCount; ++k)
        QTest::addRow("COM %d", k) << k << QStringLiteral("/dev/ttyS%1").arg(k - 1);
}

// COM k is the (k-1)th on-board port unless the settings name another device.
void TestChannels::defaultDevices()
{
    QFETCH(int, com);
    QFETCH(QString, device);
    ComPorts ports;
    QCOMPARE(ports.device(com), device);
    ports.devices[com - 1] = QStringLiteral("/dev/ttyUSB0");
    QCOMPARE(ports.device(com), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(ports.device(0), QString());
    QCOMPARE(ports.device(ComPorts::kCount + 1), QString());
}

void TestChannels::openFailures_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("accessible");
    QTest::addColumn<ChannelFailure::Kind>("kind");
    using E = QSerialPort::SerialPortError;
    using K = ChannelFailure::Kind;
    QTest::newRow("device not found") << E::DeviceNotFoundError << true << true << K::NoSuchPort;
    QTest::newRow("refused, file gone") << E::PermissionError << false << true << K::NoSuchPort;
    QTest::newRow("refused, allowed: held") << E::PermissionError << true << true << K::PortInUse;
    QTest::newRow("refused, not allowed")
        << E::PermissionError << true << false << K::PermissionDenied;
    QTest::newRow("open error") << E::OpenError << true << true << K::OpenFailed;
    QTest::newRow("unknown") << E::UnknownError << true << true << K::OpenFailed;
}

void TestChannels::openFailures()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(bool, exists);
    QFETCH(bool, accessible);
    QTEST(SerialChannel::openFailure(error, exists, accessible), "kind");
}

// A device that is not there is no port (8002), not a port in use.
void TestChannels::missingDevice()
{
    SerialChannel port(QStringLiteral("/dev/no-such-adapter"));
    QSignalSpy failed(&port, &LineChannel::failed);
    port.open();
    QCOMPARE(failed.count(), 1);
    const auto failure = failed.first().first().value<ChannelFailure>();
    QCOMPARE(failure.kind, ChannelFailure::Kind::NoSuchPort);
    QCOMPARE(failure.number, ChannelFailure::kNoSuchPort);
    QVERIFY(!port.isUsable());
}

namespace {
// Keeps the messages of the exchange's category while it lives; others go on as before.
class ExchangeLog {
public:
    ExchangeLog()
    {
        s_messages.clear();
        s_previous = qInstallMessageHandler(&ExchangeLog::handle);
    }
    ~ExchangeLog() { qInstallMessageHandler(s_previous); }
    ExchangeLog(const ExchangeLog&) = delete;
    ExchangeLog& operator=(const ExchangeLog&) = delete;
    static QList<std::pair<QtMsgType, QString>> messages() { return s_messages; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (context.category && qstrcmp(context.category, "talvor.exchange") == 0)
            s_messages.append({type, text});
        else if (s_previous)
            s_previous(type, context, text);
    }
    static inline QList<std::pair<QtMsgType, QString>> s_messages;
    static inline QtMessageHandler s_previous = nullptr;
};

// What the pseudo-terminal's far end read within a second.
QByteArray readMaster(int master, int size)
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    while (bytes.size() < size && timer.elapsed() < 1000) {
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 50) <= 0)
            continue;
        char buffer[64];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

QByteArray joined(const QSignalSpy& bytesReceived)
{
    QByteArray all;
    for (const QList<QVariant>& arguments : bytesReceived)
        all += arguments.at(0).toByteArray();
    return all;
}
} // namespace

void TestChannels::lowLatency_data()
{
    QTest::addColumn<QList<bool>>("opens"); // the switch at each open, in turn
    QTest::newRow("on, opened once") << QList<bool>{true};
    QTest::newRow("on, opened three times") << QList<bool>{true, true, true};
    QTest::newRow("off") << QList<bool>{false};
    QTest::newRow("switched off after a refusal") << QList<bool>{true, false};
    QTest::newRow("switched on after an open without") << QList<bool>{false, true};
}

// A pseudo-terminal has no low-latency mode: the request is made at every open while the
// switch is on and fails without harm to the port; with no latency timer there, nothing is said.
void TestChannels::lowLatency()
{
#ifndef Q_OS_LINUX
    QSKIP("The low-latency request is Linux's");
#endif
    QFETCH(QList<bool>, opens);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialChannel port(pty.path());
    QVERIFY(port.lowLatencyRequested());
    QCOMPARE(port.lowLatencyResult(), SerialChannel::LowLatency::Off);
    QSignalSpy received(&port, &LineChannel::bytesReceived);

    ExchangeLog log;
    for (const bool on : opens) {
        port.setLowLatency(on);
        QCOMPARE(port.lowLatencyRequested(), on);
        port.open();
        QVERIFY(port.isUsable());
        QCOMPARE(port.lowLatencyResult(),
                 on ? SerialChannel::LowLatency::Unsupported : SerialChannel::LowLatency::Off);

        QVERIFY(port.writeBytes(";C4\r"));
        QCOMPARE(readMaster(pty.master(), 4), QByteArray(";C4\r"));
        received.clear();
        QCOMPARE(::write(pty.master(), "\x06\r", 2), ssize_t(2));
        QTRY_COMPARE_WITH_TIMEOUT(joined(received), QByteArray("\x06\r"), 2000);
        port.close();
        QVERIFY(!port.isUsable());
    }

    QCOMPARE(ExchangeLog::messages().size(), 0);
}

void TestChannels::socketErrorNumbers_data()
{
    QTest::addColumn<QAbstractSocket::SocketError>("error");
    QTest::addColumn<int>("number");
    using E = QAbstractSocket::SocketError;
    QTest::newRow("refused") << E::ConnectionRefusedError << 10061;
    QTest::newRow("closed by the peer") << E::RemoteHostClosedError << 10053;
    QTest::newRow("host not found") << E::HostNotFoundError << 11001;
    QTest::newRow("access") << E::SocketAccessError << 10013;
    QTest::newRow("resources") << E::SocketResourceError << 10055;
    QTest::newRow("timed out") << E::SocketTimeoutError << 10060;
    QTest::newRow("network") << E::NetworkError << 10050;
    QTest::newRow("address in use") << E::AddressInUseError << 10048;
    QTest::newRow("address not available") << E::SocketAddressNotAvailableError << 10049;
    QTest::newRow("unsupported") << E::UnsupportedSocketOperationError << 10045;
    QTest::newRow("unknown") << E::UnknownSocketError << -1;
    QTest::newRow("no counterpart")
        << E::ProxyAuthenticationRequiredError << 12000 + int(E::ProxyAuthenticationRequiredError);
}

void TestChannels::socketErrorNumbers()
{
    QFETCH(QAbstractSocket::SocketError, error);
    QTEST(TcpChannel::errorNumber(error), "number");
}

// Our own close() is no loss; the indicator hanging up is one loss and no socket error.
void TestChannels::tcpEndings()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TcpChannel client(QStringLiteral("127.0.0.1"), server.serverPort());
    QSignalSpy failed(&client, &LineChannel::failed);
    QSignalSpy states(&client, &LineChannel::stateChanged);
    const auto opened = [&] { return QTest::qWaitFor([&] { return client.isUsable(); }, 5000); };

    client.open();
    QVERIFY(opened());
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 5000);
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    client.close();
    QVERIFY(!client.isUsable());
    QVERIFY(!failed.wait(50)); // whatever the close would report arrives within this
    QCOMPARE(failed.count(), 0);

    client.open();
    QVERIFY(opened());
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 5000);
    peer.reset(server.nextPendingConnection());
    peer->close();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
    QCOMPARE(failed.first().first().value<ChannelFailure>().kind, ChannelFailure::Kind::PeerClosed);
    QVERIFY(!client.isUsable());
    QCOMPARE(states.last().first().value<LineChannel::State>(), LineChannel::State::Closed);
}

QTEST_GUILESS_MAIN(TestChannels)
#include "test_channels.moc"
