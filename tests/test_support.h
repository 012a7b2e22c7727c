// Helpers shared by the picalc tests: the independent reference digits of pi,
// digits computed by the pi workload, and captured standard output.
#pragma once

#include "digit_buffer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace picalc::test {

// The first 10,000 decimal places of pi, computed with bc (see data/README.md).
const std::string& reference_decimals();

// A committed text file from the tests' data folder, and the path of a file
// or folder there.
std::string read_data_file(const std::string& name);
std::string data_path(const std::string& name);

// A zero-filled buffer for a digit count, as the driver allocates it.
std::vector<std::int32_t> digit_buffer_for(std::int32_t digit_count);

// The decimal places held in a normalised sum buffer of precision n, as text.
std::string decimals_in(const std::vector<std::int32_t>& sum, std::int32_t n);

// The decimal places that compute_pi leaves in the sum buffer, as text.
std::string computed_decimals(Formula formula, std::int32_t digit_count);

// The pi listing and DIGITS line of these decimal places, told in groups of
// five rather than in columns.
std::string expected_listing(const std::string& decimals);

// Everything that `print` writes to standard output.
std::string capture_stdout(const std::function<void()>& print);

} // namespace picalc::test
