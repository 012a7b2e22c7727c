// The line every picalc build embeds, "picalc build: version=...;
// compiler=...; flags=...; linking=...; target=...; libc=...", read from a
// binary's bytes: picalc-record reads the picalc it runs, the page its
// picalc.wasm.
#include "record_format.h"

#include <utility>

namespace picalc::record_format {
namespace {

constexpr std::pair<const char*, std::string BuildInfo::*> build_fields[] = {
    {"version", &BuildInfo::version}, {"compiler", &BuildInfo::compiler},
    {"flags", &BuildInfo::flags},     {"linking", &BuildInfo::linking},
    {"target", &BuildInfo::target},   {"libc", &BuildInfo::libc},
};

// A build line is short; a binary with a prefix and no end is cut here.
constexpr std::size_t longest_line = 512;

} // namespace

bool parse_build_info(const std::string& binary, BuildInfo& build) {
    const std::string prefix = build_info_prefix;
    std::size_t at = 0;
    while ((at = binary.find(prefix, at)) != std::string::npos) {
        at += prefix.size();
        const std::size_t end = binary.find('\0', at);
        const std::string line =
            binary.substr(at, end == std::string::npos ? longest_line : end - at);
        BuildInfo found;
        std::size_t start = 0;
        while (start < line.size()) {
            std::size_t stop = line.find("; ", start);
            stop = stop == std::string::npos ? line.size() : stop;
            const std::string pair = line.substr(start, stop - start);
            start = stop + 2;
            const std::size_t equals = pair.find('=');
            for (const auto& [key, field] : build_fields) {
                if (equals != std::string::npos && pair.compare(0, equals, key) == 0 &&
                    equals == std::string(key).size()) {
                    found.*field = pair.substr(equals + 1);
                }
            }
        }
        if (!found.version.empty()) {
            build = found;
            return true;
        }
    }
    return false;
}

} // namespace picalc::record_format
