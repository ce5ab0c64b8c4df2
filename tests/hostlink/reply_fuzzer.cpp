// Arbitrary bytes as the PLC's replies: the transactions must end, never read or write out of
// bounds, and report success only with every asked word stored.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "server/hostlink/hostlink_codec.h"
#include "server/hostlink/hostlink_transactions.h"
#include "server/hostlink/serial_port.h"
#include "tests/hostlink/memory_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    // First byte: area and read/write; second: count; the rest: the reply bursts, split at
    // each 0x00 so that frames can come in several chunks.
    const auto area = static_cast<MemoryArea>(data[0] & 0x07);
    const bool isWrite = (data[0] & 0x08) != 0;
    const std::uint16_t count = data[1];
    std::vector<std::string> bursts;
    std::string current;
    for (std::size_t i = 2; i < size; ++i) {
        if (data[i] == 0) {
            bursts.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    bursts.push_back(current);

    auto owned = std::make_unique<MemoryLine>();
    MemoryLine* line = owned.get();
    line->responder = [&bursts, i = std::size_t(0)](const std::string&) mutable {
        return i < bursts.size() ? std::vector<std::string>{bursts[i++]} : std::vector<std::string>{};
    };
    SerialPort port("COM1", SerialSettings{}, std::move(owned));
    port.open();
    std::uint8_t buffer[kReceiveBufferSize];
    std::vector<std::uint16_t> words(count, 0);
    HostLinkResult r = isWrite
        ? writeWordsOn(port, 0, area, 0, count, words.data(), buffer)
        : readWordsOn(port, 0, area, 0, count, words.data(), buffer);
    if (r != kHostLinkOk && (r < 1 || r > 72))
        __builtin_trap();
    (void)qualityForResult(r);
    return 0;
}
