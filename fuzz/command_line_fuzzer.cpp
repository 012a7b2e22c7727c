// Fuzzes the command line: the input bytes, split at each NUL, are the
// arguments after the program name (no bytes: no arguments). The options are
// checked against the C library's strtoll, an independent statement of the
// number rules, and against the 32-bit buffer size limit.
#include "driver.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace {

std::vector<std::string> split_arguments(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    if (size == 0) {
        return arguments;
    }
    arguments.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(static_cast<char>(data[i]));
        }
    }
    return arguments;
}

// strtoll in base 10 skips the same white space, takes the same optional sign
// and digits, and saturates at the 64-bit bounds, which lie beyond the 32-bit ones.
std::int32_t expected_digit_count(const std::string& argument) {
    const long long parsed = std::strtoll(argument.c_str(), nullptr, 10);
    if (parsed < 0) {
        return 0;
    }
    return parsed > std::numeric_limits<std::int32_t>::max()
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(parsed);
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> arguments = split_arguments(data, size);
    std::vector<const char*> argv = {"picalc"};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    const picalc::BenchmarkOptions options =
        picalc::parse_command_line(static_cast<int>(argv.size()) - 1, argv.data());

    const std::int32_t expected_count =
        arguments.empty() ? 9999 : expected_digit_count(arguments[0]);
    check(options.digit_count == expected_count);
    check((options.formula == picalc::Formula::Stomer) == (arguments.size() >= 2));
    if (options.digit_count > picalc::max_digit_count) {
        check(picalc::allocate_digit_buffer(options.digit_count) == nullptr);
    }
    return 0;
}
