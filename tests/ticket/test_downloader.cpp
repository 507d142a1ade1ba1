#include "link/CommandExchange.h"
#include "link/IndicatorQuery.h"
#include "support/FakeUiServices.h"
#include "support/ScriptedIndicator.h"
#include "ticket/DownloadMessages.h"
#include "ticket/Downloader.h"
#include "ticket/TicketSlots.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using Contents = std::array<QByteArray, SlotTable::kSlotCount>;
Q_DECLARE_METATYPE(Contents)
Q_DECLARE_METATYPE(Outcome)

namespace {
constexpr auto kShortTimeout = 20ms;
constexpr int kWaitMs = 10000;
const QByteArray kAck = ScriptedIndicator::kAck;
const QByteArray kNak = ScriptedIndicator::kNak;
const QByteArray kSilent = ScriptedIndicator::kSilent;
const QByteArray kHangUp = ScriptedIndicator::kHangUp;

// A downloader on an exchange with the scripted indicator at the other end, and what it reports.
struct Rig {
    FakeLineChannel channel;
    ScriptedIndicator indicator{channel};
    CommandExchange exchange;
    FakeUiServices ui;
    Downloader downloader{exchange};
    QSignalSpy finished{&downloader, &Downloader::finished};
    QList<Downloader::Phase> phases;
    QList<qint32> progress; // each block's first position
    QList<qint32> bytesDone;
    QList<QByteArray>& commands = indicator.commands;

    Rig()
    {
        exchange.setChannel(&channel);
        exchange.setQuietTime(kShortTimeout);
        exchange.setVersionText("V2.05\x06");
        downloader.setTimeout(kShortTimeout);
        showDownloadNotices(downloader, ui);
        QObject::connect(&downloader, &Downloader::phaseChanged,
                         [this](Downloader::Phase p) { phases.append(p); });
        QObject::connect(&downloader, &Downloader::blockDone, [this](qint32 position, qint32 done) {
            progress.append(position);
            bytesDone.append(done);
        });
    }
    bool run(const Contents& contents)
    {
        downloader.start(contents);
        if (finished.isEmpty())
            finished.wait(kWaitMs);
        return finished.count() == 1;
    }
};

QList<QByteArray> expectedCommands(const Contents& contents)
{
    return makeDownloadPlan(contents).allCommands();
}

// The writes alone, without the in-step probes between them.
QList<QByteArray> writesOf(QList<QByteArray> commands)
{
    commands.removeAll(IndicatorProtocol::kVersionCommand);
    return commands;
}

// For each in-step probe, how many writes went out before it.
QList<int> probePositions(const QList<QByteArray>& commands)
{
    QList<int> positions;
    int writes = 0;
    for (const QByteArray& c : commands) {
        if (c == IndicatorProtocol::kVersionCommand)
            positions.append(writes);
        else
            ++writes;
    }
    return positions;
}
} // namespace

class TestDownloader : public QObject {
    Q_OBJECT
private slots:
    void sequence_data()
    {
        QTest::addColumn<Contents>("contents");
        QTest::addColumn<QList<qint32>>("progress");
        QTest::addColumn<QList<qint32>>("bytesDone");
        // In-step points: at the start, after the clearing pass, every 64 writes, after the data
        // pass, after each pointer entry of a ticket, at the end.
        QTest::addColumn<QList<int>>("probes");
        QTest::newRow("worked example 1") << Contents{"ABCDE"} << QList<qint32>{1, 5}
                                          << QList<qint32>{4, 5} << QList<int>{0, 7, 9, 10, 16};
        QTest::newRow("eight bytes") << Contents{"ABCDE", {}, "xyz"} << QList<qint32>{1, 5}
                                     << QList<qint32>{4, 8} << QList<int>{0, 7, 9, 10, 12, 16};
        QTest::newRow("nothing to send")
            << Contents{} << QList<qint32>{} << QList<qint32>{} << QList<int>{0, 7, 14};
        QList<qint32> progress, bytesDone;
        for (qint32 p = 1; p <= 300; p += 4) {
            progress << p;
            bytesDone << p + 3;
        }
        QTest::newRow("75 blocks") << Contents{QByteArray(), {}, {}, {}, QByteArray(300, 'b')}
                                   << progress << bytesDone << QList<int>{0, 7, 71, 82, 87, 89};
    }
    void sequence()
    {
        QFETCH(Contents, contents);
        Rig rig;
        QSignalSpy started(&rig.downloader, &Downloader::started);
        QVERIFY(rig.run(contents));
        QCOMPARE(started.count(), 1);
        QCOMPARE(writesOf(rig.commands), expectedCommands(contents));
        QTEST(probePositions(rig.commands), "probes");
        QCOMPARE(rig.downloader.commandsSent(), writesOf(rig.commands).size());
        QCOMPARE(rig.downloader.probesSent(), probePositions(rig.commands).size());
        using P = Downloader::Phase;
        QCOMPARE(rig.phases, (QList<P>{P::Preparing, P::Clearing, P::Data, P::Pointers}));
        QTEST(rig.progress, "progress");
        QTEST(rig.bytesDone, "bytesDone");
        QCOMPARE(rig.downloader.totalBytes(), makeDownloadPlan(contents).totalBytes());
        QVERIFY(rig.ui.messages.isEmpty());
        QVERIFY(!rig.downloader.isRunning());
    }

    // A download started in the very signal that ends the query (as a script would) must not
    // take the query's last answer for the answer to its own first command.
    void startedInsideTheQuerysEnd()
    {
        Rig rig;
        // Made before the downloader, so that it hears the end of each command first.
        IndicatorQuery query(rig.exchange);
        Downloader downloader(rig.exchange);
        downloader.setTimeout(kShortTimeout);
        showDownloadNotices(downloader, rig.ui);
        QSignalSpy finished(&downloader, &Downloader::finished);
        const Contents contents{"ABCDE"};
        connect(&query, &IndicatorQuery::finished, &downloader, [&](bool ok) {
            QVERIFY(ok);
            downloader.start(contents);
        });
        query.start();
        QVERIFY(finished.wait(kWaitMs));
        QList<QByteArray> expected{IndicatorProtocol::kVersionCommand,
                                   IndicatorProtocol::kSerialCommand};
        expected += expectedCommands(contents);
        QCOMPARE(writesOf(rig.commands.mid(2)), writesOf(expected.mid(2)));
        QCOMPARE(rig.commands.mid(0, 2), expected.mid(0, 2));
        QCOMPARE(downloader.commandsSent(), writesOf(rig.commands.mid(2)).size());
        QCOMPARE(downloader.outcome(), Outcome::Stored);
        QVERIFY(rig.ui.messages.isEmpty());
    }

    // A closing program ends the download at once; only what the pointer pass confirmed counts.
    void abandon_data()
    {
        QTest::addColumn<bool>("duringPointers");
        QTest::newRow("in the pointer pass") << true;
        QTest::newRow("with the closing message open") << false;
    }
    void abandon()
    {
        QFETCH(bool, duringPointers);
        Rig rig;
        const Contents contents{"ABCD", {}, "xyz"};
        const QList<QByteArray> plan = expectedCommands(contents);
        // Slot 1's pointer entry is proven before slot 3's goes out.
        rig.indicator.answer = [&](const QByteArray& command) {
            if (duringPointers && command == plan.at(7 + 2 + 2)) {
                QMetaObject::invokeMethod(&rig.downloader, &Downloader::abandon,
                                          Qt::QueuedConnection);
                return kSilent;
            }
            return !duringPointers && command == plan.at(8) ? kNak : rig.indicator.behaves(command);
        };
        rig.ui.holdMessages = !duringPointers;
        rig.downloader.start(contents);
        if (!duringPointers) {
            // The data error, then the closing message about slot 3, left open.
            QTRY_COMPARE_WITH_TIMEOUT(rig.ui.messages.size(), 1, kWaitMs);
            rig.ui.acknowledge();
            QTRY_COMPARE_WITH_TIMEOUT(rig.ui.messages.size(), 2, kWaitMs);
            QCOMPARE(writesOf(rig.commands).size(), plan.size());
            rig.downloader.abandon();
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.finished.count(), 1, kWaitMs);
        QVERIFY(!rig.downloader.isRunning());
        QCOMPARE(rig.downloader.outcome(), duringPointers ? Outcome::Cancelled : Outcome::Refused);
        QCOMPARE(rig.downloader.slotStored(1), true);
        QVERIFY(!rig.downloader.slotStored(3));
        // Nothing more goes out, and a message still open closes into nothing.
        const qsizetype sent = rig.commands.size();
        rig.ui.acknowledge();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(rig.commands.size(), sent);
        QCOMPARE(rig.finished.count(), 1);
    }

    void failures_data()
    {
        QTest::addColumn<Contents>("contents");
        QTest::addColumn<QByteArray>("failing"); // command refused or left unanswered
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("dead"); // from the failing command on, nothing is answered
        QTest::addColumn<int>("sent");  // distinct commands written, probes aside
        QTest::addColumn<QList<int>>("unpointed"); // slots whose pointer entry stays cleared
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QList<int>>("stored");
        using O = Outcome;
        const Contents two{"ABCDE", {}, "xyz"};
        const Contents withSlot7{"ABCDE", {}, {}, {}, {}, {}, "T7"};
        const QString notStored = "These tickets were not stored:\r\n";
        const QString cleared = "\r\n\r\nTheir pointer entries are cleared, so the indicator does "
                                "not use them. Download the tickets again.";
        const QString check =
            " Check the cable and the indicator, then download the tickets again.";
        QTest::newRow("clearing slot 3 refused")
            << two << QByteArray(";EFF08-00000000\r") << kNak << false << 3 << QList<int>{}
            << QStringList{"Pointer Error"} << O::Refused << QList<int>{};
        QTest::newRow("clearing slot 6 refused")
            << two << QByteArray(";EFF14-00000000\r") << kNak << false << 6 << QList<int>{}
            << QStringList{"Pointer Error"} << O::Refused << QList<int>{};
        QTest::newRow("pointer slot 6 refused")
            << Contents{"ABCDE", {}, {}, {}, {}, "Z"} << QByteArray(";EFF14-00050005\r") << kNak
            << false << 7 + 2 + 6 << QList<int>{}
            << QStringList{"Pointer Error\r\n\r\nThe indicator refused the pointer entry of slot 6 "
                           "(Industrial: Total Footer) at address FF14.\r\n\r\nThe indicator holds "
                           "the "
                           "tickets of slot 1 (Gross/Net/Tare Ticket).\r\nNot stored: slot 6 "
                           "(Industrial: Total Footer). Download the tickets again."}
            << O::Refused << QList<int>{1};
        QTest::newRow("data block refused")
            << two << QByteArray(";E0000-41424344\r") << kNak << false << 16 << QList<int>{1}
            << QStringList{"Data Error\r\n\r\nThe indicator refused the data of slot 1 "
                           "(Gross/Net/Tare Ticket) at address 0000.",
                           notStored +
                               "slot 1 (Gross/Net/Tare Ticket): the indicator refused "
                               "the data at address 0000." +
                               cleared}
            << O::Refused << QList<int>{3};
        QTest::newRow("block of two slots unanswered")
            << two << QByteArray(";E0004-4578797A\r") << kSilent << false << 16 << QList<int>{1, 3}
            << QStringList{"Data Error\r\n\r\nThe indicator did not answer the write of slot 1 "
                           "(Gross/Net/Tare Ticket) and slot 3 (Truck Complete Weighing) at "
                           "address 0004.",
                           notStored +
                               "slot 1 (Gross/Net/Tare Ticket): the indicator did not answer a "
                               "write at address 0004.\r\nslot 3 (Truck Complete Weighing): the "
                               "indicator did not answer a write at address 0004." +
                               cleared}
            << O::Refused << QList<int>{};
        QTest::newRow("slot 7 silent, empty")
            << two << QByteArray(";EFF18-00000000\r") << kSilent << false << 16 << QList<int>{}
            << QStringList{} << O::Stored << QList<int>{1, 3};
        QTest::newRow("slot 7 silent, holding data")
            << withSlot7 << QByteArray(";EFF18-") << kSilent << false << 7 + 2 + 7 << QList<int>{}
            << QStringList{"Error sending Truck Simple Weighing ticket."} << O::Refused
            << QList<int>{1};
        QTest::newRow("line dead in the data pass")
            << two << QByteArray(";E0004-") << kSilent << true << 9 << QList<int>{}
            << QStringList{"The indicator stopped answering. The download stopped at slot 1 "
                           "(Gross/Net/Tare Ticket) and slot 3 (Truck Complete Weighing), address "
                           "0004.\r\n\r\nThe indicator's pointer table is cleared, so it holds "
                           "no valid ticket set." +
                           check}
            << O::Stopped << QList<int>{};
        QTest::newRow("line dead in the pointer pass")
            << two << QByteArray(";EFF08-0005") << kSilent << true << 7 + 2 + 3 << QList<int>{}
            << QStringList{"The indicator stopped answering. The download stopped at slot 3 "
                           "(Truck Complete Weighing), address FF08.\r\n\r\nThe indicator holds "
                           "only the tickets of slot 1 (Gross/Net/Tare Ticket)." +
                           check}
            << O::Stopped << QList<int>{1};
        QTest::newRow("line dead in the clearing pass")
            << two << QByteArray(";EFF00-") << kSilent << true << 1 << QList<int>{}
            << QStringList{"The indicator stopped answering. The download stopped at slot 1 "
                           "(Gross/Net/Tare Ticket), address FF00.\r\n\r\nNo ticket data was "
                           "sent. The indicator's pointer table is partly cleared, so it holds no "
                           "valid ticket set." +
                           check}
            << O::Stopped << QList<int>{};
        // Each pair counts as one answer: proven, and stored.
        QTest::newRow("every write answered twice")
            << two << QByteArray(";E") << QByteArray("\x06\r\x06\r") << false << 16 << QList<int>{}
            << QStringList{} << O::Stored << QList<int>{1, 3};
        QTest::newRow("channel lost in data pass")
            << two << QByteArray(";E0000-41424344\r") << kHangUp << false << 8 << QList<int>{}
            << QStringList{"The connection to the indicator was lost. unplugged. The download "
                           "stopped at slot 1 (Gross/Net/Tare Ticket), address 0000.\r\n\r\nThe "
                           "indicator's pointer table is cleared, so it holds no valid ticket "
                           "set." +
                           check}
            << O::Lost << QList<int>{};
    }
    void failures()
    {
        QFETCH(Contents, contents);
        QFETCH(QByteArray, failing);
        QFETCH(QByteArray, reply);
        QFETCH(bool, dead);
        QFETCH(QList<int>, unpointed);
        Rig rig;
        bool silenced = false;
        rig.indicator.answer = [&](const QByteArray& c) {
            silenced = silenced || (dead && c.startsWith(failing));
            if (silenced)
                return kSilent;
            return c.startsWith(failing) ? reply : rig.indicator.behaves(c);
        };
        QVERIFY(rig.run(contents));
        const DownloadPlan plan = makeDownloadPlan(contents);
        QList<QByteArray> all = plan.allCommands();
        for (const int s : unpointed)
            all[all.size() - 7 + s - 1] = plan.clearingCommands[s - 1];
        QList<QByteArray> distinct = rig.commands;
        distinct.removeAll(";C4\r");
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        QTEST(int(distinct.size()), "sent");
        QCOMPARE(distinct, all.mid(0, distinct.size()));
        QTEST(rig.ui.texts(), "messages");
        for (const auto& m : rig.ui.messages)
            QCOMPARE(m.title, QStringLiteral("Update Error"));
        QCOMPARE(rig.finished.count(), 1);
        QVERIFY(!rig.downloader.isRunning());
        QTEST(rig.downloader.outcome(), "outcome");
        QList<int> stored;
        for (int s = 1; s <= 7; ++s) {
            if (rig.downloader.slotStored(s))
                stored.append(s);
        }
        QTEST(stored, "stored");
    }

    // An answer nobody asked for voids the stretch, the refusal in it too: the write is sent
    // again, and acknowledged then, it stores its ticket.
    void refusalInAVoidedStretch_data()
    {
        QTest::addColumn<QByteArray>("failing");
        QTest::newRow("data block") << QByteArray(";E0000-");
        QTest::newRow("pointer entry") << QByteArray(";EFF08-0005");
    }
    void refusalInAVoidedStretch()
    {
        QFETCH(QByteArray, failing);
        Rig rig;
        bool first = true;
        rig.indicator.answer = [&](const QByteArray& c) {
            return c.startsWith(failing) && std::exchange(first, false) ? kNak + kAck
                                                                        : rig.indicator.behaves(c);
        };
        QVERIFY(rig.run({"ABCDE", {}, "xyz"}));
        QVERIFY(!first);
        QCOMPARE(rig.ui.texts(), QStringList());
        QCOMPARE(rig.downloader.outcome(), Outcome::Stored);
        QVERIFY(rig.downloader.slotStored(1) && rig.downloader.slotStored(3));
    }

    // What cannot be laid out in the indicator's memory is refused before anything is sent.
    void refusedBeforeSending_data()
    {
        QTest::addColumn<Contents>("contents");
        QTest::addColumn<QStringList>("named"); // what the message names
        QTest::newRow("more than the memory")
            << Contents{QByteArray(32768, 'a'), "b"} << QStringList{"32769", "32768"};
        // Its entry would read 00000000: an empty slot to the indicator.
        QTest::newRow("one byte at 0000")
            << Contents{QByteArray(), {}, "x", "later"}
            << QStringList{"slot 3 (Truck Complete Weighing)", "00000000"};
    }
    void refusedBeforeSending()
    {
        QFETCH(Contents, contents);
        Rig rig;
        QVERIFY(rig.run(contents));
        QVERIFY(rig.commands.isEmpty());
        QCOMPARE(rig.ui.messages.size(), 1);
        QFETCH(QStringList, named);
        for (const QString& text : named)
            QVERIFY2(rig.ui.messages[0].text.contains(text), qPrintable(rig.ui.messages[0].text));
        QCOMPARE(rig.downloader.outcome(), Outcome::Refused);
    }

    // A one-byte ticket after another is pointed at as start and end alike, and stored.
    void oneByteTicketAfterAnother()
    {
        Rig rig;
        QVERIFY(rig.run({"AB", "x"}));
        QVERIFY(rig.ui.messages.isEmpty());
        QVERIFY(rig.downloader.slotStored(2));
        QVERIFY(writesOf(rig.commands).contains(";EFF04-00020002\r"));
    }

    void cancelInDataPass()
    {
        Rig rig;
        const Contents contents{QByteArray(400, 'q')};
        rig.indicator.answer = [&](const QByteArray& c) {
            if (c.startsWith(";E0010-"))
                rig.downloader.cancel();
            return rig.indicator.behaves(c);
        };
        QVERIFY(rig.run(contents));
        QCOMPARE(writesOf(rig.commands), expectedCommands(contents).mid(0, 7 + 5));
        QCOMPARE(rig.ui.messages.size(), 1);
        QVERIFY(rig.ui.messages[0].text.contains("cancelled"));
    }

    // A refusal noted in one download says nothing about the next one.
    void eachDownloadStartsClean()
    {
        Rig rig;
        const Contents withSlot7{"ABCD", {}, {}, {}, {}, {}, "T7"};
        bool silent = true;
        rig.indicator.answer = [&](const QByteArray& c) {
            return silent && c.startsWith(";EFF18-") ? kSilent : rig.indicator.behaves(c);
        };
        QVERIFY(rig.run(withSlot7));
        QCOMPARE(rig.ui.texts(), QStringList{"Error sending Truck Simple Weighing ticket."});
        QCOMPARE(rig.downloader.outcome(), Outcome::Refused);
        QVERIFY(!rig.downloader.slotStored(7));
        silent = false;
        rig.ui.messages.clear();
        rig.finished.clear();
        QVERIFY(rig.run(withSlot7));
        QCOMPARE(rig.ui.texts(), QStringList());
        QCOMPARE(rig.downloader.outcome(), Outcome::Stored);
        QVERIFY(rig.downloader.slotStored(1));
        QVERIFY(rig.downloader.slotStored(7));
    }

    // One command at a time: a download does not start under a pending command.
    void refusedWhileTheExchangeIsBusy()
    {
        Rig rig;
        rig.indicator.answer = [](const QByteArray&) { return kSilent; };
        rig.exchange.sendCommand(";C4\r", std::chrono::hours(1));
        QVERIFY(rig.run({"ABCD"}));
        QCOMPARE(rig.commands, QList<QByteArray>{";C4\r"});
        QCOMPARE(rig.ui.messages.size(), 1);
        QVERIFY(rig.ui.messages.first().text.contains("Nothing was sent"));
        QCOMPARE(rig.downloader.outcome(), Outcome::Refused);
    }

    // A start while a download runs changes nothing: the running one ends as planned.
    void aSecondStartIsIgnored()
    {
        Rig rig;
        QSignalSpy started(&rig.downloader, &Downloader::started);
        const Contents first{"ABCDE"};
        rig.downloader.start(first);
        rig.downloader.start(Contents{"other", "tickets"});
        QVERIFY(rig.run(first)); // a third start, also ignored; waits for the end
        QCOMPARE(started.count(), 1);
        QCOMPARE(writesOf(rig.commands), expectedCommands(first));
        QCOMPARE(rig.downloader.outcome(), Outcome::Stored);
    }

    // The download waits for the operator to close a message before it goes on.
    void waitsForTheOperator()
    {
        Rig rig;
        rig.ui.holdMessages = true;
        rig.indicator.answer = [&rig](const QByteArray& c) {
            return c.startsWith(";E0000-") ? kNak : rig.indicator.behaves(c);
        };
        rig.downloader.start({"ABCDEFGH"});
        QTRY_COMPARE_WITH_TIMEOUT(rig.ui.messages.size(), 1, kWaitMs);
        QCOMPARE(writesOf(rig.commands).size(), 8);
        QVERIFY(rig.progress.isEmpty());
        rig.ui.acknowledge();
        // The message at the end, naming the ticket that was not stored.
        QTRY_COMPARE_WITH_TIMEOUT(rig.ui.messages.size(), 2, kWaitMs);
        QVERIFY(rig.finished.isEmpty());
        rig.ui.acknowledge();
        QCOMPARE(rig.finished.count(), 1);
        QCOMPARE(writesOf(rig.commands).size(), 16);
        QCOMPARE(rig.progress, (QList<qint32>{1, 5}));
    }

    // Slots changed after the start change nothing sent.
    void sendsTheContentsOfTheStart()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath("a.prn"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("ABCDE") == 5);
        f.close();
        TicketSlots ticketSlots;
        QString error;
        QVERIFY(ticketSlots.load(1, f.fileName(), &error));
        Rig rig;
        rig.downloader.start(ticketSlots.contents());
        ticketSlots.remove(1);
        QVERIFY(rig.finished.wait(kWaitMs));
        QCOMPARE(writesOf(rig.commands), expectedCommands({"ABCDE"}));
    }
};

QTEST_GUILESS_MAIN(TestDownloader)
#include "test_downloader.moc"
