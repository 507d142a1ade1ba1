#include "platform/TelnetCodec.h"

#include <QtEndian>

#include <utility>

namespace {

constexpr char kCr = '\r';
constexpr char kNul = '\0';
constexpr qsizetype kBaudRateSize = 4;

QByteArray verbFor(quint8 verb, quint8 option)
{
    QByteArray bytes(3, char(TelnetCodec::kIac));
    bytes[1] = char(verb);
    bytes[2] = char(option);
    return bytes;
}

} // namespace

bool TelnetCodec::weSupport(quint8 option)
{
    return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}

bool TelnetCodec::theySupport(quint8 option)
{
    return option == kOptionBinary || option == kOptionSuppressGoAhead;
}

QByteArray TelnetCodec::start()
{
    *this = TelnetCodec();
    QByteArray requests;
    for (const quint8 option : {kOptionBinary, kOptionSuppressGoAhead, kOptionComPort}) {
        m_us[option] = OptionState::WantYes;
        requests += verbFor(kWill, option);
    }
    for (const quint8 option : {kOptionBinary, kOptionSuppressGoAhead}) {
        m_them[option] = OptionState::WantYes;
        requests += verbFor(kDo, option);
    }
    return requests;
}

TelnetCodec::Agreement TelnetCodec::comPortControl() const
{
    switch (m_us[kOptionComPort]) {
    case OptionState::Yes:
        return Agreement::Agreed;
    case OptionState::WantYes:
        return Agreement::Pending;
    case OptionState::No:
    case OptionState::WantNo:
        break;
    }
    return Agreement::Refused;
}

TelnetCodec::Received TelnetCodec::receive(QByteArrayView bytes)
{
    Received received;
    for (const char ch : bytes) {
        const auto byte = quint8(ch);
        const bool afterCr = std::exchange(m_afterCr, false);
        switch (m_state) {
        case ParseState::Data:
            if (byte == kIac) {
                m_state = ParseState::Iac;
            } else if (!(afterCr && ch == kNul && m_them[kOptionBinary] != OptionState::Yes)) {
                received.data += ch;
                m_afterCr = ch == kCr;
            }
            break;
        case ParseState::Iac:
            afterIac(byte, received);
            break;
        case ParseState::Verb:
            onVerb(m_verb, byte, received.reply);
            m_state = ParseState::Data;
            break;
        case ParseState::SbOption:
            m_sbOption = byte;
            m_subnegotiation.clear();
            m_sbOverflow = false;
            m_state = ParseState::SbData;
            break;
        case ParseState::SbData:
            if (byte == kIac)
                m_state = ParseState::SbIac;
            else
                keepSubnegotiationByte(ch);
            break;
        case ParseState::SbIac:
            if (byte == kIac) {
                m_state = ParseState::SbData;
                keepSubnegotiationByte(ch);
            } else if (byte == kSe) {
                m_state = ParseState::Data;
                endSubnegotiation(received);
            } else {
                // A command inside a subnegotiation ends it unread: the server lost its place,
                // and taking the command as such gets both ends back in step.
                m_subnegotiation.clear();
                afterIac(byte, received);
            }
            break;
        }
    }
    return received;
}

void TelnetCodec::afterIac(quint8 byte, Received& received)
{
    m_state = ParseState::Data;
    if (byte == kIac) {
        received.data += char(byte);
    } else if (byte >= kWill) {
        m_verb = byte;
        m_state = ParseState::Verb;
    } else if (byte == kSb) {
        m_state = ParseState::SbOption;
    }
    // Anything else (NOP, GA, a stray SE, a data mark...) carries nothing for us.
}

void TelnetCodec::keepSubnegotiationByte(char ch)
{
    if (m_subnegotiation.size() < kMaxSubnegotiation)
        m_subnegotiation += ch;
    else
        m_sbOverflow = true;
}

void TelnetCodec::endSubnegotiation(Received& received)
{
    const QByteArray content = std::exchange(m_subnegotiation, {});
    if (m_sbOverflow || m_sbOption != kOptionComPort || content.isEmpty())
        return;
    const auto code = quint8(content.at(0));
    if (code <= kServerOffset)
        return;
    received.answers.append({quint8(code - kServerOffset), content.mid(1)});
}

void TelnetCodec::onVerb(quint8 verb, quint8 option, QByteArray& reply)
{
    // Answers only change of state, never confirmation of the state held, so that two ends
    // that disagree cannot echo requests at each other for ever.
    const bool forUs = verb == kDo || verb == kDont;
    OptionState& state = forUs ? m_us[option] : m_them[option];
    const bool enable = verb == kDo || verb == kWill;
    const quint8 yes = forUs ? kWill : kDo;
    const quint8 no = forUs ? kWont : kDont;
    if (enable) {
        switch (state) {
        case OptionState::No:
            if (forUs ? weSupport(option) : theySupport(option)) {
                state = OptionState::Yes;
                reply += verbFor(yes, option);
            } else {
                reply += verbFor(no, option);
            }
            break;
        case OptionState::WantYes:
            state = OptionState::Yes;
            break;
        case OptionState::WantNo: // the server answered our "no" with "yes": it stays off
            state = OptionState::No;
            break;
        case OptionState::Yes:
            break;
        }
    } else {
        switch (state) {
        case OptionState::Yes:
            state = OptionState::No;
            reply += verbFor(no, option);
            break;
        case OptionState::WantYes:
        case OptionState::WantNo:
            state = OptionState::No;
            break;
        case OptionState::No:
            break;
        }
    }
}

QByteArray TelnetCodec::encode(QByteArrayView data) const
{
    const bool binaryOut = m_us[kOptionBinary] == OptionState::Yes;
    QByteArray out;
    out.reserve(data.size() + data.size() / 8 + 1);
    for (const char ch : data) {
        out += ch;
        if (quint8(ch) == kIac)
            out += ch;
        else if (ch == kCr && !binaryOut)
            out += kNul;
    }
    return out;
}

QByteArray TelnetCodec::comPortCommand(ComPortCommand command, QByteArrayView value)
{
    const char iac = char(kIac);
    const char head[] = {iac, char(kSb), char(kOptionComPort), char(command)};
    QByteArray bytes(head, sizeof head);
    bytes += value.toByteArray().replace(QByteArrayView(&iac, 1), QByteArray(2, iac));
    bytes += iac;
    bytes += char(kSe);
    return bytes;
}

QByteArray TelnetCodec::baudRateValue(quint32 rate)
{
    QByteArray value(kBaudRateSize, Qt::Uninitialized);
    qToBigEndian(rate, value.data());
    return value;
}

std::optional<quint32> TelnetCodec::baudRateOf(QByteArrayView value)
{
    if (value.size() != kBaudRateSize)
        return std::nullopt;
    return qFromBigEndian<quint32>(value.data());
}
