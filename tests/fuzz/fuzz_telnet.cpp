// The Telnet codec fed any byte stream from a server, cut into chunks of any size. What must
// hold whatever arrives: the cuts change nothing, the bytes held between chunks stay within the
// bound, the answers we send are well formed and agree only to what we support, and the
// indicator's bytes framed again come back unchanged.
//
// Input: a flag byte (bit 0: our opening requests were sent), then chunks, each a length byte
// (0 to 31) followed by that many bytes of the stream.

#include "platform/TelnetCodec.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_telnet: %s\n", what);
        std::abort();
    }
}

constexpr uint8_t kChunkLengths = 32;

struct Total {
    QByteArray data;
    QByteArray reply;
    QList<TelnetCodec::ComPortAnswer> answers;
};

void add(Total& total, const TelnetCodec::Received& received)
{
    total.data += received.data;
    total.reply += received.reply;
    total.answers += received.answers;
}

// Our answers are whole verb triples; "yes" only for the options we perform or accept.
void checkReply(const QByteArray& reply)
{
    require(reply.size() % 3 == 0, "reply is not made of verb triples");
    for (qsizetype i = 0; i < reply.size(); i += 3) {
        const auto iac = quint8(reply.at(i));
        const auto verb = quint8(reply.at(i + 1));
        const auto option = quint8(reply.at(i + 2));
        require(iac == TelnetCodec::kIac, "reply triple without IAC");
        require(verb >= TelnetCodec::kWill, "reply with something else than a verb");
        if (verb == TelnetCodec::kWill)
            require(option == TelnetCodec::kOptionBinary ||
                        option == TelnetCodec::kOptionSuppressGoAhead ||
                        option == TelnetCodec::kOptionComPort,
                    "WILL for an option we do not perform");
        if (verb == TelnetCodec::kDo)
            require(option == TelnetCodec::kOptionBinary ||
                        option == TelnetCodec::kOptionSuppressGoAhead,
                    "DO for an option we do not accept");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size == 0)
        return 0;
    const bool started = input[0] & 1;
    TelnetCodec whole;
    TelnetCodec chunked;
    if (started) {
        whole.start();
        chunked.start();
    }

    QByteArray stream;
    Total byChunks;
    size_t pos = 1;
    while (pos < size) {
        const size_t asked = input[pos++] % kChunkLengths;
        const size_t length = std::min(asked, size - pos);
        const auto chunk =
            QByteArrayView(reinterpret_cast<const char*>(input + pos), qsizetype(length));
        pos += length;
        stream += chunk;
        const TelnetCodec::Received received = chunked.receive(chunk);
        require(received.data.size() <= chunk.size(), "more data out than bytes in");
        require(chunked.bufferedBytes() <= TelnetCodec::kMaxSubnegotiation,
                "subnegotiation buffer past its bound");
        for (const auto& answer : received.answers)
            require(answer.value.size() < TelnetCodec::kMaxSubnegotiation, "answer too long");
        add(byChunks, received);
    }

    Total inOne;
    add(inOne, whole.receive(stream));
    require(inOne.data == byChunks.data, "data depends on the cuts");
    require(inOne.reply == byChunks.reply, "reply depends on the cuts");
    require(inOne.answers == byChunks.answers, "answers depend on the cuts");
    require(whole.comPortControl() == chunked.comPortControl(), "agreement depends on the cuts");
    checkReply(byChunks.reply);

    // The bytes received, sent back framed, reach a binary receiver as they were, with no
    // command or subnegotiation read into them.
    TelnetCodec receiver;
    receiver.start();
    const QByteArray binary{"\xff\xfb\x00\xff\xfd\x00", 6}; // WILL BINARY, DO BINARY
    receiver.receive(binary);
    TelnetCodec sender;
    sender.start();
    sender.receive(binary);
    const TelnetCodec::Received echoed = receiver.receive(sender.encode(byChunks.data));
    require(echoed.data == byChunks.data, "framed data does not come back unchanged");
    require(echoed.reply.isEmpty() && echoed.answers.isEmpty(), "framed data read as commands");
    require(receiver.bufferedBytes() == 0, "framed data left a subnegotiation open");
    return 0;
}
