// Format negotiation: which formats the effect accepts, what it proposes instead, and the log
// and debugger lines it leaves; every supported format handed out is a new media type object
// with exactly one reference.
#include "audiomediatype.h"
#include "effectlog.h"
#include "effecttestsupport.h"

#include <gtest/gtest.h>
#include <ksmedia.h>

#include <string>
#include <vector>

using namespace effecttest;

namespace {

const GUID kPcm = SubFormatFromTag(WAVE_FORMAT_PCM);
const GUID kFloat = SubFormatFromTag(WAVE_FORMAT_IEEE_FLOAT);
IAudioMediaType* const kUntouched = reinterpret_cast<IAudioMediaType*>(0x1);

UNCOMPRESSEDAUDIOFORMAT Format(const GUID& type, DWORD channels, DWORD containerBytes,
                               DWORD validBits, float rate, DWORD mask) {
    return {type, channels, containerBytes, validBits, rate, mask};
}

UNCOMPRESSEDAUDIOFORMAT Float32(DWORD channels, float rate, DWORD mask) {
    return Format(kFloat, channels, 4, 32, rate, mask);
}

// A requested format that reports itself compressed, as the audio engine may hand one over.
class CompressedStub : public FormatStub {
public:
    CompressedStub(const UNCOMPRESSEDAUDIOFORMAT& described, HRESULT answer)
        : FormatStub(described), answer(answer) {}
    HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* compressed) override {
        *compressed = TRUE;
        return answer;
    }
    HRESULT answer;
};

// The lines a test sends to the debugger, caught where OutputDebugStringA raises them.
class DebuggerOutput {
public:
    DebuggerOutput() : handler(AddVectoredExceptionHandler(1, Catch)) { lines().clear(); }
    ~DebuggerOutput() { RemoveVectoredExceptionHandler(handler); }
    DebuggerOutput(const DebuggerOutput&) = delete;
    DebuggerOutput& operator=(const DebuggerOutput&) = delete;
    const std::vector<std::string>& Lines() const { return lines(); }

private:
    static std::vector<std::string>& lines() {
        static std::vector<std::string> caught;
        return caught;
    }
    static LONG CALLBACK Catch(EXCEPTION_POINTERS* pointers) {
        const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
        if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        lines().emplace_back(text);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    PVOID handler;
};

struct ExpectedLine {
    bool isTrace;
    std::string message;
};

class NegotiationTest : public EffectTest {
protected:
    void SetUp() override {
        EffectTest::SetUp();
        liveBefore = AudioMediaType::LiveObjects();
        logMark = EffectLogEnd();
    }
    void TearDown() override {
        SetMediaTypeAllocationGate(nullptr);
        EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore) << "a media type object leaked";
        EffectTest::TearDown();
    }

    // The lines this test's negotiation wrote, each checked for its object and source file.
    void ExpectLogLines(const std::vector<ExpectedLine>& expected) const {
        const std::vector<EffectLogLine> lines = EffectLogLinesSince(logMark);
        ASSERT_EQ(lines.size(), expected.size()) << Describe(lines);
        for (size_t index = 0; index < lines.size(); ++index) {
            EXPECT_EQ(lines[index].message, expected[index].message);
            EXPECT_EQ(lines[index].isTrace, expected[index].isTrace) << lines[index].message;
            EXPECT_EQ(lines[index].object, LogObjectField(effect->PrimaryFace()));
            const std::string& source = lines[index].sourceFile;
            EXPECT_NE(source.find("formatnegotiation.cpp"), std::string::npos) << source;
        }
    }

    static std::string Describe(const std::vector<EffectLogLine>& lines) {
        std::string text;
        for (const EffectLogLine& line : lines) {
            text += (line.isTrace ? "(TRACE) " : "") + line.message + "\n";
        }
        return text;
    }

    EffectHolder effect{&registration};
    LONG liveBefore = 0;
    size_t logMark = 0;
};

// The supported format must describe `expected` and be a fresh object with one reference.
void ExpectSupported(IAudioMediaType* supported, const UNCOMPRESSEDAUDIOFORMAT& expected) {
    ASSERT_NE(supported, nullptr);
    ASSERT_NE(supported, kUntouched);
    UNCOMPRESSEDAUDIOFORMAT described{};
    ASSERT_EQ(supported->GetUncompressedAudioFormat(&described), S_OK);
    EXPECT_EQ(described.guidFormatType, expected.guidFormatType);
    EXPECT_EQ(described.dwSamplesPerFrame, expected.dwSamplesPerFrame);
    EXPECT_EQ(described.dwBytesPerSampleContainer, expected.dwBytesPerSampleContainer);
    EXPECT_EQ(described.dwValidBitsPerSample, expected.dwValidBitsPerSample);
    EXPECT_EQ(described.fFramesPerSecond, expected.fFramesPerSecond);
    EXPECT_EQ(described.dwChannelMask, expected.dwChannelMask);
    EXPECT_EQ(supported->AddRef(), 2u) << "handed out with more than one reference";
    supported->Release();
}

// ---------------------------------------------------------------------------------------------
// Input side

struct InputCase {
    const char* name;
    UNCOMPRESSEDAUDIOFORMAT requested;
    float outputRate;
    HRESULT result;
    UNCOMPRESSEDAUDIOFORMAT supported; // meaningful for S_OK and S_FALSE
    std::vector<ExpectedLine> lines;
};

void PrintTo(const InputCase& c, std::ostream* out) {
    *out << c.name;
}

class InputNegotiation : public NegotiationTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputNegotiation, AcceptsProposesOrRefuses) {
    const InputCase& c = GetParam();
    FormatStub requested(c.requested);
    FormatStub output(Float32(2, c.outputRate, KSAUDIO_SPEAKER_STEREO));
    DebuggerOutput debugger;
    IAudioMediaType* supported = kUntouched;
    ASSERT_EQ(effect->IsInputFormatSupported(&output, &requested, &supported), c.result);
    if (c.result == S_OK || c.result == S_FALSE) {
        ExpectSupported(supported, c.supported);
        supported->Release();
    } else {
        EXPECT_EQ(supported, kUntouched) << "a refusal must leave the out-parameter alone";
    }
    ExpectLogLines(c.lines);
    EXPECT_TRUE(debugger.Lines().empty());
}

const UNCOMPRESSEDAUDIOFORMAT kPcm24Stereo = Format(kPcm, 2, 4, 24, 48000.0f, 0x3);

INSTANTIATE_TEST_SUITE_P(
    Requests, InputNegotiation,
    ::testing::Values(
        InputCase{"Stereo24Bits", kPcm24Stereo, 48000.0f, S_OK, kPcm24Stereo, {}},
        InputCase{"Pcm16StereoContainerNotExamined",
                  Format(kPcm, 2, 2, 16, 48000.0f, 0x3),
                  48000.0f,
                  S_OK,
                  Format(kPcm, 2, 2, 16, 48000.0f, 0x3),
                  {}},
        InputCase{"SixChannelsWithStereoMask",
                  Float32(6, 48000.0f, 0x3),
                  48000.0f,
                  S_OK,
                  Float32(6, 48000.0f, 0x3),
                  {}},
        InputCase{"StereoWithSurroundMask",
                  Float32(2, 48000.0f, 0x63F),
                  48000.0f,
                  S_OK,
                  Float32(2, 48000.0f, 0x63F),
                  {}},
        InputCase{"EightChannels96000",
                  Float32(8, 96000.0f, 0xFF),
                  96000.0f,
                  S_OK,
                  Float32(8, 96000.0f, 0xFF),
                  {}},
        InputCase{"SixChannels51Surround",
                  Float32(6, 48000.0f, 0x60F),
                  48000.0f,
                  S_OK,
                  Float32(6, 48000.0f, 0x60F),
                  {}},
        InputCase{"FourChannelsBecomeStereo",
                  Float32(4, 48000.0f, 0x33),
                  48000.0f,
                  S_FALSE,
                  Float32(2, 48000.0f, 0x3),
                  {}},
        InputCase{"MaskZeroBecomesStereoMask",
                  Float32(2, 48000.0f, 0),
                  48000.0f,
                  S_FALSE,
                  Float32(2, 48000.0f, 0x3),
                  {}},
        InputCase{"RateTakenFromOutput",
                  Float32(2, 48000.0f, 0x3),
                  96000.0f,
                  S_FALSE,
                  Float32(2, 96000.0f, 0x3),
                  {}},
        InputCase{"Rate44100Refused",
                  Float32(2, 44100.0f, 0x3),
                  48000.0f,
                  APOERR_FORMAT_NOT_SUPPORTED,
                  {},
                  {}},
        InputCase{"ValidBits20Refused",
                  Format(kPcm, 2, 4, 20, 48000.0f, 0x3),
                  48000.0f,
                  APOERR_FORMAT_NOT_SUPPORTED,
                  {},
                  {}},
        InputCase{"RefusalWinsOverProposal",
                  Float32(5, 44100.0f, 0x7),
                  48000.0f,
                  APOERR_FORMAT_NOT_SUPPORTED,
                  {},
                  {}},
        // Formats the negotiation lets through but no wave format can hold.
        InputCase{"Valid24InTwoByteContainer",
                  Format(kPcm, 2, 2, 24, 48000.0f, 0x3),
                  48000.0f,
                  APOERR_FORMAT_NOT_SUPPORTED,
                  {},
                  {{false, "Error in CreateMediaTypeFromUncompressedFormat (in): 0x80070057"}}},
        InputCase{"FloatInTwoByteContainer",
                  Format(kFloat, 2, 2, 16, 48000.0f, 0x3),
                  48000.0f,
                  APOERR_FORMAT_NOT_SUPPORTED,
                  {},
                  {{false, "Error in CreateMediaTypeFromUncompressedFormat (in): 0x80070057"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NegotiationTest, ProposalForPlainStereoIsBuiltExtensible) {
    FormatStub requested(Float32(2, 48000.0f, 0));
    FormatStub output(Float32(2, 48000.0f, 0x3));
    ComPtr<IAudioMediaType> supported;
    ASSERT_EQ(effect->IsInputFormatSupported(&output, &requested, supported.Receive()), S_FALSE);
    ASSERT_TRUE(supported);
    EXPECT_EQ(supported->GetAudioFormat()->wFormatTag, WAVE_FORMAT_EXTENSIBLE);
}

// ---------------------------------------------------------------------------------------------
// Output side

struct OutputCase {
    const char* name;
    UNCOMPRESSEDAUDIOFORMAT input;
    UNCOMPRESSEDAUDIOFORMAT requested;
    HRESULT result;
    std::vector<ExpectedLine> lines;
    std::vector<std::string> debuggerLines;
};

void PrintTo(const OutputCase& c, std::ostream* out) {
    *out << c.name;
}

class OutputNegotiation : public NegotiationTest,
                          public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputNegotiation, AcceptsOnlyStereoAtTheInputsDepth) {
    const OutputCase& c = GetParam();
    FormatStub input(c.input);
    FormatStub requested(c.requested);
    DebuggerOutput debugger;
    IAudioMediaType* supported = kUntouched;
    ASSERT_EQ(effect->IsOutputFormatSupported(&input, &requested, &supported), c.result);
    if (c.result == S_OK) {
        ExpectSupported(supported, c.requested); // never another format than the request
        supported->Release();
    } else {
        EXPECT_EQ(supported, kUntouched) << "a refusal must leave the out-parameter alone";
    }
    ExpectLogLines(c.lines);
    EXPECT_EQ(debugger.Lines(), c.debuggerLines);
}

const char kSuccessDebugLine[] = "APO IsOutputFormatSupported SUCCESS: returning S_OK";
const ExpectedLine kSuccessTraceLine{true, "IsOutputFormatSupported successful"};

INSTANTIATE_TEST_SUITE_P(
    Requests, OutputNegotiation,
    ::testing::Values(
        OutputCase{"Stereo96000AnyMask",
                   Float32(6, 96000.0f, 0x3F),
                   Float32(2, 96000.0f, 0x3F),
                   S_OK,
                   {kSuccessTraceLine},
                   {kSuccessDebugLine}},
        OutputCase{"RateNotComparedWithInput",
                   Float32(2, 48000.0f, 0x3),
                   Float32(2, 96000.0f, 0x3),
                   S_OK,
                   {kSuccessTraceLine},
                   {kSuccessDebugLine}},
        OutputCase{"Pcm16AtInputDepth",
                   Format(kPcm, 8, 2, 16, 48000.0f, 0xFF),
                   Format(kPcm, 2, 2, 16, 48000.0f, 0),
                   S_OK,
                   {kSuccessTraceLine},
                   {kSuccessDebugLine}},
        OutputCase{"SixChannelsRefused",
                   Float32(6, 48000.0f, 0x3F),
                   Float32(6, 48000.0f, 0x3F),
                   APOERR_FORMAT_NOT_SUPPORTED,
                   {{false, "Unsupported dwSamplesPerFrame (out)"}},
                   {"APO IsOutputFormatSupported: Unsupported dwSamplesPerFrame"}},
        OutputCase{"Rate44100Refused",
                   Float32(2, 44100.0f, 0x3),
                   Float32(2, 44100.0f, 0x3),
                   APOERR_FORMAT_NOT_SUPPORTED,
                   {{false, "Unsupported fFramesPerSecond (out)"}},
                   {"APO IsOutputFormatSupported: Unsupported fFramesPerSecond"}},
        OutputCase{"DepthDiffersFromInput",
                   Float32(2, 48000.0f, 0x3),
                   Format(kPcm, 2, 4, 24, 48000.0f, 0x3),
                   APOERR_FORMAT_NOT_SUPPORTED,
                   {},
                   {}},
        OutputCase{"Valid24InTwoByteContainer",
                   Format(kPcm, 2, 4, 24, 48000.0f, 0x3),
                   Format(kPcm, 2, 2, 24, 48000.0f, 0x3),
                   APOERR_FORMAT_NOT_SUPPORTED,
                   {{false, "Error in CreateMediaTypeFromUncompressedFormat (out): 0x80070057"}},
                   {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Arguments and descriptions that cannot be used

enum class Side { Input, Output };

HRESULT Negotiate(KovraAPO* effect, Side side, IAudioMediaType* opposite,
                  IAudioMediaType* requested, IAudioMediaType** supported) {
    return side == Side::Input ? effect->IsInputFormatSupported(opposite, requested, supported)
                               : effect->IsOutputFormatSupported(opposite, requested, supported);
}

struct BadArgumentCase {
    const char* name;
    Side side;
    bool nullOpposite;
    bool nullRequested;
    bool nullOut;
    HRESULT oppositeFailure;
    HRESULT requestedFailure;
    HRESULT result;
    std::string line;
};

void PrintTo(const BadArgumentCase& c, std::ostream* out) {
    *out << c.name;
}

class UnusableArguments : public NegotiationTest,
                          public ::testing::WithParamInterface<BadArgumentCase> {};

TEST_P(UnusableArguments, FailWithTheirCodeAndNameTheirArgument) {
    const BadArgumentCase& c = GetParam();
    FormatStub opposite(Float32(2, 48000.0f, 0x3));
    FormatStub requested(Float32(2, 48000.0f, 0x3));
    opposite.failure = c.oppositeFailure;
    requested.failure = c.requestedFailure;
    IAudioMediaType* supported = kUntouched;
    EXPECT_EQ(Negotiate(effect.effect, c.side, c.nullOpposite ? nullptr : &opposite,
                        c.nullRequested ? nullptr : &requested, c.nullOut ? nullptr : &supported),
              c.result);
    EXPECT_EQ(supported, kUntouched);
    ExpectLogLines({{false, c.line}});
}

constexpr HRESULT kDescribeFailure = static_cast<HRESULT>(0x8889000AL);

INSTANTIATE_TEST_SUITE_P(
    Arguments, UnusableArguments,
    ::testing::Values(BadArgumentCase{"NullOutputFormat", Side::Input, true, false, false, S_OK,
                                      S_OK, E_POINTER, "pOutputFormat NULL"},
                      BadArgumentCase{"NullRequestedInput", Side::Input, false, true, false, S_OK,
                                      S_OK, E_POINTER, "pRequestedInputFormat NULL"},
                      BadArgumentCase{"NullSupportedInput", Side::Input, false, false, true, S_OK,
                                      S_OK, E_POINTER, "ppSupportedInputFormat NULL"},
                      BadArgumentCase{"NullInputFormat", Side::Output, true, false, false, S_OK,
                                      S_OK, E_POINTER, "pInputFormat NULL"},
                      BadArgumentCase{"NullRequestedOutput", Side::Output, false, true, false, S_OK,
                                      S_OK, E_POINTER, "pRequestedOutputFormat NULL"},
                      BadArgumentCase{"NullSupportedOutput", Side::Output, false, false, true, S_OK,
                                      S_OK, E_POINTER, "ppSupportedOutputFormat NULL"},
                      BadArgumentCase{"RequestedInputUndescribed", Side::Input, false, false, false,
                                      S_OK, kDescribeFailure, kDescribeFailure,
                                      "Error in GetUncompressedAudioFormat (in req)"},
                      BadArgumentCase{"OutputUndescribed", Side::Input, false, false, false,
                                      kDescribeFailure, S_OK, kDescribeFailure,
                                      "Error in GetUncompressedAudioFormat (out)"},
                      BadArgumentCase{"RequestedOutputUndescribed", Side::Output, false, false,
                                      false, S_OK, kDescribeFailure, kDescribeFailure,
                                      "Error in GetUncompressedAudioFormat (out req)"},
                      BadArgumentCase{"InputUndescribed", Side::Output, false, false, false,
                                      kDescribeFailure, S_OK, kDescribeFailure,
                                      "Error in GetUncompressedAudioFormat (in)"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Compressed requests

TEST_F(NegotiationTest, CompressedRequestsAreTracedAndNegotiatedByTheirDescription) {
    CompressedStub requestedInput(Float32(2, 48000.0f, 0x3), S_OK);
    CompressedStub requestedOutput(Float32(2, 48000.0f, 0x3), S_OK);
    FormatStub opposite(Float32(2, 48000.0f, 0x3));
    ComPtr<IAudioMediaType> supported;
    EXPECT_EQ(effect->IsInputFormatSupported(&opposite, &requestedInput, supported.Receive()),
              S_OK);
    EXPECT_EQ(effect->IsOutputFormatSupported(&opposite, &requestedOutput, supported.Receive()),
              S_OK);
    ExpectLogLines(
        {{true, "Input is compressed"}, {true, "Output is compressed"}, kSuccessTraceLine});
}

TEST_F(NegotiationTest, CompressionCountsOnlyWhenReportedWithSOk) {
    CompressedStub requested(Float32(2, 48000.0f, 0x3), S_FALSE);
    FormatStub opposite(Float32(2, 48000.0f, 0x3));
    ComPtr<IAudioMediaType> supported;
    EXPECT_EQ(effect->IsInputFormatSupported(&opposite, &requested, supported.Receive()), S_OK);
    ExpectLogLines({});
}

// ---------------------------------------------------------------------------------------------
// Memory running out and references

bool NoMemory(std::size_t) {
    return false;
}

TEST_F(NegotiationTest, RunningOutOfMemoryIsReportedAsSuch) {
    FormatStub opposite(Float32(2, 48000.0f, 0x3));
    FormatStub requested(Float32(2, 48000.0f, 0x3));
    SetMediaTypeAllocationGate(NoMemory);
    IAudioMediaType* supported = kUntouched;
    EXPECT_EQ(effect->IsInputFormatSupported(&opposite, &requested, &supported), E_OUTOFMEMORY);
    EXPECT_EQ(effect->IsOutputFormatSupported(&opposite, &requested, &supported), E_OUTOFMEMORY);
    EXPECT_EQ(supported, kUntouched);
    ExpectLogLines({{false, "Error in CreateMediaTypeFromUncompressedFormat (in): 0x8007000E"},
                    {false, "Error in CreateMediaTypeFromUncompressedFormat (out): 0x8007000E"}});
}

TEST_F(NegotiationTest, EveryAnswerIsANewObjectFreedAtItsLastRelease) {
    FormatStub opposite(Float32(2, 48000.0f, 0x3));
    FormatStub requested(Float32(2, 48000.0f, 0x3));
    IAudioMediaType* first = nullptr;
    IAudioMediaType* second = nullptr;
    ASSERT_EQ(effect->IsInputFormatSupported(&opposite, &requested, &first), S_OK);
    ASSERT_EQ(effect->IsOutputFormatSupported(&opposite, &requested, &second), S_OK);
    EXPECT_NE(first, second);
    EXPECT_NE(first, static_cast<IAudioMediaType*>(&requested));
    EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore + 2);
    EXPECT_EQ(requested.references.load(), 1u) << "the request must not be kept";
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore + 1);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(AudioMediaType::LiveObjects(), liveBefore);
}

} // namespace
