#include "app/DownloadPanel.h"
#include "dialogs/BaudDialog.h"
#include "dialogs/PortDialog.h"
#include "platform/SerialChannel.h"
#include "support/WindowRig.h"

#include <QDialog>
#include <QFile>
#include <QMenu>
#include <optional>

// The serial channel the window's session has made for its COM port.
SerialChannel& serialChannel(MainWindow& window)
{
    auto* channel = qobject_cast<SerialChannel*>(&window.session().channel());
    if (!channel)
        qFatal("the window's channel is no serial port");
    return *channel;
}

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::optional<WindowRig> m_rig;

    // COM 1 and COM 3 are pseudo-terminals, the other six ports name devices that do not exist.
    void writeSettings(const QByteArray& commSettings)
    {
        m_rig->writeSettings(m_rig->portNames({1, 3}) + commSettings);
    }
    QByteArray fileBytes() const { return m_rig->settings(); }
    // A window as the program makes it at start-up; the one before is gone.
    MainWindow* makeWindow()
    {
        m_rig->newWindow();
        return m_rig->window.get();
    }

private slots:
    void statusText_data()
    {
        QTest::addColumn<qint32>("value");
        QTest::addColumn<qint32>("max");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first block") << 1 << 8 << "Downloading data  1/ 8 bytes";
        QTest::newRow("second block") << 5 << 8 << "Downloading data  5/ 8 bytes";
        QTest::newRow("full memory") << 32765 << 32768 << "Downloading data  32765/ 32768 bytes";
    }
    void statusText()
    {
        QFETCH(qint32, value);
        QFETCH(qint32, max);
        QFETCH(QString, expected);
        QCOMPARE(DownloadPanel::statusText(value, max), expected);
    }

    void init()
    {
        m_rig.emplace();
        m_rig->showWindow = false;
        QVERIFY(m_rig->port(1).isValid() && m_rig->port(3).isValid());
    }
    void cleanup() { m_rig.reset(); }

    void startUp_data()
    {
        QTest::addColumn<QByteArray>("commSettings");
        QTest::addColumn<int>("commPort");
        QTest::addColumn<QString>("lineSettings");
        QTest::addColumn<QString>("panel2");
        QTest::addColumn<bool>("baudRepaired");

        QTest::newRow("COM 3 at 57600")
            << QByteArray("[CommSettings]\nCommPort=3\nCommBaud=4\n") << 3 << "57600,n,8,1"
            << "COM  3" << false;
        QTest::newRow("blanks and case")
            << QByteArray("[commsettings]\ncommport =  1 \nCOMMBAUD= 5\n") << 1 << "115200,n,8,1"
            << "COM  1" << false;
        QTest::newRow("absent COM 2")
            << QByteArray("[CommSettings]\nCommPort=2\nCommBaud=1\n") << 8 << "9600,n,8,1"
            << "COM  8" << false;
        QTest::newRow("port 0") << QByteArray("[CommSettings]\nCommPort=0\nCommBaud=0\n") << 8
                                << "4800,n,8,1"
                                << "COM  8" << false;
        QTest::newRow("port 9") << QByteArray("[CommSettings]\nCommPort=9\nCommBaud=3\n") << 8
                                << "38400,n,8,1"
                                << "COM  8" << false;
        QTest::newRow("port 12") << QByteArray("[CommSettings]\nCommPort=12\nCommBaud=2\n") << 8
                                 << "19200,n,8,1"
                                 << "COM  8" << false;
        QTest::newRow("leading zeros")
            << QByteArray("[CommSettings]\nCommPort=0000000003\nCommBaud=2\n") << 3 << "19200,n,8,1"
            << "COM  3" << false;
        QTest::newRow("lower-case tcp is serial")
            << QByteArray("[CommSettings]\nCommPort=tcp\nCommBaud=2\n") << 8 << "19200,n,8,1"
            << "COM  8" << false;
        QTest::newRow("baud 02") << QByteArray("[CommSettings]\nCommPort=3\nCommBaud=02\n") << 3
                                 << "19200,n,8,1"
                                 << "COM  3" << true;
        QTest::newRow("baud 6") << QByteArray("[CommSettings]\nCommPort=1\nCommBaud=6\n") << 1
                                << "19200,n,8,1"
                                << "COM  1" << true;
        QTest::newRow("baud missing")
            << QByteArray("[CommSettings]\nCommPort=3\n") << 3 << "19200,n,8,1"
            << "COM  3" << true;
    }
    void startUp()
    {
        QFETCH(QByteArray, commSettings);
        QFETCH(int, commPort);
        QFETCH(QString, lineSettings);
        QFETCH(QString, panel2);
        QFETCH(bool, baudRepaired);
        writeSettings(commSettings);
        const QByteArray before = fileBytes();

        auto window = makeWindow();
        WindowChannelSettings& state = window->channels();
        IndicatorSession& session = window->session();
        for (int k = 1; k <= 8; ++k)
            QCOMPARE(state.portPresent(k), k == 1 || k == 3);
        QCOMPARE(session.address().kind, PortAddress::Kind::Com);
        QCOMPARE(session.address().comNumber, commPort);
        QCOMPARE(session.lineSettings().text(), lineSettings);
        QVERIFY(!session.channel().isUsable());
        QCOMPARE(window->panelText(2), panel2);
        QCOMPARE(window->panelText(3), lineSettings);
        if (baudRepaired) {
            QVERIFY(fileBytes() != before);
            QCOMPARE(
                state.store().readValue(QStringLiteral("CommSettings"), QStringLiteral("CommBaud")),
                QStringLiteral("2"));
            // A key already in the file keeps its spelling; an added one is spelt as written.
            QVERIFY(fileBytes().contains(commSettings.contains("CommBaud=") ? "CommBaud= 2\n"
                                                                            : "Commbaud= 2\n"));
        } else {
            QCOMPARE(fileBytes(), before);
        }
    }

    void lowLatencySwitch_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<bool>("requested");
        QTest::newRow("no section") << QByteArray() << true;
        QTest::newRow("turned off") << QByteArray("[SerialPort]\nLowLatency= 0\n") << false;
        QTest::newRow("on") << QByteArray("[serialport]\nlowlatency=1\n") << true;
    }
    // The request for the adapter's low-latency mode can be turned off in the settings file.
    void lowLatencySwitch()
    {
        QFETCH(QByteArray, section);
        writeSettings("[CommSettings]\nCommPort=1\nCommBaud=2\n" + section);
        auto window = makeWindow();
        QTEST(serialChannel(*window).lowLatencyRequested(), "requested");
        window->form().openCloseAction->trigger();
        QVERIFY(window->session().channel().isUsable());
        // A pseudo-terminal has no such mode: asked for, refused, and the port works on.
        QTEST(serialChannel(*window).lowLatencyResult() == SerialChannel::LowLatency::Unsupported,
              "requested");
    }

    void startUpWithoutSettingsFile()
    {
        auto window = makeWindow();
        QCOMPARE(window->session().lineSettings().text(), QStringLiteral("19200,n,8,1"));
        QCOMPARE(window->session().address().comNumber, 8);
        QCOMPARE(window->panelText(2), QStringLiteral("COM  8"));
        QCOMPARE(fileBytes(), QByteArray("[CommSettings]\r\nCommbaud= 2\r\n"));
    }

    // A port another program holds fails its probe with "in use", not "no such port": it stays
    // present.
    void heldPortStaysPresent()
    {
        writeSettings("[CommSettings]\nCommPort=3\nCommBaud=2\n");
        SerialChannel other(m_rig->port(3).path());
        other.open();
        QVERIFY(other.isUsable());
        auto window = makeWindow();
        QVERIFY(window->channels().portPresent(2 + 1));
        QCOMPARE(window->session().address().comNumber, 3);
        window->form().openCloseAction->trigger();
        QCOMPARE(m_rig->ui->texts(), QStringList{"Port is used by other aplication"});
    }

    // The settings file is read at start-up only: a change made while the program runs counts
    // from the next start.
    void settingsReadOnlyAtStartUp()
    {
        writeSettings("[CommSettings]\nCommPort=1\nCommBaud=2\n");
        auto window = makeWindow();
        writeSettings("[CommSettings]\nCommPort=3\nCommBaud=5\n");
        window->form().openCloseAction->trigger();
        QCOMPARE(window->session().address().comNumber, 1);
        QCOMPARE(window->session().lineSettings().text(), QStringLiteral("19200,n,8,1"));
        QCOMPARE(window->panelText(3), QStringLiteral("19200,n,8,1"));
        auto next = makeWindow();
        QCOMPARE(next->session().address().comNumber, 3);
        QCOMPARE(next->session().lineSettings().text(), QStringLiteral("115200,n,8,1"));
    }

    void startUpInTcpMode_data()
    {
        QTest::addColumn<QByteArray>("commSettings");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("TCP") << QByteArray("[CommSettings]\nCommPort=TCP\nIP=10.1.2.3\nPort=1234\n")
                             << "10.1.2.3" << 1234;
        QTest::newRow("TCP/IP, no port")
            << QByteArray("[CommSettings]\nCommPort=TCP/IP\nIP=scale\n") << "scale" << 0;
        QTest::newRow("port out of range")
            << QByteArray("[CommSettings]\nCommPort=TCP\nIP=h\nPort=70000\n") << "h" << 0;
        QTest::newRow("port not a number")
            << QByteArray("[CommSettings]\nCommPort= TCP\nIP=1.1.1.1\nPort=abc\n") << "1.1.1.1"
            << 0;
    }
    void startUpInTcpMode()
    {
        QFETCH(QByteArray, commSettings);
        QFETCH(QString, host);
        QFETCH(int, port);
        writeSettings(commSettings);
        const QByteArray before = fileBytes();
        auto window = makeWindow();
        QCOMPARE(window->session().address().kind, PortAddress::Kind::Tcp);
        QCOMPARE(window->channels().inForce().host, host);
        QCOMPARE(window->channels().inForce().port, port);
        QCOMPARE(window->panelText(2), QStringLiteral("TCP/IP"));
        QCOMPARE(window->panelText(3), host);
        QCOMPARE(window->session().lineSettings().text(), QStringLiteral("38400,n,8,1"));
        QCOMPARE(fileBytes(), before);
    }

    void initialLook()
    {
        writeSettings("[CommSettings]\nCommPort=1\nCommBaud=2\n");
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        Ui::MainWindow& ui = window->form();
        QCOMPARE(window->windowTitle(), QStringLiteral("Programmable Ticket TALVOR"));
        for (int s = 1; s <= 7; ++s)
            QVERIFY(!window->slotBox(s)->isVisible());
        QVERIFY(!ui.spaceBox->isVisible());
        QVERIFY(!ui.downloadFrame->isVisible());
        QVERIFY(!ui.connectButton->isEnabled());
        QVERIFY(!ui.downloadButton->isEnabled());
        QStringList fileMenu;
        for (const QAction* action : ui.fileMenu->actions())
            fileMenu.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(fileMenu, (QStringList{"Open Ticket Set...", "Save Ticket Set...", "-",
                                        "Download History...", "-", "&End"}));
        // Sets go into slots the operator can see; there is nothing to save yet.
        QVERIFY(!ui.openSetAction->isEnabled());
        QVERIFY(!ui.saveSetAction->isEnabled());
        QVERIFY(ui.historyAction->isEnabled());
        QCOMPARE(ui.openCloseAction->text(), QStringLiteral("Open"));
        QCOMPARE(window->panelText(1), QStringLiteral("Port closed"));
        QVERIFY(!window->panelText(4).isEmpty());
        QVERIFY(window->panelText(5).contains(u':'));
        QCOMPARE(window->centralWidget()->size(), QSize(840, 491));
        if (!qEnvironmentVariableIsEmpty("TALVOR_SCREENSHOT_DIR"))
            window->grab().save(qEnvironmentVariable("TALVOR_SCREENSHOT_DIR") +
                                QStringLiteral("/main-window.png"));
    }

    void activationAfterOwnWindowCloses_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::newRow("Help") << "helpAction";
        QTest::newRow("About") << "aboutAction";
        QTest::newRow("Port") << "portAction";
        QTest::newRow("Settings") << "settingsAction";
    }
    void activationAfterOwnWindowCloses()
    {
        QFETCH(QString, menu);
        writeSettings("[CommSettings]\nCommPort=1\nCommBaud=2\n");
        auto window = makeWindow();
        window->show();
        const QString ticket = m_rig->writeFile(QStringLiteral("ticket.prn"), "1234567");
        m_rig->ui->fileChoices.append(ticket);
        window->slotBox(4)->loadButton()->click();
        window->setPanelText(1, QStringLiteral("stale"));

        window->findChild<QAction*>(menu)->trigger();
        auto* dialog = window->findChild<QDialog*>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(window->panelText(1), QStringLiteral("stale"));
        dialog->reject();
        QCOMPARE(window->panelText(1), QStringLiteral("Port closed"));
        // The slot display keeps telling what the slot holds.
        QCOMPARE(window->slotBox(4)->sizeEdit()->text(), QStringLiteral(" 7"));
        QCOMPARE(window->slotBox(4)->loadButton()->text(), QStringLiteral("Remove"));
        QCOMPARE(window->ticketSlots().content(4), QByteArray("1234567"));
        QTRY_VERIFY(window->findChildren<QDialog*>().isEmpty());
    }

    void openAndCloseSerialPort()
    {
        writeSettings("[CommSettings]\nCommPort=3\nCommBaud=2\n");
        auto window = makeWindow();
        window->show();
        Ui::MainWindow& ui = window->form();

        ui.openCloseAction->trigger();
        QVERIFY(window->session().channel().isUsable());
        QCOMPARE(ui.openCloseAction->text(), QStringLiteral("Close"));
        QVERIFY(ui.connectButton->isEnabled());
        QVERIFY(!ui.portAction->isEnabled());
        QVERIFY(!ui.settingsAction->isEnabled());
        QCOMPARE(window->panelText(1), QStringLiteral("Port opened"));
        // Activation reports the channel as it is.
        window->activate();
        QCOMPARE(window->panelText(1), QStringLiteral("Port opened"));

        ui.openCloseAction->trigger();
        QVERIFY(!window->session().channel().isUsable());
        QCOMPARE(ui.openCloseAction->text(), QStringLiteral("Open"));
        QVERIFY(!ui.connectButton->isEnabled());
        QVERIFY(ui.portAction->isEnabled());
        QVERIFY(ui.settingsAction->isEnabled());
        QCOMPARE(window->panelText(1), QStringLiteral("Port closed"));
        QVERIFY(m_rig->ui->messages.isEmpty());
    }

    // A failed query disables Connect on that line only: a port opened again is a new line.
    void connectAfterAFailedQuery()
    {
        writeSettings("[CommSettings]\nCommPort=3\nCommBaud=2\n");
        auto window = makeWindow();
        Ui::MainWindow& ui = window->form();
        ui.openCloseAction->trigger();
        ui.connectButton->click(); // nothing answers on COM 3
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->ui->messages.size(), 1, 10000);
        QCOMPARE(m_rig->ui->messages.first().text, QStringLiteral("Indicator does not respond"));
        QVERIFY(!ui.connectButton->isEnabled());
        ui.openCloseAction->trigger();
        ui.openCloseAction->trigger();
        QVERIFY(window->session().channel().isUsable());
        QVERIFY(ui.connectButton->isEnabled());
    }

    void openFailures_data()
    {
        QTest::addColumn<int>("comPort");
        QTest::addColumn<bool>("holdItFirst");
        QTest::addColumn<QString>("expected");
        QTest::newRow("held by another open") << 1 << true << "Port is used by other aplication";
        QTest::newRow("missing device") << 8 << false << "does not exist";
    }
    void openFailures()
    {
        QFETCH(int, comPort);
        QFETCH(bool, holdItFirst);
        QFETCH(QString, expected);
        writeSettings(QByteArray("[CommSettings]\nCommBaud=2\nCommPort=") +
                      QByteArray::number(comPort) + "\n");
        auto window = makeWindow();
        SerialChannel other(m_rig->port(1).path());
        if (holdItFirst) {
            other.open();
            QVERIFY(other.isUsable());
        }

        window->form().openCloseAction->trigger();
        QCOMPARE(m_rig->ui->messages.size(), 1);
        QCOMPARE(m_rig->ui->messages.first().title, QStringLiteral("Port Error"));
        QVERIFY2(m_rig->ui->messages.first().text.contains(expected),
                 qPrintable(m_rig->ui->messages.first().text));
        QCOMPARE(window->form().openCloseAction->text(), QStringLiteral("Open"));
        QVERIFY(!window->form().connectButton->isEnabled());
        QVERIFY(window->form().portAction->isEnabled());
    }

    void tcpErrorText()
    {
        writeSettings("[CommSettings]\nCommPort=TCP\nIP=127.0.0.1\nPort=1\n");
        auto window = makeWindow();
        window->form().openCloseAction->trigger();
        QCOMPARE(window->panelText(1), QStringLiteral("Connecting ..."));
        // Nothing can be asked of an indicator that is not connected yet.
        QVERIFY(!window->form().connectButton->isEnabled());
        QTRY_COMPARE(m_rig->ui->messages.size(), 1);
        QCOMPARE(m_rig->ui->messages.first().title, QStringLiteral("TCP/IP ERROR"));
        QVERIFY(
            m_rig->ui->messages.first().text.startsWith(QStringLiteral("Error:  10061\r\n\r\n")));
        QVERIFY(m_rig->ui->messages.first().text.endsWith(QStringLiteral("\r\n")));
        QCOMPARE(window->form().openCloseAction->text(), QStringLiteral("Open"));
        QCOMPARE(window->panelText(1), QStringLiteral("Port closed"));
    }

    // Each loss is told once, on every opening: a loss told before does not silence the next.
    void unpluggedAdapterClosesPort()
    {
        const QString link = m_rig->dir.filePath(QStringLiteral("adapter"));
        m_rig->writeSettings("[CommSettings]\nCommPort=1\nCommBaud=2\n[PortNames]\nCOM1=" +
                             link.toLocal8Bit() + "\n");
        // The link stands for the adapter's name: the same port plugged in again.
        auto adapter = std::make_unique<PseudoTerminal>();
        QFile::remove(link);
        QVERIFY(QFile::link(adapter->path(), link));
        auto window = makeWindow();
        for (const int round : {1, 2}) {
            if (round == 2) {
                adapter = std::make_unique<PseudoTerminal>();
                QVERIFY(QFile::remove(link) && QFile::link(adapter->path(), link));
            }
            window->form().openCloseAction->trigger();
            QVERIFY(window->session().channel().isUsable());
            // Characters that come before any command start the next reply line.
            QCOMPARE(::write(adapter->master(), "xy", 2), ssize_t(2));
            QTRY_COMPARE(window->exchange().rxBuffer(), QByteArray("xy"));
            adapter->closeMaster();
            QTRY_COMPARE(window->form().openCloseAction->text(), QStringLiteral("Open"));
            QVERIFY(!window->session().channel().isUsable());
            QCOMPARE(m_rig->ui->messages.size(), round);
            QCOMPARE(m_rig->ui->messages.last().title, QStringLiteral("Port Error"));
        }
    }

    void cancelledWindowChangesNothing_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<int>("option"); // chosen before the button is pressed
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("commPort");
        QTest::addColumn<QString>("lineSettings");
        QTest::newRow("port window, Cancel")
            << "portAction" << 2 << "cancelButton" << 1 << "19200,n,8,1";
        QTest::newRow("port window, OK") << "portAction" << 2 << "okButton" << 3 << "19200,n,8,1";
        QTest::newRow("rate window, Cancel")
            << "settingsAction" << 1 << "cancelButton" << 1 << "19200,n,8,1";
        QTest::newRow("rate window, OK")
            << "settingsAction" << 1 << "okButton" << 1 << "9600,n,8,1";
    }
    // A choice made in the port or rate window counts only when the window is closed with OK:
    // Cancel leaves the settings file, the status panels and the line in force as they were.
    void cancelledWindowChangesNothing()
    {
        QFETCH(QString, menu);
        QFETCH(int, option);
        QFETCH(QString, button);
        QFETCH(int, commPort);
        QFETCH(QString, lineSettings);
        writeSettings("[CommSettings]\nCommPort=1\nCommBaud=2\n");
        const QByteArray before = fileBytes();
        auto window = makeWindow();
        window->show();

        window->findChild<QAction*>(menu)->trigger();
        if (auto* ports = window->findChild<PortDialog*>())
            ports->selectOption(option);
        else if (auto* rates = window->findChild<BaudDialog*>())
            rates->selectOption(option);
        else
            QFAIL("no port or rate window opened");
        auto* dialog = window->findChild<QDialog*>();
        dialog->findChild<QPushButton*>(button)->click();
        QVERIFY(!dialog->isVisible());

        QCOMPARE(window->session().address().comNumber, commPort);
        QCOMPARE(window->session().lineSettings().text(), lineSettings);
        QCOMPARE(window->panelText(2), QStringLiteral("COM  %1").arg(commPort));
        QCOMPARE(window->panelText(3), lineSettings);
        if (button == QStringLiteral("okButton"))
            QVERIFY(fileBytes() != before);
        else
            QCOMPARE(fileBytes(), before);
        QVERIFY(m_rig->ui->messages.isEmpty());
        // What is stored is what the next start finds.
        auto next = makeWindow();
        QCOMPARE(next->session().address().comNumber, commPort);
        QCOMPARE(next->session().lineSettings().text(), lineSettings);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
