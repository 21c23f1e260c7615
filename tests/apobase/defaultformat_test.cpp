#include "audiomediatype.h"
#include "baseaudioprocessingobject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// The smallest object that can stand on the base: the correction is the base's own.
class BareProcessingObject : public CBaseAudioProcessingObject {
public:
    BareProcessingObject() : CBaseAudioProcessingObject(&registration) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetLatency(HNSTIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Initialize(UINT32, BYTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsInputFormatSupported(IAudioMediaType*, IAudioMediaType*,
                                                     IAudioMediaType**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsOutputFormatSupported(IAudioMediaType*, IAudioMediaType*,
                                                      IAudioMediaType**) override {
        return E_NOTIMPL;
    }
    void STDMETHODCALLTYPE APOProcess(UINT32, APO_CONNECTION_PROPERTY**, UINT32,
                                      APO_CONNECTION_PROPERTY**) override {}
    HRESULT AcceptConnections(UINT32, APO_CONNECTION_DESCRIPTOR**, UINT32,
                              APO_CONNECTION_DESCRIPTOR**) override {
        return S_OK;
    }

private:
    static inline const APO_REG_PROPERTIES registration{};
};

const GUID kPcm = SubFormatFromTag(WAVE_FORMAT_PCM);
const GUID kFloat = SubFormatFromTag(WAVE_FORMAT_IEEE_FLOAT);
const UNCOMPRESSEDAUDIOFORMAT kEngineFloat = {kFloat, 2, 4, 32, 48000.0f, 0x3};

UNCOMPRESSEDAUDIOFORMAT With(UNCOMPRESSEDAUDIOFORMAT format, DWORD channels, float rate) {
    format.dwSamplesPerFrame = channels;
    format.fFramesPerSecond = rate;
    return format;
}

struct CorrectionCase {
    const char* name;
    UNCOMPRESSEDAUDIOFORMAT given;
    UNCOMPRESSEDAUDIOFORMAT expected;
    HRESULT result;
};

void PrintTo(const CorrectionCase& c, std::ostream* out) {
    *out << c.name;
}

class DefaultFormatCorrection : public ::testing::TestWithParam<CorrectionCase> {};

TEST_P(DefaultFormatCorrection, ClampsIntoTheEnginesFloatPipeline) {
    const CorrectionCase& c = GetParam();
    BareProcessingObject object;
    UNCOMPRESSEDAUDIOFORMAT format = c.given;
    EXPECT_EQ(object.CorrectDefaultFormat(&format), c.result);
    EXPECT_EQ(format.guidFormatType, c.expected.guidFormatType);
    EXPECT_EQ(format.dwSamplesPerFrame, c.expected.dwSamplesPerFrame);
    EXPECT_EQ(format.dwBytesPerSampleContainer, c.expected.dwBytesPerSampleContainer);
    EXPECT_EQ(format.dwValidBitsPerSample, c.expected.dwValidBitsPerSample);
    EXPECT_EQ(format.fFramesPerSecond, c.expected.fFramesPerSecond);
    EXPECT_EQ(format.dwChannelMask, c.expected.dwChannelMask) << "the mask is never corrected";
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DefaultFormatCorrection,
    ::testing::Values(CorrectionCase{"AlreadyFloat", kEngineFloat, kEngineFloat, S_OK},
                      CorrectionCase{"Pcm16Stereo44100",
                                     {kPcm, 2, 2, 16, 44100.0f, 0},
                                     {kFloat, 2, 4, 32, 44100.0f, 0},
                                     S_FALSE},
                      CorrectionCase{"NoChannels", With(kEngineFloat, 0, 48000.0f),
                                     With(kEngineFloat, 1, 48000.0f), S_FALSE},
                      CorrectionCase{"TooManyChannels", With(kEngineFloat, 5000, 48000.0f),
                                     With(kEngineFloat, 4096, 48000.0f), S_FALSE},
                      CorrectionCase{"MostChannels", With(kEngineFloat, 4096, 48000.0f),
                                     With(kEngineFloat, 4096, 48000.0f), S_OK},
                      CorrectionCase{"RateTooLow", With(kEngineFloat, 2, 5.0f),
                                     With(kEngineFloat, 2, 10.0f), S_FALSE},
                      CorrectionCase{"RateTooHigh", With(kEngineFloat, 2, 500000.0f),
                                     With(kEngineFloat, 2, 384000.0f), S_FALSE},
                      CorrectionCase{"HighestRate", With(kEngineFloat, 2, 384000.0f),
                                     With(kEngineFloat, 2, 384000.0f), S_OK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DefaultFormatCorrectionEdges, NotANumberRateStaysAndNullIsRefused) {
    BareProcessingObject object;
    UNCOMPRESSEDAUDIOFORMAT format = With(kEngineFloat, 2, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(object.CorrectDefaultFormat(&format), S_OK);
    EXPECT_TRUE(std::isnan(format.fFramesPerSecond));
    EXPECT_EQ(object.CorrectDefaultFormat(nullptr), E_POINTER);
}

} // namespace
