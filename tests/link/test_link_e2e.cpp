#include "IndicatorSimulator.h"
#include "link/IndicatorQuery.h"
#include "platform/SerialChannel.h"
#include "support/PseudoTerminal.h"
#include "support/SimulatedLine.h"

#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace std::chrono_literals;
Q_DECLARE_METATYPE(std::chrono::milliseconds)

// The exchange and the query over the real channels, against the simulated indicator.
class TestLinkE2e : public QObject {
    Q_OBJECT
private slots:
    void queryThenHangUp_data();
    void queryThenHangUp();
    void slowAnswersWithinTheTimeOut_data();
    void slowAnswersWithinTheTimeOut();
    void oneLockWhateverTheName();
    void passingReadErrorKeepsThePort();
};

void TestLinkE2e::queryThenHangUp_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::newRow("serial on a pseudo-terminal") << false;
    QTest::newRow("TCP/IP on loopback") << true;
}

void TestLinkE2e::queryThenHangUp()
{
    QFETCH(bool, tcp);
    sim::IndicatorSimulator indicator;
    sim::Faults faults;
    faults.silentAfter = 2; // answers the query, then keeps a command pending
    indicator.setFaults(faults);
    QString error;
    const std::unique_ptr<LineChannel> channel = openSimulatedLine(indicator, tcp, &error);
    QVERIFY2(channel, qPrintable(error));
    CommandExchange exchange;
    exchange.setChannel(channel.get());
    IndicatorQuery query(exchange);
    QSignalSpy version(&query, &IndicatorQuery::versionReceived);
    QSignalSpy serial(&query, &IndicatorQuery::serialReceived);
    QSignalSpy queried(&query, &IndicatorQuery::finished);
    query.start();
    QTRY_COMPARE_WITH_TIMEOUT(queried.count(), 1, 10000);
    QVERIFY(queried.at(0).at(0).toBool());
    // What travelled must be what the indicator said, cleaned as the unit tests pin down.
    QByteArray memory;
    const auto said = [&](const char* line) {
        return sim::IndicatorSimulator::handleLine(line, memory);
    };
    QCOMPARE(version.at(0).at(0).toByteArray(), IndicatorProtocol::versionText(said(";C4")));
    QCOMPARE(serial.at(0).at(0).toByteArray(), IndicatorProtocol::serialText(said(";SR")));
    QVERIFY(version.at(0).at(0).toByteArray().startsWith("V2.05"));

    // An indicator that goes away ends the pending command at once, not after its time-outs.
    QSignalSpy finished(&exchange, &CommandExchange::finished);
    exchange.sendCommand(";E0000-01020304\r", 60s);
    indicator.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QVERIFY(!finished.at(0).at(0).toBool());
    QCOMPARE(exchange.lastFailure(), CommandExchange::Failure::ChannelLost);
    QVERIFY(!exchange.timeoutFlag());
}

void TestLinkE2e::slowAnswersWithinTheTimeOut_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<std::chrono::milliseconds>("timeout");
    QTest::newRow("version after 800 ms") << 800 << QByteArray(";C4\r") << IndicatorQuery::kTimeout;
    QTest::newRow("write after 1.5 s")
        << 1500 << QByteArray(";E0000-41424344\r") << IndicatorProtocol::kWriteTimeout;
}

// An indicator that takes most of the time-out still answers the first attempt: no retry.
void TestLinkE2e::slowAnswersWithinTheTimeOut()
{
    QFETCH(int, delayMs);
    QFETCH(QByteArray, command);
    QFETCH(std::chrono::milliseconds, timeout);
    sim::IndicatorSimulator indicator;
    QString error;
    QVERIFY2(indicator.startPty(&error), qPrintable(error));
    sim::Faults faults;
    faults.delayMs = delayMs;
    indicator.setFaults(faults);
    SerialChannel port(indicator.ptyPath());
    port.open();
    QVERIFY(port.isUsable());
    CommandExchange exchange;
    exchange.setChannel(&port);
    QSignalSpy finished(&exchange, &CommandExchange::finished);
    exchange.sendCommand(command, timeout);
    QVERIFY(finished.wait(10000));
    QVERIFY(finished.first().first().toBool());
    QCOMPARE(indicator.commandLines(), QByteArrayList{command.chopped(1)});
    QCOMPARE(exchange.retryCount(), quint64(0));
}

// A port opened through a link is the same port as its real path: the second opener is refused
// whichever name it uses.
void TestLinkE2e::oneLockWhateverTheName()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("usb-FTDI_FT232R-if00-port0"));
    QVERIFY(QFile::link(pty.path(), link));
    SerialChannel first(link);
    SerialChannel second(pty.path());
    // The failure of an open, or none when it opened.
    const auto openFailure = [](SerialChannel& port) {
        QSignalSpy failed(&port, &LineChannel::failed);
        port.open();
        return failed.isEmpty() ? ChannelFailure::Kind::None
                                : failed.first().first().value<ChannelFailure>().kind;
    };
    QCOMPARE(openFailure(first), ChannelFailure::Kind::None);
    QCOMPARE(openFailure(second), ChannelFailure::Kind::PortInUse);
    first.close();
    QCOMPARE(openFailure(second), ChannelFailure::Kind::None);
    QCOMPARE(openFailure(first), ChannelFailure::Kind::PortInUse);
}

// A read error on a device that is still there (EAGAIN and the like) passes; a hang-up does not.
void TestLinkE2e::passingReadErrorKeepsThePort()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SerialChannel port(pty.path());
    port.open();
    QVERIFY(port.isUsable());
    QSignalSpy lost(&port, &LineChannel::failed);
    QSignalSpy received(&port, &LineChannel::bytesReceived);
    auto* device = port.findChild<QSerialPort*>();
    QVERIFY(device);
    emit device->errorOccurred(QSerialPort::ResourceError);
    QVERIFY(port.isUsable());
    QCOMPARE(lost.count(), 0);
    QCOMPARE(::write(pty.master(), "\x06\r", 2), 2);
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 5000);
    QCOMPARE(received.first().first().toByteArray(), QByteArray("\x06\r"));

    pty.closeMaster();
    emit device->errorOccurred(QSerialPort::ReadError);
    QCOMPARE(lost.count(), 1);
    QVERIFY(!port.isUsable());
}

QTEST_GUILESS_MAIN(TestLinkE2e)
#include "test_link_e2e.moc"
