// The two Host Link transactions over one port: read N words, write N words of one area.
// HostLinkChannel::readWords/writeWords call these with the selected PLC's unit and port.
#pragma once

#include <cstdint>
#include <string>

#include "common/format_vocab.h"
#include "server/hostlink/hostlink_result.h"

class SerialPort;

// receiveBuffer holds at least kReceiveBufferSize bytes. On 0, words holds count words; on any
// failure the words already received may be there and must not be used.
HostLinkResult readWordsOn(SerialPort& port, std::uint8_t unit, MemoryArea area,
                           std::uint16_t firstWord, std::uint16_t count, std::uint16_t* words,
                           std::uint8_t* receiveBuffer);
HostLinkResult writeWordsOn(SerialPort& port, std::uint8_t unit, MemoryArea area,
                            std::uint16_t firstWord, std::uint16_t count,
                            const std::uint16_t* words, std::uint8_t* receiveBuffer);

// One single-frame command (MS, MM, TS, SC): the reply's data after the end code (TS: after
// the header) in *data. kHostLinkNotSupported when the unit answered "IC".
HostLinkResult commandOn(SerialPort& port, std::uint8_t unit, const char* header, const std::string& payload,
                         bool hasEndCode, std::string* data, std::uint8_t* receiveBuffer);
