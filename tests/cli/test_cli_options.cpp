#include "cli/CommandLine.h"
#include "cli/HelpText.h"
#include "cli/Tickets.h"
#include "platform/SettingsStore.h"
#include "session/PortIdentity.h"
#include "support/TestFiles.h"
#include "ticket/TicketSet.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Cli;

Q_DECLARE_METATYPE(PortAddress::Kind)

// What the command line and the fleet file accept, and what they refuse with which words,
// before anything is opened or sent.
class TestCliOptions : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        if (!TestFiles::write(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // The fleet file's rows, those that reach an indicator of an earlier row refused.
    static FleetFile fleetOf(const QByteArray& content, const QString& settingsPath)
    {
        FleetFile fleet = parseFleet(content);
        PortIdentity identity{ComPorts::fromSettings(SettingsStore(settingsPath))};
        QList<PortAddress> ports;
        for (const Target& target : std::as_const(fleet.targets))
            ports.append(target.port);
        identity.lookUpHosts(ports);
        refuseSamePorts(fleet, [&](const PortAddress& port) { return identity.of(port); });
        return fleet;
    }

private slots:
    void ports_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<PortAddress::Kind>("kind");
        QTest::addColumn<QString>("detail"); // COM number, device, host:port, or the error
        using K = PortAddress::Kind;
        QTest::newRow("COM1") << "COM1" << true << K::Com << "1";
        QTest::newRow("com8") << "com8" << true << K::Com << "8";
        QTest::newRow("COM9") << "COM9" << false << K::Com << "there is no port COM9";
        QTest::newRow("COM0") << "COM0" << false << K::Com << "there is no port COM0";
        QTest::newRow("device") << "/dev/ttyUSB0" << true << K::Device << "/dev/ttyUSB0";
        QTest::newRow("by-id") << "/dev/serial/by-id/usb-FTDI-if00" << true << K::Device
                               << "/dev/serial/by-id/usb-FTDI-if00";
        QTest::newRow("tcp") << "tcp:192.168.1.50:4001" << true << K::Tcp << "192.168.1.50:4001";
        QTest::newRow("tcp name") << "TCP:scale-7.local:23" << true << K::Tcp << "scale-7.local:23";
        QTest::newRow("tcp v6") << "tcp:[fe80::1]:4001" << true << K::Tcp << "fe80::1:4001";
        QTest::newRow("tcp no port") << "tcp:192.168.1.50" << false << K::Tcp << "is no TCP/IP";
        QTest::newRow("tcp port 0") << "tcp:host:0" << false << K::Tcp << "is no TCP/IP";
        QTest::newRow("tcp port 65536") << "tcp:host:65536" << false << K::Tcp << "is no TCP/IP";
        QTest::newRow("tcp port +1") << "tcp:host:+1" << false << K::Tcp << "is no TCP/IP";
        QTest::newRow("tcp no host") << "tcp::4001" << false << K::Tcp << "is no TCP/IP";
        QTest::newRow("rfc2217") << "rfc2217://192.168.1.50:4001" << true << K::Rfc2217
                                 << "192.168.1.50:4001";
        QTest::newRow("rfc2217 no port")
            << "rfc2217://host" << false << K::Com << "give rfc2217://HOST:PORT";
        QTest::newRow("relative") << "ttyUSB0" << false << K::Com << "'ttyUSB0' is no port";
        QTest::newRow("empty") << "" << false << K::Com << "no port given";
    }
    void ports()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(PortAddress::Kind, kind);
        QFETCH(QString, detail);
        using K = PortAddress::Kind;
        QString error;
        const std::optional<PortAddress> address = PortAddress::parse(text, &error);
        QCOMPARE(bool(address), ok);
        if (!ok) {
            QVERIFY2(error.contains(detail), qPrintable(error));
            return;
        }
        QCOMPARE(address->kind, kind);
        const QString got = kind == K::Com ? QString::number(address->comNumber)
                            : kind == K::Device
                                ? address->device
                                : address->host + u':' + QString::number(address->tcpPort);
        QCOMPARE(got, detail);
    }

    // A device server's line takes a rate from the fleet file as from --baud.
    void fleetOfDeviceServers()
    {
        const FleetFile fleet = parseFleet("name,port,baud\nyard,rfc2217://10.0.0.1:4001,9600\n");
        QCOMPARE(fleet.badRows.size(), 0);
        QCOMPARE(fleet.targets.size(), 1);
        QCOMPARE(fleet.targets[0].port.kind, PortAddress::Kind::Rfc2217);
        QCOMPARE(fleet.targets[0].baud, 9600);
    }

    void baudRates()
    {
        for (const int rate : {4800, 9600, 19200, 38400, 57600, 115200}) {
            QString error;
            QCOMPARE(parseBaud(QString::number(rate), &error), std::optional<int>(rate));
        }
        for (const char* text : {"2400", "19200x", "", "-9600", "230400"}) {
            QString error;
            QVERIFY(!parseBaud(QString::fromLatin1(text), &error));
            QVERIFY2(error.contains("4800, 9600, 19200, 38400, 57600 or 115200"),
                     qPrintable(error));
        }
    }

    void fleetFile()
    {
        const FleetFile fleet = fleetOf("\xEF\xBB\xBF# scales of the north site\r\n"
                                        "Name, Port, Baud\r\n"
                                        "north-1,tcp:10.0.0.1:4001,\r\n"
                                        "\r\n"
                                        "north-2,COM3,9600\r\n"
                                        "\"gate, west\",/dev/ttyUSB1\r\n"
                                        ",COM4,\r\n"
                                        "north-3,COM9,\r\n"
                                        "north-4,tcp:10.0.0.4:4001,9600\r\n"
                                        "north-5,COM5,300\r\n"
                                        "north-1,COM6\r\n"
                                        "north-6,tcp:10.0.0.1:4001\r\n"
                                        "north-7,com3\r\n"
                                        "north-8,COM7,9600,extra\r\n"
                                        "\"north\r\n"
                                        "9\",COM7\r\n"
                                        "north-10\r\n"
                                        "north-11\",COM8\r\n"
                                        "\"say \"\"hi\"\"\",tcp:10.0.0.9:1\r\n"
                                        "\"north-12,COM7",
                                        m_dir.filePath("none.ini"));
        QCOMPARE(fleet.fault, QString());
        QCOMPARE(fleet.targets.size(), 4);
        QCOMPARE(fleet.targets[0].name, QStringLiteral("north-1"));
        QCOMPARE(fleet.targets[0].line, 3);
        QCOMPARE(fleet.targets[0].port.kind, PortAddress::Kind::Tcp);
        QCOMPARE(fleet.targets[1].baud, 9600);
        QCOMPARE(fleet.targets[1].port.comNumber, 3);
        QCOMPARE(fleet.targets[2].name, QStringLiteral("gate, west"));
        QCOMPARE(fleet.targets[2].baud, kDefaultBaud);
        QCOMPARE(fleet.targets[2].line, 6);
        QCOMPARE(fleet.targets[3].name, QStringLiteral("say \"hi\""));

        const QList<QPair<int, QString>> expected{
            {7, "no name"},
            {8, "there is no port COM9"},
            {9, "a baud rate, but tcp:10.0.0.4:4001 is no serial port"},
            {10, "'300' is no baud rate"},
            {11, "the name north-1 is already on line 3"},
            {12, "the port tcp:10.0.0.1:4001 is already on line 3"},
            {13, "the port com3 is already on line 5"},
            {14, "4 fields, where the header has 3"},
            {15, "a quoted field runs over lines 15 to 16"},
            {17, "1 field, where the header has 3"},
            {18, "a quote inside a field that does not start with one"},
            {20, "a quote is not closed"},
        };
        QCOMPARE(fleet.badRows.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(fleet.badRows[i].line, expected[i].first);
            QVERIFY2(fleet.badRows[i].fault.contains(expected[i].second),
                     qPrintable(fleet.badRows[i].fault));
        }
        QCOMPARE(fleet.badRows[1].name, QStringLiteral("north-3"));
    }

    // Two spellings of one indicator are one port: the second row is refused with its line.
    void samePort_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("fault"); // of the second row; empty: both rows kept
        QTest::newRow("COM1 and the device [PortNames] gives it")
            << "COM1"
            << "{dev}"
            << "the port {dev} is already on line 2 as COM1 (both reach {dev})";
        QTest::newRow("a link and the device behind it")
            << "{link}"
            << "{dev}"
            << "the port {dev} is already on line 2 as {link} (both reach {dev})";
        QTest::newRow("an address and a host name for it")
            << "tcp:127.0.0.1:4001"
            << "tcp:localhost:4001"
            << "the port tcp:localhost:4001 is already on line 2 as tcp:127.0.0.1:4001 (both "
               "reach 127.0.0.1:4001)";
        // Host names are looked up in lower case, and found so whatever their case.
        QTest::newRow("a host name in capitals and its address")
            << "tcp:LOCALHOST:4001"
            << "tcp:127.0.0.1:4001"
            << "the port tcp:127.0.0.1:4001 is already on line 2 as tcp:LOCALHOST:4001 (both "
               "reach 127.0.0.1:4001)";
        QTest::newRow("one device server port, raw and RFC 2217")
            << "rfc2217://localhost:4001"
            << "tcp:127.0.0.1:4001"
            << "the port tcp:127.0.0.1:4001 is already on line 2 as rfc2217://localhost:4001 "
               "(both reach 127.0.0.1:4001)";
        QTest::newRow("two ports of one host") << "tcp:localhost:4001"
                                               << "tcp:127.0.0.1:4002"
                                               << "";
        QTest::newRow("two COM ports") << "COM1"
                                       << "COM2"
                                       << "";
    }
    void samePort()
    {
        const QString dev = file("ttyX", "");
        const QString link = m_dir.filePath("by-id-X");
        QFile::remove(link);
        QVERIFY(QFile::link(dev, link));
        const auto expand = [&](QString text) {
            return text.replace("{dev}", dev).replace("{link}", link);
        };
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, fault);
        const QString settings = file("ports.ini", "[PortNames]\nCOM1=" + link.toUtf8() + '\n');
        const FleetFile fleet = fleetOf("name,port\na," + expand(first).toUtf8() + "\nb," +
                                            expand(second).toUtf8() + '\n',
                                        settings);
        if (fault.isEmpty()) {
            QCOMPARE(fleet.targets.size(), 2);
            return;
        }
        QCOMPARE(fleet.targets.size(), 1);
        QCOMPARE(fleet.badRows.size(), 1);
        QCOMPARE(fleet.badRows[0].line, 3);
        QCOMPARE(fleet.badRows[0].fault, expand(fault));
    }

    // CR, LF and CR LF each end a line.
    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("end");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("CR") << QByteArray("\r");
    }
    void lineEnds()
    {
        QFETCH(QByteArray, end);
        const FleetFile fleet =
            parseFleet("name,port" + end + "a,COM1" + end + end + "b,\"COM2\"" + end);
        QCOMPARE(fleet.fault, QString());
        QCOMPARE(fleet.badRows.size(), 0);
        QCOMPARE(fleet.targets.size(), 2);
        QCOMPARE(fleet.targets[1].line, 4);
    }

    void fleetFileFaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fault");
        QTest::newRow("too large")
            << QByteArray(4 * 1024 * 1024 + 1, '#') << "is larger than 4 MiB";
        QTest::newRow("a long first line quoted in part") << QByteArray(100000, 'x') + "\rx,COM1\r"
                                                          << "not \"" + QString(57, u'x') + "...\"";
        QTest::newRow("empty") << QByteArray("\n# nothing\n") << "the file is empty";
        QTest::newRow("no header")
            << QByteArray("north-1,COM1\n") << "line 1: the first line must be the header";
        QTest::newRow("wrong header")
            << QByteArray("name,host\nx,tcp:a:1\n") << "not \"name,host\"";
        QTest::newRow("header only") << QByteArray("name,port\n") << "only the header";
    }
    void fleetFileFaults()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, fault);
        const QString path = file("faulty.csv", content);
        const FleetFile fleet = readFleet(path);
        QVERIFY2(fleet.fault.contains(path) && fleet.fault.contains(fault),
                 qPrintable(fleet.fault.left(200)));
        QVERIFY(fleet.targets.isEmpty());
    }

    void commandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("query") << QStringList{"query", "--port", "COM2"} << "";
        QTest::newRow("download") << QStringList{"download", "--port=tcp:h:1", "--slot",
                                                 "1=a",      "--slot",         "3=b=c",
                                                 "--json",   "--no-record"}
                                  << "";
        QTest::newRow("fleet") << QStringList{"fleet",   "--targets",  "t.csv", "--set",
                                              "s.tkset", "--parallel", "50"}
                               << "";
        QTest::newRow("nothing") << QStringList{} << "no command given";
        QTest::newRow("unknown command") << QStringList{"upload"} << "there is no command 'upload'";
        QTest::newRow("unknown option")
            << QStringList{"query", "--port", "COM1", "--slot", "1=a"} << "Unknown option 'slot'";
        QTest::newRow("no port") << QStringList{"query"} << "--port PORT is missing";
        QTest::newRow("bad port") << QStringList{"query", "--port", "COM12"}
                                  << "there is no port COM12";
        QTest::newRow("port twice") << QStringList{"query", "--port", "COM1", "--port", "COM2"}
                                    << "--port is given more than once";
        QTest::newRow("bad baud") << QStringList{"query", "--port", "COM1", "--baud", "300"}
                                  << "'300' is no baud rate";
        QTest::newRow("baud on tcp") << QStringList{"query", "--port", "tcp:h:1", "--baud", "9600"}
                                     << "--baud applies to serial ports";
        QTest::newRow("no tickets") << QStringList{"download", "--port", "COM1"}
                                    << "either with --slot N=FILE or with --set FILE";
        QTest::newRow("slot and set")
            << QStringList{"download", "--port", "COM1", "--slot", "1=a", "--set", "s"}
            << "not both";
        QTest::newRow("set without a file")
            << QStringList{"download", "--port", "COM1", "--set", ""} << "no set given";
        QTest::newRow("slot 8") << QStringList{"download", "--port", "COM1", "--slot", "8=a"}
                                << "there is no slot 8";
        QTest::newRow("slot without file")
            << QStringList{"download", "--port", "COM1", "--slot", "1"} << "--slot needs N=FILE";
        QTest::newRow("slot twice")
            << QStringList{"download", "--port", "COM1", "--slot", "2=a", "--slot", "2=b"}
            << "slot 2 is given twice";
        QTest::newRow("no targets")
            << QStringList{"fleet", "--slot", "1=a"} << "--targets FILE is missing";
        QTest::newRow("parallel 0")
            << QStringList{"fleet", "--targets", "t", "--slot", "1=a", "--parallel", "0"}
            << "--parallel needs a whole number from 1 to 512, not '0'";
        QTest::newRow("port on fleet")
            << QStringList{"fleet", "--targets", "t", "--slot", "1=a", "--port", "COM1"}
            << "Unknown option 'port'";
        QTest::newRow("stray argument")
            << QStringList{"query", "--port", "COM1", "now"} << "unexpected argument 'now'";
        QTest::newRow("help of nothing")
            << QStringList{"help", "upload"} << "there is no command 'upload'";
    }
    void commandLines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const ParseResult result = parseArguments(arguments);
        QCOMPARE(bool(result.command), error.isEmpty());
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
    }

    void commandValues()
    {
        ParseResult result =
            parseArguments({"download", "--port", "/dev/ttyUSB3", "--baud", "115200", "--slot",
                            "3=b=c.prn", "--slot", "1=a.prn", "--settings", "x.ini"});
        QVERIFY(result.command);
        Command command = *result.command;
        QCOMPARE(command.kind, Command::Kind::Download);
        QCOMPARE(command.port.device, QStringLiteral("/dev/ttyUSB3"));
        QCOMPARE(command.baud, 115200);
        QCOMPARE(command.slotFiles, (QList<QPair<int, QString>>{{3, "b=c.prn"}, {1, "a.prn"}}));
        QCOMPARE(command.settingsPath, QStringLiteral("x.ini"));
        QVERIFY(!command.json);
        QVERIFY(!command.noRecord);

        result = parseArguments({"fleet", "--targets", "t.csv", "--slot", "1=a"});
        QVERIFY(result.command);
        QCOMPARE(result.command->parallel, kDefaultParallel);
        QCOMPARE(parseArguments({"query", "--port", "COM1"}).command->baud, kDefaultBaud);

        result = parseArguments({"download", "--help", "--port", "bad"});
        QVERIFY(result.command);
        QCOMPARE(result.command->kind, Command::Kind::Help);
        QCOMPARE(result.command->helpTopic, QStringLiteral("download"));
        QVERIFY(helpText("download").contains("--slot N=FILE"));
        QVERIFY(helpText("fleet").contains("--parallel N"));
        QVERIFY(!helpText("query").contains("--slot"));
    }

    // The tickets are read as the window reads them and checked before anything is sent.
    void tickets()
    {
        const QString a = file("a.prn", "ABCDE");
        const QString c = file("c.prn", "xyz");
        const QString empty = file("empty.prn", "");
        const QString big = file("big.prn", QByteArray(32766, 'b'));
        const QString oneByte = file("one.prn", "x");
        Command command;
        command.slotFiles = {{3, c}, {1, a}};
        Tickets tickets;
        QString error;
        QVERIFY2(loadTickets(command, &tickets, &error), qPrintable(error));
        QCOMPARE(tickets.contents[0], QByteArray("ABCDE"));
        QCOMPARE(tickets.contents[2], QByteArray("xyz"));
        QCOMPARE(tickets.paths[2], c);
        QCOMPARE(tickets.paths[1], QString());

        TicketSet set;
        set.paths[1] = c;
        set.paths[6] = a;
        const QString setPath = m_dir.filePath("two.tkset");
        QVERIFY(TicketSetFile::write(setPath, set, &error));
        command = Command{};
        command.setPath = setPath;
        QVERIFY2(loadTickets(command, &tickets, &error), qPrintable(error));
        QCOMPARE(tickets.contents[1], QByteArray("xyz"));
        QCOMPARE(tickets.contents[6], QByteArray("ABCDE"));

        const QList<QPair<QList<QPair<int, QString>>, QString>> refused{
            {{{1, m_dir.filePath("missing.prn")}}, "missing.prn could not be read"},
            {{{1, empty}}, "The tickets hold no data"},
            {{{1, big}, {2, c}}, "The tickets hold 32769 bytes in all, more than the 32768"},
            {{{2, oneByte}, {4, c}}, "slot 2 (Truck 1st Weighing) is one byte long"},
            {{{1, setPath}, {2, c}}, "two.tkset is a ticket set, not a ticket"},
        };
        for (const auto& [slotFiles, fault] : refused) {
            command = Command{};
            command.slotFiles = slotFiles;
            QVERIFY(!loadTickets(command, &tickets, &error));
            QVERIFY2(error.contains(fault), qPrintable(error));
        }
        command = Command{};
        command.setPath = file("bad.tkset", "[TicketSet]\nSlot9=a.prn\n");
        QVERIFY(!loadTickets(command, &tickets, &error));
        QVERIFY2(error.contains("bad.tkset could not be read: line 2: Slot9"), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestCliOptions)
#include "test_cli_options.moc"
