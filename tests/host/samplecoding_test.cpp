// Encoding the float stream into integer output: rounding, clipping and what is not a number.
// This program also runs natively under UndefinedBehaviorSanitizer, which sees a value that no
// integer can hold reach a conversion even where x86 hides it.
#include "sampleconversion.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

int32_t Le24(const uint8_t* bytes) {
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16)
                                << 8) >>
           8;
}

TEST(SampleCoding, IntegerOutputIsRoundedClippedAndNeverUndefined) {
    const float inf = std::numeric_limits<float>::infinity();
    const float samples[] = {
        0.5f, -1.0f, 1.0f, 1.5f, -2.0f, inf, -inf, std::numeric_limits<float>::quiet_NaN(), 1e30f};
    const int32_t expected[] = {4194304, -8388608, 8388607, 8388607, -8388608,
                                8388607, -8388608, 0,       8388607};
    uint8_t raw[3 * 9];
    EXPECT_EQ(EncodeSamples(samples, 9, OutputEncoding::Pcm24, raw), 6u);
    for (size_t index = 0; index < 9; ++index) {
        EXPECT_EQ(Le24(raw + 3 * index), expected[index]) << index;
    }
    uint8_t raw16[2 * 9];
    EXPECT_EQ(EncodeSamples(samples, 9, OutputEncoding::Pcm16, raw16), 6u);
    EXPECT_EQ(static_cast<int16_t>(raw16[14] | raw16[15] << 8), 0); // NaN
}

} // namespace
