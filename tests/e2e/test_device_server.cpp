// The indicator behind a serial device server: ser2net in front of the simulated indicator's
// pseudo-terminal, reached by RFC 2217 from the command line and from the window, the rate set
// from here and seen on the indicator's own line.
#include "support/Ser2Net.h"
#include "support/WindowRig.h"

#include <QAction>
#include <QDialog>
#include <optional>

namespace {
constexpr int kRunMs = 60000;
const QByteArray kTicket = "ticket behind a device server\r\n\xFF\x00\xFE";

struct Run {
    int exitCode = -1;
    QString err;
};
} // namespace

class TestDeviceServer : public QObject {
    Q_OBJECT

    std::optional<WindowRig> m_rig;
    std::unique_ptr<Ser2Net> m_ser2net;

    // The simulator, hearing its line only at the rate expected, behind ser2net.
    void start(int expectBaud)
    {
        sim::Faults faults;
        faults.expectBaud = expectBaud;
        faults.baud = 115200; // a download takes long enough to be cut short
        m_rig->startIndicator(faults);
        m_ser2net = std::make_unique<Ser2Net>();
        // The raw accepter leads to the same indicator, as a device server's raw port does.
        const QString ptyPath = m_rig->indicator->ptyPath();
        const QString error = m_ser2net->start(ptyPath, ptyPath);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    Run cli(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_rig->dir.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_rig->dir.filePath("config"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_rig->dir.path());
        process.start(QStringLiteral(TALVOR_CLI_PATH), arguments);
        Run run;
        // The event loop runs meanwhile: the simulator's signals reach this thread.
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kRunMs))
            return run;
        run.exitCode = process.exitCode();
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

private slots:
    void init()
    {
        REQUIRE_SER2NET();
        m_rig.emplace();
        QVERIFY(!m_rig->writeFile("t.prn", kTicket).isEmpty());
        QVERIFY(!m_rig->writeFile("long.prn", QByteArray(4000, 'L')).isEmpty());
    }
    void cleanup()
    {
        m_ser2net.reset();
        m_rig.reset();
    }

    void commandLine_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("accepter");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // on stderr
        QTest::newRow("115200") << 115200 << "rfc2217" << 0 << "stored: slot 1";
        QTest::newRow("9600") << 9600 << "rfc2217" << 0 << "stored: slot 1";
        QTest::newRow("a raw port") << 9600 << "raw" << 3 << "does not speak RFC 2217";
        QTest::newRow("ser2net goes away")
            << 115200 << "gone" << 3 << "Update Error: The connection to the indicator was lost.";
    }
    // --baud sets the device server's line: the indicator hears only at the rate it expects.
    void commandLine()
    {
        QFETCH(int, rate);
        QFETCH(QString, accepter);
        start(rate);
        const quint16 port = accepter == "raw" ? m_ser2net->rawPort() : m_ser2net->rfc2217Port();
        if (accepter == "gone") {
            // Gone after some 100 data blocks, in the middle of the download.
            connect(m_rig->indicator.get(), &sim::IndicatorSimulator::lineReceived, this, [this] {
                if (m_rig->indicator->counters().commands >= 120)
                    m_ser2net->stop();
            });
        }
        const Run run =
            cli({"download", "--port", QStringLiteral("rfc2217://127.0.0.1:%1").arg(port), "--baud",
                 QString::number(rate), "--slot", accepter == "gone" ? "1=long.prn" : "1=t.prn",
                 "--no-record"});
        QFETCH(int, exitCode);
        QCOMPARE(run.exitCode, exitCode);
        QFETCH(QString, said);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        // The indicator hears its line only at the rate it expects: stored means the device
        // server's line was set to it.
        QCOMPARE(m_rig->indicator->slot(1), exitCode == 0 ? kTicket : QByteArray());
        // One message for the loss, not one per layer.
        QCOMPARE(run.err.count("connection to the indicator"), accepter == "gone" ? 1 : 0);
    }

    // CommPort=RFC2217: the window queries and downloads through the device server, and its
    // rate window sets the device server's line at once.
    void window()
    {
        start(115200);
        m_rig->writeSettings("[CommSettings]\r\nCommPort=RFC2217\r\nIP=127.0.0.1\r\nPort=" +
                             QByteArray::number(m_ser2net->rfc2217Port()) + "\r\nCommBaud=5\r\n");
        m_rig->newWindow();
        MainWindow& window = *m_rig->window;
        FakeUiServices& messages = *m_rig->ui;
        const QString where = QStringLiteral("127.0.0.1:%1 ").arg(m_ser2net->rfc2217Port());
        QCOMPARE(window.panelText(2), QStringLiteral("RFC 2217"));
        QCOMPARE(window.panelText(3), where + "115200,n,8,1");

        window.form().openCloseAction->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(window.session().state(), IndicatorSession::State::Open, 10000);
        QCOMPARE(m_rig->indicator->ptyBaudRate(), 115200);
        window.form().connectButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(window.slotBox(1)->isVisible(), 10000);
        messages.fileChoices.append(m_rig->dir.filePath("t.prn"));
        window.slotBox(1)->loadButton()->click();
        QSignalSpy finished(&window.downloader(), &Downloader::finished);
        window.form().downloadButton->click();
        QVERIFY(finished.wait(kRunMs));
        QVERIFY2(messages.messages.isEmpty(), qPrintable(messages.texts().join(u'|')));
        QCOMPARE(m_rig->indicator->slot(1), kTicket);

        // Open as the line is: the rate window applies at once, on the device server.
        QVERIFY(window.form().settingsAction->isEnabled());
        window.form().settingsAction->trigger();
        auto* dialog = window.findChild<QDialog*>();
        QVERIFY(dialog);
        auto* option = dialog->findChild<QAbstractButton*>("rateOption1"); // 9600
        QVERIFY(option);
        option->click();
        dialog->findChild<QPushButton*>("okButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig->indicator->ptyBaudRate(), 9600, 5000);
        QCOMPARE(window.panelText(3), where + "9600,n,8,1");
        QVERIFY2(m_rig->settings().contains("CommBaud= 1"), m_rig->settings().constData());
        QCOMPARE(window.session().state(), IndicatorSession::State::Open);
    }
};

QTEST_MAIN(TestDeviceServer)
#include "test_device_server.moc"
