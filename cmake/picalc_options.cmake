# Flags every picalc target gets. The printed results must be identical on
# every compiler, so floating-point contraction is off everywhere (GCC fuses
# multiply-adds by default in C++ mode) and math-errno is off because the
# program never reads errno.
function(picalc_target_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
    -ffp-contract=off -fno-math-errno)
  if(PICALC_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(PICALC_FUZZ)
    # Coverage feedback for every library the fuzzers reach.
    target_compile_options(${target} PRIVATE
      -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(PICALC_SANITIZE)
    target_compile_options(${target} PRIVATE
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
