#include "server/config/config_words.h"

bool parseDataType(std::string_view text, std::uint16_t& vartype)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        vartype = vt::EMPTY;
        return false;
    }
    vartype = vartypeFromTypeWord(text.substr(0, slash));
    return text.substr(slash + 1) == kBcdSuffix;
}

std::uint8_t parseAccessRights(std::string_view word)
{
    return accessRightsFromWord(word);
}

MemoryArea parseArea(std::string_view prefix)
{
    return areaFromPrefix(prefix);
}

ChannelRead parseChannel(std::string_view text, MemoryArea& area, std::uint16_t& address)
{
    area = parseArea(text.substr(0, 2));
    std::uint32_t value = 0;
    for (std::size_t i = 2; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > 0xFFFF)
            return ChannelRead::AddressTooLarge;
    }
    address = static_cast<std::uint16_t>(value);
    return ChannelRead::Read;
}
