#include "server/hostlink/hostlink_transactions.h"

#include <cstring>

#include "server/hostlink/hostlink_codec.h"
#include "server/hostlink/plc_health_codec.h"
#include "server/hostlink/serial_port.h"

namespace {

constexpr char kLoneCr[1] = {kHostLinkCr};

// More frames than the data can fill means the other end is not a PLC answering our command;
// without a bound such a line would hold the transaction for ever.
std::size_t frameLimit(MemoryArea area, std::uint16_t count)
{
    return (static_cast<std::size_t>(count) * charsPerElement(area)) / kFirstWriteBudget + 2;
}

// A reply that belongs to another command: whatever else of it is still coming is dropped, so
// the next command starts on a quiet line.
HostLinkResult staleReply(SerialPort& port)
{
    port.discardInput();
    return kHostLinkBadFrame;
}

} // namespace

HostLinkResult readWordsOn(SerialPort& port, std::uint8_t unit, MemoryArea area,
                           std::uint16_t firstWord, std::uint16_t count, std::uint16_t* words,
                           std::uint8_t* receiveBuffer)
{
    char command[kReadCommandLength];
    if (!buildReadCommand(unit, area, firstWord, count, command))
        return kHostLinkNoArea;
    // A late reply to an abandoned command must not be taken for the answer to this one.
    port.discardInput();
    if (!port.sendBytes(command, sizeof command))
        return kHostLinkSendFailed;

    const char* frame = reinterpret_cast<const char*>(receiveBuffer);
    std::size_t index = 0;
    bool first = true;
    for (std::size_t frames = 1;; ++frames) {
        const std::size_t length = port.receiveFrame(receiveBuffer, kReceiveBufferSize);
        if (first && !replyMatchesCommand(frame, length, command))
            return staleReply(port);
        const ReadReplyFrame checked = checkReadReplyFrame(frame, length, first);
        if (checked.result != kHostLinkOk)
            return checked.result;
        const HostLinkResult stored = storeReadData(area, frame + checked.dataOffset,
                                                    checked.dataLength, words, count, &index);
        if (stored != kHostLinkOk)
            return stored;
        if (checked.last) {
            // Fewer words than asked would leave the caller's buffer partly stale; more are
            // the answer to another command.
            if (index != count)
                return staleReply(port);
            return kHostLinkOk;
        }
        if (frames >= frameLimit(area, count))
            return kHostLinkBadFrame;
        if (!port.sendBytes(kLoneCr, sizeof kLoneCr))
            return kHostLinkSendFailed;
        first = false;
    }
}

HostLinkResult writeWordsOn(SerialPort& port, std::uint8_t unit, MemoryArea area,
                            std::uint16_t firstWord, std::uint16_t count,
                            const std::uint16_t* words, std::uint8_t* receiveBuffer)
{
    if (headerLetter(area) == 0)
        return kHostLinkNoArea;
    if (count == 0)
        return kHostLinkOk;
    port.discardInput();

    const char* reply = reinterpret_cast<const char*>(receiveBuffer);
    char header[5] = {};
    std::size_t remaining = count;
    std::size_t index = 0;
    bool first = true;
    for (;;) {
        const std::size_t take = writeFrameWords(area, first, remaining);
        remaining -= take;
        const bool final = remaining == 0;
        const std::string frame =
            buildWriteFrame(first, final, unit, area, firstWord, words + index, take);
        index += take;
        if (first)
            std::memcpy(header, frame.data(), sizeof header);
        if (!port.sendBytes(frame.data(), frame.size()))
            return kHostLinkSendFailed;
        const std::size_t length = port.receiveFrame(receiveBuffer, kReceiveBufferSize);
        if (!replyMatchesCommand(reply, length, header))
            return staleReply(port);
        if (!final) {
            const HostLinkResult r = checkWriteContinuation(reply, length);
            if (r != kHostLinkOk)
                return r;
            first = false;
            continue;
        }
        return checkWriteReply(reply, length);
    }
}

HostLinkResult commandOn(SerialPort& port, std::uint8_t unit, const char* header, const std::string& payload,
                         bool hasEndCode, std::string* data, std::uint8_t* receiveBuffer)
{
    const std::string command = buildCommand(unit, header, payload);
    port.discardInput();
    if (!port.sendBytes(command.data(), command.size()))
        return kHostLinkSendFailed;
    const std::size_t length = port.receiveFrame(receiveBuffer, kReceiveBufferSize);
    const HostLinkResult r =
        checkCommandReply(reinterpret_cast<const char*>(receiveBuffer), length, command, hasEndCode, data);
    if (r == kHostLinkBadFrame)
        port.discardInput();
    return r;
}
