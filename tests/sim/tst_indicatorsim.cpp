#include "IndicatorSimulator.h"
#include "Protocol.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using sim::IndicatorSimulator;

namespace {

constexpr int LinkTimeoutMs = 5000;
const QByteArray Ack("\x06\r");
const QByteArray Nak("\x15\r");
const QByteArray Version = QByteArray(IndicatorSimulator::DefaultVersion) + "\x06\r";
const QByteArray Serial = QByteArray(IndicatorSimulator::DefaultSerial) + "\x06\r";

const QByteArray Chatter(IndicatorSimulator::ChatterLine);
// Long enough that a reply this late cannot be mistaken for a prompt one on a busy machine.
constexpr int LateMs = 500;
constexpr int ResumeMs = 400;

QByteArrayList pointerPass(const QByteArrayList& entries)
{
    QByteArrayList lines;
    for (int s = 0; s < entries.size(); ++s)
        lines << ";EFF" + QByteArray::number(4 * s, 16).toUpper().rightJustified(2, '0') + '-' +
                     entries[s];
    return lines;
}

QByteArrayList downloadLines(const QByteArrayList& data, const QByteArrayList& pointers)
{
    return pointerPass(QByteArrayList(7, "00000000")) + data + pointerPass(pointers);
}

QByteArrayList slotContents(const QByteArray& s1, const QByteArray& s3 = {})
{
    return {s1, {}, s3, {}, {}, {}, {}};
}

} // namespace

namespace sim {
// For QCOMPARE's failure messages.
char* toString(const Answer& a)
{
    return qstrdup("{" + protocol::visible(a.line) + ", " + protocol::visible(a.reply) + "}");
}
} // namespace sim

class TestIndicatorSim : public QObject {
    Q_OBJECT
private slots:
    void download_data();
    void download();
    void replies_data();
    void replies();
    void faultsOverPty_data();
    void faultsOverPty() { runFault(false); }
    void faultsOverTcp_data() { faultsOverPty_data(); }
    void faultsOverTcp() { runFault(true); }
    void expectBaud_data();
    void expectBaud();
    void answerRecord();
    void stallArmsAgain_data();
    void stallArmsAgain();
    void dumps();
    void programUsage_data();
    void programUsage();
    void programRun();
    void programFaults();

private:
    void runFault(bool overTcp);
};

void TestIndicatorSim::download_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QByteArrayList>("expectedSlots");

    const QByteArray zeros(24, '\0');
    QTest::newRow("example 1: ABCDE in slot 1")
        << downloadLines(
               {";E0000-41424344", ";E0004-45FFFFFF"},
               {"00000004", "00000000", "00000000", "00000000", "00000000", "00000000", "00000000"})
        << QByteArray("ABCDE\xFF\xFF\xFF") << QByteArray("\0\0\0\x04", 4) + zeros
        << slotContents("ABCDE");
    QTest::newRow("example 2: ABCDE in slot 1, xyz in slot 3")
        << downloadLines(
               {";E0000-41424344", ";E0004-4578797A"},
               {"00000004", "00000000", "00050007", "00000000", "00000000", "00000000", "00000000"})
        << QByteArray("ABCDExyz")
        << QByteArray("\0\0\0\x04\0\0\0\0\0\x05\0\x07", 12) + QByteArray(16, '\0')
        << slotContents("ABCDE", "xyz");
}

void TestIndicatorSim::download()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, table);
    QFETCH(QByteArrayList, expectedSlots);

    IndicatorSimulator indicator;
    QSignalSpy tables(&indicator, &IndicatorSimulator::pointerTableComplete);
    QSignalSpy received(&indicator, &IndicatorSimulator::lineReceived);
    for (const QByteArray& line : lines)
        QCOMPARE(indicator.processLine(line), Ack);

    const QByteArray memory = indicator.memory();
    QCOMPARE(memory.size(), 65536);
    QCOMPARE(memory.left(data.size()), data);
    QCOMPARE(memory.mid(data.size(), 0x8000 - data.size()),
             QByteArray(0x8000 - data.size(), '\xFF'));
    QCOMPARE(memory.mid(0xFF00, 28), table);
    QCOMPARE(memory.mid(0x8000, 0xFF00 - 0x8000), QByteArray(0xFF00 - 0x8000, '\xFF'));
    for (int s = 1; s <= 7; ++s)
        QCOMPARE(indicator.slot(s), expectedSlots[s - 1]);
    QCOMPARE(tables.count(), 2); // the clearing pass and the pointer pass
    QCOMPARE(received.count(), lines.size());
    QCOMPARE(indicator.commandLines(), lines);
    const sim::Counters c = indicator.counters();
    QCOMPARE(c.commands, quint64(lines.size()));
    QCOMPARE(c.writes, quint64(lines.size()));
    QCOMPARE(c.naks, 0u);
}

void TestIndicatorSim::replies_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("address"); // where the line stores its bytes, -1 for nowhere
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("version") << QByteArray(";C4") << Version << -1 << QByteArray();
    QTest::newRow("serial") << QByteArray(";SR") << Serial << -1 << QByteArray();
    QTest::newRow("empty line: no answer") << QByteArray() << QByteArray() << -1 << QByteArray();
    QTest::newRow("last data word")
        << QByteArray(";E7FFC-01020304") << Ack << 0x7FFC << QByteArray("\x01\x02\x03\x04");
    QTest::newRow("last table word")
        << QByteArray(";EFF18-A0B0C0D0") << Ack << 0xFF18 << QByteArray("\xA0\xB0\xC0\xD0");
    const char* refused[] = {";E000-41424344",
                             ";E0000-414243440",
                             ";E0000-4142434",
                             ";E0000-4142434G",
                             ";E00a0-41424344",
                             ";E0000+41424344",
                             ";E000041424344",
                             ";E8000-00000000",
                             ";E7FFD-00000000",
                             ";EFEFC-00000000",
                             ";EFF1C-00000000",
                             ";EFF19-00000000",
                             ";C5",
                             "C4",
                             ";c4",
                             ";SR ",
                             ";E0000-41424344 "};
    for (const char* line : refused)
        QTest::newRow(line) << QByteArray(line) << Nak << -1 << QByteArray();
}

void TestIndicatorSim::replies()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, reply);
    QFETCH(int, address);
    QFETCH(QByteArray, bytes);

    IndicatorSimulator indicator;
    QByteArray expected(65536, '\xFF');
    if (address >= 0)
        expected.replace(address, bytes.size(), bytes);
    QCOMPARE(indicator.processLine(line), reply);
    QCOMPARE(indicator.memory(), expected);
    QCOMPARE(indicator.commandLines(), QByteArrayList{line}); // the empty line too
    const QList<sim::Answer> answered{{line, reply}};
    QCOMPARE(indicator.answers(), reply.isEmpty() ? QList<sim::Answer>() : answered);
    QCOMPARE(indicator.counters().commands, line.isEmpty() ? 0u : 1u);
    QCOMPARE(indicator.counters().naks, reply == Nak ? 1u : 0u);
    QCOMPARE(indicator.counters().writes, address >= 0 ? 1u : 0u);
}

void TestIndicatorSim::faultsOverPty_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("extra"); // late-at: the delay in ms; stall-after: resume ms, -1 never
    QTest::addColumn<QByteArray>("send");
    QTest::addColumn<QByteArray>("expect"); // every byte the client must receive, nothing more
    QTest::addColumn<int>("commands");
    QTest::addColumn<int>("minMs");             // earliest arrival of the replies
    QTest::addColumn<QByteArray>("then");       // sent after the replies
    QTest::addColumn<QByteArray>("thenExpect"); // all that follows; empty: the link must be lost
    QTest::addColumn<int>("thenMinMs");         // bounds on its arrival after `then` was sent,
    QTest::addColumn<int>("thenMaxMs");         // 0 for none

    const QByteArray write0(";E0000-41424344\r");
    const QByteArray none;
    QTest::newRow("none") << "none" << 0 << 0 << QByteArray(";C4\r;SR\r") << Version + Serial << 2
                          << 0 << none << none << 0 << 0;
    QTest::newRow("nak-at") << "nak-at" << 0x0004 << 0 << write0 + ";E0004-45FFFFFF\r" << Ack + Nak
                            << 2 << 0 << none << none << 0 << 0;
    QTest::newRow("silent-at") << "silent-at" << 0xFF18 << 0
                               << QByteArray(";EFF18-00000000\r;EFF14-00000000\r") << Ack << 2 << 0
                               << none << none << 0 << 0;
    QTest::newRow("ignore-first") << "ignore-first" << 2 << 0
                                  << QByteArray(";C4\r\r;C4\r\r;C4\r;SR\r") << Version << 4 << 0
                                  << none << none << 0 << 0;
    QTest::newRow("silent-after") << "silent-after" << 1 << 0 << QByteArray(";C4\r;SR\r;C4\r")
                                  << Version << 3 << 0 << none << none << 0 << 0;
    QTest::newRow("text-reply") << "text-reply" << 0 << 0 << ";C4\r" + write0 + ";E8000-00000000\r"
                                << QByteArray("IND V2.05\rOK\rERR\r") << 3 << 0 << none << none << 0
                                << 0;
    QTest::newRow("no-cr") << "no-cr" << 0 << 0 << QByteArray(";SR\r") << QByteArray("12345\x06")
                           << 1 << 0 << none << none << 0 << 0;
    QTest::newRow("delay") << "delay" << 150 << 0 << QByteArray(";C4\r") << Version << 1 << 150
                           << none << none << 0 << 0;
    // 16 bytes in and 2 out at 2400 baud: 18 * 10 / 2400 s.
    QTest::newRow("baud") << "baud" << 2400 << 0 << write0 << Ack << 1 << 75 << none << none << 0
                          << 0;
    QTest::newRow("noise") << "noise" << 0 << 0 << QByteArray(";C4\r") << Version << 1 << 0 << none
                           << none << 0 << 0;
    QTest::newRow("drop-after") << "drop-after" << 1 << 0 << QByteArray(";C4\r") << Version << 2
                                << 0 << QByteArray(";SR\r") << none << 0 << 0;
    QTest::newRow("hang-up") << "hang-up" << 0 << 0 << QByteArray(";C4\r") << Version << 1 << 0
                             << none << none << 0 << 0;
    // The version waits behind the late ACK; a second write to the address is not late again.
    QTest::newRow("late-at") << "late-at" << 0x0004 << LateMs
                             << QByteArray(";E0004-45FFFFFF\r;C4\r") << Ack + Version << 3 << LateMs
                             << QByteArray(";E0004-46FFFFFF\r") << Ack << 0 << LateMs;
    QTest::newRow("lone-cr nak") << "lone-cr" << 1 << 0 << QByteArray(";C4\r\r;SR\r")
                                 << Version + Nak + Serial << 2 << 0 << none << none << 0 << 0;
    QTest::newRow("lone-cr ignore") << "lone-cr" << 0 << 0 << QByteArray(";C4\r\r;SR\r")
                                    << Version + Serial << 2 << 0 << none << none << 0 << 0;
    QTest::newRow("chatter-every")
        << "chatter-every" << 2 << 0 << QByteArray(";C4\r;SR\r;C4\r;SR\r;C4\r")
        << Version + Serial + Chatter + Version + Serial + Chatter + Version << 5 << 0 << none
        << none << 0 << 0;
    // The third command is held for good (checked below: nothing more comes).
    QTest::newRow("stall for ever") << "stall-after" << 2 << -1 << QByteArray(";C4\r;SR\r;C4\r")
                                    << Version + Serial << 2 << 0 << none << none << 0 << 0;
    // What arrives during the stall, lone CR included, is answered in order when it ends.
    QTest::newRow("stall, resume")
        << "stall-after" << 1 << ResumeMs << QByteArray(";C4\r") << Version << 3 << 0
        << QByteArray(";SR\r\r;C4\r") << Serial + Version << ResumeMs << 0;
    // The first line sent is the one refused; one differing only in data is stored.
    QTest::newRow("nak-line") << "nak-line" << 0 << 0 << write0 + ";E0004-45FFFFFF\r" << Nak + Ack
                              << 3 << 0 << QByteArray(";E0000-41424345\r") << Ack << 0 << 0;
    QTest::newRow("crlf") << "crlf" << 0 << 0 << ";C4\r" + write0
                          << QByteArray("IND V2.05\x06\r\n\x06\r\n") << 2 << 0 << none << none << 0
                          << 0;
    // The next answer waits behind the late LF.
    QTest::newRow("lf-after") << "crlf" << LateMs << 0 << QByteArray(";C4\r;SR\r")
                              << Version + "\n" + Serial + "\n"
                              << 2 << 2 * LateMs << none << none << 0 << 0;
    // Only the first answer to the line comes twice.
    QTest::newRow("duplicate") << "duplicate" << 0 << 0 << QByteArray(";C4\r;C4\r")
                               << Version + Version + Version << 2 << 0 << none << none << 0 << 0;
    QTest::newRow("duplicate-every, late copy")
        << "duplicate-every" << 2 << LateMs << QByteArray(";C4\r;SR\r") << Version + Serial + Serial
        << 3 << LateMs << QByteArray(";C4\r") << Version << 0 << 0;
    QTest::newRow("garble-every") << "garble-every" << 2 << 0 << QByteArray(";C4\r;SR\r")
                                  << Version + "12345\x07\r" << 2 << 0 << none << none << 0 << 0;
    // The command after the first is lost; the banner comes when the restart is over.
    QTest::newRow("restart-after")
        << "restart-after" << 1 << ResumeMs << QByteArray(";C4\r;SR\r") << Version + "IND V2.05\r"
        << 2 << ResumeMs << QByteArray(";SR\r") << Serial << 0 << 0;
}

void TestIndicatorSim::runFault(bool overTcp)
{
    QFETCH(QString, fault);
    QFETCH(int, value);
    QFETCH(int, extra);
    QFETCH(QByteArray, send);
    QFETCH(QByteArray, expect);
    QFETCH(int, commands);
    QFETCH(int, minMs);
    QFETCH(QByteArray, then);
    QFETCH(QByteArray, thenExpect);
    QFETCH(int, thenMinMs);
    QFETCH(int, thenMaxMs);

    IndicatorSimulator indicator;
    int hangUps = 0; // counted on this thread: the signal comes from the simulator's thread
    connect(&indicator, &IndicatorSimulator::hungUp, this, [&] { ++hangUps; });
    sim::Faults faults;
    if (fault == "nak-at")
        faults.nakAt.insert(quint16(value));
    else if (fault == "silent-at")
        faults.silentAt.insert(quint16(value));
    else if (fault == "ignore-first")
        faults.ignoreFirst = value;
    else if (fault == "silent-after")
        faults.silentAfter = value;
    else if (fault == "text-reply")
        faults.textReply = true;
    else if (fault == "no-cr")
        faults.noCr = true;
    else if (fault == "delay")
        faults.delayMs = value;
    else if (fault == "baud")
        faults.baud = value;
    else if (fault == "noise")
        faults.noise = true;
    else if (fault == "drop-after")
        faults.dropAfter = value;
    else if (fault == "late-at")
        faults.lateAt.insert(quint16(value), extra);
    else if (fault == "lone-cr")
        faults.loneCrNak = value != 0;
    else if (fault == "chatter-every")
        faults.chatterEvery = value;
    else if (fault == "stall-after") {
        faults.stallAfter = value;
        faults.resumeAfterMs = extra;
    } else if (fault == "nak-line") {
        faults.nakLines.insert(send.left(send.indexOf('\r')));
    } else if (fault == "crlf") {
        faults.crlf = true;
        faults.lfAfterMs = value;
    } else if (fault == "duplicate") {
        faults.duplicateLines.insert(send.left(send.indexOf('\r')));
    } else if (fault == "duplicate-every") {
        faults.duplicateEvery = value;
        faults.duplicateDelayMs = extra;
    } else if (fault == "garble-every") {
        faults.garbleEvery = value;
    } else if (fault == "restart-after") {
        faults.restartAfter = value;
        faults.deafMs = extra;
    }
    indicator.setFaults(faults);
    QString error;
    std::unique_ptr<QIODevice> client;
    bool lost = false;
    if (overTcp) {
        QVERIFY2(indicator.startTcp(0, &error), qPrintable(error));
        auto* socket = new QTcpSocket;
        client.reset(socket);
        connect(socket, &QTcpSocket::disconnected, this, [&] { lost = true; });
        socket->connectToHost(QHostAddress::LocalHost, indicator.tcpPort());
        QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::ConnectedState, LinkTimeoutMs);
    } else {
        QVERIFY2(indicator.startPty(&error), qPrintable(error));
        auto* port = new QSerialPort(indicator.ptyPath());
        client.reset(port);
        // A vanished device floods errorOccurred until the port is closed.
        connect(port, &QSerialPort::errorOccurred, this, [&, port](QSerialPort::SerialPortError e) {
            if (e != QSerialPort::NoError && port->isOpen()) {
                port->close();
                lost = true;
            }
        });
        QVERIFY2(port->open(QIODevice::ReadWrite), qPrintable(port->errorString()));
    }
    QByteArray received;
    qint64 arrivedNs = -1;
    qint64 thenArrivedNs = -1;
    QElapsedTimer clock;
    QElapsedTimer thenClock;
    connect(client.get(), &QIODevice::readyRead, this, [&] {
        received += client->readAll();
        if (arrivedNs < 0 && received.endsWith(expect))
            arrivedNs = clock.nsecsElapsed();
        if (thenClock.isValid() && thenArrivedNs < 0 && received.endsWith(expect + thenExpect))
            thenArrivedNs = thenClock.nsecsElapsed();
    });

    clock.start();
    QCOMPARE(client->write(send), send.size());
    QTRY_VERIFY_WITH_TIMEOUT(received.endsWith(expect), LinkTimeoutMs);
    if (fault == "noise") {
        const QByteArray garbage = received.chopped(expect.size());
        QVERIFY(!garbage.isEmpty());
        for (const char c : {'\r', '\n', '\x06', '\x15', '\0', 'V'})
            QVERIFY(!garbage.contains(c));
    } else {
        QCOMPARE(received, expect);
    }
    QVERIFY2(arrivedNs >= qint64(minMs) * 1'000'000, qPrintable(QString::number(arrivedNs)));
    if (fault == "nak-line")
        QCOMPARE(indicator.memory().left(4), QByteArray(4, '\xFF'));
    const bool stallForEver = fault == "stall-after" && extra < 0;
    if (stallForEver) {
        QSignalSpy more(client.get(), &QIODevice::readyRead);
        QVERIFY(!more.wait(LateMs));
    }

    if (fault == "hang-up")
        indicator.hangUp();
    if (!then.isEmpty()) {
        thenClock.start();
        QCOMPARE(client->write(then), then.size());
    }
    if (!thenExpect.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(thenArrivedNs >= 0, LinkTimeoutMs);
        QCOMPARE(received, expect + thenExpect);
        QVERIFY2(thenArrivedNs >= qint64(thenMinMs) * 1'000'000,
                 qPrintable(QString::number(thenArrivedNs)));
        if (thenMaxMs > 0)
            QVERIFY2(thenArrivedNs < qint64(thenMaxMs) * 1'000'000,
                     qPrintable(QString::number(thenArrivedNs)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(indicator.counters().commands, quint64(commands), LinkTimeoutMs);
    const bool mustLose = fault == "hang-up" || fault == "drop-after";
    if (mustLose) {
        QTRY_VERIFY_WITH_TIMEOUT(lost, LinkTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(hangUps, 1, LinkTimeoutMs);
    }
    // Held lines are not read, so not recorded; no held line here is a lone CR.
    // A restart loses its line unheard.
    QCOMPARE(indicator.commandLines().size(), stallForEver ? commands
                                              : fault == "restart-after"
                                                  ? (send + then).count('\r') - 1
                                                  : (send + then).count('\r'));
    // Replies are written before the command is counted, so bytesOut is final here.
    QCOMPARE(indicator.counters().bytesOut, quint64(received.size()));
    QByteArray answered;
    for (const sim::Answer& a : indicator.answers())
        answered += a.reply;
    QCOMPARE(answered, received);
    QCOMPARE(lost, mustLose);
    QCOMPARE(hangUps, mustLose ? 1 : 0);
}

void TestIndicatorSim::expectBaud_data()
{
    QTest::addColumn<bool>("overTcp");
    QTest::addColumn<int>("firstRate"); // the client's rate for its first line
    QTest::addColumn<bool>("firstHeard");
    QTest::newRow("pty at another rate, then at the rate") << false << 19200 << false;
    QTest::newRow("pty at the rate") << false << 9600 << true;
    QTest::newRow("tcp has no rate") << true << 0 << true;
}

// An indicator set to 9600 baud hears a line only while the client's line is at 9600. The reply
// to the second line comes after any reply to the first, so a reply to the first would show.
void TestIndicatorSim::expectBaud()
{
    QFETCH(bool, overTcp);
    QFETCH(int, firstRate);
    QFETCH(bool, firstHeard);
    IndicatorSimulator indicator;
    sim::Faults faults;
    faults.expectBaud = 9600;
    indicator.setFaults(faults);
    std::unique_ptr<QIODevice> client;
    QSerialPort* port = nullptr;
    if (overTcp) {
        QVERIFY(indicator.startTcp(0));
        auto* socket = new QTcpSocket;
        client.reset(socket);
        socket->connectToHost(QHostAddress::LocalHost, indicator.tcpPort());
        QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::ConnectedState, LinkTimeoutMs);
    } else {
        QVERIFY(indicator.startPty());
        port = new QSerialPort(indicator.ptyPath());
        client.reset(port);
        port->setBaudRate(firstRate);
        QVERIFY2(port->open(QIODevice::ReadWrite), qPrintable(port->errorString()));
        QCOMPARE(indicator.ptyBaudRate(), firstRate);
    }
    QByteArray received;
    connect(client.get(), &QIODevice::readyRead, this, [&] { received += client->readAll(); });

    QCOMPARE(client->write(";C4\r"), 4);
    // The rate counts when the line is taken in, so it changes only after that.
    QTRY_COMPARE_WITH_TIMEOUT(indicator.counters().bytesIn, 4u, LinkTimeoutMs);
    if (port)
        QVERIFY(port->setBaudRate(9600));
    QCOMPARE(client->write(";SR\r"), 4);
    QTRY_VERIFY_WITH_TIMEOUT(received.endsWith(Serial), LinkTimeoutMs);
    QCOMPARE(received, firstHeard ? Version + Serial : Serial);
    QCOMPARE(indicator.commandLines(),
             firstHeard ? QByteArrayList({";C4", ";SR"}) : QByteArrayList{";SR"});
    QCOMPARE(indicator.counters().bytesIn, 8u);
}

void TestIndicatorSim::answerRecord()
{
    IndicatorSimulator indicator;
    sim::Faults faults;
    faults.loneCrNak = true;
    faults.chatterEvery = 3;
    faults.nakLines.insert(";SR");
    indicator.setFaults(faults);
    QString error;
    QVERIFY2(indicator.startTcp(0, &error), qPrintable(error));
    QTcpSocket socket;
    QByteArray received;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, indicator.tcpPort());
    const auto bytesOf = [](const QList<sim::Answer>& answers) {
        QByteArray bytes;
        for (const sim::Answer& a : answers)
            bytes += a.reply;
        return bytes;
    };

    // The lone CR's NAK is a reply: it counts towards the chatter.
    const QList<sim::Answer> first{
        {";C4", Version}, {"", Nak}, {";SR", Nak}, {"", Chatter}, {";E0000-41424344", Ack}};
    socket.write(";C4\r\r;SR\r;E0000-41424344\r");
    QTRY_COMPARE_WITH_TIMEOUT(received, bytesOf(first), LinkTimeoutMs);
    QCOMPARE(indicator.answers(), first);
    QCOMPARE(indicator.commandLines(), (QByteArrayList{";C4", "", ";SR", ";E0000-41424344"}));
    QCOMPARE(indicator.counters().commands, 3u);
    QCOMPARE(indicator.counters().naks, 1u);

    // The count of replies starts again with the record.
    indicator.resetRecord();
    QVERIFY(indicator.answers().isEmpty());
    received.clear();
    const QList<sim::Answer> second{
        {";C4", Version}, {";C4", Version}, {";C4", Version}, {"", Chatter}};
    socket.write(";C4\r;C4\r;C4\r");
    QTRY_COMPARE_WITH_TIMEOUT(received, bytesOf(second), LinkTimeoutMs);
    QCOMPARE(indicator.answers(), second);
}

void TestIndicatorSim::stallArmsAgain_data()
{
    QTest::addColumn<QString>("change"); // what setFaults() changes once the first stall is over
    QTest::addColumn<bool>("held");      // whether the next command waits out a second stall

    QTest::newRow("another fault changed: no new stall") << "other" << false;
    QTest::newRow("the same faults again: no new stall") << "same" << false;
    QTest::newRow("the stall changed: it holds again") << "stall" << true;
}

void TestIndicatorSim::stallArmsAgain()
{
    QFETCH(QString, change);
    QFETCH(bool, held);

    IndicatorSimulator indicator;
    sim::Faults faults;
    faults.stallAfter = 1;
    faults.resumeAfterMs = ResumeMs;
    indicator.setFaults(faults);
    QString error;
    QVERIFY2(indicator.startTcp(0, &error), qPrintable(error));
    QTcpSocket socket;
    QByteArray received;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, indicator.tcpPort());
    // The first stall: the second command waits, then the stall is over.
    socket.write(";C4\r;SR\r");
    QTRY_COMPARE_WITH_TIMEOUT(received, Version + Serial, LinkTimeoutMs);

    if (change == "other")
        faults.nakLines.insert(";C5");
    else if (change == "stall")
        faults.stallAfter = 2;
    indicator.setFaults(faults);
    received.clear();
    QElapsedTimer clock;
    clock.start();
    socket.write(";C4\r");
    QTRY_COMPARE_WITH_TIMEOUT(received, Version, LinkTimeoutMs);
    QCOMPARE(clock.elapsed() >= ResumeMs, held);
}

void TestIndicatorSim::dumps()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile stale(dir.filePath("slot2.bin"));
    QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("old") == 3);
    stale.close();

    IndicatorSimulator indicator;
    indicator.setDumpDir(dir.path());
    const QByteArrayList lines = downloadLines(
        {";E0000-41424344", ";E0004-4578797A"},
        {"00000004", "00000000", "00050007", "00000000", "00000000", "00000000", "00000000"});
    for (const QByteArray& line : lines.mid(0, lines.size() - 1))
        indicator.processLine(line);
    QVERIFY(!QFile::exists(dir.filePath("slot1.bin"))); // table not complete yet
    indicator.processLine(lines.last());

    const QByteArrayList expected = slotContents("ABCDE", "xyz");
    QFile memory(dir.filePath("memory.bin"));
    QVERIFY(memory.open(QIODevice::ReadOnly));
    QCOMPARE(memory.readAll(), indicator.memory());
    for (int s = 1; s <= 7; ++s) {
        QFile f(dir.filePath(QStringLiteral("slot%1.bin").arg(s)));
        QCOMPARE(f.exists(), !expected[s - 1].isEmpty());
        if (f.exists()) {
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), expected[s - 1]);
        }
    }
}

void TestIndicatorSim::programUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("stdoutHas");

    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("--drop-after N");
    for (const char* flag :
         {"--expect-baud B", "--late-at ADDR:MS", "--lone-cr nak|ignore", "--chatter-every N",
          "--stall-after N", "--resume-after SECONDS", "--nak-line LINE"})
        QTest::newRow(qPrintable(QStringLiteral("help: %1").arg(QLatin1String(flag))))
            << QStringList{"--help"} << 0 << QByteArray(flag);
    QTest::newRow("unknown flag") << QStringList{"--bogus"} << 2 << QByteArray();
    QTest::newRow("positional") << QStringList{"COM1"} << 2 << QByteArray();
    QTest::newRow("count not a number") << QStringList{"--baud", "fast"} << 2 << QByteArray();
    QTest::newRow("negative count") << QStringList{"--ignore-first", "-1"} << 2 << QByteArray();
    QTest::newRow("address too long") << QStringList{"--nak-at", "10000"} << 2 << QByteArray();
    QTest::newRow("address not hex") << QStringList{"--silent-at", "FFGG"} << 2 << QByteArray();
    QTest::newRow("port too big") << QStringList{"--tcp", "70000"} << 2 << QByteArray();
    QTest::newRow("late-at without ms") << QStringList{"--late-at", "0004"} << 2 << QByteArray();
    QTest::newRow("late-at empty ms") << QStringList{"--late-at", "0004:"} << 2 << QByteArray();
    QTest::newRow("late-at two colons")
        << QStringList{"--late-at", "0004:10:20"} << 2 << QByteArray();
    QTest::newRow("late-at address too long")
        << QStringList{"--late-at", "10000:10"} << 2 << QByteArray();
    QTest::newRow("late-at negative ms")
        << QStringList{"--late-at", "0004:-1"} << 2 << QByteArray();
    QTest::newRow("late-at decimal ms")
        << QStringList{"--late-at", "0004:1.5"} << 2 << QByteArray();
    QTest::newRow("lone-cr unknown") << QStringList{"--lone-cr", "ack"} << 2 << QByteArray();
    QTest::newRow("lone-cr upper case") << QStringList{"--lone-cr", "NAK"} << 2 << QByteArray();
    QTest::newRow("chatter-every zero") << QStringList{"--chatter-every", "0"} << 2 << QByteArray();
    QTest::newRow("chatter-every not a number")
        << QStringList{"--chatter-every", "x"} << 2 << QByteArray();
    QTest::newRow("stall-after negative")
        << QStringList{"--stall-after", "-2"} << 2 << QByteArray();
    QTest::newRow("resume-after alone") << QStringList{"--resume-after", "1"} << 2 << QByteArray();
    QTest::newRow("resume-after not a number")
        << QStringList{"--stall-after", "1", "--resume-after", "soon"} << 2 << QByteArray();
    QTest::newRow("resume-after negative")
        << QStringList{"--stall-after", "1", "--resume-after", "-0.5"} << 2 << QByteArray();
    QTest::newRow("resume-after too long")
        << QStringList{"--stall-after", "1", "--resume-after", "1e10"} << 2 << QByteArray();
    QTest::newRow("nak-line empty") << QStringList{"--nak-line", ""} << 2 << QByteArray();
    QTest::newRow("link cannot be made")
        << QStringList{"--link", "/nonexistent-dir/COM1"} << 1 << QByteArray();
}

void TestIndicatorSim::programUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, stdoutHas);

    QProcess program;
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(INDICATOR_SIM_PROGRAM, args);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, LinkTimeoutMs);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray out = program.readAllStandardOutput();
    QVERIFY(out.contains(stdoutHas));
    if (exitCode != 0)
        QVERIFY(out.isEmpty() && !program.readAllStandardError().isEmpty());
}

void TestIndicatorSim::programRun()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("COM1");
    QProcess program;
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(INDICATOR_SIM_PROGRAM, {"--link", link, "--tcp", "0", "--dump-dir", dir.path(),
                                          "--expect-baud", "9600", "--verbose"});
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += program.readAllStandardOutput()).count('\n') == 2,
                             LinkTimeoutMs);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QVERIFY(lines[0].startsWith("pty /dev/"));
    QCOMPARE(QFileInfo(link).symLinkTarget(), QString::fromLocal8Bit(lines[0].mid(4)));
    QVERIFY(lines[1].startsWith("tcp "));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, lines[1].mid(4).toUShort());
    QByteArray received;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
    socket.write(";E0010-CAFEF00D\r");
    QTRY_COMPARE_WITH_TIMEOUT(received, Ack, LinkTimeoutMs);

    // Over the pseudo-terminal only a line at 9600 baud is heard.
    QSerialPort port(link);
    port.setBaudRate(19200);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    QByteArray fromPty;
    connect(&port, &QSerialPort::readyRead, this, [&] { fromPty += port.readAll(); });
    port.write(";C4\r");
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT(
        (log += program.readAllStandardError())
            .contains("pty -- (not heard: the line is at 19200 baud, the indicator at 9600)"),
        LinkTimeoutMs);
    QVERIFY(port.setBaudRate(9600));
    port.write(";SR\r");
    QTRY_COMPARE_WITH_TIMEOUT(fromPty, Serial, LinkTimeoutMs);
    port.close();

    program.terminate();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, LinkTimeoutMs);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QFile memory(dir.filePath("memory.bin"));
    QVERIFY(memory.open(QIODevice::ReadOnly));
    QCOMPARE(memory.readAll().mid(0x0E, 8), QByteArray("\xFF\xFF\xCA\xFE\xF0\x0D\xFF\xFF"));
}

// The new fault flags reach the simulator: each one's effect shows in one session.
void TestIndicatorSim::programFaults()
{
    QProcess program;
    QSignalSpy finished(&program, &QProcess::finished);
    program.start(INDICATOR_SIM_PROGRAM,
                  {"--tcp", "0", "--late-at", "0010:" + QString::number(LateMs), "--lone-cr", "nak",
                   "--nak-line", ";SR", "--chatter-every", "3", "--stall-after", "2",
                   "--resume-after", "0.4"});
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += program.readAllStandardOutput()).endsWith('\n'),
                             LinkTimeoutMs);
    QVERIFY(out.startsWith("tcp "));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, out.trimmed().mid(4).toUShort());
    QByteArray received;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
    QElapsedTimer clock;
    clock.start();
    socket.write(";E0010-CAFEF00D\r\r;SR\r");
    QTRY_COMPARE_WITH_TIMEOUT(received, Ack + Nak + Nak + Chatter, LinkTimeoutMs);
    QVERIFY(clock.elapsed() >= LateMs);

    // Two commands handled: this one is held for the 0.4 s.
    received.clear();
    clock.restart();
    socket.write(";C4\r");
    QTRY_COMPARE_WITH_TIMEOUT(received, Version, LinkTimeoutMs);
    QVERIFY(clock.elapsed() >= ResumeMs);

    program.terminate();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, LinkTimeoutMs);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_MAIN(TestIndicatorSim)
#include "tst_indicatorsim.moc"
