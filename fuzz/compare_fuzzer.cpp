// Fuzzes what picalc-compare takes from strangers: a record's bytes, a
// --times argument and a --setup name (the input's first line) and its own
// command line (the input split at each NUL), then compares what it accepted,
// twice over as two records of the named setup, with a sample of the same
// workload (a record of two programs in alternation alone) in every format. Beyond not crashing or
// hanging, a refusal always says why, the JSON always parses, and no other output carries a control
// character but the line end (and a CSV field's CR), whatever the record's header or a label held.
#include "compare.h"
#include "fuzz_input.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

void parse_options(const std::string& bytes) {
    const picalc::compare::CompareOptions options = picalc::fuzz::parse_command_line_of(
        "picalc-compare", bytes, picalc::compare::parse_compare_options);
    if (options.error.empty() && !options.help && options.inputs.empty()) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace picalc::compare;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    parse_options(bytes);
    std::vector<RecordFile> files;
    for (const RecordFile& file :
         {read_record_text("fuzz.txt", bytes), times_record(bytes.substr(0, bytes.find('\n')))}) {
        if (!file.genuine && file.refusal.empty()) {
            std::abort();
        }
        if (file.genuine && files.size() < 2) {
            files.push_back(file);
        }
    }
    if (files.empty()) {
        return 0;
    }
    // A record of two programs in alternation is compared alone, pair by
    // pair; any other file with a sample of its workload.
    files.resize(1);
    if (!files[0].versus) {
        files[0].setup = bytes.substr(0, std::min<std::size_t>(bytes.find('\n'), 64));
        files.push_back(files[0]);
        files.back().path = "fuzz-2.txt";
        files.push_back(times_record(
            "sample:" + std::to_string(files[0].digit_count) + ":" +
            (files[0].formula == picalc::Formula::Gauss ? "Gauss" : "Stomer") + ":1.5,1.25,1.75"));
    }
    for (const Format format : {Format::Text, Format::Markdown, Format::Csv, Format::Json}) {
        std::string out;
        std::string refusal;
        if (!compare_files(files, "", format, out, refusal)) {
            if (refusal.empty() || !nlohmann::json::accept(refusal_json({{"", refusal}}))) {
                std::abort();
            }
            continue;
        }
        // JSON escapes what it must and parses; the rest is read as text.
        if (format == Format::Json
                ? !nlohmann::json::accept(out)
                : !picalc::fuzz::printable(out, format == Format::Csv ? "\n\r" : "\n")) {
            std::abort();
        }
    }
    return 0;
}
