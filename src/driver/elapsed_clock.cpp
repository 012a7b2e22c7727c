// The only place that reads time. The score is elapsed wall time, so the
// process-time std::clock() of some platforms would be the wrong source.
#include "driver.h"

#include <chrono>

namespace picalc {

std::int32_t read_ticks() {
    using std::chrono::milliseconds;
    using std::chrono::steady_clock;
    const auto now =
        std::chrono::duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(now.count()));
}

double elapsed_seconds(std::int32_t start_ticks, std::int32_t end_ticks) {
    const std::uint32_t difference =
        static_cast<std::uint32_t>(end_ticks) - static_cast<std::uint32_t>(start_ticks);
    return static_cast<double>(static_cast<std::int32_t>(difference)) / 1000.0;
}

} // namespace picalc
