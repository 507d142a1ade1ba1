#include "IndicatorCore.h"
#include "Protocol.h"

#include <QTest>

using sim::Faults;
using sim::IndicatorCore;

Q_DECLARE_METATYPE(sim::Faults)

namespace {

const QByteArray Ack("\x06\r");
const QByteArray Nak("\x15\r");
const QByteArray Version = QByteArray(Faults::DefaultVersion) + "\x06\r";
const QByteArray Serial = QByteArray(Faults::DefaultSerial) + "\x06\r";
const QByteArray Chatter(IndicatorCore::ChatterLine);
// Stands in the expected replies for "no reply, the link is dropped".
const QByteArray HangUp("<hang-up>");

const QByteArray Entry1(";EFF00-00000004");
const QByteArray Entry7(";EFF18-00000000");

Faults with(void (*change)(Faults&))
{
    Faults f;
    change(f);
    return f;
}

} // namespace

// The decisions IndicatorCore takes alone, without a link or a clock: the fault rules that
// interact, the per-link counts, and what it reports to the link server.
class TestIndicatorCore : public QObject {
    Q_OBJECT
private slots:
    void decisions_data();
    void decisions();
    void tableComplete_data();
    void tableComplete();
    void writeAddress_data();
    void writeAddress();
    void faultsAreNormalised_data();
    void faultsAreNormalised();
    void resetKeepsMemory();
};

void TestIndicatorCore::decisions_data()
{
    QTest::addColumn<Faults>("faults");
    // One character a line: the session it arrives on, a or b for two links, - for the core's own.
    QTest::addColumn<QByteArray>("sessions");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArrayList>("replies"); // reply and chatter of each line
    QTest::addColumn<int>("commands");
    QTest::addColumn<int>("writes");
    QTest::addColumn<int>("naks");

    const QByteArray write0(";E0000-41424344");
    const Faults ignoreOne = with([](Faults& f) { f.ignoreFirst = 1; });
    QTest::newRow("ignore-first counts attempts per link")
        << ignoreOne << QByteArray("abab") << QByteArrayList{";C4", ";C4", ";C4", ";C4"}
        << QByteArrayList{"", "", Version, Version} << 4 << 0 << 0;
    QTest::newRow("ignore-first starts again on another line")
        << ignoreOne << QByteArray("aaaa") << QByteArrayList{";C4", ";SR", ";C4", ";C4"}
        << QByteArrayList{"", "", "", Version} << 4 << 0 << 0;

    const Faults dropOne = with([](Faults& f) { f.dropAfter = 1; });
    QTest::newRow("drop-after counts per link")
        << dropOne << QByteArray("aba") << QByteArrayList{";C4", ";C4", ";SR"}
        << QByteArrayList{Version, Version, HangUp} << 3 << 0 << 0;
    QTest::newRow("drop-after: a lone CR is not a command")
        << dropOne << QByteArray("aaa") << QByteArrayList{";C4", "", ";SR"}
        << QByteArrayList{Version, "", HangUp} << 2 << 0 << 0;
    QTest::newRow("drop-after: the core's own session never hangs up")
        << with([](Faults& f) { f.dropAfter = 0; }) << QByteArray("--")
        << QByteArrayList{";C4", ";SR"} << QByteArrayList{Version, Serial} << 2 << 0 << 0;

    const QByteArray entry7b(";EFF18-00000001");
    QTest::newRow("nak-line overrides silent-at") << with([](Faults& f) {
        f.silentAt.insert(0xFF18);
        f.nakLines.insert(";EFF18-00000000");
    }) << QByteArray("aa") << QByteArrayList{Entry7, entry7b}
                                                  << QByteArrayList{Nak, ""} << 2 << 0 << 1;
    QTest::newRow("nak-line yields to silent-after") << with([](Faults& f) {
        f.silentAfter = 0;
        f.nakLines.insert(";C4");
    }) << QByteArray("a") << QByteArrayList{";C4"} << QByteArrayList{""}
                                                     << 1 << 0 << 0;
    QTest::newRow("nak-line yields to ignore-first") << with([](Faults& f) {
        f.ignoreFirst = 1;
        f.nakLines.insert(";C4");
    }) << QByteArray("aa") << QByteArrayList{";C4", ";C4"}
                                                     << QByteArrayList{"", Nak} << 2 << 0 << 1;
    QTest::newRow("nak-line refuses a query without its text")
        << with([](Faults& f) { f.nakLines.insert(";SR"); }) << QByteArray("aa")
        << QByteArrayList{";SR", ";C4"} << QByteArrayList{Nak, Version} << 2 << 0 << 1;
    QTest::newRow("nak-at refuses only its own address")
        << with([](Faults& f) { f.nakAt.insert(0x0004); }) << QByteArray("aaa")
        << QByteArrayList{write0, ";E0004-45FFFFFF", ";E0002-45FFFFFF"}
        << QByteArrayList{Ack, Nak, Ack} << 3 << 2 << 1;
    QTest::newRow("text-reply: a refused write is ERR and counts as a NAK")
        << with([](Faults& f) {
               f.textReply = true;
               f.nakAt.insert(0x0000);
           })
        << QByteArray("aaa") << QByteArrayList{write0, ";SR", ";E0004-45FFFFFF"}
        << QByteArrayList{"ERR\r", "12345\r", "OK\r"} << 3 << 1 << 1;
    QTest::newRow("own version and serial texts") << with([](Faults& f) {
        f.version = "X 1.0";
        f.serial = "987";
    }) << QByteArray("aa") << QByteArrayList{";C4", ";SR"}
                                                  << QByteArrayList{"X 1.0\x06\r", "987\x06\r"} << 2
                                                  << 0 << 0;

    const Faults loneNak = with([](Faults& f) { f.loneCrNak = true; });
    QTest::newRow("lone CR refused: neither a command nor a NAK counted")
        << loneNak << QByteArray("a") << QByteArrayList{""} << QByteArrayList{Nak} << 0 << 0 << 0;
    QTest::newRow("lone CR refused in text, without CR") << with([](Faults& f) {
        f.loneCrNak = true;
        f.textReply = true;
        f.noCr = true;
    }) << QByteArray("a") << QByteArrayList{""} << QByteArrayList{"ERR"}
                                                         << 0 << 0 << 0;
    QTest::newRow("lone CR unanswered once silent-after struck")
        << with([](Faults& f) {
               f.loneCrNak = true;
               f.silentAfter = 1;
           })
        << QByteArray("aaaa") << QByteArrayList{"", ";C4", ";SR", ""}
        << QByteArrayList{Nak, Version, "", ""} << 2 << 0 << 0;
    QTest::newRow("chatter counts replies over links, lone CRs included")
        << with([](Faults& f) {
               f.loneCrNak = true;
               f.chatterEvery = 2;
           })
        << QByteArray("abab") << QByteArrayList{";C4", "", ";SR", ";C4"}
        << QByteArrayList{Version, Nak + Chatter, Serial, Version + Chatter} << 3 << 0 << 0;
    QTest::newRow("chatter: an unanswered line is no reply")
        << with([](Faults& f) {
               f.chatterEvery = 2;
               f.silentAt.insert(0x0000);
           })
        << QByteArray("aaa") << QByteArrayList{";C4", write0, ";SR"}
        << QByteArrayList{Version, "", Serial + Chatter} << 3 << 0 << 0;
}

void TestIndicatorCore::decisions()
{
    QFETCH(Faults, faults);
    QFETCH(QByteArray, sessions);
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArrayList, replies);
    QFETCH(int, commands);
    QFETCH(int, writes);
    QFETCH(int, naks);
    QCOMPARE(sessions.size(), lines.size());
    QCOMPARE(replies.size(), lines.size());

    IndicatorCore core;
    core.setFaults(faults);
    IndicatorCore::Session a;
    IndicatorCore::Session b;
    for (int i = 0; i < lines.size(); ++i) {
        const IndicatorCore::Outcome outcome = sessions[i] == '-'   ? core.handle(lines[i])
                                               : sessions[i] == 'a' ? core.handle(lines[i], a)
                                                                    : core.handle(lines[i], b);
        const QByteArray got = outcome.hangUp ? HangUp : outcome.reply + outcome.chatter;
        QVERIFY2(got == replies[i],
                 qPrintable(QStringLiteral("line %1: %2")
                                .arg(i)
                                .arg(QString::fromLatin1(sim::protocol::visible(got)))));
        // Nothing is said unless it is an answer.
        QCOMPARE(outcome.answered, !got.isEmpty() && !outcome.hangUp);
    }
    QCOMPARE(core.commandLines(), lines);
    QCOMPARE(core.counters().commands, quint64(commands));
    QCOMPARE(core.counters().writes, quint64(writes));
    QCOMPARE(core.counters().naks, quint64(naks));
}

void TestIndicatorCore::tableComplete_data()
{
    QTest::addColumn<Faults>("faults");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QList<int>>("complete"); // the lines whose outcome reports a complete table

    const Faults none;
    QTest::newRow("entry 7 alone") << none << QByteArrayList{Entry7} << QList<int>{};
    QTest::newRow("entry 1, then 7") << none << QByteArrayList{Entry1, Entry7} << QList<int>{1};
    QTest::newRow("entry 7, 1, 7")
        << none << QByteArrayList{Entry7, Entry1, Entry7} << QList<int>{2};
    QTest::newRow("entry 7 twice after one entry 1")
        << none << QByteArrayList{Entry1, Entry7, Entry7} << QList<int>{1};
    QTest::newRow("entry 1 twice, then 7")
        << none << QByteArrayList{Entry1, Entry1, Entry7} << QList<int>{2};
    QTest::newRow("two passes") << none << QByteArrayList{Entry1, Entry7, Entry1, Entry7}
                                << QList<int>{1, 3};
    QTest::newRow("other lines in between")
        << none << QByteArrayList{Entry1, ";C4", ";EFF0C-00000000", "", ";E8000-00000000", Entry7}
        << QList<int>{5};
    QTest::newRow("entry 7 refused") << with([](Faults& f) { f.nakAt.insert(0xFF18); })
                                     << QByteArrayList{Entry1, Entry7} << QList<int>{};
    QTest::newRow("entry 1 refused") << with([](Faults& f) { f.nakAt.insert(0xFF00); })
                                     << QByteArrayList{Entry1, Entry7} << QList<int>{};
    QTest::newRow("entry 7 unanswered") << with([](Faults& f) { f.silentAt.insert(0xFF18); })
                                        << QByteArrayList{Entry1, Entry7} << QList<int>{};
    QTest::newRow("entry 7 refused by line") << with([](Faults& f) { f.nakLines.insert(Entry7); })
                                             << QByteArrayList{Entry1, Entry7} << QList<int>{};
}

void TestIndicatorCore::tableComplete()
{
    QFETCH(Faults, faults);
    QFETCH(QByteArrayList, lines);
    QFETCH(QList<int>, complete);

    IndicatorCore core;
    core.setFaults(faults);
    QList<int> got;
    for (int i = 0; i < lines.size(); ++i) {
        if (core.handle(lines[i]).tableComplete)
            got.append(i);
    }
    QCOMPARE(got, complete);
}

void TestIndicatorCore::writeAddress_data()
{
    QTest::addColumn<Faults>("faults");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("stored");
    // What the link server times a late reply by: set for an answered write only.
    QTest::addColumn<int>("address");

    const Faults none;
    QTest::newRow("stored write") << none << QByteArray(";E0004-45FFFFFF") << true << 0x0004;
    QTest::newRow("write outside memory: NAK")
        << none << QByteArray(";E8000-00000000") << false << 0x8000;
    QTest::newRow("write refused by nak-at") << with([](Faults& f) { f.nakAt.insert(0x0010); })
                                             << QByteArray(";E0010-00000000") << false << 0x0010;
    QTest::newRow("write refused by line")
        << with([](Faults& f) { f.nakLines.insert(";E0010-00000000"); })
        << QByteArray(";E0010-00000000") << false << 0x0010;
    QTest::newRow("unanswered write") << with([](Faults& f) { f.silentAt.insert(0x0010); })
                                      << QByteArray(";E0010-00000000") << false << -1;
    QTest::newRow("ignored write") << with([](Faults& f) { f.ignoreFirst = 1; })
                                   << QByteArray(";E0010-00000000") << false << -1;
    QTest::newRow("query") << none << QByteArray(";C4") << false << -1;
    QTest::newRow("malformed write") << none << QByteArray(";E0010-0000000") << false << -1;
    QTest::newRow("lone CR") << with([](Faults& f) { f.loneCrNak = true; }) << QByteArray() << false
                             << -1;
}

void TestIndicatorCore::writeAddress()
{
    QFETCH(Faults, faults);
    QFETCH(QByteArray, line);
    QFETCH(bool, stored);
    QFETCH(int, address);

    IndicatorCore core;
    core.setFaults(faults);
    const QByteArray before = core.memory();
    const IndicatorCore::Outcome outcome = core.handle(line);
    QCOMPARE(outcome.writeAddress, address);
    QCOMPARE(outcome.stored, stored);
    QCOMPARE(core.memory() != before, stored);
}

void TestIndicatorCore::faultsAreNormalised_data()
{
    QTest::addColumn<Faults>("given");
    QTest::addColumn<Faults>("kept");

    QTest::newRow("defaults") << Faults() << Faults();
    QTest::newRow("negative counts and times become 0") << with([](Faults& f) {
        f.ignoreFirst = -3;
        f.delayMs = -1;
        f.baud = -9600;
        f.chatterEvery = -2;
        f.lateAt.insert(0x0010, -5);
        f.lateAt.insert(0x0020, 7);
    }) << with([](Faults& f) {
        f.lateAt.insert(0x0010, 0);
        f.lateAt.insert(0x0020, 7);
    });
    // Negative means "never" for these.
    const Faults never = with([](Faults& f) {
        f.silentAfter = -2;
        f.dropAfter = -3;
        f.stallAfter = -4;
        f.resumeAfterMs = -5;
    });
    QTest::newRow("never stays never") << never << never;
}

void TestIndicatorCore::faultsAreNormalised()
{
    QFETCH(Faults, given);
    QFETCH(Faults, kept);

    IndicatorCore core;
    core.setFaults(given);
    QVERIFY(core.faults() == kept);
}

void TestIndicatorCore::resetKeepsMemory()
{
    Faults faults;
    faults.chatterEvery = 2;
    IndicatorCore core;
    core.setFaults(faults);
    QCOMPARE(core.handle(";E0000-41424344").reply, Ack);
    core.recordAnswer(";E0000-41424344", Ack);
    core.countIn(16);
    core.countOut(2);

    core.resetRecord();
    QVERIFY(core.commandLines().isEmpty());
    QVERIFY(core.answers().isEmpty());
    const sim::Counters c = core.counters();
    QCOMPARE(c.commands + c.writes + c.naks + c.bytesIn + c.bytesOut, 0u);
    QCOMPARE(core.memory().left(4), QByteArray("ABCD"));
    // The chatter counts afresh: the first reply after the reset is not the second.
    QCOMPARE(core.handle(";C4").chatter, QByteArray());
    QCOMPARE(core.handle(";C4").chatter, Chatter);
}

QTEST_MAIN(TestIndicatorCore)
#include "tst_indicatorcore.moc"
