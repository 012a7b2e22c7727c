# The largest digit count picalc accepts, read from the one line of C++ that
# states it, for what cannot include the header: the page, the shell tests
# and CI. Included, it sets PICALC_MAX_DIGIT_COUNT; run as a script
# (`cmake -P cmake/picalc_limits.cmake`), it prints the number.
get_filename_component(picalc_limits_header "${CMAKE_CURRENT_LIST_DIR}/../src/pi/digit_buffer.h"
  ABSOLUTE)
file(STRINGS "${picalc_limits_header}" picalc_limits_line
  REGEX "^inline constexpr std::int32_t max_digit_count = [0-9]+")
if(NOT picalc_limits_line MATCHES "max_digit_count = ([0-9]+)")
  message(FATAL_ERROR "${picalc_limits_header} no longer states max_digit_count as a number")
endif()
set(PICALC_MAX_DIGIT_COUNT ${CMAKE_MATCH_1})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${picalc_limits_header}")
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo ${PICALC_MAX_DIGIT_COUNT})
endif()
