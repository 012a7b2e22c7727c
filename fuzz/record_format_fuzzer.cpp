// Fuzzes the record format's readers: the JSON reader, the reader of the
// page's measurement with the build-line parser, and the header and
// time-list readers of the text. Beyond not crashing or hanging, JSON the
// reader accepts must come back the same when written and read again, and
// a time list it accepts must hold only times picalc could print.
#include "record_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace picalc::record_format;
    const std::string text(reinterpret_cast<const char*>(data), size);
    Record record;
    std::string error;
    if (record_from_json(text, record, error)) {
        const std::string written = record_json(record);
        Record again;
        if (!record_from_json(written, again, error) || record_json(again) != written) {
            std::abort();
        }
    } else if (error.empty()) {
        std::abort();
    }
    // The page's measurement, and the same bytes as its picalc.wasm.
    if (record_from_page(text, text, record, error)) {
        static_cast<void>(record_text(record));
        static_cast<void>(record_json(record));
    } else if (error.empty()) {
        std::abort();
    }
    for (const auto& [key, value] : header_lines(text)) {
        std::vector<double> times;
        if (key.empty() || (parse_times(value, times) && times.empty())) {
            std::abort();
        }
        for (const double seconds : times) {
            if (!(seconds >= 0)) {
                std::abort();
            }
        }
    }
    return 0;
}
