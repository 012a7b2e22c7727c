#include "sqrt_loops.h"
#include "test_support.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace picalc {
namespace {

// The true sum of the loop's counters, reduced modulo 2^32 and read as signed.
std::int32_t wrapped_true_sum(std::uint64_t first, std::uint64_t last) {
    const std::uint64_t terms = (last - first) / 2 + 1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(terms * (first + last) / 2));
}

struct LoopCase {
    std::int32_t first;
    std::int32_t last;
    std::int32_t code;
    double product; // exactly representable: the printed 38 places end in zeros
};

TEST(SqrtLoop, EndsWithTheVerificationCodeAndProduct) {
    const LoopCase cases[] = {
        {1, 89999999, 229347328, 1362979602959.09033203125},
        {2, 90000000, 274347328, 1490709044570.750244140625},
    };
    for (const LoopCase& c : cases) {
        const SqrtLoopResult result = run_sqrt_loop(c.first);
        EXPECT_EQ(wrapped_true_sum(static_cast<std::uint64_t>(c.first),
                                   static_cast<std::uint64_t>(c.last)),
                  c.code);
        EXPECT_EQ(result.sum, c.code) << "first " << c.first;
        EXPECT_EQ(result.value, c.product) << "first " << c.first;
        EXPECT_EQ(result.last_counter, c.last + 2) << "45,000,000 steps from " << c.first;
    }
}

TEST(SqrtWorkload, PrintsBothLoopsWithTheirSeparators) {
    EXPECT_EQ(test::capture_stdout(run_sqrt_workload),
              "Anti cheating verification code is=:229347328\n"
              "Floating-point precision 1362979602959.09033203125000000000000000000000000000\n"
              "Anti cheating verification code is=??274347328\n"
              "Floating-point precision 1490709044570.75024414062500000000000000000000000000\n");
}

} // namespace
} // namespace picalc
