// An empty asm statement that makes a double observable to the compiler at the
// cost of having it in a register: loops whose results are mostly unread keep
// every step's work, and nothing is stored or called.
#pragma once

namespace picalc {

inline void keep_value(double value) {
#if defined(__x86_64__) || defined(__i386__)
    __asm__ __volatile__("" : : "x"(value));
#elif defined(__aarch64__)
    __asm__ __volatile__("" : : "w"(value));
#else
    __asm__ __volatile__("" : : "m"(value));
#endif
}

} // namespace picalc
