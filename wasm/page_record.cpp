// picalc-page-record MEASUREMENT PICALC_WASM: what the page runs to write its
// record. MEASUREMENT is the page's JSON of its runs and of what the browser
// told; PICALC_WASM the picalc.wasm that ran, whose build line the record
// names. It prints one JSON object: the record's text ("record"), its JSON
// ("json"), the summary lines the page shows ("summary_lines") and the
// figures it shows and shares, unrounded ("median", "copies_at_once",
// "scaling"). Exit status 1, with the reason on standard error, for input
// the page should never have given.
#include "record_format.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace {

bool read_file(const char* path, std::string& text) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    static char chunk[65536]; // WASI gives a program a small stack
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    const bool read = std::ferror(file) == 0;
    return std::fclose(file) == 0 && read;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    using namespace picalc::record_format;
    std::string measurement;
    std::string binary;
    if (argc != 3 || !read_file(argv[1], measurement) || !read_file(argv[2], binary)) {
        static_cast<void>(std::fputs(
            "usage: picalc-page-record MEASUREMENT.json PICALC.wasm (both readable)\n", stderr));
        return 2;
    }
    Record record;
    std::string error;
    if (!record_from_page(measurement, binary, record, error)) {
        static_cast<void>(std::fprintf(stderr, "picalc-page-record: %s\n", error.c_str()));
        return 1;
    }
    const Summary& summary = record.summary;
    nlohmann::ordered_json out = {{"record", record_text(record)},
                                  {"json", record_json(record)},
                                  {"summary_lines", lines_of(summary_text(record))},
                                  {"median", summary.median}};
    if (!summary.copies.empty()) {
        out["copies_at_once"] = summary.copies.front().size();
        out["scaling"] = summary.scaling;
    }
    const std::string text =
        out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 2;
}
