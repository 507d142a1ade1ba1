#include "link/CommandExchange.h"
#include "support/FakeLineChannel.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {
constexpr auto kShort = 100ms;
constexpr auto kWait = 5000;
const QByteArray kCmd = ";E0000-01020304\r";
const QByteArray kCr = "\r";
} // namespace

// What the fake indicator does after the n-th write (1-based; 0: before the call): deliver
// pieces, or die.
struct Answer {
    int afterWrite = 0;
    QByteArrayList pieces;
    bool direct = false; // inside the write instead of from the event loop
    bool die = false;
};
using Script = QList<Answer>;
Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(CommandExchange::Failure)

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void chainedFromFinished();
    void timeoutWinsOverReplyInSamePass();
};

void TestExchange::exchange_data()
{
    QTest::addColumn<char>("stateBefore"); // ReplyState just before the call
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<char>("state");
    QTest::addColumn<QByteArray>("replyText");
    QTest::addColumn<QByteArray>("rxAfter");
    QTest::addColumn<bool>("timeoutFlag");
    QTest::addColumn<CommandExchange::Failure>("failure");

    using F = CommandExchange::Failure;
    const QByteArrayList once{kCmd};
    const QByteArrayList silent{kCmd, kCr, kCmd, kCr, kCmd, kCr};
    const QByteArray ack = "\x06\r";
    const QByteArray longLine(CommandExchange::kMaxLineLength + 6000, 'x');
    QByteArrayList chunks;
    for (qsizetype i = 0; i < longLine.size(); i += 100)
        chunks << longLine.mid(i, 100);

    QTest::newRow("pieces") << 'W' << Script{{1, {"V1", ".2\x06", "\r"}}} << once << true << 'A'
                            << QByteArray("V1.2\x06\r") << QByteArray() << false << F::None;
    QTest::newRow("ack plus trailing")
        << 'W' << Script{{1, {"\x06\rxyz"}}} << once << true << 'A' << QByteArray("\x06\rxyz")
        << QByteArray() << false << F::None;
    QTest::newRow("nak and ack") << 'W' << Script{{1, {"\x06\x15\r"}}} << once << false << 'N'
                                 << QByteArray("\x06\x15\r") << QByteArray() << false << F::Nak;
    QTest::newRow("plain text, inside the write")
        << 'W' << Script{{1, {"SN 123\r"}, true}} << once << true << 'R' << QByteArray("SN 123\r")
        << QByteArray() << false << F::None;
    QTest::newRow("silence") << 'W' << Script{} << silent << false << 'W' << QByteArray()
                             << QByteArray() << true << F::NoReply;
    QTest::newRow("second attempt") << 'W' << Script{{3, {ack}}} << QByteArrayList{kCmd, kCr, kCmd}
                                    << true << 'A' << ack << QByteArray() << false << F::None;
    QTest::newRow("late reply") << 'W' << Script{{1, {"\x06"}}, {3, {kCr}}}
                                << QByteArrayList{kCmd, kCr, kCmd} << true << 'A' << ack
                                << QByteArray() << false << F::None;
    QTest::newRow("nak to lone CR")
        << 'W' << Script{{2, {"\x15\r"}}} << QByteArrayList{kCmd, kCr} << false << 'N'
        << QByteArray("\x15\r") << QByteArray() << true << F::Nak;
    QTest::newRow("ack to lone CR") << 'W' << Script{{2, {ack}, true}} << QByteArrayList{kCmd, kCr}
                                    << false << 'A' << ack << QByteArray() << true << F::NoReply;
    QTest::newRow("leftovers") << 'W' << Script{{0, {"AB"}}, {1, {"C\r"}}} << once << true << 'R'
                               << QByteArray("ABC\r") << QByteArray() << false << F::None;
    QTest::newRow("line while idle") << 'N' << Script{{0, {"\x15old\r"}}, {1, {ack}}} << once
                                     << true << 'A' << ack << QByteArray() << false << F::None;
    QTest::newRow("overlong line")
        << 'W' << Script{{1, chunks, true}} << silent << false << 'W' << QByteArray()
        << longLine.left(64 * 1024) << true << F::NoReply;
    QTest::newRow("dies mid-wait") << 'W' << Script{{1, {}, false, true}} << once << false << 'W'
                                   << QByteArray() << QByteArray() << false << F::ChannelLost;
    QTest::newRow("dead before the call")
        << 'W' << Script{{0, {}, false, true}} << QByteArrayList() << false << 'W' << QByteArray()
        << QByteArray() << false << F::ChannelLost;
}

void TestExchange::exchange()
{
    QFETCH(Script, script);
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setChannel(&channel);
    qsizetype maxRx = 0;
    auto deliver = [&](const Answer& answer) {
        if (answer.die)
            channel.die();
        for (const QByteArray& piece : answer.pieces) {
            channel.receive(piece);
            maxRx = std::max(maxRx, exchange.RxBuffer().size());
        }
    };
    channel.onWrite = [&](const QByteArray&) {
        for (const Answer& answer : script) {
            if (answer.afterWrite != channel.writes.size())
                continue;
            if (answer.direct)
                deliver(answer);
            else
                QTimer::singleShot(0, &exchange, [&deliver, answer] { deliver(answer); });
        }
    };
    for (const Answer& answer : script) {
        if (answer.afterWrite == 0)
            deliver(answer);
    }
    QTEST(exchange.ReplyState(), "stateBefore");

    QSignalSpy finished(&exchange, &CommandExchange::finished);
    exchange.SendCommand(kCmd, kShort);
    QCOMPARE(finished.count(), 0); // never from inside the call
    QVERIFY(exchange.isBusy());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);

    QTEST(finished.at(0).at(0).toBool(), "ok");
    QTEST(channel.writes, "writes");
    QTEST(exchange.ReplyState(), "state");
    QTEST(exchange.ReplyText(), "replyText");
    QTEST(exchange.RxBuffer(), "rxAfter");
    QTEST(exchange.TimeoutFlag(), "timeoutFlag");
    QTEST(exchange.lastFailure(), "failure");
    QVERIFY(maxRx <= CommandExchange::kMaxLineLength);
    QVERIFY(!exchange.isBusy());
    QVERIFY(!exchange.tmrGlobal().isActive());
}

// The downloader sends its next command from the finished slot; that must neither recurse nor
// stall, whether the peer answers inside the write or from the event loop.
void TestExchange::chainedFromFinished()
{
    constexpr int kCount = 10000;
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setChannel(&channel);
    channel.onWrite = [&](const QByteArray&) {
        if (channel.writes.size() % 2)
            channel.receive("\x06\r");
        else
            QTimer::singleShot(0, &channel, [&] { channel.receive("\x06\r"); });
    };
    int done = 0;
    connect(&exchange, &CommandExchange::finished, this, [&](bool ok) {
        if (ok && ++done < kCount)
            exchange.SendCommand(kCmd, kShort);
    });
    exchange.SendCommand(kCmd, kShort);
    QTRY_COMPARE_WITH_TIMEOUT(done, kCount, 60000);
    QCOMPARE(channel.writes.size(), kCount);
}

QTEST_GUILESS_MAIN(TestExchange)
#include "test_exchange.moc"

// A reply handled in the same pass as an elapsed time-out does not count as in time.
void TestExchange::timeoutWinsOverReplyInSamePass()
{
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setChannel(&channel);
    QSignalSpy finished(&exchange, &CommandExchange::finished);
    exchange.SendCommand(kCmd, 0ms); // due at once, before the event loop runs again
    channel.receive("\x06\r");
    QVERIFY(finished.wait(kWait));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(channel.writes, QByteArrayList({kCmd, kCr}));
    QCOMPARE(exchange.ReplyState(), 'A');
    QCOMPARE(exchange.ReplyText(), QByteArray("\x06\r"));
}
