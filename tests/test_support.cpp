#include "test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace picalc::test {

std::string data_path(const std::string& name) {
    return std::string(PICALC_TEST_DATA_DIR) + "/" + name;
}

std::string read_data_file(const std::string& name) {
    std::ifstream file(data_path(name), std::ios::binary);
    EXPECT_TRUE(file.good()) << "missing test data file " << name;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

const std::string& reference_decimals() {
    static const std::string decimals = [] {
        std::string text = read_data_file("pi_decimals.txt");
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        return text;
    }();
    return decimals;
}

std::vector<std::int32_t> digit_buffer_for(std::int32_t digit_count) {
    return std::vector<std::int32_t>(static_cast<std::size_t>(precision_for(digit_count)) + 1, 0);
}

std::string decimals_in(const std::vector<std::int32_t>& sum, std::int32_t n) {
    std::string decimals;
    for (std::int32_t i = n - 1; i >= guard_digits; --i) {
        decimals += static_cast<char>('0' + sum[static_cast<std::size_t>(i)]);
    }
    return decimals;
}

std::string computed_decimals(Formula formula, std::int32_t digit_count) {
    std::vector<std::int32_t> term = digit_buffer_for(digit_count);
    std::vector<std::int32_t> sum = digit_buffer_for(digit_count);
    const auto n = static_cast<std::int32_t>(precision_for(digit_count));
    compute_pi(BenchmarkOptions{digit_count, formula}, term.data(), sum.data(), n);
    EXPECT_EQ(sum[static_cast<std::size_t>(n)], 3);
    return decimals_in(sum, n);
}

// The layout told in groups rather than columns: twelve groups of five on the
// first line, thirteen on every further line, a space after a full group that
// does not end its line.
std::string expected_listing(const std::string& decimals) {
    std::string text = "pi= 3.";
    std::size_t groups_on_line = 0;
    std::size_t line_capacity = 12;
    for (std::size_t start = 0; start < decimals.size(); start += 5) {
        const std::string group = decimals.substr(start, 5);
        text += group;
        if (group.size() < 5) {
            break;
        }
        if (++groups_on_line == line_capacity) {
            text += "\n";
            groups_on_line = 0;
            line_capacity = 13;
        } else {
            text += " ";
        }
    }
    if (text.back() != '\n') {
        text += "\n";
    }
    return text + "DIGITS: " + std::to_string(decimals.size()) + "\n";
}

std::string capture_stdout(const std::function<void()>& print) {
    ::testing::internal::CaptureStdout();
    print();
    return ::testing::internal::GetCapturedStdout();
}

} // namespace picalc::test
