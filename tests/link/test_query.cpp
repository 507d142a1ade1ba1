#include "link/IndicatorQuery.h"
#include "support/ScriptedIndicator.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

class TestQuery : public QObject {
    Q_OBJECT
private slots:
    void query_data();
    void query();
    void refusedWhileTheExchangeIsBusy();
    void startedAsAnotherCommandEnds();
};

// The exchange serves other clients too. A query started by one of them as its own command ends
// hears that end after it has started; it must wait for the answer to its own ;C4, not take the
// other client's ACK for the version.
void TestQuery::startedAsAnotherCommandEnds()
{
    FakeLineChannel channel;
    ScriptedIndicator indicator(channel);
    CommandExchange exchange;
    exchange.setChannel(&channel);
    std::unique_ptr<IndicatorQuery> query;
    // Connected before the query exists, so it is heard first.
    connect(&exchange, &CommandExchange::commandFinished, this, [&](quint64, bool) {
        if (!query->isRunning() && channel.writes.size() == 1)
            query->start();
    });
    query = std::make_unique<IndicatorQuery>(exchange);
    QSignalSpy versions(query.get(), &IndicatorQuery::versionReceived);
    QSignalSpy serials(query.get(), &IndicatorQuery::serialReceived);
    QSignalSpy finished(query.get(), &IndicatorQuery::finished);

    exchange.sendCommand(";E0000-41424344\r", std::chrono::seconds(5));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);

    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(versions.count(), 1);
    QCOMPARE(versions.first().first().toByteArray(), QByteArray("V2.05\x06"));
    QCOMPARE(serials.count(), 1);
    QCOMPARE(serials.first().first().toByteArray(), QByteArray("12345\x06"));
    QCOMPARE(channel.writes,
             (QByteArrayList{";E0000-41424344\r", IndicatorProtocol::kVersionCommand,
                             IndicatorProtocol::kSerialCommand}));
}

// One command at a time: the query does not start under a pending command, and says so.
void TestQuery::refusedWhileTheExchangeIsBusy()
{
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setChannel(&channel);
    exchange.sendCommand(";E0000-00000000\r", std::chrono::hours(1));
    IndicatorQuery query(exchange);
    QSignalSpy finished(&query, &IndicatorQuery::finished);
    query.start();
    QVERIFY(!query.isRunning());
    QCOMPARE(finished.count(), 0); // answered from the event loop, not inside the call
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(channel.writes, QByteArrayList{";E0000-00000000\r"});
}

void TestQuery::query_data()
{
    QTest::addColumn<QByteArray>("versionReply");
    QTest::addColumn<QByteArray>("serialReply");
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QByteArrayList>("versions");
    QTest::addColumn<QByteArrayList>("serials");
    QTest::addColumn<bool>("ok");

    const QByteArrayList both{IndicatorProtocol::kVersionCommand,
                              IndicatorProtocol::kSerialCommand};
    QTest::newRow("cut at V, ACK kept") << QByteArray("\nABC V2.05\x06\r")
                                        << QByteArray("\x06"
                                                      "12345\r")
                                        << both << QByteArrayList{"V2.05\x06"}
                                        << QByteArrayList{"\x06"
                                                          "12345"}
                                        << true;
    QTest::newRow("first V, lower case ignored")
        << QByteArray("v0 xV1V2\0\r", 10) << QByteArray("S\nN\r") << both << QByteArrayList{"V1V2"}
        << QByteArrayList{"SN"} << true;
    QTest::newRow("no V: whole cleaned text")
        << QByteArray("\0abc v1\r", 8) << QByteArray("77\r") << both << QByteArrayList{"abc v1"}
        << QByteArrayList{"77"} << true;
    QTest::newRow("version refused: no ;SR") << QByteArray("\x15\r") << QByteArray("77\r")
                                             << QByteArrayList{IndicatorProtocol::kVersionCommand}
                                             << QByteArrayList() << QByteArrayList() << false;
    QTest::newRow("serial refused: version kept")
        << QByteArray("V9\r") << QByteArray("E\x15\r") << both << QByteArrayList{"V9"}
        << QByteArrayList() << false;
}

void TestQuery::query()
{
    QFETCH(QByteArray, versionReply);
    QFETCH(QByteArray, serialReply);
    FakeLineChannel channel;
    ScriptedIndicator indicator(channel);
    indicator.version = versionReply;
    indicator.serial = serialReply;
    CommandExchange exchange;
    exchange.setChannel(&channel);
    IndicatorQuery query(exchange);
    QSignalSpy versions(&query, &IndicatorQuery::versionReceived);
    QSignalSpy serials(&query, &IndicatorQuery::serialReceived);
    QSignalSpy finished(&query, &IndicatorQuery::finished);
    // The version must be out before ;SR is written, so the window shows it even if ;SR fails.
    connect(&query, &IndicatorQuery::versionReceived, this,
            [&] { QCOMPARE(channel.writes.size(), 1); });

    query.start();
    QVERIFY(query.isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);

    QVERIFY(!query.isRunning());
    QTEST(finished.at(0).at(0).toBool(), "ok");
    QTEST(channel.writes, "writes");
    QByteArrayList got;
    for (const QList<QVariant>& args : versions)
        got << args.at(0).toByteArray();
    QTEST(got, "versions");
    got.clear();
    for (const QList<QVariant>& args : serials)
        got << args.at(0).toByteArray();
    QTEST(got, "serials");
}

QTEST_GUILESS_MAIN(TestQuery)
#include "test_query.moc"
