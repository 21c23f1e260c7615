// The base object's part of a lock: which failure wins, what a lock caches, and the plain
// state queries around it.
#include "effecttestsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace effecttest;

namespace {

struct LockCase {
    const char* name;
    std::function<void(Stream&, UINT32& inputs, UINT32& outputs)> spoil;
    HRESULT negotiation;
    HRESULT expected;
};

class BaseLockTest : public EffectTest {};

// Each case spoils one thing (or two, to show which check comes first).
TEST_F(BaseLockTest, FirstFailingCheckGivesTheResult) {
    const LockCase cases[] = {
        {"two inputs", [](Stream&, UINT32& in, UINT32&) { in = 2; }, APOERR_FORMAT_NOT_SUPPORTED,
         APOERR_NUM_CONNECTIONS_INVALID},
        {"two outputs", [](Stream&, UINT32&, UINT32& out) { out = 2; }, S_OK,
         APOERR_NUM_CONNECTIONS_INVALID},
        {"format refused before a bad signature",
         [](Stream& s, UINT32&, UINT32&) { s.input.descriptor.u32Signature = 0; },
         APOERR_FORMAT_NOT_SUPPORTED, APOERR_FORMAT_NOT_SUPPORTED},
        {"a proposal is a refusal", [](Stream&, UINT32&, UINT32&) {}, S_FALSE,
         APOERR_FORMAT_NOT_SUPPORTED},
        {"bad input signature",
         [](Stream& s, UINT32&, UINT32&) { s.input.descriptor.u32Signature = 0x12345678; }, S_OK,
         E_INVALIDARG},
        {"bad output signature",
         [](Stream& s, UINT32&, UINT32&) { s.output.descriptor.u32Signature = 0; }, S_OK,
         E_INVALIDARG},
        {"output rate differs from the cached one",
         [](Stream& s, UINT32&, UINT32&) { s.output.mediaType.format.fFramesPerSecond = 96000; },
         S_OK, APOERR_INVALID_CONNECTION_FORMAT},
        {"output valid bits differ from the cached ones",
         [](Stream& s, UINT32&, UINT32&) { s.output.mediaType.format.dwValidBitsPerSample = 24; },
         S_OK, APOERR_INVALID_CONNECTION_FORMAT},
        {"output container differs from the cached one",
         [](Stream& s, UINT32&, UINT32&) {
             s.output.mediaType.format.dwBytesPerSampleContainer = 8;
         },
         S_OK, APOERR_INVALID_CONNECTION_FORMAT},
        {"channel counts may differ under the module's flags",
         [](Stream& s, UINT32&, UINT32&) {
             s.input.mediaType.format.dwSamplesPerFrame = 6;
             s.input.descriptor.pBuffer = 0; // its buffer is sized for two channels
         },
         S_OK, S_OK},
        {"output one frame shorter than input",
         [](Stream& s, UINT32&, UINT32&) { s.output.descriptor.u32MaxFrameCount = 479; }, S_OK,
         APOERR_INVALID_OUTPUT_MAXFRAMECOUNT},
        {"output buffer inside the input buffer",
         [](Stream& s, UINT32&, UINT32&) {
             s.output.descriptor.pBuffer = s.input.descriptor.pBuffer + 8;
         },
         S_OK, APOERR_BUFFERS_OVERLAP},
        {"output buffer starts where input ends",
         [](Stream& s, UINT32&, UINT32&) {
             s.output.descriptor.pBuffer = s.input.descriptor.pBuffer + 480 * 2 * 4;
         },
         S_OK, S_OK},
        {"output without a buffer address",
         [](Stream& s, UINT32&, UINT32&) { s.output.descriptor.pBuffer = 0; }, S_OK, S_OK},
    };
    for (const LockCase& lockCase : cases) {
        SCOPED_TRACE(lockCase.name);
        BasicEffectHolder<NegotiationChosenByTest> effect(&registration);
        effect->answer = lockCase.negotiation;
        Stream stream(2, 48000, 480);
        UINT32 inputs = 1;
        UINT32 outputs = 1;
        lockCase.spoil(stream, inputs, outputs);
        APO_CONNECTION_DESCRIPTOR* inputArray[2] = {stream.input.pointer, stream.input.pointer};
        APO_CONNECTION_DESCRIPTOR* outputArray[2] = {stream.output.pointer, stream.output.pointer};
        EXPECT_EQ(effect->CBaseAudioProcessingObject::LockForProcess(inputs, inputArray, outputs,
                                                                     outputArray),
                  lockCase.expected);
        EXPECT_EQ(effect->Locked(), lockCase.expected == S_OK);
    }
}

TEST_F(BaseLockTest, NullConnectionsAreRefusedBeforeCountsAreChecked) {
    EffectHolder effect(&registration);
    Stream stream(2, 48000, 480);
    APO_CONNECTION_DESCRIPTOR* missing = nullptr;
    EXPECT_EQ(
        effect->CBaseAudioProcessingObject::LockForProcess(2, nullptr, 1, &stream.output.pointer),
        E_POINTER);
    EXPECT_EQ(
        effect->CBaseAudioProcessingObject::LockForProcess(1, &stream.input.pointer, 1, &missing),
        E_POINTER);
    EXPECT_FALSE(effect->Locked());
}

TEST_F(BaseLockTest, MediaTypeFailureIsPassedOn) {
    EffectHolder effect(&registration);
    Stream stream(2, 48000, 480);
    stream.input.mediaType.failure = E_UNEXPECTED;
    EXPECT_EQ(effect->CBaseAudioProcessingObject::LockForProcess(1, &stream.input.pointer, 1,
                                                                 &stream.output.pointer),
              E_UNEXPECTED);
}

TEST_F(BaseLockTest, SecondLockIsRefusedAndFirstStays) {
    EffectHolder effect(&registration);
    Stream stream(2, 48000, 480);
    ASSERT_EQ(effect->CBaseAudioProcessingObject::LockForProcess(1, &stream.input.pointer, 1,
                                                                 &stream.output.pointer),
              S_OK);
    EXPECT_EQ(effect->CBaseAudioProcessingObject::LockForProcess(1, &stream.input.pointer, 1,
                                                                 &stream.output.pointer),
              APOERR_APO_LOCKED);
    // Refused for being locked before the connections are looked at.
    APO_CONNECTION_DESCRIPTOR* two[2] = {stream.input.pointer, stream.input.pointer};
    EXPECT_EQ(effect->CBaseAudioProcessingObject::LockForProcess(2, two, 0, nullptr),
              APOERR_APO_LOCKED);
    EXPECT_TRUE(effect->Locked());
    EXPECT_EQ(effect->CBaseAudioProcessingObject::UnlockForProcess(), S_OK);
    EXPECT_EQ(effect->CBaseAudioProcessingObject::UnlockForProcess(), APOERR_ALREADY_UNLOCKED);
}

// Under "samples per frame must match" a mismatch between connections is a format error; with
// the module's flags (12) it is not even cached.
TEST_F(BaseLockTest, CachedFormatFollowsTheRegistrationFlags) {
    APO_REG_PROPERTIES strict = MakeRegistration(APO_FLAG_DEFAULT);
    BasicEffectHolder<NegotiationChosenByTest> effect(&strict);
    Stream stream(6, 48000, 480);
    EXPECT_EQ(effect->CBaseAudioProcessingObject::LockForProcess(1, &stream.input.pointer, 1,
                                                                 &stream.output.pointer),
              APOERR_INVALID_CONNECTION_FORMAT);

    EffectHolder moduleFlags(&registration);
    moduleFlags->MarkReady();
    Stream six(6, 48000, 480);
    ASSERT_EQ(six.Lock(moduleFlags.effect), S_OK);
    UINT32 channels = 99;
    EXPECT_EQ(moduleFlags->GetInputChannelCount(&channels), S_OK);
    EXPECT_EQ(channels, 0u);
}

TEST_F(BaseLockTest, NaNRateNeverMatches) {
    BasicEffectHolder<NegotiationChosenByTest> effect(&registration);
    Stream stream(2, std::nanf(""), 480);
    EXPECT_EQ(effect->CBaseAudioProcessingObject::LockForProcess(1, &stream.input.pointer, 1,
                                                                 &stream.output.pointer),
              APOERR_INVALID_CONNECTION_FORMAT);
}

TEST(BuffersOverlap, SpansTouchingOrApartDoNotOverlap) {
    struct Case {
        UINT_PTR input, output;
        bool overlaps;
        bool wideInput = false; // 6 channels: the input span is 240 bytes long
    };
    // Spans are 10 frames x 4 bytes x 2 channels = 80 bytes long.
    const Case cases[] = {
        {1000, 1080, false},       {1080, 1000, false}, {1000, 1000, true},
        {1000, 1079, true},        {1079, 1000, true},  {1000, 0, false},
        {0, 1000, false},          {2000, 1000, false}, {1000, 1000, true, true},
        {1000, 1240, false, true},
    };
    FormatStub stereo(FloatFormat(2, 48000));
    FormatStub sixChannels(FloatFormat(6, 48000));
    for (const Case& c : cases) {
        APO_CONNECTION_DESCRIPTOR input{APO_CONNECTION_BUFFER_TYPE_ALLOCATED, c.input, 10,
                                        c.wideInput ? &sixChannels : &stereo,
                                        APO_CONNECTION_DESCRIPTOR_SIGNATURE};
        APO_CONNECTION_DESCRIPTOR output = input;
        output.pBuffer = c.output;
        output.pFormat = &stereo;
        APO_CONNECTION_DESCRIPTOR* in = &input;
        APO_CONNECTION_DESCRIPTOR* out = &output;
        EXPECT_EQ(BuffersOverlap(1, &in, 1, &out), c.overlaps) << c.input << " " << c.output;
    }
}

TEST(BuffersOverlap, UnreadableFormatEndsTheCheckWithoutOverlap) {
    FormatStub broken(FloatFormat(2, 48000));
    broken.failure = E_FAIL;
    APO_CONNECTION_DESCRIPTOR input{APO_CONNECTION_BUFFER_TYPE_ALLOCATED, 1000, 10, &broken,
                                    APO_CONNECTION_DESCRIPTOR_SIGNATURE};
    APO_CONNECTION_DESCRIPTOR output = input;
    APO_CONNECTION_DESCRIPTOR* in = &input;
    APO_CONNECTION_DESCRIPTOR* out = &output;
    EXPECT_FALSE(BuffersOverlap(1, &in, 1, &out));
}

TEST_F(BaseLockTest, InputChannelCountNeedsInitializeFirst) {
    EffectHolder effect(&registration);
    UINT32 channels = 7;
    EXPECT_EQ(effect->GetInputChannelCount(&channels), APOERR_NOT_INITIALIZED);
    EXPECT_EQ(effect->GetInputChannelCount(nullptr), APOERR_NOT_INITIALIZED);
    effect->MarkReady();
    EXPECT_EQ(effect->GetInputChannelCount(nullptr), E_POINTER);
}

TEST_F(BaseLockTest, RegistrationPropertiesAreAFreshCopyEachTime) {
    APO_REG_PROPERTIES record = MakeRegistration();
    wcscpy(record.szFriendlyName, L"KovraAPO");
    EffectHolder effect(&record);
    EXPECT_EQ(effect->GetRegistrationProperties(nullptr), E_POINTER);
    APO_REG_PROPERTIES* first = nullptr;
    APO_REG_PROPERTIES* second = nullptr;
    ASSERT_EQ(effect->GetRegistrationProperties(&first), S_OK);
    ASSERT_EQ(effect->GetRegistrationProperties(&second), S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(0, memcmp(first, &record, sizeof record));
    EXPECT_STREQ(second->szFriendlyName, L"KovraAPO");
    CoTaskMemFree(first);
    CoTaskMemFree(second);
}

TEST_F(BaseLockTest, FrameCountsPassThrough) {
    EffectHolder effect(&registration);
    EXPECT_EQ(effect->CalcInputFrames(480), 480u);
    EXPECT_EQ(effect->CalcOutputFrames(0xFFFFFFFFu), 0xFFFFFFFFu);
}

} // namespace
