#include "IndicatorSimulator.h"
#include "support/PseudoTerminal.h"
#include "support/Sha256.h"
#include "support/TestFiles.h"
#include "ticket/DownloadPlan.h"
#include "ticket/DownloadRecord.h"
#include "ticket/TicketSet.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {
// How a run of exitCodes is set up; by default the indicator behaves, on TCP/IP, and the program
// is given it, slot 1 = a.prn and slot 3 = tickets/c.prn. Each row changes what it needs.
struct RunSetup {
    sim::Faults faults;
    bool pty = false;         // the indicator on a pseudo-terminal
    bool holdPort = false;    // this process holds the indicator's port first
    bool interrupt = false;   // Ctrl-C once the indicator has heard its first line
    bool unreachable = false; // given a TCP port where nothing listens
    QString port;             // given instead of the indicator's
    QStringList extra;        // more arguments
    QString ticketC = "tickets/c.prn";
    std::optional<QByteArray> ticketCBytes; // written to ticketC first
};
using Arrange = std::function<void(RunSetup&)>;
} // namespace
Q_DECLARE_METATYPE(Arrange)

// The command-line program as a user runs it, a process of its own, against simulated
// indicators on pseudo-terminals and TCP/IP.
class TestCliE2e : public QObject {
    Q_OBJECT

private:
    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
        QStringList errLines; // stderr without the traffic log's lines
    };

    QTemporaryDir m_dir;
    QString m_dataHome; // the program's data folder, new for each test
    QString m_ticketA, m_ticketC;
    int m_dataHomes = 0;

    QString recordPath() const { return m_dataHome + "/TicketTalvor/downloads.jsonl"; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_dataHome);
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        return env;
    }

    void prepare(QProcess& process, const QStringList& arguments) const
    {
        process.setProgram(QStringLiteral(TALVOR_CLI_PATH));
        process.setArguments(arguments);
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(m_dir.path());
    }

    static void finish(QProcess& process, Run& run, int timeoutMs)
    {
        if (process.state() != QProcess::NotRunning) {
            QSignalSpy finished(&process, &QProcess::finished);
            if (!finished.wait(timeoutMs))
                process.kill();
        }
        process.waitForFinished(1000);
        run.exitCode =
            process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -process.error();
        run.out = process.readAllStandardOutput();
        run.err += process.readAllStandardError();
        for (const QString& line : QString::fromLocal8Bit(run.err).split(u'\n')) {
            if (!line.isEmpty() && !line.startsWith(QLatin1String("talvor.")))
                run.errLines.append(line);
        }
    }

    Run cli(const QStringList& arguments, int timeoutMs = 30000) const
    {
        QProcess process;
        prepare(process, arguments);
        process.start();
        Run run;
        finish(process, run, timeoutMs);
        return run;
    }

    // Runs the program and presses Ctrl-C once the indicator has heard its first line.
    Run interruptedAtFirstLine(const QStringList& arguments,
                               const sim::IndicatorSimulator& indicator) const
    {
        QProcess process;
        prepare(process, arguments);
        process.start();
        if (QTest::qWaitFor([&] { return !indicator.commandLines().isEmpty(); }, 10000))
            ::kill(pid_t(process.processId()), SIGINT);
        Run run;
        finish(process, run, 30000);
        return run;
    }

    // Runs the program with its stderr on a terminal of its own; what the terminal received.
    QByteArray onTerminal(const QStringList& arguments, int* exitCode, int rows = 24) const
    {
        PseudoTerminal terminal;
        if (!terminal.isValid())
            return {};
        const winsize size{quint16(rows), 80, 0, 0};
        ::ioctl(terminal.master(), TIOCSWINSZ, &size);
        const QByteArray slave = terminal.path().toLocal8Bit();
        QProcess process;
        prepare(process, arguments);
        process.setChildProcessModifier([slave] {
            const int fd = ::open(slave.constData(), O_RDWR | O_NOCTTY);
            if (fd >= 0)
                ::dup2(fd, STDERR_FILENO);
        });
        QByteArray screen;
        ::fcntl(terminal.master(), F_SETFL, ::fcntl(terminal.master(), F_GETFL) | O_NONBLOCK);
        const auto drain = [&] {
            char buffer[4096];
            ssize_t n = 0;
            while ((n = ::read(terminal.master(), buffer, sizeof buffer)) > 0)
                screen.append(buffer, n);
        };
        QSocketNotifier notifier(terminal.master(), QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, drain);
        process.start();
        Run run;
        finish(process, run, 30000);
        drain();
        *exitCode = run.exitCode;
        return screen;
    }

    static std::unique_ptr<sim::IndicatorSimulator> simulator(bool pty, bool tcp,
                                                              const sim::Faults& faults = {})
    {
        auto indicator = std::make_unique<sim::IndicatorSimulator>();
        indicator->setFaults(faults);
        if (pty && !indicator->startPty())
            return nullptr;
        if (tcp && !indicator->startTcp(0))
            return nullptr;
        return indicator;
    }

    static QString tcpPort(const sim::IndicatorSimulator& indicator)
    {
        return QStringLiteral("tcp:127.0.0.1:%1").arg(indicator.tcpPort());
    }

    // A port on this machine where nothing listens.
    static quint16 closedPort()
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        return server.serverPort();
    }

    // The lines the download sends for slot 1 = ABCDE and slot 3 = xyz, after the query.
    // The query, then the download of slots 1 and 3 with its in-step probes: at the start, after
    // the clearing pass and the data pass, after the entries of slots 1 and 3, at the end.
    static QList<QByteArray> expectedLines()
    {
        QList<QByteArray> lines{";C4", ";SR"};
        const QList<QByteArray> writes =
            makeDownloadPlan({"ABCDE", {}, "xyz", {}, {}, {}, {}}).allCommands();
        for (int i = 0; i <= writes.size(); ++i) {
            if (QList<int>{0, 7, 9, 10, 12, 16}.contains(i))
                lines.append(";C4");
            if (i < writes.size())
                lines.append(writes[i].chopped(1));
        }
        return lines;
    }

    static QJsonObject onlyJson(const QByteArray& out)
    {
        const QList<QByteArray> lines = out.trimmed().split('\n');
        if (lines.size() != 1)
            return {};
        return QJsonDocument::fromJson(lines.first()).object();
    }

private Q_SLOTS:
    void init()
    {
        m_dataHome = m_dir.filePath(QStringLiteral("data%1").arg(++m_dataHomes));
        m_ticketA = m_dir.filePath("a.prn");
        m_ticketC = m_dir.filePath("tickets/c.prn");
        QVERIFY(QDir().mkpath(m_dir.filePath("tickets")));
        QVERIFY(TestFiles::write(m_ticketA, "ABCDE"));
        QVERIFY(TestFiles::write(m_ticketC, "xyz"));
    }

    void workedDownload_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("fromSet");
        QTest::addColumn<int>("lfAfterMs"); // answers end with CR LF, the LF this late; -1: CR
        QTest::newRow("pseudo-terminal by its path") << "device" << false << -1;
        QTest::newRow("pseudo-terminal as COM3") << "COM3" << false << -1;
        QTest::newRow("tcp") << "tcp" << false << -1;
        QTest::newRow("tcp, tickets from a set") << "tcp" << true << -1;
        QTest::newRow("pseudo-terminal, CR LF") << "device" << false << 0;
        QTest::newRow("tcp, the LF 5 ms after the CR") << "tcp" << false << 5;
    }
    // Slots 1 and 3 of the worked example: the indicator holds exactly those bytes, got exactly
    // the window's commands, and the record on stdout and in the log says so.
    void workedDownload()
    {
        QFETCH(QString, port);
        QFETCH(bool, fromSet);
        QFETCH(int, lfAfterMs);
        sim::Faults faults;
        faults.crlf = lfAfterMs >= 0;
        faults.lfAfterMs = std::max(lfAfterMs, 0);
        const auto indicator = simulator(port != "tcp", port == "tcp", faults);
        QVERIFY(indicator);
        QStringList arguments{"download", "--json"};
        QString channel;
        int baud = 0;
        QString opening;
        if (port == "device") {
            arguments << "--port" << indicator->ptyPath() << "--baud"
                      << "115200";
            channel = indicator->ptyPath();
            baud = 115200;
            opening = "opening " + channel + " at 115200 baud";
        } else if (port == "COM3") {
            const QString ini = m_dir.filePath("TicketTalvor.ini");
            QVERIFY(TestFiles::write(
                ini, "[PortNames]\r\nCOM3=" + indicator->ptyPath().toLocal8Bit() + "\r\n"));
            arguments << "--port"
                      << "COM3"
                      << "--settings" << ini;
            channel = "COM 3 " + indicator->ptyPath();
            baud = 19200;
            opening = "opening " + channel + " at 19200 baud";
        } else {
            arguments << "--port" << tcpPort(*indicator);
            channel = QStringLiteral("127.0.0.1:%1").arg(indicator->tcpPort());
            opening = "connecting to " + channel;
        }
        if (fromSet) {
            TicketSet set;
            set.paths[0] = m_ticketA;
            set.paths[2] = m_ticketC;
            QString error;
            QVERIFY(TicketSetFile::write(m_dir.filePath("two.tkset"), set, &error));
            arguments << "--set"
                      << "two.tkset";
        } else {
            arguments << "--slot"
                      << "1=a.prn"
                      << "--slot"
                      << "3=tickets/c.prn";
        }
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        const Run run = cli(arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());

        QCOMPARE(indicator->commandLines(), expectedLines());
        QCOMPARE(indicator->slot(1), QByteArray("ABCDE"));
        QCOMPARE(indicator->slot(3), QByteArray("xyz"));
        for (const int s : {2, 4, 5, 6, 7})
            QCOMPARE(indicator->slot(s), QByteArray());

        // Off a terminal: one line a phase, nothing drawn again.
        QVERIFY(!run.err.contains('\r') && !run.err.contains('\x1b'));
        QCOMPARE(
            run.errLines.mid(0, 6),
            QStringList({opening, "asking for the version and serial number",
                         "SW-Version: V2.05, Serial-Number: 12345", "clearing the pointer table",
                         "sending 8 bytes", "writing the pointer table"}));
        QCOMPARE(run.errLines.size(), 7);
        QVERIFY2(run.errLines[6].startsWith("stored: slots 1, 3; 16 commands, 0 retries, "),
                 qPrintable(run.errLines[6]));

        const QJsonObject json = onlyJson(run.out);
        QCOMPARE(json.value("channel").toString(), channel);
        QCOMPARE(json.value("baud").toInt(), baud);
        QVERIFY(!json.contains("name"));
        // The record keeps the indicator's texts without the ACK that ends them.
        QCOMPARE(json.value("version").toString(), QStringLiteral("V2.05"));
        QCOMPARE(json.value("serial").toString(), QStringLiteral("12345"));
        QCOMPARE(json.value("outcome").toString(), QStringLiteral("stored"));
        QCOMPARE(json.value("commands").toInt(), 16);
        QCOMPARE(json.value("retries").toInt(), 0);
        const QJsonArray jsonSlots = json.value("slots").toArray();
        QCOMPARE(jsonSlots.size(), 2);
        const QList<std::tuple<int, QString, QByteArray>> files{{1, m_ticketA, "ABCDE"},
                                                                {3, m_ticketC, "xyz"}};
        for (qsizetype i = 0; i < files.size(); ++i) {
            const auto& [slot, path, bytes] = files[i];
            const QJsonObject entry = jsonSlots[i].toObject();
            QCOMPARE(entry.value("slot").toInt(), slot);
            QCOMPARE(entry.value("file").toString(), path);
            QCOMPARE(entry.value("size").toInt(), bytes.size());
            QCOMPARE(entry.value("sha256").toString(), sha256Hex(TestFiles::read(path)));
            QVERIFY(entry.value("stored").toBool());
        }
        const auto record = DownloadRecord::fromJson(json);
        QVERIFY(record);
        QVERIFY(record->time >= before && record->time <= QDateTime::currentDateTime());
        const DownloadLog::Contents log = DownloadLog::read(recordPath());
        QCOMPARE(log.damagedLines, 0);
        QCOMPARE(log.records, QList<DownloadRecord>{*record});
    }

    void query_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("plain") << QByteArray("A-0077") << QByteArray("A-0077");
        // Sequences that would retitle and clear the terminal are shown by name.
        QTest::newRow("escape sequences") << QByteArray("\x1b]0;pwned\x07\x1b[2J\x9b")
                                          << QByteArray("<0x1B>]0;pwned<0x07><0x1B>[2J<0x9B>");
    }
    void query()
    {
        QFETCH(QByteArray, serial);
        QFETCH(QByteArray, shown);
        sim::Faults faults;
        faults.version = "IND V3.10";
        faults.serial = serial;
        const auto indicator = simulator(false, true, faults);
        QVERIFY(indicator);
        const Run run = cli({"query", "--port", tcpPort(*indicator)});
        QCOMPARE(run.exitCode, 0);
        // The texts as the record keeps them: without the protocol's ACK.
        QCOMPARE(run.out, "SW-Version: V3.10\nSerial-Number: " + shown + '\n');
        QCOMPARE(indicator->commandLines(), (QList<QByteArray>{";C4", ";SR"}));
        QVERIFY(!QFile::exists(recordPath()));
        const Run json = cli({"query", "--port", tcpPort(*indicator), "--json"});
        QCOMPARE(json.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(json.out).object(),
                 (QJsonObject{{"port", tcpPort(*indicator)},
                              {"version", "V3.10"},
                              {"serial", QString::fromLatin1(serial)},
                              {"outcome", "answered"}}));
    }

    // A fleet's names and the indicators' texts reach the terminal with their control bytes
    // named, the table's columns still aligned; --json keeps the exact text.
    void controlBytesNamed()
    {
        sim::Faults faults;
        faults.serial = "\x1b]0;pwned\x07\x9b";
        const auto indicator = simulator(false, true, faults);
        const auto plain = simulator(false, true);
        QVERIFY(indicator && plain);
        QVERIFY(TestFiles::write(m_dir.filePath("two.csv"),
                                 "name,port\n\x1b[2Jgate," + tcpPort(*indicator).toLatin1() +
                                     "\nnorth," + tcpPort(*plain).toLatin1() + '\n'));
        const Run run = cli({"fleet", "--targets", "two.csv", "--slot", "1=a.prn", "--json",
                             "--parallel", "1", "--no-record"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(!run.err.contains('\x1b') && !run.err.contains('\x07'), run.err.constData());
        QVERIFY2(run.errLines.contains("<0x1B>[2Jgate: SW-Version: V2.05, Serial-Number: "
                                       "<0x1B>]0;pwned<0x07><0x9B>"),
                 run.err.constData());
        const QStringList table = run.errLines.mid(run.errLines.size() - 3);
        QCOMPARE(table[1], QStringLiteral("<0x1B>[2Jgate  <0x1B>]0;pwned<0x07><0x9B>  stored   ") +
                               table[1].right(7));
        QCOMPARE(table[0].indexOf("outcome"), table[2].indexOf("stored"));
        QVERIFY(!run.out.contains("\xc2\x9b"));
        const QJsonObject json = QJsonDocument::fromJson(run.out.split('\n').first()).object();
        QCOMPARE(json.value("serial").toString(), QStringLiteral("\x1b]0;pwned\x07\u009b"));
    }

    void exitCodes_data()
    {
        QTest::addColumn<Arrange>("arrange");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");       // a line of stderr starts with this
        QTest::addColumn<QString>("outcome");    // recorded; empty: nothing recorded
        QTest::addColumn<QList<bool>>("stored"); // slots 1 and 3 in the indicator
        const QList<bool> none{false, false};
        QTest::newRow("pointer refused")
            << Arrange([](RunSetup& s) { s.faults.nakLines.insert(";EFF08-00000000"); }) << 1
            << "Update Error: Pointer Error"
            << "refused" << none;
        QTest::newRow("data refused") << Arrange([](RunSetup& s) { s.faults.nakAt.insert(0x0000); })
                                      << 1 << "Update Error: Data Error"
                                      << "refused" << QList<bool>{false, true};
        QTest::newRow("silent indicator") << Arrange([](RunSetup& s) { s.faults.silentAfter = 0; })
                                          << 1 << "Communication Error: Indicator does not respond"
                                          << "stopped" << none;
        // The query, the clearing pass, one data block.
        QTest::newRow("connection dropped")
            << Arrange([](RunSetup& s) { s.faults.dropAfter = 2 + 7 + 1; }) << 3
            << "Update Error: The connection to "
            << "lost" << none;
        QTest::newRow("connection dropped by the query's first command")
            << Arrange([](RunSetup& s) { s.faults.dropAfter = 0; }) << 3
            << "TCP/IP ERROR: The connection to the indicator at 127.0.0.1:"
            << "lost" << none;
        QTest::newRow("pseudo-terminal hung up by the query's first command")
            << Arrange([](RunSetup& s) {
                   s.faults.dropAfter = 0;
                   s.pty = true;
               })
            << 3 << "Port Error: The connection to the indicator at /dev/"
            << "lost" << none;
        QTest::newRow("unreachable tcp port") << Arrange([](RunSetup& s) { s.unreachable = true; })
                                              << 3 << "TCP/IP ERROR: Connection refused: 127.0.0.1:"
                                              << "lost" << none;
        // The window's own text: one text for both.
        QTest::newRow("port held by another program")
            << Arrange([](RunSetup& s) { s.pty = s.holdPort = true; }) << 3
            << "Port Error: Port is used by other aplication"
            << "lost" << none;
        QTest::newRow("missing device")
            << Arrange([](RunSetup& s) { s.port = "/nonexistent/ttyUSB9"; }) << 3
            << "Port Error: The serial port /nonexistent/ttyUSB9 does not exist."
            << "lost" << none;
        QTest::newRow("a folder for a port")
            << Arrange([this](RunSetup& s) { s.port = m_dir.path(); }) << 3
            << "Port Error: " + m_dir.path() + " is not a serial device"
            << "lost" << none;
        QTest::newRow("/dev/null for a port") << Arrange([](RunSetup& s) { s.port = "/dev/null"; })
                                              << 3 << "Port Error: /dev/null is not a serial device"
                                              << "lost" << none;
        QTest::newRow("unknown option") << Arrange([](RunSetup& s) { s.extra = {"--colour"}; }) << 2
                                        << "ticket-talvor-cli: download: Unknown option 'colour'."
                                        << "" << none;
        QTest::newRow("missing ticket")
            << Arrange([](RunSetup& s) { s.ticketC = "tickets/none.prn"; }) << 2
            << "ticket-talvor-cli: The file "
            << "" << none;
        QTest::newRow("an empty ticket file")
            << Arrange([](RunSetup& s) { s.ticketCBytes = ""; }) << 0
            << "stored: slot 1; slot 3 cleared: its file is empty"
            << "stored" << QList<bool>{true, false};
        // Each answer twice is each answer: stored; and a refusal twice is a refusal.
        QTest::newRow("every answer twice")
            << Arrange([](RunSetup& s) { s.faults.duplicateEvery = 1; }) << 0
            << "stored: slots 1, 3"
            << "stored" << QList<bool>{true, true};
        QTest::newRow("every answer twice, a pointer refused") << Arrange([](RunSetup& s) {
            s.faults.duplicateEvery = 1;
            s.faults.nakLines.insert(";EFF08-00000000");
        }) << 1 << "Update Error: Pointer Error"
                                                               << "refused" << none;
        QTest::newRow("tickets too large")
            << Arrange([](RunSetup& s) { s.ticketCBytes = QByteArray(32766, 'c'); }) << 2
            << "ticket-talvor-cli: The tickets hold 32771 bytes"
            << "" << none;
        // Nothing was sent that a retry could repeat, and the silence is not taken for an answer.
        QTest::newRow("Ctrl-C while asking for the version") << Arrange([](RunSetup& s) {
            s.faults.silentAfter = 0;
            s.interrupt = true;
        }) << 1 << "cancelled: slots 1, 3 not stored"
                                                             << "cancelled" << none;
        QTest::newRow("missing settings file") << Arrange([this](RunSetup& s) {
            s.extra = {"--settings", m_dir.filePath("none.ini")};
        }) << 2 << "ticket-talvor-cli: the settings file "
                                               << "" << none;
        QTest::newRow("a folder for the settings file") << Arrange([this](RunSetup& s) {
            s.extra = {"--settings", m_dir.path()};
        }) << 2 << "ticket-talvor-cli: the settings file " + m_dir.path() + " is a folder"
                                                        << "" << none;
    }
    void exitCodes()
    {
        QFETCH(Arrange, arrange);
        RunSetup setup;
        arrange(setup);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(QString, outcome);
        QFETCH(QList<bool>, stored);
        const auto indicator = simulator(setup.pty, !setup.pty, setup.faults);
        QVERIFY(indicator);
        const QString port = setup.unreachable
                                 ? QStringLiteral("tcp:127.0.0.1:%1").arg(closedPort())
                             : !setup.port.isEmpty() ? setup.port
                             : setup.pty             ? indicator->ptyPath()
                                                     : tcpPort(*indicator);
        // This process holds the port: its lock file names a live program.
        QSerialPort holder;
        if (setup.holdPort) {
            holder.setPortName(port);
            QVERIFY(holder.open(QIODevice::ReadWrite));
        }
        if (setup.ticketCBytes)
            QVERIFY(TestFiles::write(m_dir.filePath(setup.ticketC), *setup.ticketCBytes));

        const QStringList arguments =
            QStringList{"download",           "--port", port, "--slot", "1=a.prn", "--slot",
                        "3=" + setup.ticketC, "--json"} +
            setup.extra;
        const Run run =
            setup.interrupt ? interruptedAtFirstLine(arguments, *indicator) : cli(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(std::any_of(run.errLines.begin(), run.errLines.end(),
                             [&](const QString& line) { return line.startsWith(said); }),
                 run.err.constData());
        // Sentences for a person: no blank line, no line end named, no Windows socket number,
        // no trace line of the exchange.
        for (const char* noise : {"<LF>", "10061", "talvor.exchange"})
            QVERIFY2(!run.err.contains(noise), run.err.constData());
        QVERIFY2(!run.err.contains("\n\n") && !run.err.startsWith('\n'), run.err.constData());
        // A vanished serial device is a lost connection: what the system said of it at that
        // moment ("Input/output error") would read as a cause it is not.
        for (const QString& line : std::as_const(run.errLines)) {
            if (line.startsWith("Port Error: The connection to the indicator at"))
                QVERIFY2(line.endsWith(" was lost."), qPrintable(line));
        }
        QCOMPARE(indicator->slot(1).isEmpty(), !stored[0]);
        QCOMPARE(indicator->slot(3).isEmpty(), !stored[1]);
        if (exitCode == 2) {
            QVERIFY(indicator->commandLines().isEmpty());
            QCOMPARE(run.out, QByteArray());
            QVERIFY(!QFile::exists(recordPath()));
            return;
        }
        const QJsonObject json = onlyJson(run.out);
        QCOMPARE(json.value("outcome").toString(), outcome);
        const QJsonArray jsonSlots = json.value("slots").toArray();
        // A slot whose file is empty holds nothing to send.
        QCOMPARE(jsonSlots.size(), setup.ticketCBytes && setup.ticketCBytes->isEmpty() ? 1 : 2);
        for (const QJsonValue& slot : jsonSlots)
            QCOMPARE(slot["stored"].toBool(), stored[slot["slot"].toInt() == 1 ? 0 : 1]);
        if (setup.interrupt) {
            QCOMPARE(json.value("retries").toInt(), 0);
            QVERIFY2(!run.err.contains("Indicator does not respond"), run.err.constData());
        }
        // As in the window, only a download that sent something is recorded.
        const DownloadLog::Contents log = DownloadLog::read(recordPath());
        if (json.value("commands").toInt() == 0) {
            QCOMPARE(log.records.size(), 0);
            return;
        }
        QCOMPARE(log.records.size(), 1);
        QCOMPARE(log.records.first().outcome, outcome);
    }

    // A reader that stops after the first line (`| head -n1`) ends the printing and nothing else:
    // the other indicator's download goes on to its end and is recorded, and the exit status is
    // the program's own.
    void closedStdout()
    {
        const auto first = simulator(true, false);
        sim::Faults faults;
        faults.delayMs = 10; // still at work when the reader has gone
        const auto second = simulator(true, false, faults);
        QVERIFY(first && second);
        QVERIFY(TestFiles::write(m_dir.filePath("two.csv"),
                                 "name,port\nfirst," + first->ptyPath().toLatin1() + "\nsecond," +
                                     second->ptyPath().toLatin1() + '\n'));
        int pipeFds[2] = {-1, -1};
        QCOMPARE(::pipe2(pipeFds, O_CLOEXEC), 0);
        QProcess process;
        prepare(process, {"fleet", "--targets", "two.csv", "--slot", "1=a.prn", "--json"});
        const int writeEnd = pipeFds[1];
        process.setChildProcessModifier([writeEnd] {
            ::dup2(writeEnd, STDOUT_FILENO);
            ::signal(SIGPIPE, SIG_DFL); // as a shell starts a program
        });
        process.start();
        ::close(pipeFds[1]);
        QByteArray line;
        pollfd reader{pipeFds[0], POLLIN, 0};
        char c = 0;
        while (!line.endsWith('\n') && ::poll(&reader, 1, 30000) == 1 &&
               ::read(pipeFds[0], &c, 1) == 1)
            line += c;
        ::close(pipeFds[0]);
        Run run;
        finish(process, run, 30000);
        QCOMPARE(QJsonDocument::fromJson(line).object().value("outcome").toString(), "stored");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(second->slot(1), QByteArray("ABCDE"));
        QCOMPARE(DownloadLog::read(recordPath()).records.size(), 2);
    }

    // Ten indicators over TCP/IP at once, one refusing a pointer and one not there: each gets
    // its own outcome, the worst decides the exit code, and the others hold the tickets exactly.
    void fleetOfTen()
    {
        constexpr int kCount = 10;
        constexpr int kRefusing = 3;
        constexpr int kUnreachable = 6;
        std::vector<std::unique_ptr<sim::IndicatorSimulator>> indicators;
        QByteArray csv = "name,port\n";
        QList<quint16> ports;
        for (int i = 0; i < kCount; ++i) {
            sim::Faults faults;
            faults.serial = "S" + QByteArray::number(100 + i);
            if (i == kRefusing)
                faults.nakLines.insert(";EFF08-00000000");
            indicators.push_back(simulator(false, true, faults));
            QVERIFY(indicators.back());
            const quint16 port = i == kUnreachable ? closedPort() : indicators.back()->tcpPort();
            ports.append(port);
            csv += QStringLiteral("scale-%1,tcp:127.0.0.1:%2\n").arg(i).arg(port).toLatin1();
            if (i == 4)
                csv += "broken,COM42\n"; // line 7
        }
        QVERIFY(TestFiles::write(m_dir.filePath("fleet.csv"), csv));
        const Run run = cli({"fleet", "--targets", "fleet.csv", "--slot", "1=a.prn", "--slot",
                             "3=tickets/c.prn", "--parallel", "4", "--json"});
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.errLines.contains("fleet.csv:7: skipped: there is no port COM42: the COM "
                                       "ports are COM1 to COM8; give the device path of any other"),
                 run.err.constData());

        // The objects come as the indicators finish, each with the row's name and port.
        QHash<QString, QJsonObject> byName;
        for (const QByteArray& line : run.out.trimmed().split('\n')) {
            const QJsonObject json = QJsonDocument::fromJson(line).object();
            byName.insert(json.value("name").toString(), json);
        }
        // Every row of the file has its object, the one that could not be used too.
        QCOMPARE(byName.size(), kCount + 1);
        QCOMPARE(byName.value("broken"),
                 (QJsonObject{{"line", 7},
                              {"name", "broken"},
                              {"port", "COM42"},
                              {"outcome", "skipped"},
                              {"reason", "there is no port COM42: the COM ports are COM1 to COM8; "
                                         "give the device path of any other"}}));
        for (int i = 0; i < kCount; ++i) {
            const sim::IndicatorSimulator& indicator = *indicators[i];
            const QString expected = i == kRefusing      ? "refused"
                                     : i == kUnreachable ? "lost"
                                                         : "stored";
            const QJsonObject json = byName.value(QStringLiteral("scale-%1").arg(i));
            QCOMPARE(json.value("port").toString(),
                     QStringLiteral("tcp:127.0.0.1:%1").arg(ports[i]));
            QCOMPARE(json.value("channel").toString(),
                     QStringLiteral("127.0.0.1:%1").arg(ports[i]));
            QCOMPARE(json.value("outcome").toString(), expected);
            if (expected == "stored") {
                QCOMPARE(indicator.commandLines(), expectedLines());
                QCOMPARE(indicator.slot(1), QByteArray("ABCDE"));
                QCOMPARE(indicator.slot(3), QByteArray("xyz"));
            } else {
                QCOMPARE(indicator.slot(1), QByteArray());
                QCOMPARE(indicator.slot(3), QByteArray());
            }
        }
        // The refusal of the third clearing write is proven before it ends the download.
        QCOMPARE(indicators[kRefusing]->commandLines(), expectedLines().mid(0, 2 + 1 + 3)
                                                            << QByteArray(";C4"));

        // The table on stderr, as stdout holds the JSON: a row per target in the file's order.
        const qsizetype header =
            run.errLines.indexOf(QRegularExpression("^name +serial number +outcome +seconds$"));
        QVERIFY2(header >= 0, run.err.constData());
        const QStringList table = run.errLines.mid(header + 1);
        QCOMPARE(table.size(), kCount + 1);
        const QRegularExpression row("^(\\S+) +(\\S+) +(.+?) +([0-9.]+|-)$");
        QStringList names, serials, outcomes;
        for (const QString& line : table) {
            const QRegularExpressionMatch match = row.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            names << match.captured(1);
            serials << match.captured(2);
            outcomes << match.captured(3);
        }
        QCOMPARE(names,
                 QStringList({"scale-0", "scale-1", "scale-2", "scale-3", "scale-4", "broken",
                              "scale-5", "scale-6", "scale-7", "scale-8", "scale-9"}));
        QCOMPARE(serials, QStringList({"S100", "S101", "S102", "S103", "S104", "-", "S105", "-",
                                       "S107", "S108", "S109"}));
        QCOMPARE(outcomes,
                 QStringList({"stored", "stored", "stored", "refused", "stored", "bad row (line 7)",
                              "stored", "lost", "stored", "stored", "stored"}));
        // Every indicator that got a command, the unreachable one not.
        QCOMPARE(DownloadLog::read(recordPath()).records.size(), kCount - 1);
    }

    void fleetWorstWins_data()
    {
        QTest::addColumn<QStringList>("outcomes"); // of the rows, in the file's order
        QTest::addColumn<int>("exitCode");
        QTest::newRow("lost, then refused") << QStringList{"lost", "refused"} << 3;
        QTest::newRow("refused, then lost") << QStringList{"refused", "lost"} << 3;
        QTest::newRow("refused, then stored") << QStringList{"refused", "stored"} << 1;
        QTest::newRow("stored, then refused") << QStringList{"stored", "refused"} << 1;
        // A skipped row says less than a ticket the indicator refused.
        QTest::newRow("refused, then a bad row") << QStringList{"refused", "bad"} << 1;
    }
    // The worst outcome decides the fleet's exit code, whichever row it is on. One at a time,
    // so that the order of the ends is the order of the file too.
    void fleetWorstWins()
    {
        QFETCH(QStringList, outcomes);
        std::vector<std::unique_ptr<sim::IndicatorSimulator>> indicators;
        QByteArray csv = "name,port\n";
        for (const QString& outcome : outcomes) {
            sim::Faults faults;
            if (outcome == "refused")
                faults.nakLines.insert(";EFF08-00000000");
            indicators.push_back(simulator(false, true, faults));
            QVERIFY(indicators.back());
            const quint16 port = outcome == "lost" ? closedPort() : indicators.back()->tcpPort();
            const QString address = outcome == "bad" ? QStringLiteral("COM12")
                                                     : QStringLiteral("tcp:127.0.0.1:%1").arg(port);
            csv += QStringLiteral("%1,%2\n").arg(outcome, address).toLatin1();
        }
        QVERIFY(TestFiles::write(m_dir.filePath("two.csv"), csv));
        const Run run = cli({"fleet", "--targets", "two.csv", "--slot", "1=a.prn", "--parallel",
                             "1", "--no-record"});
        QTEST(run.exitCode, "exitCode");
        // Each row ended as its name says: the table has them in the file's order.
        const QStringList table = QString::fromLocal8Bit(run.out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(table.size(), outcomes.size() + 1);
        static const QRegularExpression row(
            "^(\\S+) +\\S+ +(\\S+)(?: row \\(line \\d\\))? +(?:[0-9.]+|-)$");
        for (qsizetype i = 0; i < outcomes.size(); ++i) {
            const QRegularExpressionMatch match = row.match(table[i + 1]);
            QVERIFY2(match.hasMatch(), qPrintable(table[i + 1]));
            QCOMPARE(match.captured(1), outcomes[i]);
            QCOMPARE(match.captured(2), outcomes[i]);
        }
    }

    void lineRate_data()
    {
        QTest::addColumn<QString>("command"); // download, or fleet with a baud column
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("expected"); // the rate the indicator is set to
        QTest::addColumn<int>("exitCode");
        QTest::newRow("--baud 9600 to an indicator at 9600") << "download" << 9600 << 9600 << 0;
        QTest::newRow("--baud 9600 to an indicator at 115200") << "download" << 9600 << 115200 << 1;
        // 9600 is also where a serial port starts before any rate is set.
        QTest::newRow("fleet row at 57600 to an indicator at 57600")
            << "fleet" << 57600 << 57600 << 0;
    }
    // The line is opened at the rate asked for: the indicator hears only its own rate.
    void lineRate()
    {
        QFETCH(QString, command);
        QFETCH(int, asked);
        QFETCH(int, expected);
        QFETCH(int, exitCode);
        sim::Faults faults;
        faults.expectBaud = expected;
        const auto indicator = simulator(true, false, faults);
        QVERIFY(indicator);
        QStringList arguments{command};
        if (command == "fleet") {
            QVERIFY(TestFiles::write(m_dir.filePath("one.csv"),
                                     "name,port,baud\nscale," + indicator->ptyPath().toLatin1() +
                                         ',' + QByteArray::number(asked) + '\n'));
            arguments << "--targets"
                      << "one.csv";
        } else {
            arguments << "--port" << indicator->ptyPath() << "--baud" << QString::number(asked);
        }
        const Run run = cli(arguments + QStringList{"--slot", "1=a.prn", "--no-record"});
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(indicator->slot(1), exitCode == 0 ? QByteArray("ABCDE") : QByteArray());
        if (exitCode != 0) {
            // The likeliest cause, named: the rate.
            QVERIFY2(
                run.errLines.contains(
                    QStringLiteral("Communication Error: Indicator does not respond; check the "
                                   "cable and that the indicator is set to %1 baud (--baud)")
                        .arg(asked)),
                run.err.constData());
            QVERIFY(indicator->commandLines().isEmpty());
        }
    }

    // --parallel 1 takes the indicators one after the other, in the file's order; --parallel 3
    // talks to all three at once.
    void parallelLimit_data()
    {
        QTest::addColumn<int>("parallel");
        QTest::newRow("one at a time") << 1;
        QTest::newRow("three at once") << 3;
    }
    void parallelLimit()
    {
        QFETCH(int, parallel);
        constexpr int kCount = 3;
        sim::Faults faults;
        faults.delayMs = 10; // every exchange long enough for the others to get a turn
        std::vector<std::unique_ptr<sim::IndicatorSimulator>> indicators;
        QList<int> order; // which indicator received each line, as received
        QByteArray csv = "name,port\n";
        for (int i = 0; i < kCount; ++i) {
            indicators.push_back(simulator(false, true, faults));
            QVERIFY(indicators.back());
            connect(indicators.back().get(), &sim::IndicatorSimulator::lineReceived, this,
                    [&order, i] { order.append(i); });
            csv += QStringLiteral("s%1,%2\n").arg(i).arg(tcpPort(*indicators.back())).toLatin1();
        }
        QVERIFY(TestFiles::write(m_dir.filePath("three.csv"), csv));
        const Run run = cli({"fleet", "--targets", "three.csv", "--slot", "1=a.prn", "--parallel",
                             QString::number(parallel), "--no-record"});
        QCOMPARE(run.exitCode, 0);
        // The query, the writes, and five in-step probes.
        QTRY_COMPARE(order.size(), kCount * (2 + 7 + 2 + 7 + 5));
        int switches = 0;
        for (qsizetype k = 1; k < order.size(); ++k)
            switches += order[k] != order[k - 1] ? 1 : 0;
        if (parallel == 1) {
            QList<int> sorted = order;
            std::sort(sorted.begin(), sorted.end());
            QCOMPARE(order, sorted);
        } else {
            QVERIFY2(switches > 10, qPrintable(QString::number(switches)));
        }
    }

    // A skipped row is a target not stored: a fleet that stored all the others still says so.
    void fleetWithABadRow()
    {
        const auto indicator = simulator(false, true);
        QVERIFY(indicator);
        QVERIFY(TestFiles::write(m_dir.filePath("two.csv"), "name,port,baud\r\nok," +
                                                                tcpPort(*indicator).toLatin1() +
                                                                ",\r\nslow,COM1,1200\r\n"));
        const Run run = cli({"fleet", "--targets", "two.csv", "--slot", "1=a.prn", "--no-record"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errLines.contains("two.csv:3: skipped: '1200' is no baud rate the indicator "
                                      "takes: give 4800, 9600, 19200, 38400, 57600 or 115200"));
        QCOMPARE(indicator->slot(1), QByteArray("ABCDE"));
        const QStringList table = QString::fromLocal8Bit(run.out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(table.size(), 3);
        QVERIFY2(table[1].startsWith("ok    12345          stored "), qPrintable(table[1]));
        QVERIFY2(table[2].startsWith("slow  -              bad row (line 3)"),
                 qPrintable(table[2]));
        QVERIFY(!QFile::exists(recordPath()));
    }

    // On a terminal the progress line is drawn again in place, with bytes, rate and time left.
    void progressOnATerminal()
    {
        sim::Faults faults;
        // About 3 s for 5000 bytes: the time left shows from the first second on.
        faults.baud = 115200;
        const auto indicator = simulator(false, true, faults);
        QVERIFY(indicator);
        QVERIFY(TestFiles::write(m_dir.filePath("long.prn"), QByteArray(5000, 'L')));
        int exitCode = -1;
        const QByteArray screen = onTerminal(
            {"download", "--port", tcpPort(*indicator), "--slot", "1=long.prn", "--no-record"},
            &exitCode);
        QCOMPARE(exitCode, 0);
        QCOMPARE(indicator->slot(1), QByteArray(5000, 'L'));

        static const QRegularExpression progress(
            "\n\\x1b\\[1A\\r\\x1b\\[J *[0-9]+/5000 bytes +[0-9]+ exch/s +[0-9]+:[0-9]{2} left\n");
        QVERIFY2(QString::fromLatin1(screen).contains(progress), screen.constData());
        // The progress line is gone at the end; the outcome stays.
        const QByteArray last = screen.mid(screen.lastIndexOf("\x1b[J") + 3);
        QVERIFY2(last.startsWith("stored: slot 1; 1264 commands, 0 retries, ") &&
                     last.endsWith(" s\n"),
                 screen.constData());
        // The phases are in the progress line, not in lines of their own.
        QVERIFY(!screen.contains("clearing the pointer table"));
    }

    // A log line goes above the progress lines like any other, also while they are shown: the
    // next redraw must not take it for one of them and write over it. An indicator that sends
    // an answer twice has its stretch voided, which the exchange's log tells with --verbose,
    // while the progress shows.
    void logLinesAboveTheProgress()
    {
        sim::Faults faults;
        faults.baud = 115200;
        const auto first = simulator(false, true, faults);
        faults.duplicateEvery = 100;
        const auto second = simulator(true, false, faults);
        QVERIFY(first && second);
        QVERIFY(TestFiles::write(m_dir.filePath("long.prn"), QByteArray(1000, 'L')));
        QVERIFY(TestFiles::write(m_dir.filePath("two.csv"),
                                 "name,port,baud\nfirst," + tcpPort(*first).toLatin1() +
                                     ",\nsecond," + second->ptyPath().toLatin1() + ",115200\n"));
        int exitCode = -1;
        const QByteArray screen =
            onTerminal({"fleet", "--targets", "two.csv", "--slot", "1=long.prn", "--parallel", "1",
                        "--no-record", "--verbose"},
                       &exitCode);
        QCOMPARE(exitCode, 0);
        QCOMPARE(second->slot(1), QByteArray(1000, 'L'));
        // The line names its indicator, as every line of a fleet does.
        const qsizetype logged = screen.indexOf("second: talvor.exchange: stretch voided");
        QVERIFY2(logged >= 0, screen.constData());
        QVERIFY2(screen.lastIndexOf("first  ", logged) >= 0, screen.constData()); // shown before
        const qsizetype after = screen.indexOf('\n', logged) + 1;
        QVERIFY2(!screen.mid(after).startsWith("\x1b["), screen.constData());
    }

    // More indicators at once than the terminal has rows: the block stays within the screen,
    // or the cursor could not go back to its top and every redraw would scroll.
    void moreRunsThanRows()
    {
        constexpr int kCount = 6;
        constexpr int kRows = 5;
        sim::Faults faults;
        faults.baud = 115200;
        std::vector<std::unique_ptr<sim::IndicatorSimulator>> indicators;
        QByteArray csv = "name,port\n";
        for (int i = 0; i < kCount; ++i) {
            indicators.push_back(simulator(false, true, faults));
            QVERIFY(indicators.back());
            csv += QStringLiteral("s%1,%2\n").arg(i).arg(tcpPort(*indicators.back())).toLatin1();
        }
        QVERIFY(TestFiles::write(m_dir.filePath("six.csv"), csv));
        QVERIFY(TestFiles::write(m_dir.filePath("long.prn"), QByteArray(1000, 'L')));
        int exitCode = -1;
        const QByteArray screen =
            onTerminal({"fleet", "--targets", "six.csv", "--slot", "1=long.prn", "--parallel",
                        QString::number(kCount), "--no-record"},
                       &exitCode, kRows);
        QCOMPARE(exitCode, 0);
        for (const auto& indicator : indicators)
            QCOMPARE(indicator->slot(1), QByteArray(1000, 'L'));
        static const QRegularExpression up("\\x1b\\[([0-9]+)A");
        int highest = 0;
        for (const QRegularExpressionMatch& m : up.globalMatch(QString::fromLatin1(screen)))
            highest = std::max(highest, m.captured(1).toInt());
        QCOMPARE(highest, kRows - 1);
        QVERIFY2(screen.contains("\n... and 4 more\n"), screen.constData());
    }

    // A TERM (or Ctrl-C) cancels as the window's Cancel does: the reply in flight is awaited,
    // the download is recorded as cancelled, and nothing is pointed at.
    // A download, or the first of a fleet of three taken one at a time: the download in flight
    // ends cancelled and recorded, and the rows not started never open their channel.
    void terminateCancels_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("download") << 1;
        QTest::newRow("fleet of three, --parallel 1") << 3;
    }
    void terminateCancels()
    {
        QFETCH(int, rows);
        sim::Faults faults;
        faults.delayMs = 1;
        std::vector<std::unique_ptr<sim::IndicatorSimulator>> indicators;
        QByteArray csv = "name,port\n";
        for (int i = 0; i < rows; ++i) {
            indicators.push_back(simulator(false, true, faults));
            QVERIFY(indicators.back());
            csv += "scale-" + QByteArray::number(i) + ',' + tcpPort(*indicators.back()).toLatin1() +
                   '\n';
        }
        QVERIFY(TestFiles::write(m_dir.filePath("three.csv"), csv));
        QVERIFY(TestFiles::write(m_dir.filePath("full.prn"), QByteArray(32768, 'F')));
        QProcess process;
        prepare(process, rows == 1 ? QStringList{"download", "--port", tcpPort(*indicators[0]),
                                                 "--slot", "1=full.prn"}
                                   : QStringList{"fleet", "--targets", "three.csv", "--parallel",
                                                 "1", "--slot", "1=full.prn"});
        process.start();
        const sim::IndicatorSimulator& first = *indicators[0];
        QTRY_VERIFY_WITH_TIMEOUT(first.counters().commands > 100, 10000);
        process.terminate();
        Run run;
        finish(process, run, 10000);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errLines.join('\n').contains(
                     "Update Error: The download was cancelled. The indicator now holds no valid "
                     "ticket set; download the tickets again before using it."),
                 run.err.constData());
        QVERIFY(first.counters().commands < 2000);
        QCOMPARE(first.memory().mid(0xFF00, 28), QByteArray(28, '\0'));
        for (int i = 1; i < rows; ++i)
            QCOMPARE(indicators[i]->counters().commands, quint64(0));
        if (rows > 1)
            QCOMPARE(run.out.count("cancelled"), rows);
        const DownloadLog::Contents log = DownloadLog::read(recordPath());
        QCOMPARE(log.records.size(), 1);
        QCOMPARE(log.records.first().outcome, QStringLiteral("cancelled"));
        QVERIFY(!log.records.first().tickets.first().stored);
    }

    // ports --map writes the one entry and keeps every other line of the settings file as it
    // stands; COM1 then reaches the device. A device that is not there, or no serial line, is
    // refused and the file left alone. DEV stands for the simulator's link.
    void portsMap_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("mapping");
        QTest::addColumn<QByteArray>("after"); // empty: refused, the file unchanged
        const QByteArray crlf = "[CommSettings]\r\n; the window's port\r\nCommPort= 1\r\n"
                                "Commbaud= 5\r\n\r\n[Other]\r\nx=1\r\n";
        QTest::newRow("CR LF file without the section")
            << crlf << "COM1=DEV" << crlf + "[PortNames]\r\nCOM1= DEV\r\n";
        const QByteArray mapped = "[PortNames]\nCOM3=/dev/ttyUSB9\n; adapters\n  com1 = /dev/old\n"
                                  "[PortNames]\nCOM1=/dev/second\n[CommSettings]\nCommPort=1";
        QTest::newRow("entry replaced, the rest kept")
            << mapped << "com1=DEV"
            << QByteArray("[PortNames]\nCOM3=/dev/ttyUSB9\n; adapters\n  com1 = DEV\n"
                          "[PortNames]\nCOM1=/dev/second\n[CommSettings]\nCommPort=1");
        QTest::newRow("no such device") << crlf << "COM1=DEV-missing" << QByteArray();
        QTest::newRow("a plain file") << crlf << "COM1=SETTINGS" << QByteArray();
        QTest::newRow("a relative path") << crlf << "COM1=COM1" << QByteArray();
    }
    void portsMap()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, mapping);
        QFETCH(QByteArray, after);
        const auto indicator = simulator(true, false);
        QVERIFY(indicator);
        const QString link = m_dir.filePath(QStringLiteral("ttyScale"));
        QVERIFY(indicator->setLink(link));
        const QString settings = m_dir.filePath(QStringLiteral("map.ini"));
        QVERIFY(TestFiles::write(settings, before));
        mapping.replace(QStringLiteral("DEV"), link).replace(QStringLiteral("SETTINGS"), settings);

        const Run run = cli({"ports", "--map", mapping, "--settings", settings});
        if (after.isEmpty()) {
            QCOMPARE(run.exitCode, 2);
            QVERIFY2(run.err.contains("nothing was written") || run.err.contains("full path"),
                     run.err.constData());
            QCOMPARE(TestFiles::read(settings), before);
            return;
        }
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(TestFiles::read(settings), after.replace("DEV", link.toUtf8()));
        const Run query = cli({"query", "--port", "COM1", "--settings", settings});
        QVERIFY2(query.exitCode == 0, query.err.constData());
        QCOMPARE(query.out, "SW-Version: V2.05\nSerial-Number: 12345\n");
        const Run list = cli({"ports", "--json", "--settings", settings});
        const QJsonObject com1 = QJsonDocument::fromJson(list.out)
                                     .object()
                                     .value("comPorts")
                                     .toArray()
                                     .first()
                                     .toObject();
        QCOMPARE(com1.value("device").toString(), link);
        QCOMPARE(com1.value("realDevice").toString(), indicator->ptyPath());
    }

    // Another try for what may pass (a device server switched on late, a silent indicator),
    // none for a refusal; each try that sent something is recorded.
    void retries_data()
    {
        QTest::addColumn<int>("lateMs");    // the indicator listens this late; < 0: never
        QTest::addColumn<bool>("refusing"); // it refuses a clearing write
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QList<int>>("tries"); // the fewest and the most
        QTest::newRow("comes up late") << 700 << false << 0 << "stored" << QList<int>{2, 3};
        QTest::newRow("never comes up") << -1 << false << 3 << "lost" << QList<int>{3, 3};
        QTest::newRow("a refusal is final") << 0 << true << 1 << "refused" << QList<int>{1, 1};
    }
    void retries()
    {
        QFETCH(int, lateMs);
        QFETCH(bool, refusing);
        sim::Faults faults;
        if (refusing)
            faults.nakLines.insert(";EFF08-00000000");
        auto indicator = simulator(false, lateMs == 0, faults);
        QVERIFY(indicator);
        const quint16 port = lateMs == 0 ? indicator->tcpPort() : closedPort();
        if (lateMs > 0)
            QTimer::singleShot(lateMs, indicator.get(), [&] { indicator->startTcp(port); });
        QVERIFY(TestFiles::write(m_dir.filePath("one.csv"),
                                 "name,port\nlate,tcp:127.0.0.1:" + QByteArray::number(port)));
        QProcess process;
        prepare(process, {"fleet", "--targets", "one.csv", "--slot", "1=a.prn", "--json",
                          "--retries", "2", "--retry-after", "0.4"});
        process.start();
        Run run;
        finish(process, run, 20000);
        QTEST(run.exitCode, "exitCode");
        const QJsonObject json = onlyJson(run.out);
        QFETCH(QString, outcome);
        QFETCH(QList<int>, tries);
        QCOMPARE(json.value("outcome").toString(), outcome);
        const int tried = json.value("tries").toInt();
        QVERIFY2(tried >= tries[0] && tried <= tries[1], qPrintable(QString::number(tried)));
        // Only the tries that sent something are recorded: here the last.
        QCOMPARE(DownloadLog::read(recordPath()).records.size(), outcome == "lost" ? 0 : 1);
    }

    // --skip-stored writes nothing to an indicator the record shows holding the tickets, and
    // downloads one that was replaced.
    void skipStored()
    {
        sim::Faults faults;
        faults.serial = "S-1";
        auto indicator = simulator(false, true, faults);
        QVERIFY(indicator);
        QVERIFY(TestFiles::write(m_dir.filePath("one.csv"),
                                 "name,port\ngate," + tcpPort(*indicator).toLatin1()));
        const QStringList fleet{"fleet",  "--targets",       "one.csv", "--slot",       "1=a.prn",
                                "--slot", "3=tickets/c.prn", "--json",  "--skip-stored"};
        QCOMPARE(onlyJson(cli(fleet).out).value("outcome").toString(), QStringLiteral("stored"));
        indicator->resetRecord();
        const Run again = cli(fleet);
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(onlyJson(again.out).value("outcome").toString(), QStringLiteral("already stored"));
        QVERIFY2(again.err.contains("already stored: slots 1, 3 as the record shows"),
                 again.err.constData());
        QCOMPARE(indicator->commandLines(), (QList<QByteArray>{";C4", ";SR"}));
        // Other tickets, or another indicator on the port: downloaded.
        const QStringList other{"fleet",   "--targets", "one.csv",      "--slot",
                                "1=a.prn", "--json",    "--skip-stored"};
        QCOMPARE(onlyJson(cli(other).out).value("outcome").toString(), QStringLiteral("stored"));
        faults.serial = "S-2";
        indicator->setFaults(faults);
        QCOMPARE(onlyJson(cli(fleet).out).value("outcome").toString(), QStringLiteral("stored"));
        QCOMPARE(DownloadLog::read(recordPath()).records.size(), 3);
    }

    void help()
    {
        for (const QStringList& arguments :
             {QStringList{"--help"}, QStringList{"help", "fleet"}, QStringList{"download", "-h"},
              QStringList{"query", "--help"}}) {
            const Run run = cli(arguments);
            QCOMPARE(run.exitCode, 0);
            QVERIFY2(run.out.startsWith("Usage: ticket-talvor-cli "), run.out.constData());
            QCOMPARE(run.err, QByteArray());
        }
        QVERIFY(cli({"help", "fleet"}).out.contains("--targets FILE"));
        const Run version = cli({"--version"});
        QVERIFY(
            QString::fromLatin1(version.out)
                .contains(QRegularExpression("^ticket-talvor-cli [0-9]+\\.[0-9]+\\.[0-9]+\n$")));
    }
};

QTEST_GUILESS_MAIN(TestCliE2e)
#include "test_cli_e2e.moc"
