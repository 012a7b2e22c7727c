// Reading a saved run as people paste it, within fixed bounds: a line is kept
// up to max_line_length bytes and the run up to the size of the longest one
// picalc prints, so no input, however large, makes the checker grow without
// limit.
#include "log_check.h"
#include "run_text.h"

namespace picalc::check {
namespace {

// The longest run: max_digit_count places take at most six bytes for every
// five (a separator after each group), and everything else a few kilobytes.
constexpr std::size_t max_run_bytes = std::size_t{max_digit_count} / 5 * 6 + 65536;

bool reading(const SavedRun& run) {
    return !run.complete && !run.too_long;
}

bool is_trailing_space(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

void close_line(SavedRun& run) {
    std::string& line = run.open_line;
    // A cut line keeps its full bound, so it can never equal a line of a run
    // (none comes near the bound), whatever followed the cut.
    if (!run.open_line_cut) {
        while (!line.empty() && is_trailing_space(line.back())) {
            line.pop_back();
        }
    }
    if (!run.has_banner && line != banner_line) {
        ++run.lines_before;
        run.preamble_line_start = run.preamble.size();
        if (run.stray_line == 0 && looks_like_run_line(line)) {
            run.stray_line = run.lines_before;
            run.stray_text = line;
        }
    } else {
        if (!run.has_banner) {
            run.preamble.resize(run.preamble_line_start);
        }
        run.has_banner = true;
        run.text += line;
        run.line_ends.push_back(run.text.size());
        run.text.push_back('\n');
        run.complete = line == last_line;
        run.too_long = run.text.size() > max_run_bytes;
    }
    line.clear();
    run.open_line_cut = false;
}

} // namespace

std::size_t read_saved_run(SavedRun& run, const char* bytes, std::size_t size) {
    std::size_t i = 0;
    run.started = run.started || (size > 0 && reading(run));
    for (; i < size && reading(run); ++i) {
        if (!run.has_banner && run.preamble.size() < max_preamble_bytes) {
            run.preamble.push_back(bytes[i]);
        }
        if (bytes[i] == '\n') {
            close_line(run);
        } else if (run.open_line.size() < max_line_length) {
            run.open_line.push_back(bytes[i]);
        } else {
            run.open_line_cut = true;
        }
    }
    return i;
}

void finish_saved_run(SavedRun& run) {
    if (reading(run) && (!run.open_line.empty() || run.open_line_cut)) {
        close_line(run);
    }
}

} // namespace picalc::check
