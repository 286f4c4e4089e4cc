#include "decode/byte_read.h"

#include <algorithm>

#include "archive/util.h"

namespace rezui {

std::string hex_byte_rows(const std::vector<uint8_t>& data, uint64_t limit, int offset_digits, const char* gap) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(data.size(), limit));
    std::string out;
    char line[128];
    for (size_t row = 0; row < n; row += 16) {
        std::string hex, text;
        for (size_t i = row; i < std::min(n, row + 16); ++i) {
            char b[4];
            rez::format(b, sizeof b, "%02X", data[i]);
            if (!hex.empty()) hex += ' ';
            hex += b;
            text += (data[i] >= 0x20 && data[i] <= 0x7E) ? static_cast<char>(data[i]) : '.';
        }
        hex.resize(std::max<size_t>(hex.size(), 47), ' ');
        rez::format(line, sizeof line, "%0*zX%s%s  %s\n", offset_digits, row, gap, hex.c_str(), text.c_str());
        out += line;
    }
    return out;
}

}  // namespace rezui
