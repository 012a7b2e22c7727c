include(CheckCXXCompilerFlag)
# Clang 19 warns about the processor features it was asked for when it
# changes them ("invalid feature combination: +avx10.1-256; will be promoted
# to avx10.1-512"), and its own -march=native asks for such a set on some
# AVX10 processors. That remark is about the host's feature set, not about
# picalc's code, so it must not become an error under -Werror. The check
# tries the warning's own name: compilers that lack it reject -W names they
# do not know, while GCC would accept any -Wno- name in silence.
check_cxx_compiler_flag(-Winvalid-feature-combination picalc_warns_feature_combination)
set(picalc_host_feature_flags "")
if(picalc_warns_feature_combination)
  set(picalc_host_feature_flags -Wno-invalid-feature-combination)
endif()

# Flags every picalc target gets. The printed results must be identical on
# every compiler, so floating-point contraction is off everywhere (GCC fuses
# multiply-adds by default in C++ mode) and math-errno is off because the
# program never reads errno.
set(picalc_code_flags -ffp-contract=off -fno-math-errno)
function(picalc_target_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
    ${picalc_code_flags} ${picalc_host_feature_flags})
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
