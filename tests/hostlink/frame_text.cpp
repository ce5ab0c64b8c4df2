#include "server/hostlink/hostlink_codec.h"
#include "tests/hostlink/memory_line.h"

std::string withFcs(const std::string& body, bool final)
{
    char fcs[2];
    appendFcs(body.data(), body.size(), fcs);
    return body + std::string(fcs, 2) + (final ? "*\r" : "\r");
}
