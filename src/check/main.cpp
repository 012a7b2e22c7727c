// picalc-check [FILE]: checks a saved picalc output, from FILE or from
// standard input when FILE is absent or "-". Prints one line; exits 0 for a
// complete, genuine run, 1 for anything else, 2 when the input cannot be read.
#include "log_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

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
            "complete, genuine picalc run.\n"));
        return argc > 2 ? status_unreadable : status_valid;
    }
    const bool from_stdin = argc < 2 || std::strcmp(argv[1], "-") == 0;
    const char* name = from_stdin ? "standard input" : argv[1];
    std::FILE* stream = from_stdin ? stdin : std::fopen(argv[1], "rb");
    if (stream == nullptr) {
        return report_unreadable(name, std::strerror(errno));
    }
    SavedRun run;
    CheckReport report;
    try {
        errno = 0;
        if (!read_saved_run_from(stream, run)) {
            return report_unreadable(name, errno != 0 ? std::strerror(errno) : "read error");
        }
        report = check_saved_run(run);
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
