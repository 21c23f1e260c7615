#include "audiomediatype.h"
#include "comptr.h"
#include "guardedmediatype.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const GUID kPcm = SubFormatFromTag(WAVE_FORMAT_PCM);
const GUID kFloat = SubFormatFromTag(WAVE_FORMAT_IEEE_FLOAT);
constexpr UINT32 kPlainSize = sizeof(WAVEFORMATEX);
constexpr UINT32 kExtensibleSize = sizeof(WAVEFORMATEXTENSIBLE);

IAudioMediaType* const kUntouched = reinterpret_cast<IAudioMediaType*>(0x1);

UNCOMPRESSEDAUDIOFORMAT Description(const GUID& type, DWORD channels, DWORD containerBytes,
                                    DWORD validBits, float rate, DWORD mask) {
    return {type, channels, containerBytes, validBits, rate, mask};
}

WAVEFORMATEX PlainImage(WORD tag, WORD channels, WORD bits, DWORD rate) {
    const WORD blockAlign = static_cast<WORD>(channels * bits / 8);
    return {tag, channels, rate, rate * blockAlign, blockAlign, bits, 0};
}

WAVEFORMATEXTENSIBLE ExtensibleImage(const GUID& subFormat, WORD channels, WORD bits,
                                     WORD validBits, DWORD mask) {
    WAVEFORMATEXTENSIBLE image{};
    image.Format = PlainImage(WAVE_FORMAT_EXTENSIBLE, channels, bits, 48000);
    image.Format.cbSize = kExtensibleSize - kPlainSize;
    image.Samples.wValidBitsPerSample = validBits;
    image.dwChannelMask = mask;
    image.SubFormat = subFormat;
    return image;
}

// Every test must hand back exactly the objects it made: a leaked reference fails it.
class MediaTypeTest : public ::testing::Test {
protected:
    void SetUp() override { liveBefore = AudioMediaType::LiveObjects(); }
    void TearDown() override {
        SetMediaTypeAllocationGate(nullptr);
        EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore) << "media type objects leaked";
    }

    static ComPtr<IAudioMediaType> Create(const UNCOMPRESSEDAUDIOFORMAT& description) {
        ComPtr<IAudioMediaType> mediaType;
        EXPECT_EQ(CreateMediaTypeFromUncompressedFormat(&description, mediaType.Receive()), S_OK);
        return mediaType;
    }
    static ComPtr<IAudioMediaType> FromImage(const void* image, UINT32 size) {
        ComPtr<IAudioMediaType> mediaType;
        EXPECT_EQ(CreateMediaTypeFromWaveFormat(static_cast<const WAVEFORMATEX*>(image), size, 0.0f,
                                                mediaType.Receive()),
                  S_OK);
        return mediaType;
    }

    LONG liveBefore = 0;
};

// ---------------------------------------------------------------------------------------------
// Layouts

struct LayoutCase {
    const char* name;
    UNCOMPRESSEDAUDIOFORMAT description;
    WORD tag;
    WORD blockAlign;
    DWORD avgBytesPerSec;
};

void PrintTo(const LayoutCase& c, std::ostream* out) {
    *out << c.name;
}

class MediaTypeLayout : public MediaTypeTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(MediaTypeLayout, ChoosesTheLayoutThatCanSayEverything) {
    const LayoutCase& c = GetParam();
    ComPtr<IAudioMediaType> mediaType = Create(c.description);
    ASSERT_TRUE(mediaType);
    const WAVEFORMATEX* stored = mediaType->GetAudioFormat();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->wFormatTag, c.tag);
    EXPECT_EQ(stored->nChannels, c.description.dwSamplesPerFrame);
    EXPECT_EQ(stored->wBitsPerSample, c.description.dwBytesPerSampleContainer * 8);
    EXPECT_EQ(stored->nBlockAlign, c.blockAlign);
    EXPECT_EQ(stored->nAvgBytesPerSec, c.avgBytesPerSec);
    if (c.tag != WAVE_FORMAT_EXTENSIBLE) {
        EXPECT_EQ(stored->cbSize, 0);
        return;
    }
    ASSERT_EQ(stored->cbSize, 22);
    const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(stored);
    EXPECT_EQ(extensible->Samples.wValidBitsPerSample, c.description.dwValidBitsPerSample);
    EXPECT_EQ(extensible->dwChannelMask, c.description.dwChannelMask);
    EXPECT_EQ(extensible->SubFormat, c.description.guidFormatType);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, MediaTypeLayout,
    ::testing::Values(
        LayoutCase{"FloatStereoNoMask", Description(kFloat, 2, 4, 32, 48000.0f, 0), 3, 8, 384000},
        LayoutCase{"PcmStereoNoMask", Description(kPcm, 2, 2, 16, 48000.0f, 0), 1, 4, 192000},
        LayoutCase{"PcmMono24", Description(kPcm, 1, 3, 24, 44100.0f, 0), 1, 3, 132300},
        LayoutCase{"FloatStereoWithMask", Description(kFloat, 2, 4, 32, 48000.0f, 0x3), 0xFFFE, 8,
                   384000},
        LayoutCase{"SixChannelsNoMask", Description(kFloat, 6, 4, 32, 48000.0f, 0), 0xFFFE, 24,
                   1152000},
        LayoutCase{"Pcm16InFourByteContainer", Description(kPcm, 2, 4, 16, 96000.0f, 0), 0xFFFE, 8,
                   768000}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Round trips through GetUncompressedAudioFormat

class MediaTypeRoundTrip : public MediaTypeTest,
                           public ::testing::WithParamInterface<UNCOMPRESSEDAUDIOFORMAT> {};

TEST_P(MediaTypeRoundTrip, DescribesItselfAsItWasDescribed) {
    const UNCOMPRESSEDAUDIOFORMAT& description = GetParam();
    ComPtr<IAudioMediaType> mediaType = Create(description);
    ASSERT_TRUE(mediaType);
    UNCOMPRESSEDAUDIOFORMAT back{};
    ASSERT_EQ(mediaType->GetUncompressedAudioFormat(&back), S_OK);
    EXPECT_EQ(back.guidFormatType, description.guidFormatType);
    EXPECT_EQ(back.dwSamplesPerFrame, description.dwSamplesPerFrame);
    EXPECT_EQ(back.dwBytesPerSampleContainer, description.dwBytesPerSampleContainer);
    EXPECT_EQ(back.dwValidBitsPerSample, description.dwValidBitsPerSample);
    EXPECT_EQ(back.fFramesPerSecond, description.fFramesPerSecond);
    EXPECT_EQ(back.dwChannelMask, description.dwChannelMask);
}

INSTANTIATE_TEST_SUITE_P(Descriptions, MediaTypeRoundTrip,
                         ::testing::Values(Description(kFloat, 2, 4, 32, 48000.0f, 0),
                                           Description(kPcm, 2, 2, 16, 48000.0f, 0),
                                           Description(kFloat, 6, 4, 32, 48000.0f, 0x3F),
                                           Description(kFloat, 8, 4, 32, 96000.0f, 0x63F),
                                           Description(kPcm, 2, 4, 16, 96000.0f, 0x3),
                                           Description(kPcm, 1, 3, 20, 44100.0f, 0x4),
                                           Description(kFloat, 2, 4, 32, 44100.5f, 0)));

TEST_F(MediaTypeTest, FractionalRateIsStoredWholeButReportedExactly) {
    ComPtr<IAudioMediaType> mediaType = Create(Description(kFloat, 2, 4, 32, 44100.5f, 0));
    ASSERT_TRUE(mediaType);
    EXPECT_EQ(mediaType->GetAudioFormat()->nSamplesPerSec, 44100u);
    UNCOMPRESSEDAUDIOFORMAT back{};
    ASSERT_EQ(mediaType->GetUncompressedAudioFormat(&back), S_OK);
    EXPECT_EQ(back.fFramesPerSecond, 44100.5f);
}

TEST_F(MediaTypeTest, PlainImageWithoutExactRateReportsItsOwnFields) {
    const WAVEFORMATEX image = PlainImage(WAVE_FORMAT_PCM, 2, 24, 96000);
    ComPtr<IAudioMediaType> mediaType = FromImage(&image, sizeof(image));
    ASSERT_TRUE(mediaType);
    UNCOMPRESSEDAUDIOFORMAT back{};
    ASSERT_EQ(mediaType->GetUncompressedAudioFormat(&back), S_OK);
    EXPECT_EQ(back.guidFormatType, kPcm);
    EXPECT_EQ(back.dwBytesPerSampleContainer, 3u);
    EXPECT_EQ(back.dwValidBitsPerSample, 24u);
    EXPECT_EQ(back.fFramesPerSecond, 96000.0f);
    EXPECT_EQ(back.dwChannelMask, 0u);
    EXPECT_EQ(mediaType->GetUncompressedAudioFormat(nullptr), E_POINTER);
}

// ---------------------------------------------------------------------------------------------
// Refusals at creation

struct RefusalCase {
    const char* name;
    UNCOMPRESSEDAUDIOFORMAT description;
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class MediaTypeRefusal : public MediaTypeTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(MediaTypeRefusal, RefusesInconsistentDescriptionAndHandsOutNothing) {
    IAudioMediaType* out = kUntouched;
    EXPECT_EQ(CreateMediaTypeFromUncompressedFormat(&GetParam().description, &out), E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, MediaTypeRefusal,
    ::testing::Values(RefusalCase{"Valid24InTwoBytes", Description(kPcm, 2, 2, 24, 48000.0f, 0x3)},
                      RefusalCase{"FloatInTwoBytes", Description(kFloat, 2, 2, 16, 48000.0f, 0)},
                      RefusalCase{"NoChannels", Description(kFloat, 0, 4, 32, 48000.0f, 0)},
                      RefusalCase{"PcmFiveByteContainer", Description(kPcm, 2, 5, 40, 48000.0f, 0)},
                      RefusalCase{"ChannelsOverflowBlockAlign",
                                  Description(kPcm, 40000, 4, 32, 48000.0f, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MediaTypeTest, NullArgumentsAtCreation) {
    IAudioMediaType* out = kUntouched;
    EXPECT_EQ(CreateMediaTypeFromUncompressedFormat(nullptr, &out), E_POINTER);
    const UNCOMPRESSEDAUDIOFORMAT description = Description(kFloat, 2, 4, 32, 48000.0f, 0);
    EXPECT_EQ(CreateMediaTypeFromUncompressedFormat(&description, nullptr), E_INVALIDARG);
}

// ---------------------------------------------------------------------------------------------
// Stored wave formats

TEST_F(MediaTypeTest, PcmIsStoredAsItsHeaderAlone) {
    BYTE image[kPlainSize + 5] = {};
    WAVEFORMATEX header = PlainImage(WAVE_FORMAT_PCM, 2, 16, 48000);
    header.cbSize = 5;
    std::memcpy(image, &header, sizeof(header));
    ComPtr<IAudioMediaType> mediaType = FromImage(image, sizeof(image));
    ASSERT_TRUE(mediaType);
    EXPECT_EQ(mediaType->GetAudioFormat()->cbSize, 0);
}

struct ImageCase {
    const char* name;
    WAVEFORMATEXTENSIBLE image;
    UINT32 size;
    HRESULT result;
    BOOL compressed;
};

WAVEFORMATEXTENSIBLE WithByteRate(WAVEFORMATEXTENSIBLE image, DWORD avgBytesPerSec) {
    image.Format.nAvgBytesPerSec = avgBytesPerSec;
    return image;
}

WAVEFORMATEXTENSIBLE WithExtraSize(WAVEFORMATEXTENSIBLE image, WORD cbSize) {
    image.Format.cbSize = cbSize;
    return image;
}

WAVEFORMATEXTENSIBLE Plain(WAVEFORMATEX header) {
    WAVEFORMATEXTENSIBLE image{};
    image.Format = header;
    return image;
}

// 2 channels of 16 bits at 48000: the exact byte rate is 192000, 5 % of it 9600.
const WAVEFORMATEXTENSIBLE kPcmStereo = Plain(PlainImage(WAVE_FORMAT_PCM, 2, 16, 48000));
const WAVEFORMATEXTENSIBLE kExtensiblePcm = ExtensibleImage(kPcm, 2, 32, 24, 0x3);

void PrintTo(const ImageCase& c, std::ostream* out) {
    *out << c.name;
}

class StoredImage : public MediaTypeTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(StoredImage, AcceptsOrRefusesTheImage) {
    const ImageCase& c = GetParam();
    IAudioMediaType* out = kUntouched;
    ASSERT_EQ(CreateMediaTypeFromWaveFormat(&c.image.Format, c.size, 0.0f, &out), c.result);
    if (FAILED(c.result)) {
        EXPECT_EQ(out, nullptr);
        return;
    }
    ComPtr<IAudioMediaType> mediaType = ComPtr<IAudioMediaType>::Attach(out);
    BOOL compressed = -1;
    ASSERT_EQ(mediaType->IsCompressedFormat(&compressed), S_OK);
    EXPECT_EQ(compressed, c.compressed);
}

INSTANTIATE_TEST_SUITE_P(
    Images, StoredImage,
    ::testing::Values(
        ImageCase{"ByteRateAtUpperTolerance", WithByteRate(kPcmStereo, 201600), 18, S_OK, FALSE},
        ImageCase{"ByteRateAboveTolerance", WithByteRate(kPcmStereo, 201601), 18, E_INVALIDARG,
                  FALSE},
        ImageCase{"ByteRateAtLowerTolerance", WithByteRate(kPcmStereo, 182400), 18, S_OK, FALSE},
        ImageCase{"ByteRateBelowTolerance", WithByteRate(kPcmStereo, 182399), 18, E_INVALIDARG,
                  FALSE},
        ImageCase{"ShorterThanHeader", kPcmStereo, 17, E_INVALIDARG, FALSE},
        ImageCase{"FloatOf64Bits", Plain(PlainImage(WAVE_FORMAT_IEEE_FLOAT, 2, 64, 48000)), 18,
                  S_OK, FALSE},
        ImageCase{"PcmOf12Bits", Plain(PlainImage(WAVE_FORMAT_PCM, 2, 12, 48000)), 18, E_INVALIDARG,
                  FALSE},
        ImageCase{"UnknownTagIsNotJudged", Plain(PlainImage(0x55, 7, 3, 1)), 18, S_OK, TRUE},
        ImageCase{"ExtensiblePcm", kExtensiblePcm, 40, S_OK, FALSE},
        ImageCase{"ExtensibleFloat", ExtensibleImage(kFloat, 6, 32, 32, 0x3F), 40, S_OK, FALSE},
        ImageCase{"ExtensibleTruncatedSize", kExtensiblePcm, 39, E_INVALIDARG, FALSE},
        ImageCase{"ExtensibleShortExtra", WithExtraSize(kExtensiblePcm, 20), 40, E_INVALIDARG,
                  FALSE},
        ImageCase{"ExtensibleValidAboveContainer", ExtensibleImage(kPcm, 2, 16, 24, 0x3), 40,
                  E_INVALIDARG, FALSE},
        ImageCase{"ExtensibleFromOtherTag", ExtensibleImage(SubFormatFromTag(0x55), 2, 16, 16, 3),
                  40, S_OK, TRUE},
        ImageCase{"ExtensibleForeignSubFormat", ExtensibleImage(IID_IAudioMediaType, 2, 16, 16, 3),
                  40, S_OK, TRUE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MediaTypeTest, ShortImageIsNeverReadPastItsEnd) {
    // An extensible header that claims 22 extra bytes but is handed over with 18: the size
    // check must come before any rule looks at the extensible fields.
    WAVEFORMATEX header = kExtensiblePcm.Format;
    GuardedImage guarded(&header, sizeof(header));
    IAudioMediaType* out = kUntouched;
    EXPECT_EQ(CreateMediaTypeFromWaveFormat(guarded.Format(), sizeof(header), 0.0f, &out),
              E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
}

struct TagCase {
    WAVEFORMATEXTENSIBLE image;
    WORD tag;
};

class EffectiveTag : public ::testing::TestWithParam<TagCase> {};

TEST_P(EffectiveTag, NamesTheRulesThatApply) {
    EXPECT_EQ(EffectiveFormatTag(&GetParam().image.Format), GetParam().tag);
}

INSTANTIATE_TEST_SUITE_P(
    Images, EffectiveTag,
    ::testing::Values(TagCase{kPcmStereo, 1},
                      TagCase{Plain(PlainImage(WAVE_FORMAT_IEEE_FLOAT, 2, 32, 48000)), 3},
                      TagCase{kExtensiblePcm, 1}, TagCase{ExtensibleImage(kFloat, 2, 32, 32, 3), 3},
                      TagCase{ExtensibleImage(SubFormatFromTag(0x1234), 2, 16, 16, 3), 0x1234},
                      TagCase{ExtensibleImage(IID_IAudioMediaType, 2, 16, 16, 3), 0},
                      TagCase{WithExtraSize(kExtensiblePcm, 21), 0}));

TEST_F(MediaTypeTest, ObjectWithoutFormat) {
    ComPtr<IAudioMediaType> mediaType;
    ASSERT_EQ(CreateMediaTypeFromWaveFormat(nullptr, 0, 0.0f, mediaType.Receive()), S_OK);
    EXPECT_EQ(mediaType->GetAudioFormat(), nullptr);
    UNCOMPRESSEDAUDIOFORMAT description{};
    EXPECT_EQ(mediaType->GetUncompressedAudioFormat(&description), E_POINTER);
    BOOL compressed = TRUE;
    EXPECT_EQ(mediaType->IsCompressedFormat(&compressed), S_OK);
    EXPECT_FALSE(compressed);
    EXPECT_EQ(mediaType->IsCompressedFormat(nullptr), E_INVALIDARG);
}

// ---------------------------------------------------------------------------------------------
// IsEqual

struct EqualCase {
    const char* name;
    WAVEFORMATEXTENSIBLE mine;
    WAVEFORMATEXTENSIBLE theirs;
    UINT32 theirSize; // bytes of the other image that exist; reading beyond them faults
    HRESULT result;
    DWORD flags;
};

WAVEFORMATEXTENSIBLE WithRate(WAVEFORMATEXTENSIBLE image, DWORD rate) {
    image.Format.nSamplesPerSec = rate;
    image.Format.nAvgBytesPerSec = rate * image.Format.nBlockAlign;
    return image;
}

WAVEFORMATEXTENSIBLE WithTag(WAVEFORMATEXTENSIBLE image, WORD tag) {
    image.Format.wFormatTag = tag;
    return image;
}

WAVEFORMATEXTENSIBLE WithMask(WAVEFORMATEXTENSIBLE image, DWORD mask) {
    image.dwChannelMask = mask;
    return image;
}

void PrintTo(const EqualCase& c, std::ostream* out) {
    *out << c.name;
}

class MediaTypeIsEqual : public MediaTypeTest, public ::testing::WithParamInterface<EqualCase> {};

TEST_P(MediaTypeIsEqual, ReportsHowFarTheFormatsAgree) {
    const EqualCase& c = GetParam();
    ComPtr<IAudioMediaType> mine = FromImage(&c.mine, kPlainSize + c.mine.Format.cbSize);
    ASSERT_TRUE(mine);
    GuardedMediaType theirs(&c.theirs, c.theirSize);
    DWORD flags = 0xFF;
    EXPECT_EQ(mine->IsEqual(&theirs, &flags), c.result);
    EXPECT_EQ(flags, c.flags);
}

const WAVEFORMATEXTENSIBLE kFloatStereo = Plain(PlainImage(WAVE_FORMAT_IEEE_FLOAT, 2, 32, 48000));
const WAVEFORMATEXTENSIBLE kPcm32Stereo = Plain(PlainImage(WAVE_FORMAT_PCM, 2, 32, 48000));
const WAVEFORMATEXTENSIBLE kExtensibleFloat = ExtensibleImage(kFloat, 2, 32, 32, 0x3);

INSTANTIATE_TEST_SUITE_P(
    Pairs, MediaTypeIsEqual,
    ::testing::Values(
        EqualCase{"SameFloat", kFloatStereo, kFloatStereo, 18, S_OK, 0xE},
        EqualCase{"OtherRateIsWildcard", kPcmStereo, WithRate(kPcmStereo, 0), 18, S_OK, 0xE},
        EqualCase{"OtherTagIsWildcard", kPcmStereo, WithTag(kPcmStereo, 0), 18, S_OK, 0xE},
        EqualCase{"DifferentRate", kPcmStereo, WithRate(kPcmStereo, 96000), 18, S_FALSE, 0x2},
        EqualCase{"FloatAgainstPcm", kPcm32Stereo, kFloatStereo, 18, S_FALSE, 0},
        EqualCase{"SameExtensible", kExtensibleFloat, kExtensibleFloat, 40, S_OK, 0xE},
        EqualCase{"ExtensibleMaskDiffers", kExtensibleFloat, WithMask(kExtensibleFloat, 0x30), 40,
                  S_FALSE, 0x6},
        EqualCase{"ExtensibleSubFormatDiffers", ExtensibleImage(kPcm, 2, 32, 32, 3),
                  kExtensibleFloat, 40, S_FALSE, 0},
        EqualCase{"PlainAgainstExtensible", kFloatStereo, kExtensibleFloat, 40, S_FALSE, 0},
        // The other side says PCM but carries a stale cbSize: PCM has no extra bytes to read.
        EqualCase{"PcmIgnoresOtherCbSize", kPcmStereo, WithExtraSize(kPcmStereo, 100), 18, S_OK,
                  0xE},
        // Extensible against an 18-byte image: there is no sub-format to compare.
        EqualCase{"ExtensibleAgainstShortWildcardTag", kExtensibleFloat,
                  WithExtraSize(WithTag(kExtensibleFloat, 0), 0), 18, S_FALSE, 0},
        EqualCase{"ExtensibleAgainstShortExtensible", kExtensibleFloat,
                  WithExtraSize(kExtensibleFloat, 0), 18, S_FALSE, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MediaTypeTest, IsEqualWithItselfAndWithoutFormats) {
    ComPtr<IAudioMediaType> mine = Create(Description(kFloat, 2, 4, 32, 48000.0f, 0));
    ComPtr<IAudioMediaType> empty;
    ComPtr<IAudioMediaType> alsoEmpty;
    ASSERT_EQ(CreateMediaTypeFromWaveFormat(nullptr, 0, 0.0f, empty.Receive()), S_OK);
    ASSERT_EQ(CreateMediaTypeFromWaveFormat(nullptr, 0, 0.0f, alsoEmpty.Receive()), S_OK);
    DWORD flags = 0;
    EXPECT_EQ(mine->IsEqual(mine.Get(), &flags), S_OK);
    EXPECT_EQ(flags, 0xEu);
    EXPECT_EQ(empty->IsEqual(alsoEmpty.Get(), &flags), S_OK);
    EXPECT_EQ(flags, 0xEu);
    EXPECT_EQ(mine->IsEqual(empty.Get(), &flags), S_FALSE);
    EXPECT_EQ(flags, 0u);
    flags = 0xFF;
    EXPECT_EQ(empty->IsEqual(mine.Get(), &flags), S_FALSE);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(mine->IsEqual(nullptr, &flags), E_INVALIDARG);
    EXPECT_EQ(mine->IsEqual(mine.Get(), nullptr), E_INVALIDARG);
}

// ---------------------------------------------------------------------------------------------
// References and identity

TEST_F(MediaTypeTest, CreatedObjectHasOneReferenceAndDiesAtTheLast) {
    const UNCOMPRESSEDAUDIOFORMAT description = Description(kFloat, 2, 4, 32, 48000.0f, 0);
    IAudioMediaType* mediaType = nullptr;
    ASSERT_EQ(CreateMediaTypeFromUncompressedFormat(&description, &mediaType), S_OK);
    EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore + 1);
    EXPECT_EQ(mediaType->AddRef(), 2u);
    EXPECT_EQ(mediaType->Release(), 1u);
    EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore + 1);
    EXPECT_EQ(mediaType->Release(), 0u);
    EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore);
}

TEST_F(MediaTypeTest, AnswersOnlyItsOwnInterfaces) {
    ComPtr<IAudioMediaType> mediaType = Create(Description(kFloat, 2, 4, 32, 48000.0f, 0));
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(
        mediaType->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(unknown.Receive())),
        S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(mediaType.Get()));
    void* other = kUntouched;
    EXPECT_EQ(mediaType->QueryInterface(IID_IAudioProcessingObject, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(mediaType->QueryInterface(IID_IAudioMediaType, nullptr), E_INVALIDARG);
    unknown.Reset();
    EXPECT_EQ(mediaType->AddRef(), 2u) << "QueryInterface must leave one reference per call";
    mediaType->Release();
}

// ---------------------------------------------------------------------------------------------
// Memory running out

int allocationsLeft = 0;
bool CountedAllocations(std::size_t) {
    return allocationsLeft-- > 0;
}

TEST_F(MediaTypeTest, RunningOutOfMemoryLeavesNothingBehind) {
    const UNCOMPRESSEDAUDIOFORMAT description = Description(kFloat, 6, 4, 32, 48000.0f, 0x3F);
    SetMediaTypeAllocationGate(CountedAllocations);
    for (int allowed : {0, 1}) { // the object itself, then its format copy
        allocationsLeft = allowed;
        IAudioMediaType* out = kUntouched;
        EXPECT_EQ(CreateMediaTypeFromUncompressedFormat(&description, &out), E_OUTOFMEMORY)
            << allowed << " allocations allowed";
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore);
    }
}

} // namespace
