// The name of a record that is given none: its date, its processor's first
// words and its compiler, so that records of one machine sort together.
#include "record.h"

namespace picalc::record {
namespace {

// Lower-case letters and digits of the text's words, joined by '-'.
std::string slug(const std::string& text, std::size_t max_words) {
    std::string out;
    std::size_t words = 0;
    bool in_word = false;
    for (const char c : text) {
        const bool keep =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!keep) {
            in_word = false;
            continue;
        }
        if (!in_word) {
            if (words == max_words) {
                break;
            }
            out += out.empty() ? "" : "-";
            ++words;
            in_word = true;
        }
        out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    return out;
}

} // namespace

std::string default_record_name(const Record& record) {
    std::string processor = record.machine.processor;
    for (const char* mark : {"(R)", "(r)", "(TM)", "(tm)"}) {
        for (std::size_t at = 0; (at = processor.find(mark)) != std::string::npos;) {
            processor.erase(at, std::string(mark).size());
        }
    }
    const std::string words = slug(processor, 4);
    std::string name = record.date + "-" + (words.empty() ? "unknown" : words);
    if (!record.machine.microarchitecture.empty()) {
        name += "-" + slug(record.machine.microarchitecture, 3); // "zen-4"
    }
    if (!record.build.compiler.empty()) {
        name += "-" + slug(record.build.compiler, 2); // "gcc-12"
    }
    return name + ".txt";
}

} // namespace picalc::record
