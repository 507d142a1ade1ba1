#include "dialogs/BaudDialog.h"
#include "dialogs/PortDialog.h"
#include "dialogs/PortToolTip.h"
#include "dialogs/TcpHostDialog.h"
#include "support/WindowRig.h"

#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <optional>

// The port, rate and TCP/IP windows as the operator meets them: opened from the main window's
// Comm menu, clicked, closed with OK or Cancel, and what the window then shows and stores.
namespace {

const QByteArray kSerialIni = "[CommSettings]\r\nCommPort= 5\r\nCommbaud= 3\r\n";
const QByteArray kTcpIni = "[CommSettings]\r\nCommPort= TCP\r\nIP= 10.0.0.7\r\nPort= 1234\r\n";

QByteArray withLine(QByteArray ini, const QByteArray& from, const QByteArray& to)
{
    return ini.replace(from, to);
}
QByteArray serialIni(int comPort)
{
    return withLine(kSerialIni, "CommPort= 5", "CommPort= " + QByteArray::number(comPort));
}

// COM k for each bit k - 1.
QList<int> portsIn(int mask)
{
    QList<int> ports;
    for (int k = 1; k <= ComPorts::kCount; ++k) {
        if ((mask >> (k - 1)) & 1)
            ports.append(k);
    }
    return ports;
}

QPushButton* button(QDialog* dialog, const char* name)
{
    return dialog->findChild<QPushButton*>(QLatin1String(name));
}

// The dialog the menu action opened as the window's child; none when it opened none.
template <typename Dialog> Dialog* openFromMenu(MainWindow& window, QAction* action)
{
    action->trigger();
    const auto dialogs = window.findChildren<Dialog*>();
    return dialogs.size() == 1 && dialogs.first()->isVisible() ? dialogs.first() : nullptr;
}

// Clicks the button and lets Qt discard the closed dialog; false when it was not.
bool clickAndDiscard(QDialog* dialog, const char* name)
{
    QPointer<QDialog> guard(dialog);
    QTest::mouseClick(button(dialog, name), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return guard.isNull();
}

int channelCode(const ChannelSettings::Choice& choice)
{
    return choice.isNetwork() ? PortDialog::kTcpOption + 1 : choice.comNumber;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

    std::optional<WindowRig> m_rig;
    QByteArray m_names; // the settings file's [PortNames]

    // The window at start-up on commSettings, with exactly the present COM ports found.
    MainWindow& startWindow(const QByteArray& commSettings, const QList<int>& present)
    {
        m_names = m_rig->portNames(present, "\r\n");
        m_rig->writeSettings(commSettings + m_names);
        m_rig->newWindow();
        return *m_rig->window;
    }

private slots:
    void init() { m_rig.emplace(); }
    void cleanup() { m_rig.reset(); }

    void comm_data()
    {
        QTest::addColumn<bool>("tcpMode");
        QTest::addColumn<int>("commPort");
        QTest::addColumn<int>("present"); // bit k-1 for COM k
        QTest::addColumn<int>("option");  // -1: OK or Cancel without a selection
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("tcpAfter");
        QTest::addColumn<int>("portAfter");
        QTest::addColumn<QByteArray>("iniAfter");
        // The panels once the dialog is closed: a COM port choice writes panel 2 only, TCP/IP
        // newly chosen empties the host in panel 3.
        QTest::addColumn<QString>("panel2");
        QTest::addColumn<QString>("panel3");
        const QString line = "38400,n,8,1";
        QTest::newRow("TCP/IP kept")
            << true << 8 << 0x7F << -1 << true << true << 8 << kTcpIni << "TCP/IP"
            << "10.0.0.7";
        QTest::newRow("TCP/IP to COM 3")
            << true << 8 << 0xFF << 2 << true << false << 3
            << withLine(kTcpIni, "CommPort= TCP", "CommPort= 3") << "COM  3"
            << "10.0.0.7";
        QTest::newRow("COM 5 to COM 1")
            << false << 5 << 0xFF << 0 << true << false << 1 << serialIni(1) << "COM  1" << line;
        QTest::newRow("COM 1 and 3 only, COM 3 kept")
            << false << 3 << 0x05 << -1 << true << false << 3 << serialIni(3) << "COM  3" << line;
        // COM 8 is the port in force when the one the file names is not found.
        QTest::newRow("absent COM 8 to COM 1")
            << false << 8 << 0x01 << 0 << true << false << 1 << serialIni(1) << "COM  1" << line;
        QTest::newRow("COM 5 to hidden TCP/IP")
            << false << 5 << 0xFF << 8 << true << true << 5
            << withLine(kSerialIni, "CommPort= 5", "CommPort= TCP") << "TCP/IP"
            << "";
        QTest::newRow("cancel after choosing COM 2")
            << false << 5 << 0xFF << 1 << false << false << 5 << kSerialIni << "COM  5" << line;
        QTest::newRow("cancel in TCP/IP mode")
            << true << 8 << 0xFF << 0 << false << true << 8 << kTcpIni << "TCP/IP"
            << "10.0.0.7";
    }
    void comm()
    {
        QFETCH(bool, tcpMode);
        QFETCH(int, commPort);
        QFETCH(int, present);
        QFETCH(int, option);
        QFETCH(bool, ok);
        QFETCH(bool, tcpAfter);
        QFETCH(int, portAfter);
        QFETCH(QByteArray, iniAfter);
        MainWindow& window = startWindow(tcpMode ? kTcpIni : serialIni(commPort), portsIn(present));
        IndicatorSession& session = window.session();
        QSignalSpy failures(&session, &IndicatorSession::failed);

        // Every opening starts from the channel in force and the ports the probe found.
        for (const bool first : {true, false}) {
            auto* dialog = openFromMenu<PortDialog>(window, window.form().portAction);
            QVERIFY(dialog);
            const int inForce = first ? (tcpMode ? 9 : commPort) : (tcpAfter ? 9 : portAfter);
            QCOMPARE(channelCode(dialog->initialChannel()), inForce);
            QCOMPARE(channelCode(dialog->chosenChannel()), inForce);
            for (int i = 0; i < PortDialog::kOptionCount; ++i) {
                QCOMPARE(dialog->portOption(i)->isChecked(), i == inForce - 1);
                QCOMPARE(dialog->portOption(i)->isVisible(), i != PortDialog::kTcpOption);
                if (i == PortDialog::kTcpOption)
                    continue;
                QCOMPARE(dialog->portOption(i)->isEnabled(), bool((present >> i) & 1));
                QVERIFY(
                    dialog->portOption(i)->toolTip().contains(session.comPorts().device(i + 1)));
            }
            if (!first) {
                QVERIFY(clickAndDiscard(dialog, "cancelButton"));
                break;
            }
            if (option >= 0) {
                if (dialog->portOption(option)->isVisible())
                    QTest::mouseClick(dialog->portOption(option), Qt::LeftButton);
                else
                    dialog->selectOption(option);
                QCOMPARE(channelCode(dialog->chosenChannel()), option + 1);
            }
            QVERIFY(clickAndDiscard(dialog, ok ? "okButton" : "cancelButton"));
            QCOMPARE(session.address().kind == PortAddress::Kind::Tcp, tcpAfter);
            if (!tcpAfter)
                QCOMPARE(session.address().comNumber, portAfter);
            QCOMPARE(m_rig->settings(), iniAfter + m_names);
            QTEST(window.panelText(2), "panel2");
            QTEST(window.panelText(3), "panel3");
            QCOMPARE(session.state(), IndicatorSession::State::Closed);
            QCOMPARE(failures.count(), 0);
        }
    }

    // Start-up leaves the controls as a later confirm would; the first change must still apply.
    void firstOpeningAfterStartUp_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("comOption");
        QTest::addColumn<int>("baudOption");
        QTest::addColumn<QByteArray>("iniAfter");
        QTest::newRow("COM 5 to COM 1, 57600 to 9600")
            << kSerialIni << 0 << 1 << withLine(serialIni(1), "Commbaud= 3", "Commbaud= 1");
        QTest::newRow("no baud code, 19200 to 115200")
            << QByteArray("[CommSettings]\r\nCommPort= 1\r\n") << 4 << 5
            << QByteArray("[CommSettings]\r\nCommPort= 5\r\nCommbaud= 5\r\n");
    }
    void firstOpeningAfterStartUp()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, comOption);
        QFETCH(int, baudOption);
        QFETCH(QByteArray, iniAfter);
        MainWindow& window = startWindow(ini, {1, 5});
        const WindowChannelSettings& channels = window.channels();
        QVERIFY(channels.portPresent(1) && channels.portPresent(5) && !channels.portPresent(2));

        auto* comDialog = openFromMenu<PortDialog>(window, window.form().portAction);
        QVERIFY(comDialog);
        QVERIFY(!comDialog->portOption(1)->isEnabled());
        QTest::mouseClick(comDialog->portOption(comOption), Qt::LeftButton);
        QVERIFY(clickAndDiscard(comDialog, "okButton"));
        QCOMPARE(window.session().address().comNumber, comOption + 1);
        QCOMPARE(window.panelText(2), QStringLiteral("COM  %1").arg(comOption + 1));

        auto* baudDialog = openFromMenu<BaudDialog>(window, window.form().settingsAction);
        QVERIFY(baudDialog);
        QTest::mouseClick(baudDialog->rateOption(baudOption), Qt::LeftButton);
        QVERIFY(clickAndDiscard(baudDialog, "okButton"));
        const QString line = LineSettings::at(LineSettings::kRates[baudOption]).text();
        QCOMPARE(window.session().lineSettings().text(), line);
        QCOMPARE(window.panelText(3), line);
        QCOMPARE(m_rig->settings(), iniAfter + m_names);
    }

    // An open port is closed, changed and opened again; a failed reopen leaves it closed, says
    // so once, and the state follows.
    void reopen_data()
    {
        QTest::addColumn<bool>("baud");
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("port change reopens") << false << true;
        QTest::newRow("port change to a missing device") << false << false;
        QTest::newRow("rate change reopens") << true << true;
        QTest::newRow("rate change, device gone meanwhile") << true << false;
    }
    void reopen()
    {
        QFETCH(bool, baud);
        QFETCH(bool, targetExists);
        WindowRig& rig = *m_rig;
        // COM 1 and COM 2 lead to their adapters by links, as /dev/serial/by-id names do.
        const QString adapter1 = rig.dir.filePath(QStringLiteral("adapter1"));
        const QString adapter2 = rig.dir.filePath(QStringLiteral("adapter2"));
        QVERIFY(QFile::link(rig.port(1).path(), adapter1));
        QVERIFY(QFile::link(rig.port(2).path(), adapter2));
        const QByteArray ini = "[CommSettings]\r\nCommPort= 1\r\nCommbaud= 2\r\n";
        const QByteArray names = rig.portNamesFor({{1, adapter1}, {2, adapter2}}, "\r\n");
        rig.writeSettings(ini + names);
        rig.newWindow();
        MainWindow& window = *rig.window;
        IndicatorSession& session = window.session();
        QSignalSpy failed(&session, &IndicatorSession::failed);

        // The menu offers no choice under an open serial port: the port is opened under the
        // dialog, through the session.
        QDialog* dialog = nullptr;
        if (baud) {
            auto* baudDialog = openFromMenu<BaudDialog>(window, window.form().settingsAction);
            QVERIFY(baudDialog);
            session.open();
            QTest::mouseClick(baudDialog->rateOption(5), Qt::LeftButton);
            // Unplugged while the dialog is open, before the port has noticed: only the reopen
            // can find out.
            if (!targetExists)
                rig.port(1).closeMaster();
            dialog = baudDialog;
        } else {
            auto* comDialog = openFromMenu<PortDialog>(window, window.form().portAction);
            QVERIFY(comDialog);
            session.open();
            QTest::mouseClick(comDialog->portOption(1), Qt::LeftButton);
            // COM 2's adapter, found at start-up, unplugged since.
            if (!targetExists)
                QVERIFY(QFile::remove(adapter2));
            dialog = comDialog;
        }
        QCOMPARE(failed.count(), 0);
        QCOMPARE(session.state(), IndicatorSession::State::Open);
        QVERIFY(clickAndDiscard(dialog, "okButton"));

        QCOMPARE(session.channel().isUsable(), targetExists);
        QCOMPARE(session.state(),
                 targetExists ? IndicatorSession::State::Open : IndicatorSession::State::Closed);
        QCOMPARE(failed.count(), targetExists ? 0 : 1);
        QCOMPARE(session.address().comNumber, baud ? 1 : 2);
        QCOMPARE(session.lineSettings().text(),
                 baud ? QStringLiteral("115200,n,8,1") : "19200,n,8,1");
        QCOMPARE(rig.settings(), (baud ? withLine(ini, "Commbaud= 2", "Commbaud= 5")
                                       : withLine(ini, "CommPort= 1", "CommPort= 2")) +
                                     names);
        QCOMPARE(window.panelText(1),
                 targetExists ? QStringLiteral("Port opened") : QStringLiteral("Port closed"));
        if (!targetExists) {
            QCOMPARE(rig.ui->messages.size(), 1);
            QCOMPARE(rig.ui->messages.first().title, QStringLiteral("Port Error"));
            QCOMPARE(rig.ui->messages.first().text,
                     QStringLiteral("The serial port %1 does not exist.\r\n\r\nPlug in the "
                                    "adapter, or choose another port under Comm > Port.")
                         .arg(session.channel().channelName()));
        }
    }

    void baud_data()
    {
        QTest::addColumn<QByteArray>("code"); // Commbaud in the settings file
        // The line's rate when the dialog opens; a rate outside the six, which neither the
        // settings file nor the menu leads to, is set through the session.
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("checked"); // selected on opening
        QTest::addColumn<int>("option");  // -1: no selection
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("rateAfter");
        QTest::addColumn<QByteArray>("codeAfter");
        QTest::addColumn<QString>("panel3");
        QTest::newRow("57600 kept") << QByteArray("4") << 57600 << 4 << -1 << true << 57600
                                    << QByteArray("4") << "57600,n,8,1";
        QTest::newRow("57600 to 115200") << QByteArray("4") << 57600 << 4 << 5 << true << 115200
                                         << QByteArray("5") << "115200,n,8,1";
        QTest::newRow("4800 kept") << QByteArray("0") << 4800 << 0 << -1 << true << 4800
                                   << QByteArray("0") << "4800,n,8,1";
        QTest::newRow("2400 switched, OK") << QByteArray("5") << 2400 << 3 << -1 << true << 38400
                                           << QByteArray("5") << "38400,n,8,1";
        QTest::newRow("2400 switched, to 9600")
            << QByteArray("5") << 2400 << 3 << 1 << true << 9600 << QByteArray("1") << "9600,n,8,1";
        // Panel 3 keeps the rate from start-up.
        QTest::newRow("no rate, cancel") << QByteArray("5") << 0 << 3 << -1 << false << 38400
                                         << QByteArray("5") << "115200,n,8,1";
        QTest::newRow("no rate, to 4800")
            << QByteArray("5") << 0 << 3 << 0 << true << 4800 << QByteArray("0") << "4800,n,8,1";
        QTest::newRow("cancel after choosing 19200") << QByteArray("4") << 57600 << 4 << 2 << false
                                                     << 57600 << QByteArray("4") << "57600,n,8,1";
    }
    void baud()
    {
        QFETCH(QByteArray, code);
        QFETCH(int, rate);
        QFETCH(int, checked);
        QFETCH(int, option);
        QFETCH(bool, ok);
        QFETCH(int, rateAfter);
        QFETCH(QByteArray, codeAfter);
        const auto iniWith = [](const QByteArray& digit) {
            return withLine(kSerialIni, "Commbaud= 3", "Commbaud= " + digit);
        };
        MainWindow& window = startWindow(iniWith(code), {5});
        IndicatorSession& session = window.session();
        if (session.lineSettings().rate != rate)
            session.setLineSettings(LineSettings::at(rate));
        const QByteArray before = m_rig->settings();
        const QString panelBefore = window.panelText(3);

        auto* dialog = openFromMenu<BaudDialog>(window, window.form().settingsAction);
        QVERIFY(dialog);
        const int shownRate = LineSettings::kRates.at(checked);
        QCOMPARE(dialog->initialRate(), shownRate);
        QCOMPARE(dialog->chosenRate(), shownRate);
        for (int i = 0; i < BaudDialog::kOptionCount; ++i) {
            QCOMPARE(dialog->rateOption(i)->isChecked(), i == checked);
            QVERIFY(dialog->rateOption(i)->isEnabled());
        }
        // A rate outside the six is replaced at once, without touching the file or the panels.
        QCOMPARE(session.lineSettings().rate, shownRate);
        QCOMPARE(m_rig->settings(), before);
        QCOMPARE(window.panelText(3), panelBefore);
        if (option >= 0) {
            QTest::mouseClick(dialog->rateOption(option), Qt::LeftButton);
            QCOMPARE(dialog->chosenRate(), LineSettings::kRates.at(option));
        }
        QVERIFY(clickAndDiscard(dialog, ok ? "okButton" : "cancelButton"));
        QCOMPARE(session.lineSettings().rate, rateAfter);
        QCOMPARE(m_rig->settings(), iniWith(codeAfter) + m_names);
        QTEST(window.panelText(3), "panel3");
        QCOMPARE(session.state(), IndicatorSession::State::Closed);

        auto* next = openFromMenu<BaudDialog>(window, window.form().settingsAction);
        QVERIFY(next);
        QCOMPARE(next->initialRate(), rateAfter);
        QVERIFY(clickAndDiscard(next, "cancelButton"));
    }

    void tcpDialog_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("typed"); // null: left as shown
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("hostAfter");
        QTest::addColumn<QString>("panel3");
        QTest::newRow("unchanged") << "10.0.0.7" << QString() << true << "10.0.0.7"
                                   << "10.0.0.7";
        QTest::newRow("new host") << "10.0.0.7"
                                  << "indicator.local" << true << "indicator.local"
                                  << "indicator.local";
        QTest::newRow("blanks kept") << "10.0.0.7"
                                     << " 10.0.0.9 " << true << " 10.0.0.9 "
                                     << " 10.0.0.9 ";
        QTest::newRow("empty host") << "10.0.0.7"
                                    << "" << true << ""
                                    << "";
        QTest::newRow("cancel after edit") << "10.0.0.7"
                                           << "10.9.9.9" << false << "10.0.0.7"
                                           << "10.0.0.7";
    }
    void tcpDialog()
    {
        QFETCH(QString, host);
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(QString, hostAfter);
        const QByteArray ini = withLine(kTcpIni, "IP= 10.0.0.7", "IP= " + host.toUtf8());
        // No COM port of this machine is probed.
        MainWindow& window = startWindow(ini, {});

        auto* dialog = openFromMenu<TcpHostDialog>(window, window.form().settingsAction);
        QVERIFY(dialog);
        auto* hostBox = dialog->findChild<QLineEdit*>(QStringLiteral("hostEdit"));
        auto* portBox = dialog->findChild<QLineEdit*>(QStringLiteral("portEdit"));
        QCOMPARE(hostBox->text(), host);
        QCOMPARE(portBox->text(), QStringLiteral("1234"));
        QVERIFY(portBox->isReadOnly());
        if (!typed.isNull()) {
            hostBox->selectAll();
            QTest::keyClick(hostBox, Qt::Key_Delete);
            QTest::keyClicks(hostBox, typed);
        }
        QVERIFY(clickAndDiscard(dialog, ok ? "okButton" : "cancelButton"));
        QCOMPARE(window.channels().inForce().host, hostAfter);
        QCOMPARE(window.session().address().host, hostAfter);
        QCOMPARE(window.session().address().tcpPort, 1234);
        QTEST(window.panelText(3), "panel3");
        QCOMPARE(m_rig->settings(), ini + m_names);

        // The next opening shows the host in force.
        auto* next = openFromMenu<TcpHostDialog>(window, window.form().settingsAction);
        QVERIFY(next);
        QCOMPARE(next->findChild<QLineEdit*>(QStringLiteral("hostEdit"))->text(), hostAfter);
        QVERIFY(clickAndDiscard(next, "cancelButton"));
    }

    void windows_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("PortDialog")
            << 0 << "Set COM PORT" << QSize(284, 185) << QStringList{"OK", "Cancel"};
        QTest::newRow("BaudDialog")
            << 1 << "Set Baudrate" << QSize(351, 135) << QStringList{"OK", "Cancel"};
        QTest::newRow("TcpHostDialog")
            << 2 << "TCP/IP Settings" << QSize(291, 135) << QStringList{"Aceptar", "Cancelar"};
    }
    void windows()
    {
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(QSize, size);
        QFETCH(QStringList, buttons);
        MainWindow& window = startWindow(kind == 2 ? kTcpIni : kSerialIni, {5});
        QAction* action = kind == 0 ? window.form().portAction : window.form().settingsAction;
        auto* dialog = openFromMenu<QDialog>(window, action);
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(dialog->windowTitle(), title);
        QCOMPARE(dialog->size(), size);
        QCOMPARE(dialog->minimumSize(), size);
        QCOMPARE(dialog->maximumSize(), size);
        QVERIFY(dialog->isModal());
        QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!(dialog->windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!dialog->windowIcon().isNull());
        const char* names[] = {"okButton", "cancelButton"};
        for (int i = 0; i < 2; ++i) {
            QPushButton* b = button(dialog, names[i]);
            QCOMPARE(b->text(), buttons.at(i));
            QVERIFY(b->font().bold());
            QCOMPARE(b->font().pointSizeF(), 8.25);
            QVERIFY(!b->isDefault() && !b->autoDefault());
        }
        // No cancel button: Escape leaves the dialog open.
        QPointer<QDialog> guard(dialog);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(guard && dialog->isVisible());
        // The tab order starts with the two buttons.
        QCOMPARE(button(dialog, "okButton")->nextInFocusChain(), button(dialog, "cancelButton"));
        QVERIFY(clickAndDiscard(dialog, "cancelButton"));
    }

    void toolTip_data()
    {
        QTest::addColumn<QStringList>("details"); // description, manufacturer, serial number
        QTest::addColumn<QString>("lines");
        QTest::newRow("unknown device") << QStringList{"", "", ""} << "";
        QTest::newRow("FTDI cable")
            << QStringList{"FT232R USB UART", "FTDI", "A10K3X"}
            << "\nAdapter: FT232R USB UART\nManufacturer: FTDI\nSerial number: A10K3X";
        QTest::newRow("blank details skipped")
            << QStringList{" ", "Prolific", ""} << "\nManufacturer: Prolific";
    }
    void toolTip()
    {
        QFETCH(QStringList, details);
        QFETCH(QString, lines);
        QCOMPARE(PortToolTip::text(QStringLiteral("/dev/ttyUSB0"),
                                   {details.at(0), details.at(1), details.at(2)}),
                 "Device: /dev/ttyUSB0" + lines);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
