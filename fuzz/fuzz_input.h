// What the fuzz targets over a program's command line and its printed text
// share: the input as arguments, and a statement of "no control character"
// of their own, written apart from the product's so that it checks it.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace picalc::fuzz {

// PARSE(argc, argv) of PROGRAM followed by the input split at each NUL.
template <typename Parse>
auto parse_command_line_of(const char* program, const std::string& bytes, Parse parse) {
    std::vector<std::string> arguments{program, ""};
    for (const char c : bytes) {
        if (c == '\0') {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(c);
        }
    }
    std::vector<const char*> argv;
    argv.reserve(arguments.size());
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    return parse(static_cast<int>(argv.size()), argv.data());
}

// Whether TEXT holds no byte below 0x20 or DEL, but those ALLOWED lists.
inline bool printable(std::string_view text, std::string_view allowed = "") {
    return std::ranges::none_of(text, [allowed](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 || byte == 0x7F) && allowed.find(c) == std::string_view::npos;
    });
}

} // namespace picalc::fuzz
