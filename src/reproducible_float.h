// Included by every floating-point workload: the printed results are promised
// to be identical on every machine, which only plain IEEE double evaluation in
// the written order can keep.
#pragma once

#include <cfloat>

#if defined(__FAST_MATH__)
#error "picalc must not be built with -ffast-math: it reorders and approximates the printed results"
#endif
#if FLT_EVAL_METHOD != 0
#error "picalc needs plain double evaluation (on 32-bit x86 build with -msse2 -mfpmath=sse)"
#endif
