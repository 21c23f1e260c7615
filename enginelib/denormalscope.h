// Flush-to-zero and denormals-are-zero for the length of one block, and the caller's setting
// back afterwards. Filter memories that decay towards silence pass through the denormal range,
// where x86 arithmetic is many times slower; with both modes on those values count as 0, which
// costs nothing per sample.
#ifndef KOVRA_DENORMALSCOPE_H
#define KOVRA_DENORMALSCOPE_H

#include <xmmintrin.h>

namespace kovra {

class DenormalsAsZero {
public:
    DenormalsAsZero() : saved_(_mm_getcsr()) {
        _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
    }
    ~DenormalsAsZero() { _mm_setcsr(saved_); }
    DenormalsAsZero(const DenormalsAsZero&) = delete;
    DenormalsAsZero& operator=(const DenormalsAsZero&) = delete;

private:
    static constexpr unsigned kFlushToZero = 0x8000;      // MXCSR bit 15
    static constexpr unsigned kDenormalsAreZero = 0x0040; // MXCSR bit 6
    unsigned saved_;
};

} // namespace kovra

#endif
