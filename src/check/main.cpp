// picalc-check [FILE]: checks a saved picalc output, from FILE or from
// standard input when FILE is absent or "-": one run, or several one after
// another as in a record. Prints one line; exits 0 when every run is a
// complete, genuine run, 1 for anything else, 2 when the input cannot be read.
#include "log_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int status_valid = 0;
constexpr int status_invalid = 1;
constexpr int status_unreadable = 2;

int report_unreadable(const char* name, const char* why) {
    static_cast<void>(std::fprintf(stderr, "picalc-check: cannot read %s: %s\n", name, why));
    return status_unreadable;
}

} // namespace

int main(int argc, char** argv) {
    using namespace picalc::check;
    if (argc > 2 ||
        (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
        static_cast<void>(std::fprintf(
            argc > 2 ? stderr : stdout,
            "usage: picalc-check [FILE]\n"
            "Checks that FILE (standard input when absent or -) holds the output of a\n"
            "complete, genuine picalc run, or of several such runs one after another.\n"));
        return argc > 2 ? status_unreadable : status_valid;
    }
    const bool from_stdin = argc < 2 || std::strcmp(argv[1], "-") == 0;
#ifdef _WIN32
    // In text mode a 0x1A byte, which UTF-16 text can hold, would end the input.
    static_cast<void>(_setmode(_fileno(stdin), _O_BINARY));
#endif
    const char* name = from_stdin ? "standard input" : argv[1];
    std::string why;
    std::FILE* stream = from_stdin ? stdin : open_input_file(argv[1], why);
    if (stream == nullptr || (from_stdin && !input_stream_usable(stdin, why))) {
        return report_unreadable(name, why.c_str());
    }
    CheckReport report;
    try {
        errno = 0;
        if (!check_saved_log_from(stream, report)) {
            return report_unreadable(name, errno != 0 ? std::strerror(errno) : "read error");
        }
    } catch (const std::bad_alloc&) {
        return report_unreadable(name, "out of memory");
    }
    if (!from_stdin) {
        static_cast<void>(std::fclose(stream)); // only read from
    }
    std::printf("%s\n", report.message.c_str());
    switch (report.verdict) {
    case Verdict::Valid:
        return status_valid;
    case Verdict::OutOfMemory:
        return status_unreadable;
    default:
        return status_invalid;
    }
}
