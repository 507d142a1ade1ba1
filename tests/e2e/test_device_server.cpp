// The indicator behind a serial device server: ser2net in front of the simulated indicator's
// pseudo-terminal, reached by RFC 2217 from the command line and from the window, the rate set
// from here and seen on the indicator's own line; also inside TLS, through ser2net's own and
// through a terminator that demands client certificates.
#include "support/Ser2Net.h"
#include "support/TestCertificates.h"
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
    QString out;
};
} // namespace

class TestDeviceServer : public QObject {
    Q_OBJECT

    std::optional<WindowRig> m_rig;
    std::unique_ptr<Ser2Net> m_ser2net;
    std::unique_ptr<TestCertificates> m_certs;
    std::unique_ptr<TlsTerminator> m_terminator;

    // The simulator, hearing its line only at the rate expected, behind ser2net: RFC 2217 and
    // raw accepters, plain or inside TLS with the tlsServer's key and certificate.
    void start(int expectBaud, const QString& tlsServer = {})
    {
        sim::Faults faults;
        faults.expectBaud = expectBaud;
        faults.baud = 115200; // a download takes long enough to be cut short
        m_rig->startIndicator(faults);
        m_ser2net = std::make_unique<Ser2Net>();
        // The raw accepter leads to the same indicator, as a device server's raw port does.
        const QString pty = m_rig->indicator->ptyPath();
        using A = Ser2Net::Accepter;
        const QString key = tlsServer.isEmpty() ? QString() : m_certs->path(tlsServer + ".key");
        const QString cert = tlsServer.isEmpty() ? QString() : m_certs->path(tlsServer + ".pem");
        const QString error = tlsServer.isEmpty()
                                  ? m_ser2net->start(pty, pty)
                                  : m_ser2net->start({A::rfc2217Tls(pty, key, cert),
                                                      A::rawTls(pty, key, cert), A::rfc2217(pty)});
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    // Behind ser2net's own TLS with the named server certificate: RFC 2217 (port 0) and the raw
    // line (port 1); and behind a terminator demanding client certificates of the authority
    // ca.pem, in front of ser2net's plain RFC 2217 accepter (the terminator's port).
    void startInsideTls(int expectBaud, const QString& server)
    {
        start(expectBaud, server);
        m_terminator = std::make_unique<TlsTerminator>();
        const QString error = m_terminator->start(m_certs->path("server-both.pem"),
                                                  m_certs->path("ca.pem"), m_ser2net->port(2));
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
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        return run;
    }

private slots:
    void initTestCase()
    {
        if (TestCertificates::program().isEmpty())
            return;
        m_certs = std::make_unique<TestCertificates>();
        const QString error = m_certs->make();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
    void init()
    {
        REQUIRE_SER2NET();
        m_rig.emplace();
        QVERIFY(!m_rig->writeFile("t.prn", kTicket).isEmpty());
        QVERIFY(!m_rig->writeFile("long.prn", QByteArray(4000, 'L')).isEmpty());
    }
    void cleanup()
    {
        m_terminator.reset();
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

    void insideTls_data()
    {
        QTest::addColumn<QString>("server");    // its certificate and key
        QTest::addColumn<QString>("through");   // ser2net's own TLS or the terminator; raw
        QTest::addColumn<QStringList>("trust"); // files in the certificates' folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // on stderr
        const QStringList ca{"--ca", "ca.pem"};
        const QStringList client = ca + QStringList{"--cert", "client.pem", "--key", "client.key"};
        QTest::newRow("a client certificate") << "server"
                                              << "terminator" << client << 0 << "stored: slot 1";
        QTest::newRow("no client certificate")
            << "server"
            << "terminator" << ca << 3
            << "TCP/IP ERROR: The device server at 127.0.0.1:{port} asks for a client "
               "certificate, and none is given (the server said: certificate required).\nGive "
               "--cert FILE and --key FILE";
        QTest::newRow("a client certificate of another authority")
            << "server"
            << "terminator" << ca + QStringList{"--cert", "stranger.pem", "--key", "stranger.key"}
            << 3 << "refused this program's certificate \"CN=stranger\" (SHA256:";
        QTest::newRow("a key behind a passphrase")
            << "server"
            << "terminator"
            << ca + QStringList{"--cert", "client.pem", "--key", "client-locked.key"} << 3
            << "client-locked.key is protected by a passphrase";
        // Refused after the handshake seemed done, while the query waits for its answer.
        QTest::newRow("no client certificate, the raw line")
            << "server"
            << "terminator raw" << ca << 3 << "asks for a client certificate";
        QTest::newRow("the raw line in ser2net's TLS")
            << "server"
            << "ser2net raw" << ca << 0 << "stored: slot 1";
        QTest::newRow("a server certificate of another authority")
            << "foreign"
            << "ser2net" << ca << 3
            << "The device server at 127.0.0.1:{port} is not trusted: its certificate "
               "\"CN=localhost, O=Elsewhere\" ({pin}) is signed by no authority trusted here";
        QTest::newRow("that certificate pinned")
            << "foreign"
            << "ser2net" << QStringList{"--pin", "{pin}"} << 0 << "stored: slot 1";
        QTest::newRow("another certificate pinned")
            << "server"
            << "ser2net" << QStringList{"--pin", "{pin:foreign}"} << 3
            << "is not the one pinned ({pin:foreign}).\nTo trust it, give --ca FILE";
        QTest::newRow("a name mismatch")
            << "wrong-name"
            << "ser2net" << ca << 3
            << "its certificate \"CN=scale.example\" ({pin}) is made out to scale.example, not "
               "to 127.0.0.1";
        QTest::newRow("an expired certificate")
            << "expired"
            << "ser2net" << ca << 3
            << "is valid from 2020-01-01T00:00:00Z to 2020-02-01T00:00:00Z, not now";
    }
    // Only a server whose certificate is trusted, and that trusts ours, gets a byte of the line:
    // the download stores at the rate asked; every refusal ends with exit 3 and its own words,
    // the indicator having heard nothing.
    void insideTls()
    {
        REQUIRE_TLS_RIGS();
        QFETCH(QString, server);
        QFETCH(QString, through);
        QFETCH(QStringList, trust);
        const bool raw = through.endsWith("raw");
        // The raw line keeps the rate ser2net opens the device with.
        const int rate = raw ? 38400 : 9600;
        startInsideTls(rate, server);
        const quint16 port =
            through.startsWith("terminator") ? m_terminator->port() : m_ser2net->port(raw ? 1 : 0);
        const auto expand = [&](QString text) {
            text.replace("{pin:foreign}", m_certs->pin("foreign.pem"));
            return text.replace("{pin}", m_certs->pin(server + ".pem"))
                .replace("{port}", QString::number(port));
        };
        QStringList arguments{"download",
                              "--port",
                              QString(raw ? "tls:" : "rfc2217+tls://") +
                                  "127.0.0.1:" + QString::number(port),
                              "--slot",
                              "1=t.prn",
                              "--json",
                              "--no-record"};
        if (!raw)
            arguments << "--baud" << QString::number(rate);
        for (const QString& value : std::as_const(trust))
            arguments << (value.startsWith("--") || value.startsWith("{") ? expand(value)
                                                                          : m_certs->path(value));
        const Run run = cli(arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(expand(said)), qPrintable(run.err));
        QCOMPARE(m_rig->indicator->slot(1), exitCode == 0 ? kTicket : QByteArray());
        if (exitCode != 0) {
            QCOMPARE(m_rig->indicator->counters().bytesIn, 0u);
            QVERIFY2(run.out.contains("\"outcome\":\"lost\""), qPrintable(run.out));
            return;
        }
        // The record names the certificate the server proved itself with.
        QVERIFY2(run.out.contains(expand("\"tls\":{\"sha256\":\"{pin}\"").remove("SHA256:")),
                 qPrintable(run.out));
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

    // CommPort=TLS with the certificates named in the settings file, beside it: the window
    // queries and downloads through the terminator that demands a client certificate, and the
    // record names the certificate the server proved itself with.
    void windowInsideTls()
    {
        REQUIRE_TLS_RIGS();
        startInsideTls(115200, "server");
        for (const QString name : {"ca.pem", "client.pem", "client.key"})
            QVERIFY(
                !m_rig->writeFile("tls/" + name, TestFiles::read(m_certs->path(name))).isEmpty());
        m_rig->writeSettings("[CommSettings]\r\nCommPort=TLS\r\nIP=127.0.0.1\r\nPort=" +
                             QByteArray::number(m_terminator->port()) +
                             "\r\nCommBaud=5\r\nCA=tls/ca.pem\r\nCert=tls/client.pem\r\n"
                             "Key=tls/client.key\r\n");
        m_rig->newWindow();
        QCOMPARE(m_rig->window->panelText(2), QStringLiteral("TLS"));
        QCOMPARE(m_rig->window->panelText(3),
                 QStringLiteral("127.0.0.1:%1 115200,n,8,1").arg(m_terminator->port()));
        m_rig->openAndQuery();
        m_rig->addTicket(1, m_rig->dir.filePath("t.prn"));
        m_rig->download();
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        QCOMPARE(m_rig->indicator->slot(1), kTicket);
        const QByteArray record = TestFiles::read(m_rig->recordPath);
        QVERIFY2(record.contains("\"tls\":{\"sha256\":\"" +
                                 m_certs->pin("server.pem").remove("SHA256:").toUtf8() +
                                 "\",\"subject\":\"CN=localhost\"}"),
                 record.constData());
    }
};

QTEST_MAIN(TestDeviceServer)
#include "test_device_server.moc"
