#include "cli/TargetsFile.h"
#include "cli/TerminalTexts.h"
#include "link/PortAddress.h"
#include "session/FailureTexts.h"
#include "ticket/DownloadMessages.h"

#include <QRegularExpression>
#include <QTest>
#include <functional>

namespace {
// What a name, a host or a system's words may hold: placeholders and digits that a message built
// in steps would take for its own.
const QString kTricky = QStringLiteral("%1%3 9");

using Kind = DownloadNotice::Kind;
using Maker = std::function<QString()>;

DownloadNotice noticeOf(Kind kind, DownloadNotice::Cause cause = {}, DownloadPass pass = {})
{
    DownloadNotice notice;
    notice.kind = kind;
    notice.cause = cause;
    notice.pass = pass;
    notice.lost = ChannelFailure::of(ChannelFailure::Kind::PeerClosed, 0, kTricky);
    notice.slotNumbers = {2, 3};
    notice.address = 0x0102;
    notice.sent = {true, true, true, false, false, false, true};
    notice.stored = {true, false, false, false, false, false, false};
    notice.faults[1] = {true, true, 0x0040};
    notice.slot7Failed = true;
    notice.layout = {LayoutFault::Kind::TooLarge, 40000, 0};
    return notice;
}

SessionFailure failureOf(SessionFailure::Kind kind, ChannelFailure::Kind channel)
{
    SessionFailure failure;
    failure.kind = kind;
    failure.channel = ChannelFailure::of(channel, 10061, kTricky);
    failure.name = QStringLiteral("/dev/") + kTricky;
    failure.description = kTricky;
    failure.connectLimit = std::chrono::seconds(10);
    return failure;
}
} // namespace

Q_DECLARE_METATYPE(Maker)

// Every message maker, fed values that hold placeholders and digits: each value stands in the
// text as it was given, and Qt has nothing to warn about (a placeholder without a value, or one
// that runs into the digits after it).
class TestMessages : public QObject {
    Q_OBJECT
private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }

    void valuesStayAsGiven_data()
    {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<QStringList>("holds");
        using C = DownloadNotice::Cause;
        using P = DownloadPass;
        const QStringList lost{kTricky, QStringLiteral("0102")};
        for (const auto& [name, notice, holds] :
             {std::tuple{"busy", noticeOf(Kind::Busy), QStringList{"Nothing was sent"}},
              {"layout", noticeOf(Kind::LayoutRefused), QStringList{"40000", "32768"}},
              {"data error", noticeOf(Kind::DataError), QStringList{"0102", "slot 3"}},
              {"pointer error", noticeOf(Kind::PointerError, {}, P::Pointers), QStringList{"0102"}},
              {"not stored", noticeOf(Kind::NotStored), QStringList{"0040", "Truck Simple"}},
              {"cancelled", noticeOf(Kind::Cancelled), QStringList{"slot 1"}},
              {"lost in the data", noticeOf(Kind::Stopped, C::Lost, P::Data), lost},
              {"unmatched in the table", noticeOf(Kind::Stopped, C::Unmatched, P::Pointers),
               QStringList{"again and again", "slot 1"}}}) {
            QTest::newRow(name) << Maker([n = notice] { return DownloadMessages::text(n); })
                                << holds;
            QTest::addRow("%s, terminal", name)
                << Maker([n = notice] { return Cli::TerminalTexts::notice(n); }) << holds;
        }
        using S = SessionFailure::Kind;
        using F = ChannelFailure::Kind;
        for (const auto& [name, failure, holds] :
             {std::tuple{"no such port", failureOf(S::PortNotOpened, F::NoSuchPort),
                         QStringList{"/dev/" + kTricky}},
              {"refused", failureOf(S::Unreachable, F::SocketError), QStringList{"10061", kTricky}},
              {"timed out", failureOf(S::Unreachable, F::ConnectTimeout),
               QStringList{kTricky + " did not accept", "10 s"}},
              {"lost", failureOf(S::Lost, F::PeerClosed),
               QStringList{"/dev/" + kTricky, kTricky}}}) {
            QTest::newRow(name) << Maker([f = failure] { return FailureTexts::forWindow(f)->text; })
                                << holds;
            // The terminal names no Windows socket number.
            QStringList said = holds;
            said.removeAll(QStringLiteral("10061"));
            QTest::addRow("%s, terminal", name)
                << Maker([f = failure] { return Cli::TerminalTexts::failure(f); }) << said;
        }
        const auto portError = [](const QString& port) {
            return Maker([port] {
                QString error;
                PortAddress::parse(port, &error);
                return error;
            });
        };
        QTest::newRow("no endpoint")
            << portError(QStringLiteral("tcp:") + kTricky + QStringLiteral(":99999"))
            << QStringList{"'tcp:" + kTricky, "such as tcp:192.168.1.50:4001"};
        QTest::newRow("no COM port")
            << portError(QStringLiteral("COM19")) << QStringList{"COM19", "COM1 to COM8"};
        QTest::newRow("no rate") << Maker([] {
            QString error;
            Cli::parseBaud(kTricky, &error);
            return error;
        }) << QStringList{"'" + kTricky + "'", "115200"};
        QTest::newRow("fleet row") << Maker([] {
            const QByteArray name = kTricky.toUtf8();
            return Cli::parseFleet("name,port\n" + name + ",COM1\n" + name + ",COM2\n")
                .badRows.value(0)
                .fault;
        }) << QStringList{kTricky, "line 2"};
    }
    void valuesStayAsGiven()
    {
        QFETCH(Maker, make);
        QFETCH(QStringList, holds);
        const QString text = make();
        for (const QString& part : holds)
            QVERIFY2(text.contains(part), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "test_messages.moc"
