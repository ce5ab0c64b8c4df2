// The Telnet side of an RFC 2217 line: option negotiation, COM port control, IAC escaping.
// Everything the device server sends is untrusted: the decoder keeps bounded state, answers
// each option at most once per change, and never lets negotiation bytes reach the codec.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "server/hostlink/line.h"

class TelnetSession {
public:
    // What the device server reported setting on its port (its answers to our requests).
    struct PortReport {
        std::optional<std::uint32_t> baudRate;
        std::optional<std::uint8_t> dataSize;
        std::optional<std::uint8_t> parity;   // RFC 2217 values: 1 none, 2 odd, 3 even
        std::optional<std::uint8_t> stopSize; // 1 one, 2 two
        bool complete() const { return baudRate && dataSize && parity && stopSize; }
    };

    // The bytes that open the session: binary both ways, and with comPort the COM port control
    // option followed by the line settings (baud rate, data bits, parity, stop bits, no flow
    // control, DTR and RTS on).
    std::string opening(const SerialSettings* comPort);

    // Decodes bytes from the peer: plain data is appended to data, the replies the protocol
    // asks for to answers (to be sent as they are).
    void receive(const std::uint8_t* bytes, std::size_t length, std::string& data, std::string& answers);

    // Data escaped for the wire (IAC doubled).
    static void escape(const std::uint8_t* bytes, std::size_t length, std::string& out);
    // Data as this session sends it: escaped, and a CR followed by NUL while the peer refuses
    // binary transmission.
    void encode(const std::uint8_t* bytes, std::size_t length, std::string& out) const;

    // The device server refused COM port control (DONT or WONT for it).
    bool comPortRefused() const { return comPortRefused_; }
    const PortReport& report() const { return report_; }

    // RFC 2217 encodings of our settings, for comparing them with the report.
    static std::uint8_t parityCode(std::int32_t parity);
    static std::uint8_t stopCode(std::int32_t stopBits);

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    void option(std::uint8_t verb, std::uint8_t code, std::string& answers);
    void subnegotiation();

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::string sub_;              // the current subnegotiation, bounded
    bool subOverflow_ = false;
    bool lastWasCr_ = false;       // the peer's NVT CR NUL, when it is not in binary mode
    // Per option: agreed on our side (WILL) and on the peer's (DO), and requests in flight.
    std::array<bool, 256> local_{}, remote_{}, localAsked_{}, remoteAsked_{};
    std::array<bool, 256> refusedLocal_{}, refusedRemote_{}; // options we do not take, refused once
    bool binaryRefused_ = false;
    bool comPortRefused_ = false;
    PortReport report_;
};
