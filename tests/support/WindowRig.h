#pragma once

#include "IndicatorSimulator.h"
#include "app/MainWindow.h"
#include "app/TicketSlotBox.h"
#include "support/FakeUiServices.h"
#include "support/PseudoTerminal.h"
#include "support/TestFiles.h"
#include "ui_MainWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <memory>

// The main window as the program makes it at start-up, on a settings file of its own in a
// folder of its own, with FakeUiServices answering for the operator; where a test wants one, the
// simulated indicator behind COM 1 or a TCP port; and the operator's usual steps. A check that
// fails here fails the running test.
class WindowRig {
public:
    enum Transport { Serial, Tcp };

    WindowRig() = default;
    // Started at once: see start().
    explicit WindowRig(Transport transport, const QByteArray& rateCode = "5",
                       const sim::Faults& faults = {})
    {
        start(transport, rateCode, faults);
    }
    WindowRig(const WindowRig&) = delete;
    WindowRig& operator=(const WindowRig&) = delete;
    ~WindowRig()
    {
        // The window holds channels to the indicator and to the pseudo-terminals: it goes first.
        window.reset();
        indicator.reset();
    }

    QTemporaryDir dir;
    const QString settingsPath = dir.filePath(QStringLiteral("TicketTalvor.ini"));
    // Downloads are recorded here, not in the user's data folder.
    QString recordPath = dir.filePath(QStringLiteral("record/downloads.jsonl"));
    // How newWindow() makes the window: shown, and with messages recorded instead of shown.
    bool showWindow = true;
    bool realMessageBoxes = false;

    std::unique_ptr<sim::IndicatorSimulator> indicator;
    std::unique_ptr<MainWindow> window;
    FakeUiServices* ui = nullptr; // none with real message boxes

    Ui::MainWindow& form() { return window->form(); }

    // The simulated indicator, under the faults, on a pseudo-terminal and a TCP port.
    void startIndicator(const sim::Faults& faults = {})
    {
        indicator = std::make_unique<sim::IndicatorSimulator>();
        indicator->setFaults(faults);
        QString error;
        QVERIFY2(indicator->startPty(&error) && indicator->startTcp(0, &error), qPrintable(error));
    }
    // Settings that lead to the indicator: COM 1 mapped to its pseudo-terminal at the rate of
    // rateCode ("5": 115200), or its TCP port.
    QByteArray settingsFor(Transport transport, const QByteArray& rateCode = "5") const
    {
        if (transport == Tcp)
            return "[CommSettings]\nCommPort=TCP\nIP=127.0.0.1\nPort=" +
                   QByteArray::number(indicator->tcpPort()) + "\n";
        return "[CommSettings]\nCommPort= 1\nCommbaud= " + rateCode +
               "\n\n[PortNames]\nCOM1=" + indicator->ptyPath().toLocal8Bit() + "\n";
    }
    // [PortNames] with COM k mapped to a pseudo-terminal of the rig's own for each k in present
    // and to a path that does not exist for the others, so that the start-up probe finds
    // exactly those, whatever ports the machine has.
    QByteArray portNames(const QList<int>& present, const QByteArray& lineEnd = "\n")
    {
        std::map<int, QString> devices;
        for (const int k : present)
            devices[k] = port(k).path();
        return portNamesFor(devices, lineEnd);
    }
    // [PortNames] with COM k mapped to devices[k], the others to paths that do not exist.
    QByteArray portNamesFor(const std::map<int, QString>& devices, const QByteArray& lineEnd = "\n")
    {
        QByteArray text = "[PortNames]" + lineEnd;
        for (int k = 1; k <= ComPorts::kCount; ++k) {
            const auto device = devices.find(k);
            const QString path = device != devices.end()
                                     ? device->second
                                     : dir.filePath(QStringLiteral("missing%1").arg(k));
            text += "COM" + QByteArray::number(k) + "=" + path.toLocal8Bit() + lineEnd;
        }
        return text;
    }
    // COM k's pseudo-terminal, made at the first call.
    PseudoTerminal& port(int comNumber)
    {
        std::unique_ptr<PseudoTerminal>& terminal = m_ports[comNumber];
        if (!terminal)
            terminal = std::make_unique<PseudoTerminal>();
        return *terminal;
    }
    void writeSettings(const QByteArray& bytes) { QVERIFY(TestFiles::write(settingsPath, bytes)); }
    QByteArray settings() const { return TestFiles::read(settingsPath); }

    // The indicator, settings that lead to it, and the window on them.
    void start(Transport transport, const QByteArray& rateCode = "5",
               const sim::Faults& faults = {})
    {
        startIndicator(faults);
        writeSettings(settingsFor(transport, rateCode));
        newWindow();
    }
    // A window on the settings file, as the program makes it at start-up; the one before, if
    // any, is gone first, as at a restart.
    void newWindow()
    {
        window.reset();
        ui = nullptr;
        std::unique_ptr<FakeUiServices> fake;
        if (!realMessageBoxes) {
            fake = std::make_unique<FakeUiServices>();
            ui = fake.get();
        }
        window = std::make_unique<MainWindow>(settingsPath, std::move(fake));
        window->recorder().setPath(recordPath);
        if (showWindow)
            window->show();
    }

    // Comm > Open unless open, then Connect: the indicator answered and the ticket area shows.
    void openAndQuery()
    {
        if (window->session().state() == IndicatorSession::State::Closed)
            form().openCloseAction->trigger();
        if (window->session().address().isNetwork())
            QTRY_VERIFY(window->session().channel().isUsable());
        QVERIFY(form().connectButton->isEnabled());
        form().connectButton->click();
        QTRY_VERIFY(window->slotBox(1)->isVisible());
        QTRY_VERIFY(form().connectButton->isEnabled());
        QVERIFY2(ui->messages.isEmpty(), qPrintable(ui->texts().join(u'|')));
    }

    // A file below the rig's folder; its path, empty when it could not be written.
    QString writeFile(const QString& relativePath, const QByteArray& bytes)
    {
        const QString path = dir.filePath(relativePath);
        QDir().mkpath(QFileInfo(path).absolutePath());
        return TestFiles::write(path, bytes) ? path : QString();
    }
    // Add Ticket, with the file dialog answered by path.
    void addTicket(int slot, const QString& path)
    {
        ui->fileChoices.append(path);
        window->slotBox(slot)->loadButton()->click();
        QCOMPARE(window->slotBox(slot)->loadButton()->text(), QStringLiteral("Remove"));
    }
    // Add Ticket with a file of the bytes.
    void addTicketBytes(int slot, const QByteArray& bytes)
    {
        addTicket(slot, writeFile(QStringLiteral("slot%1.prn").arg(slot), bytes));
    }

    // DownLoad, and the wait for its end.
    void download()
    {
        QVERIFY(form().downloadButton->isEnabled());
        // A signal spy waits in a real event loop; the QTRY macros sleep 10 ms between looks,
        // which would slow thousands of exchanges a hundredfold.
        QSignalSpy finished(&window->downloader(), &Downloader::finished);
        form().downloadButton->click();
        QVERIFY(finished.count() == 1 || finished.wait(60000));
    }

    // Lines the indicator received that start with prefix; an empty prefix counts lone CRs.
    int linesReceived(const QByteArray& prefix) const
    {
        int count = 0;
        for (const QByteArray& line : indicator->commandLines())
            count += (prefix.isEmpty() ? line.isEmpty() : line.startsWith(prefix)) ? 1 : 0;
        return count;
    }

private:
    std::map<int, std::unique_ptr<PseudoTerminal>> m_ports;
};
