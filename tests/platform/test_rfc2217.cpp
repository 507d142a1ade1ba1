#include "platform/Rfc2217Channel.h"
#include "platform/TcpChannel.h"
#include "support/PseudoTerminal.h"
#include "support/Ser2Net.h"

#include "IndicatorSimulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

using C = TelnetCodec::ComPortCommand;
using R = Rfc2217Channel;
const int kBoundMs = int((R::kAgreementTimeout + R::kConfirmationTimeout).count());

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out += char(v);
    return out;
}

QByteArray answer(C command, const QByteArray& value)
{
    return bytes({255, 250, 44, int(command) + TelnetCodec::kServerOffset}) + value +
           bytes({255, 240});
}

QByteArray rateAnswer(quint32 rate)
{
    return answer(C::SetBaudRate, TelnetCodec::baudRateValue(rate));
}

QByteArray joined(const QSignalSpy& bytesReceived)
{
    QByteArray all;
    for (const QList<QVariant>& arguments : bytesReceived)
        all += arguments.at(0).toByteArray();
    return all;
}

// What came back for the bytes written, once size bytes have (or 5 s have passed).
QByteArray exchange(Rfc2217Channel& channel, const QByteArray& bytes, qsizetype size)
{
    QSignalSpy received(&channel, &LineChannel::bytesReceived);
    if (!channel.writeBytes(bytes))
        return "(write refused)";
    // Short of size bytes, what did come is returned for the caller's comparison to show.
    static_cast<void>(QTest::qWaitFor([&] { return joined(received).size() >= size; }, 5000));
    return joined(received);
}

// A channel to the server on 127.0.0.1 that asks for the rate.
std::unique_ptr<Rfc2217Channel> aimed(quint16 port, qint32 rate)
{
    auto channel =
        std::make_unique<Rfc2217Channel>(std::make_unique<TcpChannel>("127.0.0.1", port));
    channel->setLineSettings(LineSettings::at(rate));
    return channel;
}

ChannelFailure failureAt(const QSignalSpy& failed, qsizetype i)
{
    return i < failed.size() ? failed.at(i).at(0).value<ChannelFailure>() : ChannelFailure{};
}

} // namespace

// The channel against a scripted server (what it accepts, what it refuses, how long it waits)
// and against ser2net in front of the simulated indicator's pseudo-terminal.
class TestRfc2217 : public QObject {
    Q_OBJECT
private slots:
    void setUp_data();
    void setUp();
    void ser2net_data();
    void ser2net();
    void ser2netRawPort();
    void cleanup();

private:
    // ser2net with an RFC 2217 accepter in front of the simulator's pseudo-terminal, a raw TCP
    // one in front of a spare one, and an echo one that tells when it listens. False when
    // ser2net is not installed.
    QString startSer2Net();

    std::unique_ptr<sim::IndicatorSimulator> m_sim;
    std::unique_ptr<PseudoTerminal> m_spare;
    std::unique_ptr<Ser2Net> m_ser2net;
};

void TestRfc2217::setUp_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QList<QByteArray>>("answers"); // to the first rate asked, the second...
    QTest::addColumn<int>("error");                 // 0: usable, at 115200 baud after a change
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("waits"); // the failure comes only at a time-out

    const QByteArray agree = bytes({255, 253, 0, 255, 253, 44}); // binary, COM port control
    const QByteArray notice = bytes({255, 250, 44, 107, 0, 255, 240});
    QTest::newRow("as ser2net: no flow control answer, notices, an option refused")
        << bytes({255, 251, 3, 255, 253, 3, 255, 251, 1}) + agree + notice
        << QList<QByteArray>{answer(C::SetDataSize, bytes({8})) + answer(C::SetParity, bytes({1})) +
                                 notice + rateAnswer(9600),
                             rateAnswer(115200)}
        << 0 << QString() << false;
    QTest::newRow("another rate confirmed")
        << agree << QList<QByteArray>{rateAnswer(19200)} << ChannelFailure::kRateNotConfirmed
        << "set the serial line to 19200 baud instead of the 9600 baud asked" << false;
    QTest::newRow("COM port control refused")
        << bytes({255, 254, 44}) << QList<QByteArray>{} << ChannelFailure::kNotRfc2217
        << "does not speak RFC 2217; use tcp:127.0.0.1:" << false;
    QTest::newRow("no answer at all")
        << QByteArray() << QList<QByteArray>{} << ChannelFailure::kNotRfc2217
        << "does not speak RFC 2217" << true;
    QTest::newRow("rate never confirmed")
        << agree << QList<QByteArray>{} << ChannelFailure::kRateNotConfirmed
        << "did not confirm the rate of 9600 baud within 3 s" << true;
    QTest::newRow("seven data bits")
        << agree << QList<QByteArray>{answer(C::SetDataSize, bytes({7})) + rateAnswer(9600)}
        << ChannelFailure::kLineSettingRefused
        << "set the data bits of the serial line to 7 instead of 8" << false;
    QTest::newRow("hardware flow control kept")
        << agree
        << QList<QByteArray>{answer(C::SetControl, bytes({TelnetCodec::kHardwareFlowControl})) +
                             rateAnswer(9600)}
        << ChannelFailure::kLineSettingRefused
        << "set the flow control of the serial line to hardware instead of none" << false;
    QTest::newRow("change confirmed at another rate")
        << agree << QList<QByteArray>{rateAnswer(9600), rateAnswer(57600)}
        << ChannelFailure::kRateNotConfirmed
        << "set the serial line to 57600 baud instead of the 115200 baud asked" << false;
}

// Opens at 9600 baud and, once usable, asks for 115200.
void TestRfc2217::setUp()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QList<QByteArray>, answers);
    QFETCH(int, error);
    QFETCH(QString, message);
    QFETCH(bool, waits);

    // Greets each connection and answers the n-th rate request with answers[n].
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    std::unique_ptr<QTcpSocket> peer;
    QByteArray received;
    qsizetype answered = 0;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        peer.reset(server.nextPendingConnection());
        peer->write(greeting);
        connect(peer.get(), &QTcpSocket::readyRead, this, [&] {
            received += peer->readAll();
            const qsizetype asked = received.count(bytes({255, 250, 44, 1}));
            while (answered < asked && answered < answers.size())
                peer->write(answers.at(answered++));
        });
    });

    const auto made = aimed(server.serverPort(), 9600);
    Rfc2217Channel& channel = *made;
    QSignalSpy failed(&channel, &LineChannel::failed);
    QSignalSpy changed(&channel, &Rfc2217Channel::baudRateChanged);
    QElapsedTimer clock;
    clock.start();
    channel.open();
    QTRY_VERIFY_WITH_TIMEOUT(channel.isUsable() || failed.count() > 0, kBoundMs + 1000);
    if (channel.isUsable()) {
        // The indicator's bytes reach the server with IAC doubled.
        QVERIFY(channel.writeBytes(bytes({255, ';', 'C', '4', '\r'})));
        QTRY_VERIFY(received.endsWith(bytes({255, 255, ';', 'C', '4', '\r'})));
        clock.restart();
        channel.setLineSettings(LineSettings::at(115200));
        QTRY_VERIFY_WITH_TIMEOUT(changed.count() + failed.count() > 0, kBoundMs);
    }
    const auto elapsed = clock.elapsed();
    if (error == 0) {
        QCOMPARE(failed.count(), 0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 115200);
        QVERIFY(channel.isUsable());
        return;
    }
    // Told once, whether or not the channel had been open.
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failureAt(failed, 0).number, error);
    const QString text = failureAt(failed, 0).detail;
    QVERIFY2(text.contains(message), qPrintable(text));
    QVERIFY(!channel.writeBytes("x"));
    QCOMPARE(channel.state(), LineChannel::State::Closed);
    const auto shortest = std::min(R::kAgreementTimeout, R::kConfirmationTimeout).count();
    QVERIFY2(waits ? elapsed >= shortest : elapsed < shortest / 2,
             qPrintable(QString::number(elapsed)));
}

// ser2net with its RFC 2217 accepter in front of the simulator's pseudo-terminal and its raw
// one in front of a spare one; what went wrong, or nothing.
QString TestRfc2217::startSer2Net()
{
    m_sim = std::make_unique<sim::IndicatorSimulator>();
    m_spare = std::make_unique<PseudoTerminal>();
    QString error;
    if (!m_sim->startPty(&error))
        return error;
    if (!m_spare->isValid())
        return QStringLiteral("no spare pseudo-terminal");
    m_ser2net = std::make_unique<Ser2Net>();
    return m_ser2net->start(m_sim->ptyPath(), m_spare->path());
}

void TestRfc2217::cleanup()
{
    m_ser2net.reset();
    m_sim.reset();
    m_spare.reset();
}

#define START_SER2NET()                                                                            \
    do {                                                                                           \
        REQUIRE_SER2NET();                                                                         \
        const QString error = startSer2Net();                                                      \
        QVERIFY2(error.isEmpty(), qPrintable(error));                                              \
    } while (false)

void TestRfc2217::ser2net_data()
{
    QTest::addColumn<qint32>("rate");
    QTest::addColumn<qint32>("changeTo");
    QTest::newRow("9600, then 115200") << 9600 << 115200;
    QTest::newRow("115200, then 9600") << 115200 << 9600;
}

// The rate asked is the rate of the indicator's line, at the connection and after a change;
// every byte value, 0xFF above all, crosses both ways unchanged; ser2net going away is one
// lost channel.
void TestRfc2217::ser2net()
{
    QFETCH(qint32, rate);
    QFETCH(qint32, changeTo);
    START_SER2NET();
    sim::Faults faults;
    for (int i = 0; i < 4000; ++i)
        faults.version += char(255 - i % 256);
    m_sim->setFaults(faults);
    const auto made = aimed(m_ser2net->rfc2217Port(), rate);
    Rfc2217Channel& channel = *made;
    QSignalSpy failed(&channel, &LineChannel::failed);
    channel.open();
    QTRY_VERIFY_WITH_TIMEOUT(channel.isUsable() || failed.count() > 0, kBoundMs);
    QVERIFY2(failed.isEmpty(), qPrintable(failureAt(failed, 0).detail));
    QCOMPARE(channel.channelName(),
             QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_ser2net->rfc2217Port()));
    QCOMPARE(m_sim->ptyBaudRate(), rate);

    // Lines of every byte value but the line ends, each refused by the indicator, a write and
    // the version query, answered with every byte value.
    QList<QByteArray> lines;
    QByteArray burst;
    for (int n = 0; n < 4; ++n) {
        QByteArray line;
        for (int i = 0; line.size() < 1000; ++i) {
            if (const char c = char(255 - (i + n) % 256); c != '\r' && c != '\n')
                line += c;
        }
        lines.append(line);
        burst += line + '\r';
    }
    const QByteArray reply =
        QByteArray("\x15\r").repeated(4) + "\x06\r" + faults.version + "\x06\r";
    QCOMPARE(exchange(channel, burst + ";E0100-FF00FFFF\r;C4\r", reply.size()), reply);
    QCOMPARE(m_sim->commandLines().mid(0, 4), lines);
    QCOMPARE(m_sim->memory().mid(0x100, 4), bytes({0xFF, 0x00, 0xFF, 0xFF}));

    QSignalSpy changed(&channel, &Rfc2217Channel::baudRateChanged);
    channel.setLineSettings(LineSettings::at(changeTo));
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, kBoundMs);
    QCOMPARE(m_sim->ptyBaudRate(), changeTo);
    const QByteArray version = faults.version + "\x06\r";
    QCOMPARE(exchange(channel, ";C4\r", version.size()), version);

    QCOMPARE(failed.count(), 0);
    m_ser2net->stop();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
    QVERIFY(!failed.wait(100)); // a second report would arrive within this
    QCOMPARE(failureAt(failed, 0).kind, ChannelFailure::Kind::PeerClosed);
    QVERIFY(!channel.isUsable());
}

// A raw TCP port says nothing to COM port control: the channel gives up at its bound.
void TestRfc2217::ser2netRawPort()
{
    START_SER2NET();
    const auto made = aimed(m_ser2net->rawPort(), 9600);
    QSignalSpy failed(made.get(), &LineChannel::failed);
    made->open();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, int(R::kAgreementTimeout.count()) + 2000);
    QCOMPARE(failureAt(failed, 0).number, ChannelFailure::kNotRfc2217);
    QCOMPARE(failureAt(failed, 0).detail,
             QStringLiteral("127.0.0.1:%1 does not speak RFC 2217; use tcp:127.0.0.1:%1 for a raw "
                            "TCP port")
                 .arg(m_ser2net->rawPort()));
}

QTEST_GUILESS_MAIN(TestRfc2217)
#include "test_rfc2217.moc"
