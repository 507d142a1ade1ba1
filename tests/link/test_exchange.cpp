#include "link/CommandExchange.h"
#include "support/ScriptedIndicator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

namespace {
constexpr auto kShort = 100ms;
constexpr auto kQuiet = 20ms;
constexpr auto kWait = 5000;
const QByteArray kCmd = ";E0000-01020304\r";
const QByteArray kQuery = ";SR\r";
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
Q_DECLARE_METATYPE(std::chrono::milliseconds)

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void chainedFromFinished();
    void endOfACommand_data();
    void endOfACommand();
    void timeoutWinsOverReplyInSamePass();
    void staysInStep_data();
    void staysInStep();
    void probeFailsOnADeadLine();
    void proveInStep_data();
    void proveInStep();
    void retryWaitsForAQuietLine();
};

void TestExchange::exchange_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<char>("state");
    QTest::addColumn<QByteArray>("replyText");
    QTest::addColumn<QByteArray>("rxAfter");
    QTest::addColumn<bool>("timeoutFlag");
    QTest::addColumn<CommandExchange::Failure>("failure");
    QTest::addColumn<bool>("outOfStep"); // answers may still be owed after the call
    QTest::addColumn<int>("surplus");    // ACK or NAK lines that no command took

    using F = CommandExchange::Failure;
    const QByteArrayList once{kCmd};
    const QByteArrayList retried{kCmd, kCr, kCmd};
    const QByteArrayList silent{kCmd, kCr, kCmd, kCr, kCmd, kCr};
    const QByteArray ack = "\x06\r";
    const QByteArray longLine(CommandExchange::kMaxLineLength + 6000, 'x');
    QByteArrayList chunks;
    for (qsizetype i = 0; i < longLine.size(); i += 100)
        chunks << longLine.mid(i, 100);

    QTest::newRow("pieces") << kCmd << Script{{1, {"V1", ".2\x06", "\r"}}} << once << true << 'A'
                            << QByteArray("V1.2\x06\r") << QByteArray() << false << F::None << false
                            << 0;
    QTest::newRow("the first line decides, the others are dropped")
        << kCmd << Script{{1, {"\x06\rxyz\r\x15\rAB"}}} << once << true << 'A' << ack
        << QByteArray("AB") << false << F::None << false << 1;
    QTest::newRow("text after the reply")
        << kCmd << Script{{1, {"\x06\rST,GS,1234kg\r"}}} << once << true << 'A' << ack
        << QByteArray() << false << F::None << false << 0;
    QTest::newRow("nak and ack") << kCmd << Script{{1, {"\x06\x15\r"}}} << once << false << 'N'
                                 << QByteArray("\x06\x15\r") << QByteArray() << false << F::Nak
                                 << false << 0;
    QTest::newRow("plain text answers a query, inside the write")
        << kQuery << Script{{1, {"SN 123\r"}, true}} << QByteArrayList{kQuery} << true << 'R'
        << QByteArray("SN 123\r") << QByteArray() << false << F::None << false << 0;
    QTest::newRow("plain text is no answer to a write")
        << kCmd << Script{{1, {"SN 123\r", ack}}} << once << true << 'A' << ack << QByteArray()
        << false << F::None << false << 0;
    QTest::newRow("silence") << kCmd << Script{} << silent << false << 'W' << QByteArray()
                             << QByteArray() << true << F::NoReply << true << 0;
    QTest::newRow("second attempt") << kCmd << Script{{3, {ack}}} << retried << true << 'A' << ack
                                    << QByteArray() << false << F::None << true << 0;
    QTest::newRow("late reply is drained before the retry")
        << kCmd << Script{{1, {"\x06"}}, {2, {kCr}}, {3, {"\x15\r"}}} << retried << false << 'N'
        << QByteArray("\x15\r") << QByteArray() << false << F::Nak << true << 1;
    QTest::newRow("nak to the lone CR is dropped")
        << kCmd << Script{{2, {"\x15\r"}}, {3, {ack}}} << retried << true << 'A' << ack
        << QByteArray() << false << F::None << true << 1;
    QTest::newRow("bytes from before the call start a stale line")
        << kCmd << Script{{0, {"\x15"}}, {1, {"\r", ack}}} << once << true << 'A' << ack
        << QByteArray() << false << F::None << false << 1;
    QTest::newRow("an LF waiting before the call starts no stale line")
        << kCmd << Script{{0, {"\n"}}, {1, {ack}}} << once << true << 'A' << QByteArray("\n\x06\r")
        << QByteArray() << false << F::None << false << 0;
    QTest::newRow("CR LF, the LF later, belongs to the line before")
        << kCmd << Script{{0, {"ST\r", "\n\0"}}, {1, {ack, "\n"}}} << once << true << 'A' << ack
        << QByteArray() << false << F::None << false << 0;
    QTest::newRow("line while idle")
        << kCmd << Script{{0, {"\x15old\r"}}, {1, {ack}}} << once << true << 'A' << ack
        << QByteArray() << false << F::None << false << 1;
    QTest::newRow("overlong line")
        << kCmd << Script{{1, chunks, true}} << silent << false << 'W' << QByteArray()
        << longLine.left(64 * 1024) << true << F::NoReply << true << 0;
    QTest::newRow("dies mid-wait")
        << kCmd << Script{{1, {}, false, true}} << once << false << 'W' << QByteArray()
        << QByteArray() << false << F::ChannelLost << false << 0;
    QTest::newRow("dead before the call")
        << kCmd << Script{{0, {}, false, true}} << QByteArrayList() << false << 'W' << QByteArray()
        << QByteArray() << false << F::ChannelLost << false << 0;
}

void TestExchange::exchange()
{
    QFETCH(QByteArray, command);
    QFETCH(Script, script);
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setQuietTime(kQuiet);
    exchange.setChannel(&channel);
    qsizetype maxRx = 0;
    auto deliver = [&](const Answer& answer) {
        if (answer.die)
            channel.die();
        for (const QByteArray& piece : answer.pieces) {
            channel.receive(piece);
            maxRx = std::max(maxRx, exchange.rxBuffer().size());
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
    // Lines that arrive while nothing is pending are never taken as a reply.
    QCOMPARE(exchange.replyState(), CommandExchange::Reply::Waiting);

    QSignalSpy finished(&exchange, &CommandExchange::finished);
    QSignalSpy taken(&exchange, &CommandExchange::replyTaken);
    exchange.sendCommand(command, kShort);
    QCOMPARE(finished.count(), 0); // never from inside the call
    QVERIFY(exchange.isBusy());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);

    QTEST(finished.at(0).at(0).toBool(), "ok");
    QTEST(channel.writes, "writes");
    QTEST(char(exchange.replyState()), "state");
    QTEST(exchange.replyText(), "replyText");
    QTEST(exchange.rxBuffer(), "rxAfter");
    QTEST(exchange.timeoutFlag(), "timeoutFlag");
    QTEST(exchange.lastFailure(), "failure");
    QTEST(exchange.isOutOfStep(), "outOfStep");
    QTEST(exchange.surplusLines(), "surplus");
    // The trace names the reply that decided, and only that one.
    QCOMPARE(taken.size(), exchange.replyState() == CommandExchange::Reply::Waiting ? 0 : 1);
    if (!taken.isEmpty())
        QCOMPARE(taken.first().at(1).toByteArray(), exchange.replyText());
    QVERIFY(maxRx <= CommandExchange::kMaxLineLength);
    QVERIFY(!exchange.isBusy());
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
            exchange.sendCommand(kCmd, kShort);
    });
    exchange.sendCommand(kCmd, kShort);
    QTRY_COMPARE_WITH_TIMEOUT(done, kCount, 60000);
    QCOMPARE(channel.writes.size(), kCount);
}

void TestExchange::endOfACommand_data()
{
    QTest::addColumn<bool>("fromCommandFinished"); // else from finished
    QTest::newRow("next command sent from commandFinished") << true;
    QTest::newRow("next command sent from finished") << false;
}

// One client sends its next command from inside the end of the last one; every receiver heard
// after it still hears the number of the command that ended, and commandFinished comes before
// finished, so a client counting its own numbers never takes the new command's end for its own.
void TestExchange::endOfACommand()
{
    QFETCH(bool, fromCommandFinished);
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setChannel(&channel);
    ScriptedIndicator indicator(channel);
    quint64 second = 0;
    const auto sendNext = [&] {
        if (second == 0)
            second = exchange.sendCommand(kCmd, kShort);
    };
    // The sender is connected first, so the listener below hears the end after it.
    if (fromCommandFinished)
        connect(&exchange, &CommandExchange::commandFinished, this, sendNext);
    else
        connect(&exchange, &CommandExchange::finished, this, sendNext);
    QStringList heard;
    connect(&exchange, &CommandExchange::commandFinished, this, [&](quint64 command, bool ok) {
        heard << QStringLiteral("end %1 %2").arg(command).arg(ok);
    });
    connect(&exchange, &CommandExchange::finished, this,
            [&](bool ok) { heard << QStringLiteral("finished %1").arg(ok); });

    const quint64 first = exchange.sendCommand(kCmd, kShort);
    QTRY_COMPARE_WITH_TIMEOUT(heard.size(), 4, kWait);
    QVERIFY(second != 0 && second != first);
    QCOMPARE(heard, (QStringList{QStringLiteral("end %1 1").arg(first), "finished 1",
                                 QStringLiteral("end %1 1").arg(second), "finished 1"}));
}

void TestExchange::staysInStep_data()
{
    QTest::addColumn<std::chrono::milliseconds>("lateBy");
    QTest::addColumn<bool>("nakLoneCr");
    QTest::addColumn<int>("chatterEvery");
    QTest::newRow("late by a little") << 120ms << false << 0;
    QTest::newRow("late by a little, lone CR refused") << 120ms << true << 0;
    QTest::newRow("late past the drain") << 150ms << true << 0;
    QTest::newRow("late past the second attempt") << 260ms << true << 0;
    QTest::newRow("text lines between the replies") << 0ms << false << 3;
}

// Whatever arrives late or unasked, every command is judged on its own answer: the refused one
// fails and no other does.
void TestExchange::staysInStep()
{
    QFETCH(std::chrono::milliseconds, lateBy);
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setQuietTime(kQuiet);
    exchange.setChannel(&channel);
    exchange.setVersionText("V2.05\x06");
    ScriptedIndicator indicator(channel);
    const QByteArray refused = ";E0014-00000000\r";
    indicator.answer = [&](const QByteArray& line) {
        return line == refused ? ScriptedIndicator::kNak : indicator.behaves(line);
    };
    // A few milliseconds per answer, as on a real line, so unasked text can fall in between;
    // the first answer to one write comes late.
    QByteArray late = ";E0008-00000000\r";
    indicator.delay = [&](const QByteArray& line) {
        if (line != late)
            return 2ms;
        late.clear();
        return 2ms + lateBy;
    };
    QFETCH(bool, nakLoneCr);
    indicator.loneCr = nakLoneCr ? ScriptedIndicator::kNak : ScriptedIndicator::kSilent;
    QFETCH(int, chatterEvery);
    indicator.chatterEvery = chatterEvery;

    QByteArrayList commands;
    for (int address = 0; address < 40; address += 4)
        commands << ";E" + QByteArray::number(address, 16).toUpper().rightJustified(4, '0') +
                        "-00000000\r";
    QList<bool> results;
    QList<QPair<QByteArray, QByteArray>> taken;
    connect(&exchange, &CommandExchange::replyTaken, this,
            [&](const QByteArray& c, const QByteArray& r) {
                taken.append({c, r});
            });
    connect(&exchange, &CommandExchange::finished, this, [&](bool ok) {
        results.append(ok);
        if (results.size() < commands.size())
            exchange.sendCommand(commands[results.size()], kShort);
    });
    exchange.sendCommand(commands.first(), kShort);
    QTRY_COMPARE_WITH_TIMEOUT(results.size(), commands.size(), kWait);

    QList<bool> expected(commands.size(), true);
    expected[5] = false; // 0014
    QCOMPARE(results, expected);
    QCOMPARE(taken.size(), commands.size());
    for (const auto& [command, reply] : taken)
        QCOMPARE(reply, QByteArray(command == refused ? "\x15\r" : "\x06\r"));
    // Each decision used an answer the indicator gave to that very command.
    for (const auto& pair : taken)
        QVERIFY(indicator.answered.contains(pair));
}

// A line that stays dead cannot be brought back in step: the next command is not sent at all.
void TestExchange::probeFailsOnADeadLine()
{
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setQuietTime(kQuiet);
    exchange.setChannel(&channel);
    exchange.setVersionText("V2.05\x06");
    QSignalSpy finished(&exchange, &CommandExchange::finished);
    exchange.sendCommand(kCmd, kShort);
    QVERIFY(finished.wait(kWait));
    QCOMPARE(exchange.lastFailure(), CommandExchange::Failure::NoReply);
    QVERIFY(exchange.isOutOfStep());
    channel.writes.clear();

    exchange.sendCommand(kQuery, kShort);
    QVERIFY(finished.wait(kWait));
    QCOMPARE(finished.last().first().toBool(), false);
    QCOMPARE(exchange.lastFailure(), CommandExchange::Failure::OutOfStep);
    QCOMPARE(channel.writes, QByteArrayList(3, ";C4\r"));
    QVERIFY(exchange.isOutOfStep());

    // Whoever answers next may be another indicator: only a quiet line is asked for now.
    QCOMPARE(exchange.versionText(), QByteArray());
    exchange.setVersionText("V2.05\x06");

    // Once the indicator answers again, the probe brings the line back and the command goes out.
    ScriptedIndicator indicator(channel);
    indicator.serial = "77\r";
    channel.writes.clear();
    exchange.sendCommand(kQuery, kShort);
    QVERIFY(finished.wait(kWait));
    QCOMPARE(finished.last().first().toBool(), true);
    QCOMPARE(channel.writes, QByteArrayList({";C4\r", kQuery}));
    QCOMPARE(exchange.replyText(), QByteArray("77\r"));
    QVERIFY(!exchange.isOutOfStep());
}

void TestExchange::proveInStep_data()
{
    QTest::addColumn<QByteArray>("known");  // the version known before the probe
    QTest::addColumn<QByteArray>("before"); // delivered while nothing is pending
    QTest::addColumn<QByteArray>("answer"); // to every ;C4
    QTest::addColumn<CommandExchange::Failure>("failure");
    QTest::addColumn<QByteArray>("versionAfter");
    using F = CommandExchange::Failure;
    const QByteArray v = "V2.05\x06", reply = "IND V2.05\x06\r";
    QTest::newRow("in step") << v << QByteArray() << reply << F::None << v;
    QTest::newRow("an unasked ACK before") << v << QByteArray("\x06\r") << reply << F::Voided << v;
    QTest::newRow("a NAK ahead of the version")
        << v << QByteArray() << QByteArray("\x15\r") + reply << F::Voided << v;
    QTest::newRow("text lines are no surplus")
        << v << QByteArray("ST,GS\r") << "ST,GS\r" + reply << F::None << v;
    QTest::newRow("another version is no in-step point")
        << v << QByteArray() << QByteArray("IND V9.99\x06\r") << F::OutOfStep << QByteArray();
    QTest::newRow("a NAK in the version line refuses it")
        << v << QByteArray() << QByteArray("\x15IND V2.05\x06\r") << F::OutOfStep << QByteArray();
    QTest::newRow("no version known: the answer tells it")
        << QByteArray() << QByteArray() << "\r" + reply << F::None << v;
    QTest::newRow("a version without a V")
        << QByteArray("A-0077\x06") << QByteArray() << QByteArray("A-0077\x06\r") << F::None
        << QByteArray("A-0077\x06");
    QTest::newRow("no version known: a stray ACK tells none")
        << QByteArray() << QByteArray() << "\x06\r" + reply << F::Voided << v;
    QTest::newRow("silence") << v << QByteArray() << QByteArray() << F::OutOfStep << QByteArray();
}

// An in-step point proves the answers since the last one, or voids them when some ACK or NAK
// matched no command; either way the surplus count starts again.
void TestExchange::proveInStep()
{
    QFETCH(QByteArray, answer);
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setQuietTime(kQuiet);
    exchange.setChannel(&channel);
    QFETCH(QByteArray, known);
    exchange.setVersionText(known);
    ScriptedIndicator indicator(channel);
    indicator.version = answer;
    QFETCH(QByteArray, before);
    channel.receive(before);
    QSignalSpy finished(&exchange, &CommandExchange::commandFinished);
    const quint64 number = exchange.proveInStep(kShort);
    QVERIFY(finished.wait(kWait));
    QCOMPARE(finished.first().at(0).toULongLong(), number);
    QFETCH(CommandExchange::Failure, failure);
    QCOMPARE(exchange.lastFailure(), failure);
    QCOMPARE(finished.first().at(1).toBool(), failure == CommandExchange::Failure::None);
    QTEST(exchange.versionText(), "versionAfter");
    if (failure != CommandExchange::Failure::OutOfStep)
        QCOMPARE(exchange.surplusLines(), 0);
}

// After a time-out the retry goes out once the line has been quiet for the quiet time, not at
// once and not much later.
void TestExchange::retryWaitsForAQuietLine()
{
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setChannel(&channel);
    QElapsedTimer clock;
    QList<qint64> at;
    channel.onWrite = [&](const QByteArray&) { at.append(clock.elapsed()); };
    QSignalSpy finished(&exchange, &CommandExchange::finished);
    clock.start();
    exchange.sendCommand(kCmd, kShort);
    QVERIFY(finished.wait(kWait));
    QCOMPARE(at.size(), 6);
    constexpr qint64 quiet = 200; // several reply lines at 4800 baud, and a USB latency timer
    for (int attempt = 1; attempt < 3; ++attempt) {
        const qint64 pause = at[2 * attempt] - at[2 * attempt - 1];
        QVERIFY2(pause >= quiet && pause < 3 * quiet, qPrintable(QString::number(pause)));
        const qint64 wait = at[2 * attempt - 1] - at[2 * attempt - 2];
        QVERIFY2(wait >= kShort.count(), qPrintable(QString::number(wait)));
    }
}

QTEST_GUILESS_MAIN(TestExchange)
#include "test_exchange.moc"

// A reply handled in the same pass as an elapsed time-out does not count as in time.
void TestExchange::timeoutWinsOverReplyInSamePass()
{
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setQuietTime(kQuiet);
    exchange.setChannel(&channel);
    QSignalSpy finished(&exchange, &CommandExchange::finished);
    exchange.sendCommand(kCmd, 0ms); // due at once, before the event loop runs again
    channel.receive("\x06\r");
    QVERIFY(finished.wait(kWait));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(channel.writes.mid(0, 2), QByteArrayList({kCmd, kCr}));
    QCOMPARE(exchange.replyState(), CommandExchange::Reply::Waiting);
}
