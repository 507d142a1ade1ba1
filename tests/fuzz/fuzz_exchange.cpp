// The command exchange fed arbitrary byte streams, time-outs, refused writes and lost channels.
// What must hold whatever arrives: exactly one finished() per command and never inside the call,
// the reply state agreeing with the result, and the receive buffer bounded.
#include "link/CommandExchange.h"
#include "support/FakeLineChannel.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace std::chrono_literals;

namespace {

QCoreApplication* app()
{
    static int argc = 1;
    static char name[] = "fuzz_exchange";
    static char* argv[] = {name, nullptr};
    static auto* instance = new QCoreApplication(argc, argv);
    return instance;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

class Input {
public:
    Input(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool atEnd() const { return m_pos >= m_size; }
    uint8_t byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    QByteArray bytes(size_t n)
    {
        n = std::min(n, m_size - m_pos);
        QByteArray out(reinterpret_cast<const char*>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return out;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    app();
    FakeLineChannel channel;
    CommandExchange exchange;
    exchange.setQuietTime(0ms);
    exchange.setChannel(&channel);
    int finishedCount = 0;
    bool lastOk = false;
    bool inCall = false;
    QObject::connect(&exchange, &CommandExchange::finished, [&](bool ok) {
        check(!inCall);
        ++finishedCount;
        lastOk = ok;
    });
    int commands = 0;
    bool lastWasProbe = false;
    const auto settle = [&] {
        // Zero quiet times and time-outs: every timer is due on the next pass.
        for (int i = 0; i < 64 && exchange.isBusy(); ++i)
            QCoreApplication::processEvents();
    };
    const auto verifyOutcome = [&] {
        check(finishedCount == commands);
        using F = CommandExchange::Failure;
        const char state = char(exchange.replyState());
        const F failure = exchange.lastFailure();
        if (lastOk) {
            check(failure == F::None);
            check(state == 'A' || state == 'R');
            check(exchange.replyText().endsWith('\r'));
        } else {
            check(failure != F::None);
            check((state == 'N') == (failure == F::Nak));
        }
        // Only an in-step point can void.
        check(failure != F::Voided || lastWasProbe);
    };

    Input in(data, size);
    while (!in.atEnd()) {
        switch (in.byte() % 8) {
        case 0:
        case 1: { // a command, a write or a query, or an in-step probe
            if (exchange.isBusy())
                break;
            static const QByteArray commandsToSend[] = {";E0000-41424344\r", ";C4\r", ";SR\r"};
            const int pick = in.byte() % 4;
            ++commands;
            inCall = true;
            lastWasProbe = pick == 3;
            // Due on the next pass of the event loop, or never: then only a reply ends it.
            const auto timeout =
                in.byte() % 2 ? 0ms : std::chrono::milliseconds(std::chrono::hours(1));
            if (lastWasProbe)
                exchange.proveInStep(timeout);
            else
                exchange.sendCommand(commandsToSend[pick], timeout);
            inCall = false;
            check(finishedCount < commands);
            break;
        }
        case 2:
        case 3: // bytes from the indicator, in a chunk of any size
            channel.receive(in.bytes(in.byte()));
            check(exchange.rxBuffer().size() <= CommandExchange::kMaxLineLength);
            check(!exchange.rxBuffer().contains('\r'));
            break;
        case 4: // the event loop runs: time-outs fall due
            QCoreApplication::processEvents();
            break;
        case 5:
            channel.setUsable(in.byte() % 4 != 0);
            break;
        case 6:
            if (in.byte() % 8 == 0)
                channel.die();
            break;
        case 7:
            exchange.setVersionText(in.byte() % 2 ? QByteArray("V2.05\x06") : QByteArray());
            break;
        }
        if (!exchange.isBusy() && finishedCount == commands && commands > 0)
            verifyOutcome();
    }
    settle();
    if (exchange.isBusy()) {
        channel.die();
        settle();
    }
    check(!exchange.isBusy());
    check(finishedCount == commands);
    if (commands > 0)
        verifyOutcome();
    return 0;
}
