#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>
#include <optional>

// The client end of a Telnet connection with COM port control (RFC 854, 855, 856, 858, 2217),
// without sockets or clocks: received bytes go in, in chunks of any size, and the indicator's
// bytes, the answers owed to the server and the server's COM port answers come out.
class TelnetCodec {
public:
    static constexpr quint8 kIac = 255;
    static constexpr quint8 kDont = 254;
    static constexpr quint8 kDo = 253;
    static constexpr quint8 kWont = 252;
    static constexpr quint8 kWill = 251;
    static constexpr quint8 kSb = 250;
    static constexpr quint8 kSe = 240;

    static constexpr quint8 kOptionBinary = 0;
    static constexpr quint8 kOptionSuppressGoAhead = 3;
    static constexpr quint8 kOptionComPort = 44;

    // COM port commands as the client sends them; the server answers with the code plus 100.
    enum class ComPortCommand : quint8 {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
    };
    static constexpr quint8 kServerOffset = 100;
    static constexpr quint8 kParityNone = 1;
    static constexpr quint8 kStopBitsOne = 1;
    static constexpr quint8 kNoFlowControl = 1;
    static constexpr quint8 kXonXoffFlowControl = 2;
    static constexpr quint8 kHardwareFlowControl = 3;

    // Every answer we read is a few bytes; a longer subnegotiation is skipped, not kept.
    static constexpr qsizetype kMaxSubnegotiation = 64;

    enum class Agreement { Pending, Agreed, Refused };

    // A server's COM port subnegotiation; command is the client's code (the server's less 100).
    struct ComPortAnswer {
        quint8 command = 0;
        QByteArray value;
        friend bool operator==(const ComPortAnswer&, const ComPortAnswer&) = default;
    };

    struct Received {
        QByteArray data;  // the indicator's bytes, Telnet framing removed
        QByteArray reply; // negotiation answers to send to the server now
        QList<ComPortAnswer> answers;
    };

    // Forgets the previous connection and returns the requests that open a new one.
    QByteArray start();
    Received receive(QByteArrayView bytes);
    // The indicator's bytes framed for the server: IAC doubled, and outside binary mode CR
    // followed by NUL as a network virtual terminal expects.
    QByteArray encode(QByteArrayView data) const;

    static QByteArray comPortCommand(ComPortCommand command, QByteArrayView value);
    static QByteArray baudRateValue(quint32 rate);
    // The rate in an answer to SET-BAUDRATE; nothing when the value is not four bytes.
    static std::optional<quint32> baudRateOf(QByteArrayView value);

    Agreement comPortControl() const;
    // Bytes held between calls: a subnegotiation not yet ended.
    qsizetype bufferedBytes() const { return m_subnegotiation.size(); }

private:
    // RFC 1143's states for one side of one option, without its queue: we never change our
    // mind about an option while a request for it is out.
    enum class OptionState : quint8 { No, Yes, WantNo, WantYes };
    enum class ParseState : quint8 { Data, Iac, Verb, SbOption, SbData, SbIac };

    void afterIac(quint8 byte, Received& received);
    void onVerb(quint8 verb, quint8 option, QByteArray& reply);
    void keepSubnegotiationByte(char ch);
    void endSubnegotiation(Received& received);
    static bool weSupport(quint8 option);
    static bool theySupport(quint8 option);

    std::array<OptionState, 256> m_us{};   // options we perform (WILL/WONT from us)
    std::array<OptionState, 256> m_them{}; // options the server performs
    ParseState m_state = ParseState::Data;
    quint8 m_verb = 0;
    quint8 m_sbOption = 0;
    bool m_sbOverflow = false;
    // A CR just passed on while the server's side is not binary: a NUL after it is framing.
    bool m_afterCr = false;
    QByteArray m_subnegotiation;
};
