#include "apocontract.h"

#include <gtest/gtest.h>

// The ids are compared by value across module boundaries: a typo here breaks every
// QueryInterface the audio engine makes.
TEST(ApoContract, InterfaceIdsMatchThePlatform) {
    EXPECT_EQ(__uuidof(IAudioProcessingObject), IID_IAudioProcessingObject);
    EXPECT_EQ(IID_IAudioProcessingObjectRT.Data1, 0x9E1D6A6Du);
    EXPECT_EQ(IID_IAudioMediaType.Data4[7], 0x4D);
}
