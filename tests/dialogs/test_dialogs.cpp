#include "app/ChannelPanels.h"
#include "dialogs/BaudDialog.h"
#include "dialogs/PortDialog.h"
#include "dialogs/PortToolTip.h"
#include "dialogs/TcpHostDialog.h"
#include "session/FailureTexts.h"
#include "session/WindowChannelSettings.h"
#include "support/FakeUiServices.h"
#include "support/PseudoTerminal.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace {

const QByteArray kSerialIni = "[CommSettings]\r\nCommPort= 5\r\nCommbaud= 3\r\n";
const QByteArray kTcpIni = "[CommSettings]\r\nCommPort= TCP\r\nIP= 10.0.0.7\r\nPort= 1234\r\n";

QByteArray withLine(QByteArray ini, const QByteArray& from, const QByteArray& to)
{
    return ini.replace(from, to);
}

// The panels a choice writes, "2:COM  3" for status panel 2.
QStringList panels(const ChannelPanels::Texts& texts)
{
    QStringList shown;
    if (texts.channel)
        shown.append(QStringLiteral("2:") + *texts.channel);
    if (texts.line)
        shown.append(QStringLiteral("3:") + *texts.line);
    return shown;
}

// What the main window does with a choice confirmed in a dialog.
QStringList applyPort(WindowChannelSettings& channels, const PortDialog& dialog)
{
    if (dialog.result() != QDialog::Accepted)
        return {};
    return panels(ChannelPanels::choosePort(channels, dialog.chosenChannel()));
}
QStringList applyRate(WindowChannelSettings& channels, const BaudDialog& dialog)
{
    if (dialog.result() != QDialog::Accepted)
        return {};
    return panels(ChannelPanels::chooseRate(channels, dialog.chosenRate()));
}
QStringList applyHost(WindowChannelSettings& channels, const TcpHostDialog& dialog)
{
    if (dialog.result() != QDialog::Accepted)
        return {};
    return panels(ChannelPanels::chooseHost(channels, dialog.chosenHost()));
}

QPushButton* button(QDialog* dialog, const char* name)
{
    return dialog->findChild<QPushButton*>(QLatin1String(name));
}

// Clicks the button, runs apply on the closed dialog as the window does, and lets the dialog be
// discarded; false when it was not.
template <typename Dialog>
bool clickAndDiscard(Dialog* dialog, const char* name,
                     const std::function<void(const Dialog&)>& apply = {})
{
    QPointer<QDialog> guard(dialog);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, apply] {
        if (apply)
            apply(*dialog);
    });
    QTest::mouseClick(button(dialog, name), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return guard.isNull();
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_fileCount = 0;

    QString iniWith(const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("t%1.ini").arg(++m_fileCount));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }
    static QByteArray bytesOf(const QString& path) { return TestFiles::read(path); }
    static void setPresent(WindowChannelSettings& state, quint8 mask)
    {
        for (int k = 1; k <= ComPorts::kCount; ++k)
            state.setPortPresent(k, (mask >> (k - 1)) & 1);
    }
    // Puts the channel in force in TCP/IP mode, as a stored "TCP" would at start-up.
    static void setTcpMode(WindowChannelSettings& state)
    {
        state.choosePort(ChannelSettings::Choice::network());
    }
    static bool isTcpMode(const WindowChannelSettings& state)
    {
        return state.session().address().kind == PortAddress::Kind::Tcp;
    }
    static int channelCode(const ChannelSettings::Choice& choice)
    {
        return choice.isNetwork() ? PortDialog::kTcpOption + 1 : choice.comNumber;
    }

    // The channel manager over a session of its own, as the main window has them.
    struct Channels {
        IndicatorSession session;
        WindowChannelSettings state;
        explicit Channels(const QString& path)
            : state(session, path)
        {
        }
    };

private slots:
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
        QTest::addColumn<QStringList>("panelTexts");
        const QByteArray com1 = withLine(kSerialIni, "CommPort= 5", "CommPort= 1");
        QTest::newRow("TCP/IP kept")
            << true << 8 << 0x7F << -1 << true << true << 8 << kTcpIni << QStringList();
        QTest::newRow("TCP/IP to COM 3")
            << true << 8 << 0xFF << 2 << true << false << 3
            << withLine(kTcpIni, "CommPort= TCP", "CommPort= 3") << QStringList{"2:COM  3"};
        QTest::newRow("COM 5 to COM 1")
            << false << 5 << 0xFF << 0 << true << false << 1 << com1 << QStringList{"2:COM  1"};
        QTest::newRow("COM 1 and 3 only, COM 3 kept") << false << 3 << 0x05 << -1 << true << false
                                                      << 3 << kSerialIni << QStringList{"2:COM  3"};
        QTest::newRow("absent COM 8 to COM 1")
            << false << 8 << 0x01 << 0 << true << false << 1 << com1 << QStringList{"2:COM  1"};
        QTest::newRow("COM 5 to hidden TCP/IP")
            << false << 5 << 0xFF << 8 << true << true << 5
            << withLine(kSerialIni, "CommPort= 5", "CommPort= TCP")
            << QStringList{"2:TCP/IP", "3:"};
        QTest::newRow("cancel after choosing COM 2")
            << false << 5 << 0xFF << 1 << false << false << 5 << kSerialIni << QStringList();
        QTest::newRow("cancel in TCP/IP mode")
            << true << 8 << 0xFF << 0 << false << true << 8 << kTcpIni << QStringList();
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
        QFETCH(QStringList, panelTexts);
        const QString path = iniWith(tcpMode ? kTcpIni : kSerialIni);
        Channels channels(path);
        WindowChannelSettings& state = channels.state;
        QSignalSpy failures(&channels.session, &IndicatorSession::failed);
        setPresent(state, present);
        channels.session.setAddress(PortAddress::com(commPort));
        if (tcpMode)
            setTcpMode(state);

        // Every opening starts from the channel in force and the ports the probe found.
        for (const bool first : {true, false}) {
            auto* dialog = new PortDialog(state.inForce());
            dialog->show();
            const int inForce = first ? (tcpMode ? 9 : commPort) : (tcpAfter ? 9 : portAfter);
            QCOMPARE(channelCode(dialog->initialChannel()), inForce);
            QCOMPARE(channelCode(dialog->chosenChannel()), inForce);
            for (int i = 0; i < PortDialog::kOptionCount; ++i) {
                QCOMPARE(dialog->portOption(i)->isChecked(), i == inForce - 1);
                QCOMPARE(dialog->portOption(i)->isVisible(), i != PortDialog::kTcpOption);
                if (i == PortDialog::kTcpOption)
                    continue;
                QCOMPARE(dialog->portOption(i)->isEnabled(), bool((present >> i) & 1));
                QVERIFY(dialog->portOption(i)->toolTip().contains(
                    channels.session.comPorts().device(i + 1)));
            }
            if (!first) {
                delete dialog;
                break;
            }
            if (option >= 0) {
                if (dialog->portOption(option)->isVisible())
                    QTest::mouseClick(dialog->portOption(option), Qt::LeftButton);
                else
                    dialog->selectOption(option);
                QCOMPARE(channelCode(dialog->chosenChannel()), option + 1);
            }
            QStringList shown;
            QVERIFY(clickAndDiscard<PortDialog>(
                dialog, ok ? "okButton" : "cancelButton",
                [&](const PortDialog& closed) { shown = applyPort(state, closed); }));
            QCOMPARE(isTcpMode(state), tcpAfter);
            if (!tcpAfter)
                QCOMPARE(channels.session.address().comNumber, portAfter);
            QCOMPARE(bytesOf(path), iniAfter);
            QCOMPARE(shown, panelTexts);
            QCOMPARE(channels.session.state(), IndicatorSession::State::Closed);
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
            << kSerialIni << 0 << 1
            << withLine(withLine(kSerialIni, "CommPort= 5", "CommPort= 1"), "Commbaud= 3",
                        "Commbaud= 1");
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
        PseudoTerminal com1;
        PseudoTerminal com5;
        QVERIFY(com1.isValid() && com5.isValid());
        // Every COM number is mapped, so that the machine's own ports play no part.
        QByteArray names = "[PortNames]\r\n";
        for (int k = 1; k <= ComPorts::kCount; ++k) {
            const QString device = k == 1   ? com1.path()
                                   : k == 5 ? com5.path()
                                            : m_dir.filePath(QStringLiteral("none"));
            names += QStringLiteral("COM%1=%2\r\n").arg(k).arg(device).toLatin1();
        }
        const QString path = iniWith(ini + names);
        Channels channels(path);
        WindowChannelSettings& state = channels.state;
        state.startUp();
        QVERIFY(state.portPresent(1) && state.portPresent(5) && !state.portPresent(2));

        auto* comDialog = new PortDialog(state.inForce());
        comDialog->show();
        QVERIFY(!comDialog->portOption(1)->isEnabled());
        QTest::mouseClick(comDialog->portOption(comOption), Qt::LeftButton);
        QStringList comShown;
        QVERIFY(clickAndDiscard<PortDialog>(comDialog, "okButton", [&](const PortDialog& closed) {
            comShown = applyPort(state, closed);
        }));
        QCOMPARE(channels.session.address().comNumber, comOption + 1);
        QCOMPARE(comShown, QStringList{"2:" + QStringLiteral("COM  %1").arg(comOption + 1)});

        auto* baudDialog = new BaudDialog(state.rateForDialog());
        baudDialog->show();
        QTest::mouseClick(baudDialog->rateOption(baudOption), Qt::LeftButton);
        QStringList baudShown;
        QVERIFY(clickAndDiscard<BaudDialog>(baudDialog, "okButton", [&](const BaudDialog& closed) {
            baudShown = applyRate(state, closed);
        }));
        const QString line = LineSettings::at(LineSettings::kRates[baudOption]).text();
        QCOMPARE(channels.session.lineSettings().text(), line);
        QCOMPARE(baudShown, QStringList{"3:" + line});
        QCOMPARE(bytesOf(path), iniAfter + names);
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
        PseudoTerminal first;
        PseudoTerminal second;
        QVERIFY(first.isValid() && second.isValid());
        const QString link = m_dir.filePath(QStringLiteral("link%1").arg(++m_fileCount));
        QVERIFY(QFile::link(first.path(), link));
        const QString path = iniWith(kSerialIni);
        Channels channels(path);
        WindowChannelSettings& state = channels.state;
        IndicatorSession& session = channels.session;
        setPresent(state, 0xFF);
        ComPorts ports;
        ports.devices[0] = link;
        ports.devices[1] = targetExists ? second.path() : m_dir.filePath(QStringLiteral("none"));
        session.setComPorts(ports);
        session.setAddress(PortAddress::com(1));
        session.setLineSettings(LineSettings::at(19200));
        QSignalSpy failed(&session, &IndicatorSession::failed);
        session.open();
        QCOMPARE(session.state(), IndicatorSession::State::Open);
        if (baud) {
            auto* baudDialog = new BaudDialog(state.rateForDialog());
            baudDialog->selectOption(5);
            // Unplugged while the dialog is open, before the port has noticed: only the reopen
            // can find out.
            if (!targetExists)
                first.closeMaster();
            baudDialog->show();
            QVERIFY(
                clickAndDiscard<BaudDialog>(baudDialog, "okButton", [&](const BaudDialog& closed) {
                    applyRate(state, closed);
                }));
        } else {
            auto* comDialog = new PortDialog(state.inForce());
            comDialog->selectOption(1);
            comDialog->show();
            QVERIFY(
                clickAndDiscard<PortDialog>(comDialog, "okButton", [&](const PortDialog& closed) {
                    applyPort(state, closed);
                }));
        }

        QCOMPARE(session.channel().isUsable(), targetExists);
        QCOMPARE(session.state(),
                 targetExists ? IndicatorSession::State::Open : IndicatorSession::State::Closed);
        QCOMPARE(failed.count(), targetExists ? 0 : 1);
        QCOMPARE(session.address().comNumber, baud ? 1 : 2);
        QCOMPARE(session.lineSettings().text(),
                 baud ? QStringLiteral("115200,n,8,1") : "19200,n,8,1");
        QCOMPARE(bytesOf(path), baud ? withLine(kSerialIni, "Commbaud= 3", "Commbaud= 5")
                                     : withLine(kSerialIni, "CommPort= 5", "CommPort= 2"));
        if (!targetExists) {
            const auto message =
                FailureTexts::forWindow(failed.first().first().value<SessionFailure>());
            QCOMPARE(message->title, QStringLiteral("Port Error"));
            QCOMPARE(message->text,
                     QStringLiteral("The serial port %1 does not exist.\r\n\r\nPlug in the "
                                    "adapter, or choose another port under Comm > Port.")
                         .arg(session.channel().channelName()));
        }
        session.close();
    }

    void baud_data()
    {
        QTest::addColumn<int>("rate");    // the line's rate when the dialog opens
        QTest::addColumn<int>("checked"); // selected on opening
        QTest::addColumn<int>("option");  // -1: no selection
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("rateAfter");
        QTest::addColumn<QByteArray>("iniAfter");
        QTest::addColumn<QStringList>("panelTexts");
        const auto code = [](const char* digit) {
            return withLine(kSerialIni, "Commbaud= 3", QByteArray("Commbaud= ") + digit);
        };
        QTest::newRow("57600 kept")
            << 57600 << 4 << -1 << true << 57600 << kSerialIni << QStringList{"3:57600,n,8,1"};
        QTest::newRow("57600 to 115200")
            << 57600 << 4 << 5 << true << 115200 << code("5") << QStringList{"3:115200,n,8,1"};
        QTest::newRow("4800 kept")
            << 4800 << 0 << -1 << true << 4800 << kSerialIni << QStringList{"3:4800,n,8,1"};
        QTest::newRow("2400 switched, OK")
            << 2400 << 3 << -1 << true << 38400 << kSerialIni << QStringList{"3:38400,n,8,1"};
        QTest::newRow("2400 switched, to 9600")
            << 2400 << 3 << 1 << true << 9600 << code("1") << QStringList{"3:9600,n,8,1"};
        QTest::newRow("no rate, cancel")
            << 0 << 3 << -1 << false << 38400 << kSerialIni << QStringList();
        QTest::newRow("no rate, to 4800")
            << 0 << 3 << 0 << true << 4800 << code("0") << QStringList{"3:4800,n,8,1"};
        QTest::newRow("cancel after choosing 19200")
            << 57600 << 4 << 2 << false << 57600 << kSerialIni << QStringList();
    }
    void baud()
    {
        QFETCH(int, rate);
        QFETCH(int, checked);
        QFETCH(int, option);
        QFETCH(bool, ok);
        QFETCH(int, rateAfter);
        QFETCH(QByteArray, iniAfter);
        QFETCH(QStringList, panelTexts);
        const QString path = iniWith(kSerialIni);
        Channels channels(path);
        WindowChannelSettings& state = channels.state;
        channels.session.setLineSettings(LineSettings::at(rate));
        auto* dialog = new BaudDialog(state.rateForDialog());
        dialog->show();
        const int shownRate = LineSettings::kRates.at(checked);
        QCOMPARE(dialog->initialRate(), shownRate);
        QCOMPARE(dialog->chosenRate(), shownRate);
        for (int i = 0; i < BaudDialog::kOptionCount; ++i) {
            QCOMPARE(dialog->rateOption(i)->isChecked(), i == checked);
            QVERIFY(dialog->rateOption(i)->isEnabled());
        }
        // A rate outside the six is replaced at once, without touching the file or the panels.
        QCOMPARE(channels.session.lineSettings().rate, shownRate);
        QCOMPARE(bytesOf(path), kSerialIni);
        if (option >= 0) {
            QTest::mouseClick(dialog->rateOption(option), Qt::LeftButton);
            QCOMPARE(dialog->chosenRate(), LineSettings::kRates.at(option));
        }
        QStringList shown;
        QVERIFY(clickAndDiscard<BaudDialog>(
            dialog, ok ? "okButton" : "cancelButton",
            [&](const BaudDialog& closed) { shown = applyRate(state, closed); }));
        QCOMPARE(channels.session.lineSettings().rate, rateAfter);
        QCOMPARE(bytesOf(path), iniAfter);
        QCOMPARE(shown, panelTexts);
        QCOMPARE(channels.session.state(), IndicatorSession::State::Closed);

        auto* next = new BaudDialog(state.rateForDialog());
        QCOMPARE(next->initialRate(), rateAfter);
        delete next;
    }

    void tcpDialog_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("typed"); // null: left as shown
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("hostAfter");
        QTest::addColumn<QStringList>("panelTexts");
        QTest::newRow("unchanged")
            << "10.0.0.7" << QString() << true << "10.0.0.7" << QStringList{"3:10.0.0.7"};
        QTest::newRow("new host") << "10.0.0.7"
                                  << "indicator.local" << true << "indicator.local"
                                  << QStringList{"3:indicator.local"};
        QTest::newRow("blanks kept")
            << "10.0.0.7"
            << " 10.0.0.9 " << true << " 10.0.0.9 " << QStringList{"3: 10.0.0.9 "};
        QTest::newRow("empty host") << "10.0.0.7"
                                    << "" << true << "" << QStringList{"3:"};
        QTest::newRow("cancel after edit") << "10.0.0.7"
                                           << "10.9.9.9" << false << "10.0.0.7" << QStringList();
    }
    void tcpDialog()
    {
        QFETCH(QString, host);
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(QString, hostAfter);
        QFETCH(QStringList, panelTexts);
        // No COM port of this machine is probed.
        QByteArray ini = kTcpIni + "[PortNames]\r\n";
        for (int k = 1; k <= ComPorts::kCount; ++k)
            ini += "COM" + QByteArray::number(k) + "=" + m_dir.filePath("none").toUtf8() + "\r\n";
        const QString path = iniWith(ini);
        Channels channels(path);
        WindowChannelSettings& state = channels.state;
        state.startUp();
        state.chooseHost(host);

        auto* dialog = new TcpHostDialog(state.inForce());
        dialog->show();
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
        QStringList shown;
        QVERIFY(clickAndDiscard<TcpHostDialog>(
            dialog, ok ? "okButton" : "cancelButton",
            [&](const TcpHostDialog& closed) { shown = applyHost(state, closed); }));
        QCOMPARE(state.inForce().host, hostAfter);
        QCOMPARE(channels.session.address().host, hostAfter);
        QCOMPARE(channels.session.address().tcpPort, 1234);
        QCOMPARE(shown, panelTexts);
        QCOMPARE(bytesOf(path), ini);

        // The next opening shows the host in force.
        auto* next = new TcpHostDialog(state.inForce());
        QCOMPARE(next->findChild<QLineEdit*>(QStringLiteral("hostEdit"))->text(), hostAfter);
        delete next;
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
        Channels channels(iniWith(kSerialIni));
        WindowChannelSettings& state = channels.state;
        QDialog* dialog = kind == 0   ? static_cast<QDialog*>(new PortDialog(state.inForce()))
                          : kind == 1 ? static_cast<QDialog*>(new BaudDialog(state.rateForDialog()))
                                      : static_cast<QDialog*>(new TcpHostDialog(state.inForce()));
        dialog->show();
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
        delete dialog;
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
