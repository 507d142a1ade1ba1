// Whatever the line does, what the download reports stored is what the indicator holds: six
// tickets through the real serial port and the real TCP client into the simulated indicator,
// under each fault of a misbehaving line, with and without a refused pointer entry of slot 6.
#include "IndicatorSimulator.h"
#include "link/IndicatorQuery.h"
#include "support/FakeUiServices.h"
#include "support/SimulatedLine.h"
#include "ticket/DownloadMessages.h"
#include "ticket/Downloader.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace std::chrono_literals;
using Contents = std::array<QByteArray, SlotTable::kSlotCount>;
Q_DECLARE_METATYPE(sim::Faults)

namespace {
// Shorter than the real 2 s, the faults' times scaled alike.
constexpr auto kTimeout = 400ms;
constexpr int kWaitMs = 120000;

Contents sixTickets()
{
    QRandomGenerator random(17);
    Contents contents;
    const int sizes[] = {701, 333, 1024, 257, 90, 555};
    for (int s = 0; s < 6; ++s) {
        for (int i = 0; i < sizes[s]; ++i)
            contents[s].append(char(random.bounded(256)));
    }
    return contents;
}

QByteArray line(const QByteArray& command)
{
    return command.chopped(1);
}
} // namespace

class TestLineFaults : public QObject {
    Q_OBJECT
private slots:
    void storedIsWhatTheIndicatorHolds_data();
    void storedIsWhatTheIndicatorHolds();
};

void TestLineFaults::storedIsWhatTheIndicatorHolds_data()
{
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<bool>("refuseSlot6");
    QTest::addColumn<QList<int>>("lost"); // slots whose data the indicator refuses
    const DownloadPlan plan = makeDownloadPlan(sixTickets());

    QList<std::pair<const char*, sim::Faults>> rows;
    sim::Faults f;
    rows.append({"none", f});
    f.crlf = true;
    rows.append({"CR LF", f});
    f.lfAfterMs = 5;
    rows.append({"CR, LF 5 ms later", f});
    f = {};
    f.duplicateEvery = 40;
    rows.append({"every 40th answer twice", f});
    f = {};
    // Its copy arrives after slot 6's entry went out, and so looks like that entry's answer.
    f.duplicateLines.insert(line(plan.pointerCommands[4]));
    f.duplicateDelayMs = 3;
    rows.append({"slot 5's entry answered twice, late", f});
    // The copy is taken for the next write's answer, and the refusal of the block after it for
    // the one after that: only counting tells.
    f.duplicateLines = {line(plan.dataBlocks[99].command)};
    f.nakLines = {line(plan.dataBlocks[100].command)};
    rows.append({"a data answer twice, late, before a refused block", f});
    f = {};
    // Proven by its two answers once it stands alone in its stretch.
    f.duplicateAlwaysLines = {line(plan.dataBlocks[99].command)};
    rows.append({"one write answered twice every time", f});
    f = {};
    f.duplicateEvery = 1;
    rows.append({"every answer twice", f});
    f.silentAt = {quint16(plan.dataBlocks[100].position - 1)};
    rows.append({"every answer twice, one write never answered", f});
    f = {};
    f.garbleEvery = 250;
    rows.append({"BEL instead of ACK", f});
    f = {};
    f.restartAfter = 300;
    f.deafMs = 500;
    rows.append({"restart", f});
    f = {};
    f.chatterEvery = 25;
    rows.append({"text line every 25 answers", f});
    f = {};
    f.lateAt.insert(0x0400, 500);
    rows.append({"late answer", f});
    f = {};
    f.stallAfter = 400;
    f.resumeAfterMs = 800;
    rows.append({"stall that resumes", f});

    for (const auto& [name, faults] : rows) {
        for (const bool tcp : {false, true}) {
            for (const bool refuse : {false, true}) {
                sim::Faults withRefusal = faults;
                if (refuse)
                    withRefusal.nakLines.insert(line(plan.pointerCommands[5]));
                QTest::addRow("%s, %s%s", name, tcp ? "TCP" : "serial",
                              refuse ? ", slot 6 refused" : "")
                    << withRefusal << tcp << refuse
                    << (faults.nakLines.isEmpty() && faults.silentAt.isEmpty() ? QList<int>{}
                                                                               : QList<int>{1});
            }
        }
    }
}

void TestLineFaults::storedIsWhatTheIndicatorHolds()
{
    QFETCH(sim::Faults, faults);
    QFETCH(bool, tcp);
    QFETCH(bool, refuseSlot6);
    QFETCH(QList<int>, lost);
    sim::IndicatorSimulator indicator;
    indicator.setFaults(faults);
    QString error;
    const std::unique_ptr<LineChannel> channel = openSimulatedLine(indicator, tcp, &error);
    QVERIFY2(channel, qPrintable(error));
    CommandExchange exchange;
    exchange.setChannel(channel.get());
    IndicatorQuery query(exchange);
    QSignalSpy queried(&query, &IndicatorQuery::finished);
    query.start();
    QTRY_COMPARE_WITH_TIMEOUT(queried.count(), 1, 10000);
    QVERIFY(queried.first().first().toBool());
    QCOMPARE(exchange.versionText(), QByteArray("V2.05\x06"));

    FakeUiServices ui;
    Downloader downloader(exchange);
    showDownloadNotices(downloader, ui);
    downloader.setTimeout(kTimeout);
    QSignalSpy finished(&downloader, &Downloader::finished);
    const Contents contents = sixTickets();
    downloader.start(contents);
    QVERIFY(finished.wait(kWaitMs));

    // Every slot: reported stored exactly when the indicator holds it byte for byte, and never
    // holding anything else than the ticket sent.
    for (int s = 1; s <= 6; ++s) {
        const QByteArray held = indicator.slot(s);
        QVERIFY2(held.isEmpty() || held == contents[s - 1], qPrintable(QString::number(s)));
        QCOMPARE(downloader.slotStored(s), held == contents[s - 1]);
        QCOMPARE(downloader.slotStored(s), !(refuseSlot6 && s == 6) && !lost.contains(s));
    }
    const bool refused = refuseSlot6 || !lost.isEmpty();
    QCOMPARE(downloader.outcome(), refused ? Outcome::Refused : Outcome::Stored);
    // One message for each refusal: the refused block's, and the one that ends the download.
    QCOMPARE(ui.messages.size(),
             int(refuseSlot6) + 2 * int(lost.size()) - int(refuseSlot6 && !lost.isEmpty()));
    if (refuseSlot6)
        QVERIFY(ui.messages.last().text.startsWith("Pointer Error\r\n"));
}

QTEST_GUILESS_MAIN(TestLineFaults)
#include "test_line_faults.moc"
