#include "IndicatorSimulator.h"
#include "link/IndicatorQuery.h"
#include "platform/SerialPort.h"
#include "platform/TcpClient.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace std::chrono_literals;

// The exchange and the query over the real channels, against the simulated indicator.
class TestLinkE2e : public QObject {
    Q_OBJECT
private slots:
    void queryThenHangUp_data();
    void queryThenHangUp();
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
    indicator.setSilentAfter(2); // answers the query, then keeps a command pending
    QString error;
    std::unique_ptr<LineChannel> channel;
    if (tcp) {
        QVERIFY2(indicator.startTcp(0, &error), qPrintable(error));
        auto client = std::make_unique<TcpClient>();
        QSignalSpy connected(client.get(), &TcpClient::Connected);
        client->setRemoteHost(QStringLiteral("127.0.0.1"));
        client->setRemotePort(indicator.tcpPort());
        client->Connect();
        QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 5000);
        channel = std::move(client);
    } else {
        QVERIFY2(indicator.startPty(&error), qPrintable(error));
        auto port = std::make_unique<SerialPort>();
        port->setPortName(1, indicator.ptyPath());
        QCOMPARE(port->setPortOpen(true), SerialPort::kNoError);
        channel = std::move(port);
    }
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
    QCOMPARE(version.at(0).at(0).toByteArray(), IndicatorQuery::versionText(said(";C4")));
    QCOMPARE(serial.at(0).at(0).toByteArray(), IndicatorQuery::serialText(said(";SR")));
    QVERIFY(version.at(0).at(0).toByteArray().startsWith("V2.05"));

    // An indicator that goes away ends the pending command at once, not after its time-outs.
    QSignalSpy finished(&exchange, &CommandExchange::finished);
    exchange.SendCommand(";E0000-01020304\r", 60s);
    indicator.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QVERIFY(!finished.at(0).at(0).toBool());
    QCOMPARE(exchange.lastFailure(), CommandExchange::Failure::ChannelLost);
    QVERIFY(!exchange.TimeoutFlag());
}

QTEST_GUILESS_MAIN(TestLinkE2e)
#include "test_link_e2e.moc"
