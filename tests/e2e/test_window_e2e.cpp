#include "IndicatorSimulator.h"
#include "app/MainWindow.h"
#include "dialogs/BaudDialog.h"
#include "support/FakeUiServices.h"
#include "support/Screenshots.h"
#include "support/TestFiles.h"
#include "ui_MainWindow.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

// The whole program as an operator uses it, through the main window, against the simulated
// indicator over a pseudo-terminal and over TCP/IP.
class TestWindowE2E : public QObject {
    Q_OBJECT

private:
    enum Transport { Serial, Tcp };

    QTemporaryDir m_dir;
    std::unique_ptr<sim::IndicatorSimulator> m_sim;
    std::unique_ptr<MainWindow> m_window;
    FakeUiServices* m_ui = nullptr;

    Ui::MainWindow& form() { return m_window->form(); }

    // A serial line at rateCode's rate ("5": 115200) by the settings file.
    void startWindow(Transport transport, const QByteArray& rateCode = "5",
                     const sim::Faults& faults = {})
    {
        m_sim = std::make_unique<sim::IndicatorSimulator>();
        m_sim->setFaults(faults);
        QVERIFY(m_sim->startPty());
        QVERIFY(m_sim->startTcp(0));
        const QString path = m_dir.filePath(QStringLiteral("TicketTalvor.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (transport == Serial)
            file.write("[CommSettings]\nCommPort= 1\nCommbaud= " + rateCode +
                       "\n[PortNames]\nCOM1=" + m_sim->ptyPath().toLocal8Bit() + "\n");
        else
            file.write("[CommSettings]\nCommPort=TCP\nIP=127.0.0.1\nPort=" +
                       QByteArray::number(m_sim->tcpPort()) + "\n");
        file.close();
        auto ui = std::make_unique<FakeUiServices>();
        m_ui = ui.get();
        m_window = std::make_unique<MainWindow>(path, std::move(ui));
        // Downloads are recorded; here not in the user's data folder.
        m_window->recorder().setPath(m_dir.filePath(QStringLiteral("downloads.jsonl")));
        m_window->show();
    }

    void openAndQuery()
    {
        form().openCloseAction->trigger();
        if (m_window->session().address().isNetwork())
            QTRY_VERIFY(m_window->session().channel().isUsable());
        QVERIFY(form().connectButton->isEnabled());
        form().connectButton->click();
        QTRY_VERIFY(m_window->slotBox(1)->isVisible());
        QVERIFY(m_ui->messages.isEmpty());
    }

    QString writeTicket(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        file.write(bytes);
        return path;
    }

    void addTicket(int slot, const QByteArray& bytes)
    {
        m_ui->fileChoices.append(writeTicket(QStringLiteral("slot%1.prn").arg(slot), bytes));
        m_window->slotBox(slot)->loadButton()->click();
        QCOMPARE(m_window->slotBox(slot)->loadButton()->text(), QStringLiteral("Remove"));
    }

    void download()
    {
        QVERIFY(form().downloadButton->isEnabled());
        // A signal spy waits in a real event loop; the QTRY macros sleep 10 ms between
        // looks, which would slow thousands of exchanges a hundredfold.
        QSignalSpy finished(&m_window->downloader(), &Downloader::finished);
        form().downloadButton->click();
        QVERIFY(finished.wait(60000));
        QVERIFY(!form().downloadFrame->isVisible());
        QCOMPARE(form().statusEdit->text(), QString());
    }

    int commandsStartingWith(const QByteArray& prefix) const
    {
        int count = 0;
        for (const QByteArray& line : m_sim->commandLines())
            count += line.startsWith(prefix) ? 1 : 0;
        return count;
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
        QTest::newRow("serial") << int(Serial);
        QTest::newRow("tcp") << int(Tcp);
    }

private slots:
    void cleanup()
    {
        m_window.reset();
        m_sim.reset();
    }

    void queryAndClose_data() { addTransports(); }
    void queryAndClose()
    {
        QFETCH(int, transport);
        startWindow(Transport(transport));
        addTicket(2, "abc"); // loaded before the query: the slot keeps showing it
        openAndQuery();
        QCOMPARE(form().versionEdit->text(), QStringLiteral("V2.05\x06"));
        QCOMPARE(form().serialEdit->text(), QStringLiteral("12345\x06"));
        QCOMPARE(m_window->panelText(1), QStringLiteral("Port opened"));
        for (int s = 1; s <= 7; ++s)
            QVERIFY(m_window->slotBox(s)->isVisible());
        QVERIFY(form().spaceBox->isVisible());
        QCOMPARE(form().usedSpaceEdit->text(), QStringLiteral(" 3"));
        QCOMPARE(form().freeSpaceEdit->text(), QStringLiteral(" 32765"));
        QCOMPARE(m_window->slotBox(2)->sizeEdit()->text(), QStringLiteral(" 3"));
        QVERIFY(form().downloadButton->isEnabled());
        const QString shots = qEnvironmentVariable("TALVOR_SCREENSHOT_DIR");
        if (!shots.isEmpty() && transport == Serial)
            m_window->grab().save(shots + QStringLiteral("/main-window.png"));

        form().openCloseAction->trigger();
        QCOMPARE(form().openCloseAction->text(), QStringLiteral("Open"));
        QCOMPARE(form().versionEdit->text(), QString());
        QCOMPARE(form().serialEdit->text(), QString());
        QVERIFY(!form().downloadButton->isEnabled());
        // A serial close folds the ticket area away; a TCP/IP close leaves it.
        QCOMPARE(m_window->slotBox(1)->isVisible(), transport == Tcp);
        QCOMPARE(form().spaceBox->isVisible(), transport == Tcp);
        QCOMPARE(m_window->ticketSlots().content(2), QByteArray("abc"));
        if (transport == Tcp) {
            // Reopened: nothing can be sent before the connection is made.
            form().openCloseAction->trigger();
            QVERIFY(!form().downloadButton->isEnabled());
            QVERIFY(!form().connectButton->isEnabled());
            QTRY_VERIFY(form().downloadButton->isEnabled());
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
        startWindow(Serial, rateCode, faults);
        if (chosen >= 0) {
            form().settingsAction->trigger();
            auto* dialog = m_window->findChild<BaudDialog*>();
            QVERIFY(dialog);
            dialog->selectOption(chosen);
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        }
        openAndQuery();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(m_sim->ptyBaudRate(), rate);
        QCOMPARE(form().versionEdit->text(), QStringLiteral("V2.05\x06"));
    }

    void silentIndicator()
    {
        startWindow(Serial);
        sim::Faults faults;
        faults.silentAfter = 0;
        m_sim->setFaults(faults);
        form().openCloseAction->trigger();
        form().connectButton->click();
        QVERIFY(!form().connectButton->isEnabled());
        QVERIFY(!form().openCloseAction->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(m_ui->messages.size(), 1, 10000);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Communication Error"));
        QCOMPARE(m_ui->messages.first().text, QStringLiteral("Indicator does not respond"));
        QCOMPARE(commandsStartingWith(";C4"), 3);
        QCOMPARE(commandsStartingWith(";SR"), 0);
        QVERIFY(!m_window->slotBox(1)->isVisible());
        QVERIFY(!form().connectButton->isEnabled());
        QVERIFY(form().openCloseAction->isEnabled());
        QCOMPARE(m_ui->busyDepth, 0);
    }

    void indicatorHangsUp_data() { addTransports(); }
    void indicatorHangsUp()
    {
        QFETCH(int, transport);
        startWindow(Transport(transport));
        openAndQuery();
        m_sim->hangUp();
        QTRY_COMPARE(form().openCloseAction->text(), QStringLiteral("Open"));
        QCOMPARE(m_window->panelText(1), QStringLiteral("Port closed"));
        QVERIFY(!form().connectButton->isEnabled());
        QVERIFY(form().portAction->isEnabled());
        QCOMPARE(m_ui->messages.size(), 1);
    }

    void downloadsExactBytes_data()
    {
        QTest::addColumn<int>("transport");
        QTest::addColumn<QList<QByteArray>>("contents");
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
        for (int transport : {int(Serial), int(Tcp)}) {
            const char* name = transport == Serial ? "serial" : "tcp";
            QTest::addRow("%s: example 1", name) << transport << example1;
            QTest::addRow("%s: example 2", name) << transport << example2;
            QTest::addRow("%s: mixed sizes", name) << transport << mixed;
            QTest::addRow("%s: 32768 bytes", name) << transport << full;
        }
    }
    void downloadsExactBytes()
    {
        QFETCH(int, transport);
        QFETCH(QList<QByteArray>, contents);
        startWindow(Transport(transport));
        openAndQuery();
        for (int s = 1; s <= 7; ++s) {
            if (!contents[s - 1].isEmpty())
                addTicket(s, contents[s - 1]);
        }
        m_sim->resetRecord();
        download();
        QVERIFY2(m_ui->messages.isEmpty(), qPrintable(m_ui->texts().join(u'|')));
        for (int s = 1; s <= 7; ++s)
            QCOMPARE(m_sim->slot(s), contents[s - 1]);
        qint64 total = 0;
        for (const QByteArray& bytes : contents)
            total += bytes.size();
        QCOMPARE(commandsStartingWith(";E"), 7 + (total + 3) / 4 + 7);
        QVERIFY(form().downloadButton->isEnabled());
        QCOMPARE(m_ui->busyDepth, 0);
    }

    void progressTexts()
    {
        startWindow(Serial);
        openAndQuery();
        addTicket(1, "ABCDE");
        addTicket(3, "xyz");
        QStringList texts;
        connect(form().statusEdit, &QLineEdit::textChanged, this, [&](const QString& text) {
            if (!text.isEmpty())
                texts.append(text);
        });
        download();
        const QStringList expected = {"Preparing data ...", "Update pointers ...",
                                      "Downloading data  1/ 8 bytes",
                                      "Downloading data  5/ 8 bytes", "Update pointers ..."};
        QCOMPARE(texts, expected);
        QCOMPARE(form().progressBar->maximum(), 8);
        QCOMPARE(form().progressBar->value(), 5);
    }

    void refusedWrites_data()
    {
        QTest::addColumn<quint16>("nakAt");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("dataCommands");
        QTest::newRow("clearing write of slot 3")
            << quint16(0xFF08) << QStringList{"Pointer Error"} << 0;
        QTest::newRow("one data block")
            << quint16(0x0004)
            << QStringList{"Data Error\r\n\r\nThe indicator refused the data of slot 1 "
                           "(Gross/Net/Tare Ticket) at address 0004.",
                           "These tickets were not stored:\r\nslot 1 (Gross/Net/Tare Ticket): "
                           "the indicator refused the data at address 0004.\r\n\r\nTheir "
                           "pointer entries are cleared, so the indicator does not use them. "
                           "Download the tickets again."}
            << 3;
    }
    void refusedWrites()
    {
        QFETCH(quint16, nakAt);
        QFETCH(QStringList, messages);
        QFETCH(int, dataCommands);
        startWindow(Serial);
        openAndQuery();
        addTicket(1, "0123456789");
        sim::Faults faults = m_sim->faults();
        faults.nakAt.insert(nakAt);
        m_sim->setFaults(faults);
        m_sim->resetRecord();
        download();
        QCOMPARE(m_ui->texts(), messages);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Update Error"));
        QCOMPARE(commandsStartingWith(";E0"), dataCommands);
        const QByteArray memory = m_sim->memory();
        if (nakAt == 0xFF08) {
            // The entries after the refused one keep what they held.
            QCOMPARE(memory.mid(0xFF0C, 16), QByteArray(16, '\xFF'));
        } else {
            QCOMPARE(memory.left(4), QByteArray("0123"));
            QCOMPARE(memory.mid(8, 2), QByteArray("89"));
            // Never a half-written ticket marked valid: its entry stays cleared.
            QCOMPARE(memory.mid(0xFF00, 4), QByteArray(4, '\0'));
            QCOMPARE(m_sim->slot(1), QByteArray());
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
        startWindow(Serial);
        openAndQuery();
        addTicket(1, "ABCD");
        if (slot7HoldsData)
            addTicket(7, "EFGH");
        m_window->downloader().setTimeout(100ms);
        sim::Faults faults = m_sim->faults();
        faults.silentAt.insert(0xFF18);
        m_sim->setFaults(faults);
        download();
        QCOMPARE(m_ui->texts(), messages);
        QCOMPARE(m_sim->slot(1), QByteArray("ABCD"));
    }

    void overBudgetIsRefused()
    {
        startWindow(Serial);
        openAndQuery();
        addTicket(1, QByteArray(20000, 'a'));
        addTicket(2, QByteArray(12769, 'b'));
        QCOMPARE(form().freeSpaceEdit->text(), QStringLiteral("-1"));
        // The free box says so before DownLoad is pressed.
        QCOMPARE(form().freeSpaceEdit->toolTip(),
                 QStringLiteral("These tickets are 1 byte too large to download:\nthey hold "
                                "32769 bytes, the indicator's ticket memory 32768."));
        Screenshots::save(Screenshots::withToolTip(m_window.get(), form().freeSpaceEdit),
                          QStringLiteral("main-window-over-budget.png"));
        m_sim->resetRecord();
        form().downloadButton->click();
        QTRY_VERIFY(!m_window->downloader().isRunning());
        QCOMPARE(m_ui->messages.size(), 1);
        QVERIFY(m_ui->messages.first().text.contains(QStringLiteral("32769")));
        QVERIFY(m_ui->messages.first().text.contains(QStringLiteral("32768")));
        QCOMPARE(m_sim->counters().commands, quint64(0));
        QVERIFY(!form().downloadFrame->isVisible());
        m_window->slotBox(1)->loadButton()->click();
        QCOMPARE(form().freeSpaceEdit->toolTip(), QString());
    }

    // The version is answered, the serial number is not: the version stays shown, the ticket
    // area stays hidden and Connect stays disabled until the port is opened again.
    void serialNumberUnanswered()
    {
        startWindow(Serial);
        sim::Faults faults;
        faults.silentAfter = 1;
        m_sim->setFaults(faults);
        form().openCloseAction->trigger();
        form().connectButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_ui->messages.size(), 1, 10000);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Communication Error"));
        QCOMPARE(m_ui->messages.first().text, QStringLiteral("Indicator does not respond"));
        QCOMPARE(form().versionEdit->text(), QStringLiteral("V2.05\x06"));
        QCOMPARE(form().serialEdit->text(), QString());
        QCOMPARE(commandsStartingWith(";SR"), 3);
        QVERIFY(!m_window->slotBox(1)->isVisible());
        QVERIFY(!form().spaceBox->isVisible());
        QVERIFY(!form().connectButton->isEnabled());
        QCOMPARE(m_ui->busyDepth, 0);
    }

    // A second query with tickets loaded shows the space they really take.
    void repeatedQueryKeepsTheSpace()
    {
        startWindow(Serial);
        openAndQuery();
        addTicket(2, QByteArray(1234, 'x'));
        form().connectButton->click();
        QTRY_COMPARE(commandsStartingWith(";SR"), 2);
        QTRY_VERIFY(form().connectButton->isEnabled());
        QCOMPARE(form().usedSpaceEdit->text(), QStringLiteral(" 1234"));
        QCOMPARE(form().freeSpaceEdit->text(), QStringLiteral(" 31534"));
        QCOMPARE(m_window->slotBox(2)->sizeEdit()->text(), QStringLiteral(" 1234"));
        QVERIFY(form().downloadButton->isEnabled());
    }

    // DownLoad is usable only while some slot holds data: one click would otherwise clear the
    // indicator's pointer table for nothing.
    void downLoadFollowsTheSlots()
    {
        startWindow(Serial);
        openAndQuery();
        QVERIFY(!form().downloadButton->isEnabled());
        addTicket(3, QByteArray()); // an empty file holds nothing to send
        QVERIFY(!form().downloadButton->isEnabled());
        addTicket(1, "one");
        addTicket(2, "two");
        QVERIFY(form().downloadButton->isEnabled());
        m_window->slotBox(1)->loadButton()->click(); // removes one of two
        QCOMPARE(m_window->slotBox(1)->loadButton()->text(), QStringLiteral("Add Ticket"));
        QVERIFY(form().downloadButton->isEnabled());
        m_window->slotBox(2)->loadButton()->click(); // removes the only one holding data
        QVERIFY(!form().downloadButton->isEnabled());
        QCOMPARE(form().usedSpaceEdit->text(), QStringLiteral(" 0"));
        QCOMPARE(form().freeSpaceEdit->text(), QStringLiteral(" 32768"));
    }

    // A host changed in the TCP/IP dialog is where the next connection goes.
    void nextConnectionGoesToTheNewHost()
    {
        startWindow(Tcp);
        m_window->channels().chooseHost(QStringLiteral("no-such-host.invalid"));
        form().settingsAction->trigger();
        auto* dialog = m_window->findChild<QDialog*>(QStringLiteral("TcpHostDialog"));
        QVERIFY(dialog);
        auto* host = dialog->findChild<QLineEdit*>(QStringLiteral("hostEdit"));
        QCOMPARE(host->text(), QStringLiteral("no-such-host.invalid"));
        host->setText(QStringLiteral("127.0.0.1"));
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        QCOMPARE(m_window->panelText(3), QStringLiteral("127.0.0.1"));
        openAndQuery();
        QCOMPARE(form().serialEdit->text(), QStringLiteral("12345\x06"));
    }

    // Text the indicator sends while nothing is asked is dropped; the next query reads its own
    // answers.
    void unaskedTextIsDropped()
    {
        startWindow(Tcp);
        form().openCloseAction->trigger();
        QTRY_VERIFY(m_window->session().channel().isUsable());
        emit m_window->session().channel().bytesReceived("ST,GS,+0001234kg\r\x15\r");
        QCOMPARE(m_window->exchange().replyState(), CommandExchange::Reply::Waiting);
        form().connectButton->click();
        QTRY_VERIFY(m_window->slotBox(1)->isVisible());
        QCOMPARE(form().versionEdit->text(), QStringLiteral("V2.05\x06"));
        QCOMPARE(form().serialEdit->text(), QStringLiteral("12345\x06"));
        QVERIFY(m_ui->messages.isEmpty());
    }

    // "End" with the port open ends at once, without a question.
    void endWithThePortOpen()
    {
        startWindow(Serial);
        form().openCloseAction->trigger();
        QVERIFY(m_window->session().channel().isUsable());
        form().endAction->trigger();
        QVERIFY(!m_window->isVisible());
        QVERIFY(m_ui->messages.isEmpty());
        QVERIFY(m_ui->questions.isEmpty());
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
        startWindow(Serial);
        const QString recordPath = m_dir.filePath(QStringLiteral("end.jsonl"));
        QFile::remove(recordPath);
        m_window->recorder().setPath(recordPath);
        openAndQuery();
        const QByteArray ticket(8000, 'q');
        addTicket(1, ticket);
        m_ui->holdQuestions = true;
        // Each step comes from the event loop, as the operator's clicks do.
        const auto later = [this](auto step) { QTimer::singleShot(0, this, step); };
        connect(&m_window->downloader(), &Downloader::blockDone, this,
                [&](qint32 position, qint32) {
                    if (position == 1001)
                        later([this] { form().endAction->trigger(); });
                    if (position == 2001 && closedAgain)
                        later([this] { m_window->close(); });
                    if (position == 4001)
                        later([this, quit] { m_ui->answer(quit); });
                });
        QSignalSpy finished(&m_window->downloader(), &Downloader::finished);
        form().downloadButton->click();
        QVERIFY(finished.wait(30000));

        QCOMPARE(m_ui->questions.size(), 1);
        QCOMPARE(m_ui->questions.first().text,
                 QStringLiteral("A download is running. If you quit now, the indicator keeps no "
                                "valid ticket set. Quit anyway?"));
        QCOMPARE(m_ui->actions.first(), QStringLiteral("Quit"));
        QCOMPARE(m_window->isVisible(), !quit);
        QCOMPARE(m_sim->slot(1), quit ? QByteArray() : ticket);
        const QList<QByteArray> lines = TestFiles::read(recordPath).split('\n');
        QCOMPARE(lines.size(), 2); // one line and the empty text after its end
        QCOMPARE(QJsonDocument::fromJson(lines.first()).object().value("outcome").toString(),
                 quit ? QStringLiteral("cancelled") : QStringLiteral("stored"));
    }

    // A line that misbehaves never makes the program judge a command on another command's
    // answer: what the indicator refused is reported, what it stored is not, and a line that
    // goes dead ends the download with one message.
    void badLine_data()
    {
        QTest::addColumn<int>("transport");
        QTest::addColumn<QString>("fault");
        for (int transport : {int(Serial), int(Tcp)}) {
            const char* name = transport == Serial ? "serial" : "tcp";
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
        startWindow(Transport(transport));
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
        m_sim->setFaults(faults);
        openAndQuery();
        m_window->downloader().setTimeout(timeout);
        QList<QByteArray> contents(7);
        for (int s = 1; s <= 6; ++s)
            contents[s - 1] = QByteArray(full ? 5461 : 40, char('a' + s));
        for (int s = 1; s <= 6; ++s)
            addTicket(s, contents[s - 1]);
        m_sim->resetRecord();
        QList<sim::Answer> taken;
        connect(&m_window->exchange(), &CommandExchange::replyTaken, this,
                [&](const QByteArray& c, const QByteArray& r) {
                    taken.append({c.chopped(1), r});
                });
        QElapsedTimer clock;
        clock.start();
        download();
        const qint64 elapsed = clock.elapsed();

        // Every decision used the answer the indicator gave to that very command.
        const QList<sim::Answer> answers = m_sim->answers();
        for (const sim::Answer& answer : taken)
            QVERIFY2(answers.contains(answer), answer.line.constData());
        if (refused) {
            QCOMPARE(m_ui->messages.size(), 1);
            QVERIFY(m_ui->texts().first().startsWith("Pointer Error\r\n"));
            for (int s = 1; s <= 5; ++s) {
                QCOMPARE(m_sim->slot(s), contents[s - 1]);
                QVERIFY(m_window->downloader().slotStored(s));
            }
            QCOMPARE(m_sim->slot(6), QByteArray());
            QCOMPARE(m_window->downloader().outcome(), Outcome::Refused);
        } else if (fault == QLatin1String("stall for ever")) {
            QCOMPARE(m_ui->messages.size(), 1);
            QVERIFY2(m_ui->texts().first().startsWith(QStringLiteral(
                         "The indicator stopped answering. The download stopped at slot 3 "
                         "(Truck Complete Weighing), address 0050.")),
                     qPrintable(m_ui->texts().first()));
            QCOMPARE(m_sim->memory().mid(0xFF00, 28), QByteArray(28, '\0'));
            QCOMPARE(m_window->downloader().outcome(), Outcome::Stopped);
            // Three attempts with the quiet time after two of them, then the probe: three more
            // with the quiet time before each.
            const qint64 bound = 6 * timeout.count() + 5 * CommandExchange::kQuietTime.count();
            QVERIFY2(elapsed < bound + 1500, qPrintable(QString::number(elapsed)));
        } else {
            QVERIFY2(m_ui->messages.isEmpty(), qPrintable(m_ui->texts().join(u'|')));
            for (int s = 1; s <= 7; ++s)
                QCOMPARE(m_sim->slot(s), contents[s - 1]);
            QCOMPARE(m_window->downloader().outcome(), Outcome::Stored);
            QCOMPARE(taken.size(),
                     m_window->downloader().commandsSent() + m_window->downloader().probesSent());
        }
    }

    void closingTheWindowDuringADownload()
    {
        startWindow(Serial);
        const QString recordPath = m_dir.filePath(QStringLiteral("closing.jsonl"));
        m_window->recorder().setPath(recordPath);
        openAndQuery();
        addTicket(1, QByteArray(8000, 'z'));
        connect(&m_window->downloader(), &Downloader::blockDone, this,
                [this](qint32 value, qint32) {
                    if (value == 1001)
                        QTimer::singleShot(0, this, [this] {
                            m_window->close();
                            m_window.reset();
                        });
                });
        form().downloadButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window, 30000);
        // The download ended with the window, long before its last block.
        QVERIFY(m_sim->commandLines().size() < 7 + 2000 / 4 + 7);
        // It is in the record all the same, with nothing counted as stored.
        const QList<QByteArray> lines = TestFiles::read(recordPath).split('\n');
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
        startWindow(Serial);
        openAndQuery();
        addTicket(1, QByteArray(8000, 'z'));
        bool interrupted = false;
        connect(&m_window->downloader(), &Downloader::blockDone, this, [&](qint32 value, qint32) {
            if (value < 2001 || interrupted)
                return;
            interrupted = true;
            if (hangUp)
                m_sim->hangUp();
            else
                form().cancelButton->click();
        });
        QSignalSpy finished(&m_window->downloader(), &Downloader::finished);
        form().downloadButton->click();
        QVERIFY(finished.wait(30000));
        QVERIFY(interrupted);
        QCOMPARE(m_ui->messages.size(), 1);
        QVERIFY(!form().downloadFrame->isVisible());
        QCOMPARE(m_ui->busyDepth, 0);
        // The table was cleared before any data went out and is not written afterwards.
        QCOMPARE(m_sim->memory().mid(0xFF00, 28), QByteArray(28, '\0'));
        QVERIFY(commandsStartingWith(";E1F3C") == 0);
        QCOMPARE(form().openCloseAction->text(),
                 hangUp ? QStringLiteral("Open") : QStringLiteral("Close"));
    }
};

QTEST_MAIN(TestWindowE2E)
#include "test_window_e2e.moc"
