// Fuzzes picalc-check's decoding, reading and checking of a saved file of
// one run or several. Beyond not
// crashing, hanging or growing without bound, the verdict must not depend on
// how the input arrives: read whole, and read in two pieces split at a point
// the input's first byte chooses.
#include "log_check.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

picalc::check::CheckReport check_in_pieces(const char* text, std::size_t size, std::size_t split) {
    picalc::check::SavedLog log;
    picalc::check::read_saved_log(log, text, split);
    picalc::check::read_saved_log(log, text + split, size - split);
    return picalc::check::finish_saved_log(log);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* text = reinterpret_cast<const char*>(data);
    const picalc::check::CheckReport whole = check_in_pieces(text, size, 0);
    const std::size_t split = size == 0 ? 0 : data[0] % size;
    const picalc::check::CheckReport pieces = check_in_pieces(text, size, split);
    if (whole.verdict != pieces.verdict || whole.message != pieces.message ||
        whole.message.empty()) {
        std::abort();
    }
    return 0;
}
