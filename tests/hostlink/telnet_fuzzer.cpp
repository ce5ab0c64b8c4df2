// Arbitrary bytes from a device server through the Telnet decoder: it must never read or
// write out of bounds, its answers stay bounded, and bytes without IAC are data as they came.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/hostlink/telnet_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte sets the chunk size, so that state carries across reads.
    const std::size_t chunk = 1 + data[0] % 16;
    TelnetSession session;
    SerialSettings settings;
    session.opening(&settings);
    std::string out, answers;
    for (std::size_t i = 1; i < size; i += chunk)
        session.receive(data + i, std::min(chunk, size - i), out, answers);

    const std::string in(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (out.size() > in.size())
        std::abort();
    // Each option is answered at most once per direction: two commands of 3 bytes for each.
    if (answers.size() > 256 * 2 * 3)
        std::abort();
    if (in.find('\xff') == std::string::npos) {
        std::string plain; // without IAC nothing switches binary on: CR NUL is a CR
        for (std::size_t i = 0; i < in.size(); ++i)
            if (!(in[i] == '\0' && i > 0 && in[i - 1] == '\r'))
                plain += in[i];
        if (out != plain)
            std::abort();
    }
    return 0;
}
