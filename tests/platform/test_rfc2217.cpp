#include "platform/Rfc2217Channel.h"
#include "support/PseudoTerminal.h"

#include "IndicatorSimulator.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr char Ack = 0x06;
constexpr char Nak = 0x15;
constexpr int ReadyTimeoutMs = 5000;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out += char(v);
    return out;
}

QByteArray serverAnswer(TelnetCodec::ComPortCommand command, const QByteArray& value)
{
    return bytes({TelnetCodec::kIac, TelnetCodec::kSb, TelnetCodec::kOptionComPort,
                  int(command) + TelnetCodec::kServerOffset}) +
           value + bytes({TelnetCodec::kIac, TelnetCodec::kSe});
}

QByteArray rateAnswer(quint32 rate)
{
    return serverAnswer(TelnetCodec::ComPortCommand::SetBaudRate, TelnetCodec::baudRateValue(rate));
}

QByteArray settingAnswer(TelnetCodec::ComPortCommand command, int value)
{
    return serverAnswer(command, bytes({value}));
}

QByteArray joined(const QSignalSpy& bytesReceived)
{
    QByteArray all;
    for (const QList<QVariant>& arguments : bytesReceived)
        all += arguments.at(0).toByteArray();
    return all;
}

// A server that greets every connection and answers the n-th rate request with answers[n].
class ScriptedServer {
public:
    ScriptedServer(const QByteArray& greeting, const QList<QByteArray>& answers)
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [=, this] {
            m_peer.reset(m_server.nextPendingConnection());
            m_peer->write(greeting);
            QObject::connect(m_peer.get(), &QTcpSocket::readyRead, m_peer.get(), [=, this] {
                m_received += m_peer->readAll();
                const QByteArray rateRequest =
                    bytes({TelnetCodec::kIac, TelnetCodec::kSb, TelnetCodec::kOptionComPort,
                           int(TelnetCodec::ComPortCommand::SetBaudRate)});
                const qsizetype asked = m_received.count(rateRequest);
                while (m_answered < asked && m_answered < answers.size())
                    m_peer->write(answers.at(m_answered++));
            });
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QByteArray received() const { return m_received; }

private:
    QTcpServer m_server;
    std::unique_ptr<QTcpSocket> m_peer;
    QByteArray m_received;
    qsizetype m_answered = 0;
};

} // namespace

// The channel against a scripted server (what it accepts, what it refuses, how long it waits)
// and against ser2net in front of the simulated indicator's pseudo-terminal.
class TestRfc2217 : public QObject {
    Q_OBJECT
private slots:
    void setUp_data();
    void setUp();
    void ser2netRates_data();
    void ser2netRates();
    void ser2netBinaryBurst();
    void ser2netRawPort();
    void ser2netKilled();
    void cleanup();

private:
    // ser2net with an RFC 2217 accepter in front of the simulator's pseudo-terminal, a raw TCP
    // one in front of a spare one, and an echo one that tells when it listens.
    bool startSer2Net(QString* error);
    void connectChannel(Rfc2217Channel& channel, quint16 port, qint32 rate);
    static QByteArray exchange(Rfc2217Channel& channel, const QByteArray& bytes, qsizetype size);

    std::unique_ptr<sim::IndicatorSimulator> m_sim;
    std::unique_ptr<PseudoTerminal> m_spare;
    std::unique_ptr<QProcess> m_ser2net;
    std::unique_ptr<QTemporaryDir> m_dir;
    quint16 m_rfc2217Port = 0;
    quint16 m_rawPort = 0;
};

void TestRfc2217::setUp_data()
{
    using C = TelnetCodec::ComPortCommand;
    using R = Rfc2217Channel;
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QList<QByteArray>>("answers");
    QTest::addColumn<qint32>("changeTo"); // a rate asked on the open channel; 0: none
    QTest::addColumn<int>("error");       // 0: no failure
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("waits"); // the failure comes only at a time-out

    const QByteArray agree = bytes({255, 253, 0, 255, 253, 44}); // binary and COM port control
    const QByteArray allConfirmed =
        settingAnswer(C::SetDataSize, 8) + settingAnswer(C::SetParity, 1) +
        settingAnswer(C::SetStopSize, 1) + settingAnswer(C::SetControl, 1) + rateAnswer(9600);
    const QByteArray notice = bytes({255, 250, 44, 107, 0, 255, 240});
    QTest::newRow("everything confirmed")
        << agree << QList<QByteArray>{allConfirmed} << 0 << 0 << QString() << false;
    QTest::newRow("as ser2net on a pty: no flow control answer, notices")
        << bytes({255, 251, 3, 255, 253, 3, 255, 251, 1, 255, 254, 1, 255, 253, 0, 255, 251, 0}) +
               agree + notice
        << QList<QByteArray>{settingAnswer(C::SetDataSize, 8) + settingAnswer(C::SetParity, 1) +
                             settingAnswer(C::SetStopSize, 1) + notice + rateAnswer(9600)}
        << 0 << 0 << QString() << false;
    QTest::newRow("another rate confirmed")
        << agree << QList<QByteArray>{rateAnswer(19200)} << 0 << R::kErrRateNotConfirmed
        << "set the serial line to 19200 baud instead of the 9600 baud asked" << false;
    QTest::newRow("COM port control refused")
        << bytes({255, 254, 44}) << QList<QByteArray>{} << 0 << R::kErrNotRfc2217
        << "does not speak RFC 2217; use tcp:127.0.0.1:" << false;
    QTest::newRow("no answer at all")
        << QByteArray() << QList<QByteArray>{} << 0 << R::kErrNotRfc2217
        << "does not speak RFC 2217; use tcp:127.0.0.1:" << true;
    QTest::newRow("rate never confirmed")
        << agree << QList<QByteArray>{} << 0 << R::kErrRateNotConfirmed
        << "did not confirm the rate of 9600 baud within 3 s" << true;
    QTest::newRow("seven data bits")
        << agree << QList<QByteArray>{settingAnswer(C::SetDataSize, 7) + rateAnswer(9600)} << 0
        << R::kErrLineSettingRefused << "set the data bits of the serial line to 7 instead of 8"
        << false;
    QTest::newRow("hardware flow control")
        << agree << QList<QByteArray>{settingAnswer(C::SetControl, 3) + rateAnswer(9600)} << 0
        << R::kErrLineSettingRefused
        << "set the flow control of the serial line to hardware instead of none" << false;
    QTest::newRow("rate changed while open")
        << agree << QList<QByteArray>{rateAnswer(9600), rateAnswer(115200)} << 115200 << 0
        << QString() << false;
    QTest::newRow("change confirmed at another rate")
        << agree << QList<QByteArray>{rateAnswer(9600), rateAnswer(57600)} << 115200
        << R::kErrRateNotConfirmed
        << "set the serial line to 57600 baud instead of the 115200 baud asked" << false;
}

void TestRfc2217::setUp()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QList<QByteArray>, answers);
    QFETCH(qint32, changeTo);
    QFETCH(int, error);
    QFETCH(QString, message);
    QFETCH(bool, waits);

    ScriptedServer server(greeting, answers);
    Rfc2217Channel channel;
    channel.setRemoteHost(QStringLiteral("127.0.0.1"));
    channel.setRemotePort(server.port());
    QVERIFY(channel.setBaudRate(9600));
    QSignalSpy connected(&channel, &Rfc2217Channel::connected);
    QSignalSpy errors(&channel, &Rfc2217Channel::errorOccurred);
    QSignalSpy lost(&channel, &LineChannel::channelLost);
    QSignalSpy changed(&channel, &Rfc2217Channel::baudRateChanged);
    const int bound =
        int((Rfc2217Channel::kAgreementTimeout + Rfc2217Channel::kConfirmationTimeout).count());
    QElapsedTimer clock;
    clock.start();
    channel.connectToIndicator();

    const bool failsAtOnce = error != 0 && changeTo == 0;
    if (!failsAtOnce) {
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, bound);
        QVERIFY(channel.isUsable());
        // The indicator's bytes reach the server with IAC doubled.
        QVERIFY(channel.writeBytes(bytes({255, ';', 'C', '4', '\r'})));
        QTRY_VERIFY(server.received().endsWith(bytes({255, 255, ';', 'C', '4', '\r'})));
        if (changeTo == 0) {
            QCOMPARE(errors.count(), 0);
            return;
        }
        clock.restart();
        QVERIFY(channel.setBaudRate(changeTo));
        QCOMPARE(channel.baudRate(), changeTo);
        if (error == 0) {
            QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, bound);
            QCOMPARE(changed.at(0).at(0).toInt(), changeTo);
            QVERIFY(channel.isUsable());
            QCOMPARE(errors.count(), 0);
            return;
        }
    }

    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, bound + 1000);
    const auto elapsed = std::chrono::milliseconds(clock.elapsed());
    QCOMPARE(errors.at(0).at(0).toInt(), error);
    const QString text = errors.at(0).at(1).toString();
    QVERIFY2(text.contains(message), qPrintable(text));
    QVERIFY(!channel.isUsable());
    QVERIFY(!channel.writeBytes("x"));
    // Lost only when it had been open, and once.
    QCOMPARE(lost.count(), failsAtOnce ? 0 : 1);
    if (waits)
        QVERIFY2(elapsed >= std::min(Rfc2217Channel::kAgreementTimeout,
                                     Rfc2217Channel::kConfirmationTimeout),
                 qPrintable(QString::number(elapsed.count())));
    else
        QVERIFY2(elapsed < Rfc2217Channel::kAgreementTimeout / 2,
                 qPrintable(QString::number(elapsed.count())));
}

bool TestRfc2217::startSer2Net(QString* error)
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    // A user's PATH may leave out the system folders it is installed in.
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(
            QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (program.isEmpty())
        return false;
    m_sim = std::make_unique<sim::IndicatorSimulator>();
    m_spare = std::make_unique<PseudoTerminal>();
    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_sim->startPty(error) || !m_spare->isValid() || !m_dir->isValid()) {
        *error += QStringLiteral(" (setting up for ser2net failed)");
        return true;
    }
    // Free ports now; ser2net binds them a moment later.
    quint16 ports[3] = {};
    for (quint16& port : ports) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
    }
    m_rfc2217Port = ports[0];
    m_rawPort = ports[1];
    const QString config = QStringLiteral("connection: &rfc2217\n"
                                          "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                          "  connector: serialdev,%2,38400n81,local\n"
                                          "connection: &raw\n"
                                          "  accepter: tcp,127.0.0.1,%3\n"
                                          "  connector: serialdev,%4,38400n81,local\n"
                                          "connection: &ready\n"
                                          "  accepter: tcp,127.0.0.1,%5\n"
                                          "  connector: echo\n")
                               .arg(ports[0])
                               .arg(m_sim->ptyPath())
                               .arg(ports[1])
                               .arg(m_spare->path())
                               .arg(ports[2]);
    QFile file(m_dir->filePath(QStringLiteral("ser2net.yaml")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        *error = file.errorString();
        return true;
    }
    file.close();

    m_ser2net = std::make_unique<QProcess>();
    m_ser2net->setProcessChannelMode(QProcess::MergedChannels);
    m_ser2net->start(program, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                               file.fileName()});
    QTcpSocket probe;
    const auto listening = [&] {
        if (probe.state() == QAbstractSocket::ConnectedState)
            return true;
        if (probe.state() == QAbstractSocket::UnconnectedState)
            probe.connectToHost(QHostAddress::LocalHost, ports[2]);
        return m_ser2net->state() == QProcess::NotRunning;
    };
    if (!QTest::qWaitFor(listening, ReadyTimeoutMs) || m_ser2net->state() == QProcess::NotRunning)
        *error = QStringLiteral("ser2net did not start listening: ") +
                 QString::fromLocal8Bit(m_ser2net->readAll());
    return true;
}

void TestRfc2217::cleanup()
{
    if (m_ser2net && m_ser2net->state() != QProcess::NotRunning) {
        QSignalSpy finished(m_ser2net.get(), &QProcess::finished);
        m_ser2net->kill();
        QVERIFY(finished.wait(5000));
    }
    m_ser2net.reset();
    m_sim.reset();
    m_spare.reset();
    m_dir.reset();
}

void TestRfc2217::connectChannel(Rfc2217Channel& channel, quint16 port, qint32 rate)
{
    channel.setRemoteHost(QStringLiteral("127.0.0.1"));
    channel.setRemotePort(port);
    QVERIFY(channel.setBaudRate(rate));
    QSignalSpy connected(&channel, &Rfc2217Channel::connected);
    QSignalSpy errors(&channel, &Rfc2217Channel::errorOccurred);
    channel.connectToIndicator();
    QTRY_VERIFY_WITH_TIMEOUT(connected.count() == 1 || errors.count() > 0, 5000);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.value(0).value(1).toString()));
    QVERIFY(channel.isUsable());
}

// What came back for the bytes written, once size bytes have (or 5 s have passed).
QByteArray TestRfc2217::exchange(Rfc2217Channel& channel, const QByteArray& bytes, qsizetype size)
{
    QSignalSpy received(&channel, &LineChannel::bytesReceived);
    if (!channel.writeBytes(bytes))
        return "(write refused)";
    // Short of size bytes, what did come is returned for the caller's comparison to show.
    static_cast<void>(QTest::qWaitFor([&] { return joined(received).size() >= size; }, 5000));
    return joined(received);
}

#define START_SER2NET()                                                                            \
    do {                                                                                           \
        QString error;                                                                             \
        if (!startSer2Net(&error))                                                                 \
            QSKIP("ser2net is not installed (Debian package ser2net); scripts/test installs it");  \
        QVERIFY2(error.isEmpty(), qPrintable(error));                                              \
    } while (false)

void TestRfc2217::ser2netRates_data()
{
    QTest::addColumn<qint32>("rate");
    QTest::addColumn<qint32>("changeTo");
    QTest::newRow("9600, then 115200") << 9600 << 115200;
    QTest::newRow("115200, then 9600") << 115200 << 9600;
}

// The rate asked is the rate of the indicator's line, at the connection and after a change.
void TestRfc2217::ser2netRates()
{
    QFETCH(qint32, rate);
    QFETCH(qint32, changeTo);
    START_SER2NET();
    Rfc2217Channel channel;
    connectChannel(channel, m_rfc2217Port, rate);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(channel.channelName(), QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_rfc2217Port));
    QCOMPARE(m_sim->ptyBaudRate(), rate);
    const QByteArray version = QByteArray(sim::Faults::DefaultVersion) + Ack + '\r';
    QCOMPARE(exchange(channel, ";C4\r", version.size()), version);

    QSignalSpy changed(&channel, &Rfc2217Channel::baudRateChanged);
    QVERIFY(channel.setBaudRate(changeTo));
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 5000);
    QCOMPARE(m_sim->ptyBaudRate(), changeTo);
    QCOMPARE(exchange(channel, ";C4\r", version.size()), version);
}

// Every byte value, 0xFF above all, crosses both ways unchanged.
void TestRfc2217::ser2netBinaryBurst()
{
    START_SER2NET();
    sim::Faults faults;
    for (int i = 0; i < 4000; ++i)
        faults.version += char(255 - i % 256);
    m_sim->setFaults(faults);
    Rfc2217Channel channel;
    connectChannel(channel, m_rfc2217Port, 115200);
    if (QTest::currentTestFailed())
        return;

    // Lines of every byte value but the line ends, each refused by the indicator.
    QList<QByteArray> lines;
    QByteArray burst;
    for (int n = 0; n < 4; ++n) {
        QByteArray line;
        for (int i = 0; line.size() < 1000; ++i) {
            const char c = char(255 - (i + n) % 256);
            if (c != '\r' && c != '\n')
                line += c;
        }
        lines.append(line);
        burst += line + '\r';
    }
    burst += ";E0100-FF00FFFF\r;C4\r";
    const QByteArray expected =
        (QByteArray() + Nak + '\r').repeated(4) + Ack + '\r' + faults.version + Ack + '\r';
    QCOMPARE(exchange(channel, burst, expected.size()), expected);
    QCOMPARE(m_sim->commandLines().mid(0, 4), lines);
    QCOMPARE(m_sim->memory().mid(0x100, 4), bytes({0xFF, 0x00, 0xFF, 0xFF}));
}

// A raw TCP port says nothing to COM port control: the channel gives up at its bound.
void TestRfc2217::ser2netRawPort()
{
    START_SER2NET();
    Rfc2217Channel channel;
    channel.setRemoteHost(QStringLiteral("127.0.0.1"));
    channel.setRemotePort(m_rawPort);
    QVERIFY(channel.setBaudRate(9600));
    QSignalSpy errors(&channel, &Rfc2217Channel::errorOccurred);
    QSignalSpy connected(&channel, &Rfc2217Channel::connected);
    QElapsedTimer clock;
    clock.start();
    channel.connectToIndicator();
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1,
                              int(Rfc2217Channel::kAgreementTimeout.count()) + 2000);
    QVERIFY(clock.elapsed() >= Rfc2217Channel::kAgreementTimeout.count());
    QCOMPARE(errors.at(0).at(0).toInt(), Rfc2217Channel::kErrNotRfc2217);
    QCOMPARE(errors.at(0).at(1).toString(),
             QStringLiteral("127.0.0.1:%1 does not speak RFC 2217; use tcp:127.0.0.1:%1 for a raw "
                            "TCP port")
                 .arg(m_rawPort));
    QCOMPARE(connected.count(), 0);
}

// The server going away is one lost channel, not a socket error.
void TestRfc2217::ser2netKilled()
{
    START_SER2NET();
    Rfc2217Channel channel;
    connectChannel(channel, m_rfc2217Port, 9600);
    if (QTest::currentTestFailed())
        return;
    QSignalSpy lost(&channel, &LineChannel::channelLost);
    QSignalSpy errors(&channel, &Rfc2217Channel::errorOccurred);
    m_ser2net->kill();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
    QVERIFY(!lost.wait(100)); // a second report would arrive within this
    QCOMPARE(errors.count(), 0);
    QVERIFY(!channel.isUsable());
}

QTEST_GUILESS_MAIN(TestRfc2217)
#include "test_rfc2217.moc"
