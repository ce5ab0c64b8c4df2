#include "server/door_base/door_latin1.h"

std::string latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string utf8ToLatin1(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = 0;
        unsigned code = 0;
        if (c < 0x80) {
            code = c;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            out += '?';
            ++i;
            continue;
        }
        bool broken = i + extra >= utf8.size();
        for (int k = 1; !broken && k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(utf8[i + k]);
            if ((d & 0xC0) != 0x80)
                broken = true;
            else
                code = (code << 6) | (d & 0x3F);
        }
        if (broken) {
            out += '?';
            ++i;
            continue;
        }
        out += code <= 0xFF ? static_cast<char>(code) : '?';
        i += extra + 1;
    }
    return out;
}
