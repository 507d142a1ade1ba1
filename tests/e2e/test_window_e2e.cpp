#include "dialogs/BaudDialog.h"
#include "support/Screenshots.h"
#include "support/WindowRig.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>

using namespace std::chrono_literals;

// The whole program as an operator uses it, through the main window, against the simulated
// indicator over a pseudo-terminal and over TCP/IP.
class TestWindowE2E : public QObject {
    Q_OBJECT

private:
    // DownLoad to its end: the download frame folds away.
    static void download(WindowRig& rig)
    {
        rig.download();
        QVERIFY(!rig.form().downloadFrame->isVisible());
        QCOMPARE(rig.form().statusEdit->text(), QString());
    }

    static QByteArray everyByte()
    {
        QByteArray bytes;
        for (int b = 0; b < 256; ++b)
            bytes.append(static_cast<char>(b));
        return bytes;
    }

    static void addTransports()
    {
        QTest::addColumn<int>("transport");
        QTest::newRow("serial") << int(WindowRig::Serial);
        QTest::newRow("tcp") << int(WindowRig::Tcp);
    }

private slots:
    void queryAndClose_data() { addTransports(); }
    void queryAndClose()
    {
        QFETCH(int, transport);
        WindowRig rig{WindowRig::Transport(transport)};
        rig.addTicketBytes(2, "abc"); // loaded before the query: the slot keeps showing it
        rig.openAndQuery();
        QCOMPARE(rig.form().versionEdit->text(), QStringLiteral("V2.05\x06"));
        QCOMPARE(rig.form().serialEdit->text(), QStringLiteral("12345\x06"));
        QCOMPARE(rig.window->panelText(1), QStringLiteral("Port opened"));
        for (int s = 1; s <= 7; ++s)
            QVERIFY(rig.window->slotBox(s)->isVisible());
        QVERIFY(rig.form().spaceBox->isVisible());
        QCOMPARE(rig.form().usedSpaceEdit->text(), QStringLiteral(" 3"));
        QCOMPARE(rig.form().freeSpaceEdit->text(), QStringLiteral(" 32765"));
        QCOMPARE(rig.window->slotBox(2)->sizeEdit()->text(), QStringLiteral(" 3"));
        QVERIFY(rig.form().downloadButton->isEnabled());
        const QString shots = qEnvironmentVariable("TALVOR_SCREENSHOT_DIR");
        if (!shots.isEmpty() && transport == WindowRig::Serial)
            rig.window->grab().save(shots + QStringLiteral("/main-window.png"));

        rig.form().openCloseAction->trigger();
        QCOMPARE(rig.form().openCloseAction->text(), QStringLiteral("Open"));
        QCOMPARE(rig.form().versionEdit->text(), QString());
        QCOMPARE(rig.form().serialEdit->text(), QString());
        QVERIFY(!rig.form().downloadButton->isEnabled());
        // A serial close folds the ticket area away; a TCP/IP close leaves it.
        QCOMPARE(rig.window->slotBox(1)->isVisible(), transport == WindowRig::Tcp);
        QCOMPARE(rig.form().spaceBox->isVisible(), transport == WindowRig::Tcp);
        QCOMPARE(rig.window->ticketSlots().content(2), QByteArray("abc"));
        if (transport == WindowRig::Tcp) {
            // Reopened: nothing can be sent before the connection is made.
            rig.form().openCloseAction->trigger();
            QVERIFY(!rig.form().downloadButton->isEnabled());
            QVERIFY(!rig.form().connectButton->isEnabled());
            QTRY_VERIFY(rig.form().downloadButton->isEnabled());
        }
    }

    void lineRateInForce_data()
    {
        QTest::addColumn<QByteArray>("rateCode"); // in the settings file
        QTest::addColumn<int>("chosen");          // option in the rate window; -1: not opened
        QTest::addColumn<int>("rate");            // the indicator's
        QTest::newRow("9600 from the settings file") << QByteArray("1") << -1 << 9600;
        QTest::newRow("9600 chosen in the rate window") << QByteArray("5") << 1 << 9600;
        // 9600 is also where a serial port starts before any rate is set.
        QTest::newRow("57600 from the settings file") << QByteArray("4") << -1 << 57600;
        QTest::newRow("57600 chosen in the rate window") << QByteArray("1") << 4 << 57600;
    }
    // The line is set to the rate in force, from the settings file or the rate window: an
    // indicator set to that rate hears nothing at any other.
    void lineRateInForce()
    {
        QFETCH(QByteArray, rateCode);
        QFETCH(int, chosen);
        QFETCH(int, rate);
        sim::Faults faults;
        faults.expectBaud = rate;
        WindowRig rig(WindowRig::Serial, rateCode, faults);
        if (chosen >= 0) {
            rig.form().settingsAction->trigger();
            auto* dialog = rig.window->findChild<BaudDialog*>();
            QVERIFY(dialog);
            dialog->selectOption(chosen);
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        }
        rig.openAndQuery();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(rig.indicator->ptyBaudRate(), rate);
        QCOMPARE(rig.form().versionEdit->text(), QStringLiteral("V2.05\x06"));
    }

    void silentIndicator()
    {
        WindowRig rig(WindowRig::Serial);
        sim::Faults faults;
        faults.silentAfter = 0;
        rig.indicator->setFaults(faults);
        rig.form().openCloseAction->trigger();
        rig.form().connectButton->click();
        QVERIFY(!rig.form().connectButton->isEnabled());
        QVERIFY(!rig.form().openCloseAction->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(rig.ui->messages.size(), 1, 10000);
        QCOMPARE(rig.ui->messages.first().title, QStringLiteral("Communication Error"));
        QCOMPARE(rig.ui->messages.first().text, QStringLiteral("Indicator does not respond"));
        QCOMPARE(rig.linesReceived(";C4"), 3);
        QCOMPARE(rig.linesReceived(";SR"), 0);
        QVERIFY(!rig.window->slotBox(1)->isVisible());
        QVERIFY(!rig.form().connectButton->isEnabled());
        QVERIFY(rig.form().openCloseAction->isEnabled());
        QCOMPARE(rig.ui->busyDepth, 0);
    }

    void indicatorHangsUp_data() { addTransports(); }
    void indicatorHangsUp()
    {
        QFETCH(int, transport);
        WindowRig rig{WindowRig::Transport(transport)};
        rig.openAndQuery();
        rig.indicator->hangUp();
        QTRY_COMPARE(rig.form().openCloseAction->text(), QStringLiteral("Open"));
        QCOMPARE(rig.window->panelText(1), QStringLiteral("Port closed"));
        QVERIFY(!rig.form().connectButton->isEnabled());
        QVERIFY(rig.form().portAction->isEnabled());
        QCOMPARE(rig.ui->messages.size(), 1);
    }

    void downloadsExactBytes_data()
    {
        QTest::addColumn<int>("transport");
        QTest::addColumn<QList<QByteArray>>("contents");
        QTest::addColumn<bool>("doubled"); // the indicator answers every command twice
        const QList<QByteArray> example1 = {"ABCDE", {}, {}, {}, {}, {}, {}};
        const QList<QByteArray> example2 = {"ABCDE", {}, "xyz", {}, {}, {}, {}};
        const QList<QByteArray> mixed = {"first ticket\r\n",    "x",        {},     everyByte(),
                                         QByteArray(1001, 'q'), "\r\n\0\r", "seven"};
        QList<QByteArray> full = {QByteArray(10000, 'a'),
                                  QByteArray(10000, 'b'),
                                  QByteArray(10000, 'c'),
                                  QByteArray(2768, 'd'),
                                  {},
                                  {},
                                  {}};
        for (int transport : {int(WindowRig::Serial), int(WindowRig::Tcp)}) {
            const char* name = transport == WindowRig::Serial ? "serial" : "tcp";
            QTest::addRow("%s: example 1", name) << transport << example1 << false;
            QTest::addRow("%s: example 2", name) << transport << example2 << false;
            QTest::addRow("%s: mixed sizes", name) << transport << mixed << false;
            QTest::addRow("%s: 32768 bytes", name) << transport << full << false;
            QTest::addRow("%s: mixed sizes, every answer twice", name)
                << transport << mixed << true;
        }
    }
    void downloadsExactBytes()
    {
        QFETCH(int, transport);
        QFETCH(QList<QByteArray>, contents);
        QFETCH(bool, doubled);
        sim::Faults faults;
        faults.duplicateEvery = doubled ? 1 : 0;
        WindowRig rig{WindowRig::Transport(transport), "5", faults};
        rig.openAndQuery();
        for (int s = 1; s <= 7; ++s) {
            if (!contents[s - 1].isEmpty())
                rig.addTicketBytes(s, contents[s - 1]);
        }
        rig.indicator->resetRecord();
        download(rig);
        QVERIFY2(rig.ui->messages.isEmpty(), qPrintable(rig.ui->texts().join(u'|')));
        for (int s = 1; s <= 7; ++s)
            QCOMPARE(rig.indicator->slot(s), contents[s - 1]);
        qint64 total = 0;
        for (const QByteArray& bytes : contents)
            total += bytes.size();
        // Doubled answers may void a stretch, which then goes out again.
        if (!doubled)
            QCOMPARE(rig.linesReceived(";E"), 7 + (total + 3) / 4 + 7);
        QVERIFY(rig.form().downloadButton->isEnabled());
        QCOMPARE(rig.ui->busyDepth, 0);
    }

    void progressTexts()
    {
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        rig.addTicketBytes(1, "ABCDE");
        rig.addTicketBytes(3, "xyz");
        QStringList texts;
        connect(rig.form().statusEdit, &QLineEdit::textChanged, this, [&](const QString& text) {
            if (!text.isEmpty())
                texts.append(text);
        });
        download(rig);
        const QStringList expected = {"Preparing data ...", "Update pointers ...",
                                      "Downloading data  1/ 8 bytes",
                                      "Downloading data  5/ 8 bytes", "Update pointers ..."};
        QCOMPARE(texts, expected);
        QCOMPARE(rig.form().progressBar->maximum(), 8);
        QCOMPARE(rig.form().progressBar->value(), 5);
    }

    void refusedWrites_data()
    {
        QTest::addColumn<quint16>("nakAt");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("dataCommands");
        QTest::addColumn<bool>("doubled"); // the indicator answers every command twice
        QTest::newRow("clearing write of slot 3")
            << quint16(0xFF08) << QStringList{"Pointer Error"} << 0 << false;
        QTest::newRow("clearing write of slot 6, every answer twice")
            << quint16(0xFF14) << QStringList{"Pointer Error"} << 0 << true;
        QTest::newRow("one data block")
            << quint16(0x0004)
            << QStringList{"Data Error\r\n\r\nThe indicator refused the data of slot 1 "
                           "(Gross/Net/Tare Ticket) at address 0004.",
                           "These tickets were not stored:\r\nslot 1 (Gross/Net/Tare Ticket): "
                           "the indicator refused the data at address 0004.\r\n\r\nTheir "
                           "pointer entries are cleared, so the indicator does not use them. "
                           "Download the tickets again."}
            << 3 << false;
    }
    void refusedWrites()
    {
        QFETCH(quint16, nakAt);
        QFETCH(QStringList, messages);
        QFETCH(int, dataCommands);
        QFETCH(bool, doubled);
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        rig.addTicketBytes(1, "0123456789");
        sim::Faults faults = rig.indicator->faults();
        faults.nakAt.insert(nakAt);
        faults.duplicateEvery = doubled ? 1 : 0;
        rig.indicator->setFaults(faults);
        rig.indicator->resetRecord();
        download(rig);
        QCOMPARE(rig.ui->texts(), messages);
        QCOMPARE(rig.ui->messages.first().title, QStringLiteral("Update Error"));
        QCOMPARE(rig.linesReceived(";E0"), dataCommands);
        const QByteArray memory = rig.indicator->memory();
        if (nakAt >= 0xFF00) {
            // The entries after the refused one keep what they held.
            const int after = 0xFF1C - (nakAt + 4);
            QCOMPARE(memory.mid(nakAt + 4, after), QByteArray(after, '\xFF'));
        } else {
            QCOMPARE(memory.left(4), QByteArray("0123"));
            QCOMPARE(memory.mid(8, 2), QByteArray("89"));
            // Never a half-written ticket marked valid: its entry stays cleared.
            QCOMPARE(memory.mid(0xFF00, 4), QByteArray(4, '\0'));
            QCOMPARE(rig.indicator->slot(1), QByteArray());
        }
    }

    void unansweredSlot7Entry_data()
    {
        QTest::addColumn<bool>("slot7HoldsData");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("slot 7 empty") << false << QStringList();
        QTest::newRow("slot 7 loaded")
            << true << QStringList{"Error sending Truck Simple Weighing ticket."};
    }
    void unansweredSlot7Entry()
    {
        QFETCH(bool, slot7HoldsData);
        QFETCH(QStringList, messages);
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        rig.addTicketBytes(1, "ABCD");
        if (slot7HoldsData)
            rig.addTicketBytes(7, "EFGH");
        rig.window->downloader().setTimeout(100ms);
        sim::Faults faults = rig.indicator->faults();
        faults.silentAt.insert(0xFF18);
        rig.indicator->setFaults(faults);
        download(rig);
        QCOMPARE(rig.ui->texts(), messages);
        QCOMPARE(rig.indicator->slot(1), QByteArray("ABCD"));
    }

    void overBudgetIsRefused()
    {
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        rig.addTicketBytes(1, QByteArray(20000, 'a'));
        rig.addTicketBytes(2, QByteArray(12769, 'b'));
        QCOMPARE(rig.form().freeSpaceEdit->text(), QStringLiteral("-1"));
        // The free box says so before DownLoad is pressed.
        QCOMPARE(rig.form().freeSpaceEdit->toolTip(),
                 QStringLiteral("These tickets are 1 byte too large to download:\nthey hold "
                                "32769 bytes, the indicator's ticket memory 32768."));
        Screenshots::save(Screenshots::withToolTip(rig.window.get(), rig.form().freeSpaceEdit),
                          QStringLiteral("main-window-over-budget.png"));
        rig.indicator->resetRecord();
        rig.form().downloadButton->click();
        QTRY_VERIFY(!rig.window->downloader().isRunning());
        QCOMPARE(rig.ui->messages.size(), 1);
        QVERIFY(rig.ui->messages.first().text.contains(QStringLiteral("32769")));
        QVERIFY(rig.ui->messages.first().text.contains(QStringLiteral("32768")));
        QCOMPARE(rig.indicator->counters().commands, quint64(0));
        QVERIFY(!rig.form().downloadFrame->isVisible());
        rig.window->slotBox(1)->loadButton()->click();
        QCOMPARE(rig.form().freeSpaceEdit->toolTip(), QString());
    }

    // The version is answered, the serial number is not: the version stays shown, the ticket
    // area stays hidden and Connect stays disabled until the port is opened again.
    void serialNumberUnanswered()
    {
        WindowRig rig(WindowRig::Serial);
        sim::Faults faults;
        faults.silentAfter = 1;
        rig.indicator->setFaults(faults);
        rig.form().openCloseAction->trigger();
        rig.form().connectButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(rig.ui->messages.size(), 1, 10000);
        QCOMPARE(rig.ui->messages.first().title, QStringLiteral("Communication Error"));
        QCOMPARE(rig.ui->messages.first().text, QStringLiteral("Indicator does not respond"));
        QCOMPARE(rig.form().versionEdit->text(), QStringLiteral("V2.05\x06"));
        QCOMPARE(rig.form().serialEdit->text(), QString());
        QCOMPARE(rig.linesReceived(";SR"), 3);
        QVERIFY(!rig.window->slotBox(1)->isVisible());
        QVERIFY(!rig.form().spaceBox->isVisible());
        QVERIFY(!rig.form().connectButton->isEnabled());
        QCOMPARE(rig.ui->busyDepth, 0);
    }

    // A second query with tickets loaded shows the space they really take.
    void repeatedQueryKeepsTheSpace()
    {
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        rig.addTicketBytes(2, QByteArray(1234, 'x'));
        rig.form().connectButton->click();
        QTRY_COMPARE(rig.linesReceived(";SR"), 2);
        QTRY_VERIFY(rig.form().connectButton->isEnabled());
        QCOMPARE(rig.form().usedSpaceEdit->text(), QStringLiteral(" 1234"));
        QCOMPARE(rig.form().freeSpaceEdit->text(), QStringLiteral(" 31534"));
        QCOMPARE(rig.window->slotBox(2)->sizeEdit()->text(), QStringLiteral(" 1234"));
        QVERIFY(rig.form().downloadButton->isEnabled());
    }

    // DownLoad is usable only while some slot holds data: one click would otherwise clear the
    // indicator's pointer table for nothing.
    void downLoadFollowsTheSlots()
    {
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        QVERIFY(!rig.form().downloadButton->isEnabled());
        rig.addTicketBytes(3, QByteArray()); // an empty file holds nothing to send
        QVERIFY(!rig.form().downloadButton->isEnabled());
        rig.addTicketBytes(1, "one");
        rig.addTicketBytes(2, "two");
        QVERIFY(rig.form().downloadButton->isEnabled());
        rig.window->slotBox(1)->loadButton()->click(); // removes one of two
        QCOMPARE(rig.window->slotBox(1)->loadButton()->text(), QStringLiteral("Add Ticket"));
        QVERIFY(rig.form().downloadButton->isEnabled());
        rig.window->slotBox(2)->loadButton()->click(); // removes the only one holding data
        QVERIFY(!rig.form().downloadButton->isEnabled());
        QCOMPARE(rig.form().usedSpaceEdit->text(), QStringLiteral(" 0"));
        QCOMPARE(rig.form().freeSpaceEdit->text(), QStringLiteral(" 32768"));
    }

    // A host changed in the TCP/IP dialog is where the next connection goes.
    void nextConnectionGoesToTheNewHost()
    {
        WindowRig rig(WindowRig::Tcp);
        rig.window->channels().chooseHost(QStringLiteral("no-such-host.invalid"));
        rig.form().settingsAction->trigger();
        auto* dialog = rig.window->findChild<QDialog*>(QStringLiteral("TcpHostDialog"));
        QVERIFY(dialog);
        auto* host = dialog->findChild<QLineEdit*>(QStringLiteral("hostEdit"));
        QCOMPARE(host->text(), QStringLiteral("no-such-host.invalid"));
        host->setText(QStringLiteral("127.0.0.1"));
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        QCOMPARE(rig.window->panelText(3), QStringLiteral("127.0.0.1"));
        rig.openAndQuery();
        QCOMPARE(rig.form().serialEdit->text(), QStringLiteral("12345\x06"));
    }

    // Text the indicator sends while nothing is asked is dropped; the next query reads its own
    // answers.
    void unaskedTextIsDropped()
    {
        WindowRig rig(WindowRig::Tcp);
        rig.form().openCloseAction->trigger();
        QTRY_VERIFY(rig.window->session().channel().isUsable());
        emit rig.window->session().channel().bytesReceived("ST,GS,+0001234kg\r\x15\r");
        QCOMPARE(rig.window->exchange().replyState(), CommandExchange::Reply::Waiting);
        rig.form().connectButton->click();
        QTRY_VERIFY(rig.window->slotBox(1)->isVisible());
        QCOMPARE(rig.form().versionEdit->text(), QStringLiteral("V2.05\x06"));
        QCOMPARE(rig.form().serialEdit->text(), QStringLiteral("12345\x06"));
        QVERIFY(rig.ui->messages.isEmpty());
    }

    // "End" with the port open ends at once, without a question.
    void endWithThePortOpen()
    {
        WindowRig rig(WindowRig::Serial);
        rig.form().openCloseAction->trigger();
        QVERIFY(rig.window->session().channel().isUsable());
        rig.form().endAction->trigger();
        QVERIFY(!rig.window->isVisible());
        QVERIFY(rig.ui->messages.isEmpty());
        QVERIFY(rig.ui->questions.isEmpty());
    }

    // End during a download asks first. No: the download goes on to its end, stored. Yes: it
    // ends at once and is recorded as cancelled. Closing again while the question is open asks
    // nothing more.
    void endDuringADownload_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::addColumn<bool>("closedAgain");
        QTest::newRow("no") << false << false;
        QTest::newRow("yes") << true << false;
        QTest::newRow("closed again while asked, then no") << false << true;
    }
    void endDuringADownload()
    {
        QFETCH(bool, quit);
        QFETCH(bool, closedAgain);
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        const QByteArray ticket(8000, 'q');
        rig.addTicketBytes(1, ticket);
        rig.ui->holdQuestions = true;
        // Each step comes from the event loop, as the operator's clicks do.
        const auto later = [this](auto step) { QTimer::singleShot(0, this, step); };
        connect(&rig.window->downloader(), &Downloader::blockDone, this,
                [&](qint32 position, qint32) {
                    if (position == 1001)
                        later([&rig] { rig.form().endAction->trigger(); });
                    if (position == 2001 && closedAgain)
                        later([&rig] { rig.window->close(); });
                    if (position == 4001)
                        later([&rig, quit] { rig.ui->answer(quit); });
                });
        rig.download();

        QCOMPARE(rig.ui->questions.size(), 1);
        QCOMPARE(rig.ui->questions.first().text,
                 QStringLiteral("A download is running. If you quit now, the indicator keeps no "
                                "valid ticket set. Quit anyway?"));
        QCOMPARE(rig.ui->actions.first(), QStringLiteral("Quit"));
        QCOMPARE(rig.window->isVisible(), !quit);
        QCOMPARE(rig.indicator->slot(1), quit ? QByteArray() : ticket);
        const QList<QByteArray> lines = TestFiles::read(rig.recordPath).split('\n');
        QCOMPARE(lines.size(), 2); // one line and the empty text after its end
        QCOMPARE(QJsonDocument::fromJson(lines.first()).object().value("outcome").toString(),
                 quit ? QStringLiteral("cancelled") : QStringLiteral("stored"));
    }

    // Once the outcome is decided only the closing message is open: End asks nothing, and the
    // download is recorded with its outcome.
    void endWhileTheClosingMessageIsOpen()
    {
        sim::Faults faults;
        faults.nakAt.insert(0x0004);
        WindowRig rig(WindowRig::Serial, "5", faults);
        rig.openAndQuery();
        rig.addTicketBytes(1, QByteArray(100, 'n'));
        rig.ui->holdMessages = true;
        rig.form().downloadButton->click();
        QTRY_COMPARE(rig.ui->messages.size(), 1); // the refused block
        rig.ui->acknowledge();
        QTRY_COMPARE(rig.ui->messages.size(), 2); // what was not stored
        rig.form().endAction->trigger();
        QVERIFY(rig.ui->questions.isEmpty());
        QVERIFY(!rig.window->isVisible());
        const QByteArray record = TestFiles::read(rig.recordPath);
        QCOMPARE(QJsonDocument::fromJson(record).object().value("outcome").toString(),
                 QStringLiteral("refused"));
    }

    // A line that misbehaves never makes the program judge a command on another command's
    // answer: what the indicator refused is reported, what it stored is not, and a line that
    // goes dead ends the download with one message.
    void badLine_data()
    {
        QTest::addColumn<int>("transport");
        QTest::addColumn<QString>("fault");
        for (int transport : {int(WindowRig::Serial), int(WindowRig::Tcp)}) {
            const char* name = transport == WindowRig::Serial ? "serial" : "tcp";
            for (const char* fault :
                 {"late reply, lone CR refused", "late reply, lone CR ignored",
                  "text line every 100 replies", "stall for ever", "stall and resume",
                  "CR LF, the LF late, slot 6 refused", "slot 5's entry twice, slot 6 refused"})
                QTest::addRow("%s: %s", name, fault) << transport << QString::fromLatin1(fault);
        }
    }
    void badLine()
    {
        QFETCH(int, transport);
        QFETCH(QString, fault);
        using namespace std::chrono_literals;
        constexpr auto timeout = 300ms;
        WindowRig rig{WindowRig::Transport(transport)};
        const bool late = fault.startsWith(QLatin1String("late"));
        const bool refused = late || fault.endsWith(QLatin1String("slot 6 refused"));
        const bool full = fault.startsWith(QLatin1String("text"));
        sim::Faults faults;
        if (refused)
            faults.nakLines.insert(";EFF14-00C800EF"); // slot 6's pointer entry
        if (fault.startsWith(QLatin1String("CR LF"))) {
            faults.crlf = true;
            faults.lfAfterMs = 5;
        } else if (fault.startsWith(QLatin1String("slot 5"))) {
            faults.duplicateLines.insert(";EFF10-00A000C7");
            faults.duplicateDelayMs = 3;
        } else if (late) {
            // Past the attempt's time-out and the quiet time after it.
            faults.lateAt.insert(0x0010,
                                 int((timeout + CommandExchange::kQuietTime).count()) + 100);
            faults.loneCrNak = fault.endsWith(QLatin1String("refused"));
        } else if (full) {
            faults.chatterEvery = 100;
        } else {
            // The opening probe, the clearing pass and its probe, then 20 data blocks.
            faults.stallAfter = 1 + 7 + 1 + 20;
            faults.resumeAfterMs = fault.endsWith(QLatin1String("resume")) ? 1000 : -1;
        }
        // The query too meets the line as it is.
        rig.indicator->setFaults(faults);
        rig.openAndQuery();
        rig.window->downloader().setTimeout(timeout);
        QList<QByteArray> contents(7);
        for (int s = 1; s <= 6; ++s)
            contents[s - 1] = QByteArray(full ? 5461 : 40, char('a' + s));
        for (int s = 1; s <= 6; ++s)
            rig.addTicketBytes(s, contents[s - 1]);
        rig.indicator->resetRecord();
        QList<sim::Answer> taken;
        connect(&rig.window->exchange(), &CommandExchange::replyTaken, this,
                [&](const QByteArray& c, const QByteArray& r) {
                    taken.append({c.chopped(1), r});
                });
        QElapsedTimer clock;
        clock.start();
        download(rig);
        const qint64 elapsed = clock.elapsed();

        // Every decision used the answer the indicator gave to that very command.
        const QList<sim::Answer> answers = rig.indicator->answers();
        for (const sim::Answer& answer : taken)
            QVERIFY2(answers.contains(answer), answer.line.constData());
        if (refused) {
            QCOMPARE(rig.ui->messages.size(), 1);
            QVERIFY(rig.ui->texts().first().startsWith("Pointer Error\r\n"));
            for (int s = 1; s <= 5; ++s) {
                QCOMPARE(rig.indicator->slot(s), contents[s - 1]);
                QVERIFY(rig.window->downloader().slotStored(s));
            }
            QCOMPARE(rig.indicator->slot(6), QByteArray());
            QCOMPARE(rig.window->downloader().outcome(), Outcome::Refused);
        } else if (fault == QLatin1String("stall for ever")) {
            QCOMPARE(rig.ui->messages.size(), 1);
            QVERIFY2(rig.ui->texts().first().startsWith(QStringLiteral(
                         "The indicator stopped answering. The download stopped at slot 3 "
                         "(Truck Complete Weighing), address 0050.")),
                     qPrintable(rig.ui->texts().first()));
            QCOMPARE(rig.indicator->memory().mid(0xFF00, 28), QByteArray(28, '\0'));
            QCOMPARE(rig.window->downloader().outcome(), Outcome::Stopped);
            // Three attempts with the quiet time after two of them, then the probe: three more
            // with the quiet time before each.
            const qint64 bound = 6 * timeout.count() + 5 * CommandExchange::kQuietTime.count();
            QVERIFY2(elapsed < bound + 1500, qPrintable(QString::number(elapsed)));
        } else {
            QVERIFY2(rig.ui->messages.isEmpty(), qPrintable(rig.ui->texts().join(u'|')));
            for (int s = 1; s <= 7; ++s)
                QCOMPARE(rig.indicator->slot(s), contents[s - 1]);
            QCOMPARE(rig.window->downloader().outcome(), Outcome::Stored);
            QCOMPARE(taken.size(), rig.window->downloader().commandsSent() +
                                       rig.window->downloader().probesSent());
        }
    }

    void closingTheWindowDuringADownload()
    {
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        rig.addTicketBytes(1, QByteArray(8000, 'z'));
        connect(&rig.window->downloader(), &Downloader::blockDone, this,
                [this, &rig](qint32 value, qint32) {
                    if (value == 1001)
                        QTimer::singleShot(0, this, [&rig] {
                            rig.window->close();
                            rig.window.reset();
                        });
                });
        rig.form().downloadButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.window, 30000);
        // The download ended with the window, long before its last block.
        QVERIFY(rig.indicator->commandLines().size() < 7 + 2000 / 4 + 7);
        // It is in the record all the same, with nothing counted as stored.
        const QList<QByteArray> lines = TestFiles::read(rig.recordPath).split('\n');
        QCOMPARE(lines.size(), 2); // one line and the empty text after its end
        const QJsonObject record = QJsonDocument::fromJson(lines.first()).object();
        QCOMPARE(record.value(QStringLiteral("outcome")).toString(), QStringLiteral("cancelled"));
        const QJsonArray recordSlots = record.value(QStringLiteral("slots")).toArray();
        QCOMPARE(recordSlots.size(), 1);
        QCOMPARE(recordSlots.first().toObject().value(QStringLiteral("stored")).toBool(true),
                 false);
    }

    void interruptedDownload_data()
    {
        QTest::addColumn<bool>("hangUp");
        QTest::newRow("cancel") << false;
        QTest::newRow("indicator hangs up") << true;
    }
    void interruptedDownload()
    {
        QFETCH(bool, hangUp);
        WindowRig rig(WindowRig::Serial);
        rig.openAndQuery();
        rig.addTicketBytes(1, QByteArray(8000, 'z'));
        bool interrupted = false;
        connect(&rig.window->downloader(), &Downloader::blockDone, this, [&](qint32 value, qint32) {
            if (value < 2001 || interrupted)
                return;
            interrupted = true;
            if (hangUp)
                rig.indicator->hangUp();
            else
                rig.form().cancelButton->click();
        });
        QSignalSpy finished(&rig.window->downloader(), &Downloader::finished);
        rig.form().downloadButton->click();
        QVERIFY(finished.wait(30000));
        QVERIFY(interrupted);
        QCOMPARE(rig.ui->messages.size(), 1);
        QVERIFY(!rig.form().downloadFrame->isVisible());
        QCOMPARE(rig.ui->busyDepth, 0);
        // The table was cleared before any data went out and is not written afterwards.
        QCOMPARE(rig.indicator->memory().mid(0xFF00, 28), QByteArray(28, '\0'));
        QVERIFY(rig.linesReceived(";E1F3C") == 0);
        QCOMPARE(rig.form().openCloseAction->text(),
                 hangUp ? QStringLiteral("Open") : QStringLiteral("Close"));
    }
};

QTEST_MAIN(TestWindowE2E)
#include "test_window_e2e.moc"
