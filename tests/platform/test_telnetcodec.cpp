#include "platform/TelnetCodec.h"

#include <QScopeGuard>
#include <QTest>

using Answers = QList<QByteArray>; // each answer as its command code then its value

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out += char(v);
    return out;
}

const auto will = [](int option) { return bytes({255, TelnetCodec::kWill, option}); };
const auto wont = [](int option) { return bytes({255, TelnetCodec::kWont, option}); };
const auto doo = [](int option) { return bytes({255, TelnetCodec::kDo, option}); };
const auto dont = [](int option) { return bytes({255, TelnetCodec::kDont, option}); };

// A server's COM port answer, as ser2net sends it.
QByteArray serverAnswer(int command, QByteArray value)
{
    return bytes({255, 250, 44, command + TelnetCodec::kServerOffset}) +
           value.replace("\xff", "\xff\xff") + bytes({255, 240});
}

struct Outcome {
    QByteArray data;
    QByteArray reply;
    Answers answers;
    TelnetCodec::Agreement agreement;
};

// The stream fed in the given chunks to a codec that has sent its opening requests or not.
Outcome feed(const QList<QByteArrayView>& chunks, bool started, qsizetype* largestBuffer)
{
    TelnetCodec codec;
    if (started)
        codec.start();
    Outcome outcome;
    for (const QByteArrayView chunk : chunks) {
        const TelnetCodec::Received r = codec.receive(chunk);
        outcome.data += r.data;
        outcome.reply += r.reply;
        for (const auto& answer : r.answers)
            outcome.answers.append(char(answer.command) + answer.value);
        *largestBuffer = std::max(*largestBuffer, codec.bufferedBytes());
    }
    outcome.agreement = codec.comPortControl();
    return outcome;
}

} // namespace

// The framing as the channel relies on it: what reaches the indicator's byte stream, what the
// server is told, and which COM port answers come out, however the stream is cut.
class TestTelnetCodec : public QObject {
    Q_OBJECT
private slots:
    void receive_data();
    void receive();
    void encode_data();
    void encode();
    void comPortCommands();
};

void TestTelnetCodec::receive_data()
{
    using A = TelnetCodec::Agreement;
    QTest::addColumn<bool>("started"); // our opening requests were sent
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<TelnetCodec::Agreement>("agreement");

    const QByteArray rate9600 = TelnetCodec::baudRateValue(9600);
    QTest::newRow("plain data") << true << QByteArray(";C4\r") << QByteArray(";C4\r")
                                << QByteArray() << Answers{} << A::Pending;
    QTest::newRow("IAC doubled in data")
        << true << bytes({'a', 255, 255, 255, 255, 'b'}) << bytes({'a', 255, 255, 'b'})
        << QByteArray() << Answers{} << A::Pending;
    QTest::newRow("ser2net's greeting")
        << true
        << will(3) + doo(3) + will(1) + dont(1) + doo(0) + will(0) + doo(44) +
               serverAnswer(7, bytes({0}))
        << QByteArray() << dont(1) << Answers{bytes({7, 0})} << A::Agreed;
    QTest::newRow("rate confirmed between data")
        << true << "V" + serverAnswer(1, rate9600) + "2" << QByteArray("V2") << QByteArray()
        << Answers{char(1) + rate9600} << A::Pending;
    QTest::newRow("another rate confirmed")
        << true << serverAnswer(1, TelnetCodec::baudRateValue(38400)) << QByteArray()
        << QByteArray() << Answers{char(1) + TelnetCodec::baudRateValue(38400)} << A::Pending;
    QTest::newRow("rate holding an IAC byte")
        << true << serverAnswer(1, TelnetCodec::baudRateValue(0xFF00)) << QByteArray()
        << QByteArray() << Answers{char(1) + TelnetCodec::baudRateValue(0xFF00)} << A::Pending;
    QTest::newRow("COM port control refused")
        << true << dont(44) << QByteArray() << QByteArray() << Answers{} << A::Refused;
    QTest::newRow("unknown options refused")
        << true << will(1) + doo(24) + will(44) + doo(31) + "x" << QByteArray("x")
        << dont(1) + wont(24) + dont(44) + wont(31) << Answers{} << A::Pending;
    QTest::newRow("asked for by the server, agreed once")
        << false << doo(0) + will(3) + doo(0) + will(3) << QByteArray() << will(0) + doo(3)
        << Answers{} << A::Refused;
    QTest::newRow("agreed, then revoked")
        << true << doo(0) + dont(0) + wont(3) << QByteArray() << wont(0) << Answers{} << A::Pending;
    QTest::newRow("commands without meaning dropped")
        << true << bytes({'a', 255, 241, 'b', 255, 249, 'c', 255, 242, 255, 240})
        << QByteArray("abc") << QByteArray() << Answers{} << A::Pending;
    QTest::newRow("other options' subnegotiations dropped")
        << true << bytes({255, 250, 24, 1, 255, 240, 'k'}) << QByteArray("k") << QByteArray()
        << Answers{} << A::Pending;
    QTest::newRow("command ends a subnegotiation")
        << true << bytes({255, 250, 44, 101, 0, 255, 251, 1, 'x'}) << QByteArray("x") << dont(1)
        << Answers{} << A::Pending;
    QTest::newRow("CR NUL outside binary mode")
        << false << bytes({'a', '\r', 0, 'b', 0}) << bytes({'a', '\r', 'b', 0}) << QByteArray()
        << Answers{} << A::Refused;
    QTest::newRow("CR NUL in binary mode")
        << true << will(0) + bytes({'a', '\r', 0}) << bytes({'a', '\r', 0}) << QByteArray()
        << Answers{} << A::Pending;
    const QByteArray endless = bytes({255, 250, 44, 101}) + QByteArray(1000, 'z');
    QTest::newRow("overlong subnegotiation skipped")
        << true << endless + bytes({255, 240}) + serverAnswer(2, bytes({8})) + "ok"
        << QByteArray("ok") << QByteArray() << Answers{bytes({2, 8})} << A::Pending;
    QTest::newRow("subnegotiation that never ends")
        << true << "a" + endless << QByteArray("a") << QByteArray() << Answers{} << A::Pending;
}

void TestTelnetCodec::receive()
{
    QFETCH(bool, started);
    QFETCH(QByteArray, stream);
    QList<QList<QByteArrayView>> cuts{{stream}};
    for (qsizetype i = 1; i < stream.size(); ++i)
        cuts.append({QByteArrayView(stream).first(i), QByteArrayView(stream).sliced(i)});
    QList<QByteArrayView> oneByOne;
    for (qsizetype i = 0; i < stream.size(); ++i)
        oneByOne.append(QByteArrayView(stream).sliced(i, 1));
    cuts.append(oneByOne);

    for (const auto& chunks : cuts) {
        qsizetype largestBuffer = 0;
        const Outcome outcome = feed(chunks, started, &largestBuffer);
        const QByteArray where = "first chunk of " + QByteArray::number(chunks.first().size()) +
                                 " bytes, " + QByteArray::number(chunks.size()) + " chunks";
        const auto tell = qScopeGuard([&] {
            if (QTest::currentTestFailed())
                qWarning("cut: %s", where.constData());
        });
        QTEST(outcome.data, "data");
        QTEST(outcome.reply, "reply");
        QTEST(outcome.answers, "answers");
        QTEST(outcome.agreement, "agreement");
        QVERIFY2(largestBuffer <= TelnetCodec::kMaxSubnegotiation, where);
    }
}

void TestTelnetCodec::encode_data()
{
    QTest::addColumn<bool>("binary"); // the server agreed to our binary transmission
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("framed");
    QTest::newRow("IAC doubled") << true << bytes({255, 'a', 255, 255})
                                 << bytes({255, 255, 'a', 255, 255, 255, 255});
    QTest::newRow("CR outside binary mode")
        << false << QByteArray(";C4\r") << QByteArray(";C4\r") + '\0';
    QTest::newRow("IAC outside binary mode") << false << bytes({255}) << bytes({255, 255});
}

void TestTelnetCodec::encode()
{
    QFETCH(bool, binary);
    QFETCH(QByteArray, data);
    TelnetCodec codec;
    codec.start();
    if (binary)
        codec.receive(doo(0));
    QTEST(codec.encode(data), "framed");
}

// The requests the channel sends, IAC in a value doubled, and the rate read back from the value.
void TestTelnetCodec::comPortCommands()
{
    using C = TelnetCodec::ComPortCommand;
    QCOMPARE(TelnetCodec::comPortCommand(C::SetBaudRate, TelnetCodec::baudRateValue(115200)),
             bytes({255, 250, 44, 1, 0, 1, 0xC2, 0, 255, 240}));
    QCOMPARE(TelnetCodec::comPortCommand(C::SetBaudRate, TelnetCodec::baudRateValue(0xFFFF)),
             bytes({255, 250, 44, 1, 0, 0, 255, 255, 255, 255, 255, 240}));
    QCOMPARE(TelnetCodec::baudRateOf(bytes({0, 0, 0x25})), std::nullopt);
    TelnetCodec codec;
    QCOMPARE(codec.start(), will(0) + will(3) + will(44) + doo(0) + doo(3));
}

QTEST_APPLESS_MAIN(TestTelnetCodec)
#include "test_telnetcodec.moc"
