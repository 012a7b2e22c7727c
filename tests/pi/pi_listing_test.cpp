#include "digit_buffer.h"
#include "test_support.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace picalc {
namespace {

std::string listing_of_reference(std::int32_t digit_count) {
    const auto n = static_cast<std::int32_t>(precision_for(digit_count));
    std::vector<std::int32_t> sum = test::digit_buffer_for(digit_count);
    sum[static_cast<std::size_t>(n)] = 3;
    const std::string& decimals = test::reference_decimals();
    for (std::int32_t place = 1; place <= digit_count; ++place) {
        sum[static_cast<std::size_t>(n - place)] =
            decimals[static_cast<std::size_t>(place - 1)] - '0';
    }
    return test::capture_stdout([&] { print_pi_listing(sum.data(), n, digit_count); });
}

struct ListingCase {
    std::int32_t digit_count;
    std::string expected_ending;
};

TEST(PiListing, EndsEachCountAtTheRightPlace) {
    const ListingCase cases[] = {
        {0, "pi= 3.\nDIGITS: 0\n"},
        {1, "pi= 3.1\nDIGITS: 1\n"},
        {5, "pi= 3.14159 \nDIGITS: 5\n"},
        {60, " 74944\nDIGITS: 60\n"},
        {61, " 74944\n5\nDIGITS: 61\n"},
        {65, " 74944\n59230 \nDIGITS: 65\n"},
        {125, " 09384\nDIGITS: 125\n"},
        {126, " 09384\n4\nDIGITS: 126\n"},
        {9999, " 52563 7567\nDIGITS: 9999\n"},
    };
    for (const ListingCase& c : cases) {
        const std::string listing = listing_of_reference(c.digit_count);
        ASSERT_GE(listing.size(), c.expected_ending.size());
        EXPECT_EQ(listing.substr(listing.size() - c.expected_ending.size()), c.expected_ending)
            << c.digit_count << " digits";
    }
}

TEST(PiListing, MatchesTheGroupLayoutAroundEveryBoundary) {
    for (std::int32_t count = 0; count <= 400; ++count) {
        const std::string decimals =
            test::reference_decimals().substr(0, static_cast<std::size_t>(count));
        EXPECT_EQ(listing_of_reference(count), test::expected_listing(decimals))
            << count << " digits";
    }
}

TEST(PiListing, DefaultCountFillsLinesOf77Characters) {
    const std::string listing = listing_of_reference(9999);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < listing.size();) {
        const std::size_t end = listing.find('\n', start);
        lines.push_back(listing.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 155U);
    for (std::size_t i = 0; i < 153; ++i) {
        EXPECT_EQ(lines[i].size(), 77U) << "line " << i;
    }
    EXPECT_EQ(lines[153].size(), 70U);
    EXPECT_EQ(lines[154], "DIGITS: 9999");
}

} // namespace
} // namespace picalc
