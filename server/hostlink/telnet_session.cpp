#include "server/hostlink/telnet_session.h"

namespace {

constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                       kSe = 240;
constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
// COM port control commands (client side; the server answers with the code plus 100).
constexpr std::uint8_t kSetBaud = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                       kSetControl = 5;
constexpr std::uint8_t kControlNoFlow = 1, kControlDtrOn = 8, kControlRtsOn = 11;
constexpr std::size_t kMaxSub = 64;

void command(std::string& out, std::uint8_t verb, std::uint8_t code)
{
    out += static_cast<char>(kIac);
    out += static_cast<char>(verb);
    out += static_cast<char>(code);
}

void comPortCommand(std::string& out, std::uint8_t cmd, const std::uint8_t* value, std::size_t length)
{
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSb);
    out += static_cast<char>(kComPort);
    out += static_cast<char>(cmd);
    TelnetSession::escape(value, length, out);
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
}

// Options we take part in: binary data both ways (frames end in a bare CR), suppressed
// go-ahead, and on our side COM port control.
bool weDo(std::uint8_t code) { return code == kBinary || code == kSuppressGoAhead || code == kComPort; }
bool theyMay(std::uint8_t code) { return code == kBinary || code == kSuppressGoAhead; }

} // namespace

std::uint8_t TelnetSession::parityCode(std::int32_t parity)
{
    return parity == kOddParity ? 2 : parity == kEvenParity ? 3 : 1;
}

std::uint8_t TelnetSession::stopCode(std::int32_t stopBits)
{
    return stopBits == kTwoStopBits ? 2 : 1;
}

void TelnetSession::escape(const std::uint8_t* bytes, std::size_t length, std::string& out)
{
    for (std::size_t i = 0; i < length; ++i) {
        out += static_cast<char>(bytes[i]);
        if (bytes[i] == kIac)
            out += static_cast<char>(kIac);
    }
}

void TelnetSession::encode(const std::uint8_t* bytes, std::size_t length, std::string& out) const
{
    for (std::size_t i = 0; i < length; ++i) {
        out += static_cast<char>(bytes[i]);
        if (bytes[i] == kIac)
            out += static_cast<char>(kIac);
        else if (bytes[i] == '\r' && binaryRefused_)
            out += '\0';
    }
}

std::string TelnetSession::opening(const SerialSettings* comPort)
{
    std::string out;
    auto ask = [&](std::uint8_t verb, std::uint8_t code) {
        command(out, verb, code);
        (verb == kWill ? localAsked_ : remoteAsked_)[code] = true;
    };
    ask(kWill, kBinary);
    ask(kDo, kBinary);
    ask(kWill, kSuppressGoAhead);
    ask(kDo, kSuppressGoAhead);
    if (comPort != nullptr) {
        ask(kWill, kComPort);
        const std::uint32_t b = comPort->baudRate;
        const std::uint8_t baud[4] = {std::uint8_t(b >> 24), std::uint8_t(b >> 16), std::uint8_t(b >> 8),
                                      std::uint8_t(b)};
        comPortCommand(out, kSetBaud, baud, 4);
        const std::uint8_t size = static_cast<std::uint8_t>(comPort->dataBits);
        comPortCommand(out, kSetDataSize, &size, 1);
        const std::uint8_t parity = parityCode(comPort->parity);
        comPortCommand(out, kSetParity, &parity, 1);
        const std::uint8_t stop = stopCode(comPort->stopBits);
        comPortCommand(out, kSetStopSize, &stop, 1);
        for (std::uint8_t control : {kControlNoFlow, kControlDtrOn, kControlRtsOn})
            comPortCommand(out, kSetControl, &control, 1);
    }
    return out;
}

void TelnetSession::receive(const std::uint8_t* bytes, std::size_t length, std::string& data,
                            std::string& answers)
{
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t c = bytes[i];
        switch (state_) {
        case State::Data:
            if (c == kIac) {
                state_ = State::Iac;
                break;
            }
            // Without binary mode the peer sends a CR as CR NUL.
            if (!(c == 0 && lastWasCr_ && !remote_[kBinary]))
                data += static_cast<char>(c);
            lastWasCr_ = c == '\r';
            break;
        case State::Iac:
            if (c == kIac) {
                data += static_cast<char>(kIac);
                lastWasCr_ = false;
                state_ = State::Data;
            } else if (c == kWill || c == kWont || c == kDo || c == kDont) {
                verb_ = c;
                state_ = State::Option;
            } else if (c == kSb) {
                sub_.clear();
                subOverflow_ = false;
                state_ = State::Sub;
            } else {
                state_ = State::Data; // NOP, GA, AYT and the like carry nothing for us
            }
            break;
        case State::Option:
            option(verb_, c, answers);
            state_ = State::Data;
            break;
        case State::Sub:
            if (c == kIac)
                state_ = State::SubIac;
            else if (sub_.size() < kMaxSub)
                sub_ += static_cast<char>(c);
            else
                subOverflow_ = true;
            break;
        case State::SubIac:
            if (c == kSe) {
                if (!subOverflow_)
                    subnegotiation();
                state_ = State::Data;
            } else {
                // IAC IAC is a data 255 inside the subnegotiation; anything else is malformed
                // and taken as its end.
                if (c == kIac) {
                    if (sub_.size() < kMaxSub)
                        sub_ += static_cast<char>(kIac);
                    else
                        subOverflow_ = true;
                }
                state_ = c == kIac ? State::Sub : State::Data;
            }
            break;
        }
    }
}

void TelnetSession::option(std::uint8_t verb, std::uint8_t code, std::string& answers)
{
    // The Q method in its simplest form: an answer to our own request is taken without reply,
    // a change the peer asks for is agreed or refused once, and a request that changes nothing
    // gets no answer, so that two sides never loop.
    switch (verb) {
    case kDo:
        if (!weDo(code)) {
            if (!refusedLocal_[code])
                command(answers, kWont, code);
            refusedLocal_[code] = true;
        } else if (localAsked_[code]) {
            localAsked_[code] = false;
            local_[code] = true;
        } else if (!local_[code]) {
            local_[code] = true;
            command(answers, kWill, code);
        }
        break;
    case kDont:
        if (code == kComPort)
            comPortRefused_ = true;
        if (code == kBinary)
            binaryRefused_ = true;
        if (localAsked_[code]) {
            localAsked_[code] = false;
        } else if (local_[code]) {
            command(answers, kWont, code);
        }
        local_[code] = false;
        break;
    case kWill:
        if (!theyMay(code)) {
            if (!refusedRemote_[code])
                command(answers, kDont, code);
            refusedRemote_[code] = true;
        } else if (remoteAsked_[code]) {
            remoteAsked_[code] = false;
            remote_[code] = true;
        } else if (!remote_[code]) {
            remote_[code] = true;
            command(answers, kDo, code);
        }
        break;
    case kWont:
        if (remoteAsked_[code]) {
            remoteAsked_[code] = false;
        } else if (remote_[code]) {
            command(answers, kDont, code);
        }
        remote_[code] = false;
        break;
    default:
        break;
    }
}

void TelnetSession::subnegotiation()
{
    if (sub_.size() < 2 || static_cast<std::uint8_t>(sub_[0]) != kComPort)
        return;
    const auto cmd = static_cast<std::uint8_t>(sub_[1]);
    const auto* v = reinterpret_cast<const std::uint8_t*>(sub_.data()) + 2;
    const std::size_t n = sub_.size() - 2;
    switch (cmd) {
    case 100 + kSetBaud:
        if (n == 4)
            report_.baudRate = std::uint32_t(v[0]) << 24 | std::uint32_t(v[1]) << 16 |
                               std::uint32_t(v[2]) << 8 | v[3];
        break;
    case 100 + kSetDataSize:
        if (n == 1)
            report_.dataSize = v[0];
        break;
    case 100 + kSetParity:
        if (n == 1)
            report_.parity = v[0];
        break;
    case 100 + kSetStopSize:
        if (n == 1)
            report_.stopSize = v[0];
        break;
    default:
        break; // line and modem state notices and the like
    }
}
