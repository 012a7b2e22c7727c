// picalc-compare [OPTIONS] FILE...: checks every file, then says how their run
// times differ and how sure that is. Nothing is compared unless every file
// is a genuine run or record.
#include "compare.h"
#include "record_format.h"

#include <cstdio>
#include <string>

namespace {

constexpr int status_compared = 0;
constexpr int status_refused = 1;
constexpr int status_usage = 2;

// What goes to the terminal in words: a file name or argument's control
// characters as '?', so that none can act on the terminal.
std::string shown(const std::string& text) {
    return picalc::record_format::without_control_characters(text, '?');
}

int compare_main(int argc, char** argv) {
    using namespace picalc::compare;
    const CompareOptions options = parse_compare_options(argc, argv);
    if (!options.error.empty()) {
        static_cast<void>(std::fprintf(stderr, "picalc-compare: %s\n%s",
                                       shown(options.error).c_str(), compare_usage));
        return status_usage;
    }
    if (options.help) {
        return std::fputs(compare_usage, stdout) < 0 ? status_usage : status_compared;
    }
    std::vector<RecordFile> files;
    std::vector<Refusal> refusals;
    // Refusals go to standard error in words, and with --json to standard
    // output as well, for programs.
    const auto refused = [&options, &refusals](int status) {
        if (options.format == Format::Json) {
            static_cast<void>(std::fputs(refusal_json(refusals).c_str(), stdout));
        }
        return status;
    };
    int status = status_compared;
    for (const CompareInput& input : options.inputs) {
        files.push_back(input.times ? times_record(input.text) : read_record(input.text));
        files.back().setup = input.setup;
        const RecordFile& file = files.back();
        if (!file.genuine) {
            static_cast<void>(std::fprintf(stderr, "picalc-compare: %s: %s\n",
                                           shown(input.text).c_str(), shown(file.refusal).c_str()));
            refusals.push_back({input.text, file.refusal});
            status = file.unreadable || status == status_usage ? status_usage : status_refused;
        }
    }
    if (status != status_compared) {
        static_cast<void>(std::fprintf(stderr, "picalc-compare: nothing compared\n"));
        return refused(status);
    }
    std::string out;
    std::string refusal;
    if (!compare_files(files, options.baseline, options.format, out, refusal)) {
        static_cast<void>(std::fprintf(stderr, "picalc-compare: %s\n", shown(refusal).c_str()));
        refusals.push_back({"", refusal});
        return refused(status_refused);
    }
    const bool written = std::fputs(out.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    return written ? status_compared : status_usage;
}

} // namespace

int main(int argc, char** argv) {
#if defined(__cpp_exceptions)
    try {
        return compare_main(argc, argv);
    } catch (const std::exception& error) {
        static_cast<void>(std::fprintf(stderr, "picalc-compare: %s\n", error.what()));
        return status_usage;
    }
#else
    return compare_main(argc, argv);
#endif
}
