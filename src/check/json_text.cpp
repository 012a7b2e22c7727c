// JSON string literals for the programs' --json outputs: one writer, so that
// picalc-record's and picalc-compare's files escape text alike.
#include "log_check.h"

namespace picalc::check {
namespace {

bool continuation_byte(unsigned char c) {
    return (c & 0xC0U) == 0x80U;
}

// How many bytes the well-formed UTF-8 sequence at text[i] takes; 0 if none.
std::size_t utf8_length(const std::string& text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (!continuation_byte(static_cast<unsigned char>(text[i + k]))) {
            return 0;
        }
    }
    return length;
}

} // namespace

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += {'\\', static_cast<char>(c)};
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            static_cast<void>(std::snprintf(escaped, sizeof escaped, "\\u%04x", c));
            out += escaped;
        } else if (c >= 0x80) {
            const std::size_t length = utf8_length(text, i);
            // Bytes that are not UTF-8 become U+FFFD, so the file stays JSON.
            out += length == 0 ? "\\ufffd" : text.substr(i, length);
            i += length == 0 ? 1 : length;
            continue;
        } else {
            out.push_back(static_cast<char>(c));
        }
        ++i;
    }
    return out + "\"";
}

} // namespace picalc::check
