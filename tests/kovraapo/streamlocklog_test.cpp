// What LockForProcess and UnlockForProcess write to the log: their entry lines, the error line
// of a refused lock with the system's text of the base's code, and the unlock that destroys an
// instance even when the base says the object was not locked.
#include "effectlog.h"
#include "effecttestsupport.h"
#include "loghelper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace effecttest;
using recordingengine::Call;
using recordingengine::CallsOf;

namespace {

constexpr char kBaseRefusalPrefix[] = "Error in CBaseAudioProcessingObject::LockForProcess: ";

class StreamLockLogTest : public EffectTest {
protected:
    void SetUp() override {
        EffectTest::SetUp();
        logMark = EffectLogEnd();
    }

    // The lock's own lines written since the mark (the base's validation adds those of the
    // format negotiation), each checked for its object.
    std::vector<std::string> LoggedMessages() {
        std::vector<std::string> messages;
        for (const EffectLogLine& line : EffectLogLinesSince(logMark)) {
            if (line.sourceFile.find("streamlock.cpp") == std::string::npos) {
                continue;
            }
            EXPECT_EQ(line.object, LogObjectField(effect->PrimaryFace()));
            messages.push_back((line.isTrace ? "(TRACE) " : "") + line.message);
        }
        logMark = EffectLogEnd();
        return messages;
    }

    static std::string BaseRefusal(HRESULT hr) {
        _com_error error(hr);
        return std::string(kBaseRefusalPrefix) + error.MessageText();
    }

    EffectHolder effect{&registration};
    size_t logMark = 0;
};

TEST_F(StreamLockLogTest, BaseRefusalLogsTheCodesTextAndReturnsTheCode) {
    Stream stream(2, 48000, 480);
    APO_CONNECTION_DESCRIPTOR* inputs[] = {stream.input.pointer, stream.input.pointer};
    EXPECT_EQ(effect->LockForProcess(2, inputs, 1, &stream.output.pointer),
              APOERR_NUM_CONNECTIONS_INVALID);
    const std::vector<std::string> expected = {"(TRACE) LockForProcess",
                                               BaseRefusal(APOERR_NUM_CONNECTIONS_INVALID)};
    EXPECT_EQ(LoggedMessages(), expected);
    EXPECT_GT(expected[1].size(), std::strlen(kBaseRefusalPrefix)) << "no text for the code";
    EXPECT_FALSE(effect->Locked());
    EXPECT_EQ(effect->InputChannels(), 0u);
    EXPECT_TRUE(recordingengine::Calls().empty());
}

TEST_F(StreamLockLogTest, SecondLockLogsTheLockedCode) {
    Stream stream(6, 48000, 480);
    ASSERT_EQ(stream.Lock(effect.effect), S_OK);
    EXPECT_EQ(LoggedMessages(), std::vector<std::string>{"(TRACE) LockForProcess"});
    EXPECT_EQ(stream.Lock(effect.effect), APOERR_APO_LOCKED);
    const std::vector<std::string> expected = {"(TRACE) LockForProcess",
                                               BaseRefusal(APOERR_APO_LOCKED)};
    EXPECT_EQ(LoggedMessages(), expected);
}

// Negotiation asks about valid bits only, so it lets integer samples and other containers
// through; the lock refuses every stream whose samples are not 4-byte floats, on either side,
// after every check of the base.
TEST_F(StreamLockLogTest, LockRefusesSamplesThatAreNotFloats) {
    const GUID pcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    struct Case {
        const char* name;
        UINT32 channels;
        bool floatType;
        DWORD containerBytes, validBits;
        bool floatOutput; // the output a float stream of the same depth, the input as given
        const char* side;
    };
    const Case cases[] = {
        {"16-bit PCM", 2, false, 2, 16, false, "in"},
        {"24-bit PCM, packed", 6, false, 3, 24, false, "in"},
        {"24-bit PCM in 4 bytes", 8, false, 4, 24, false, "in"},
        {"32-bit PCM", 2, false, 4, 32, false, "in"},
        {"float in 8 bytes", 2, true, 8, 32, false, "in"},
        {"float in, PCM out", 2, false, 4, 32, true, "out"},
        {"float", 6, true, 4, 32, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recordingengine::Clear();
        EffectHolder fresh(&registration);
        Stream stream(c.channels, 48000, 480);
        for (FormatStub* side : {&stream.input.mediaType, &stream.output.mediaType}) {
            side->format.guidFormatType = c.floatType ? kFloatSubtype : pcm;
            side->format.dwBytesPerSampleContainer = c.containerBytes;
            side->format.dwValidBitsPerSample = c.validBits;
        }
        if (c.floatOutput) {
            stream.input.mediaType.format.guidFormatType = kFloatSubtype;
        }
        // The test's buffers are sized for floats, and a wider container would make them overlap.
        stream.input.descriptor.pBuffer = stream.output.descriptor.pBuffer = 0;
        const bool refused = c.side != nullptr;
        logMark = EffectLogEnd();
        EXPECT_EQ(stream.Lock(fresh.effect), refused ? APOERR_FORMAT_NOT_SUPPORTED : S_OK);
        EXPECT_EQ(fresh->Locked(), !refused);
        EXPECT_EQ(recordingengine::CallsOf(Call::Create).size(), refused ? 0u : 1u);
        if (refused) {
            std::vector<std::string> lines;
            for (const EffectLogLine& line : EffectLogLinesSince(logMark)) {
                if (!line.isTrace) {
                    lines.push_back(line.message);
                }
            }
            const std::vector<std::string> expected = {
                std::string("Unsupported sample format in LockForProcess (") + c.side + ")",
                BaseRefusal(APOERR_FORMAT_NOT_SUPPORTED)};
            EXPECT_EQ(lines, expected);
        }
    }
}

TEST_F(StreamLockLogTest, MissingOrUnreadableFormatsLogTheirSide) {
    Stream stream(2, 48000, 480);
    APO_CONNECTION_DESCRIPTOR* none = nullptr;
    struct Case {
        const char* name;
        UINT32 inputs;
        APO_CONNECTION_DESCRIPTOR** inputDescriptors;
        UINT32 outputs;
        APO_CONNECTION_DESCRIPTOR** outputDescriptors;
        const char* side;
    };
    const Case cases[] = {
        {"no input", 0, &stream.input.pointer, 1, &stream.output.pointer, "in"},
        {"null input array", 1, nullptr, 1, &stream.output.pointer, "in"},
        {"null input descriptor", 1, &none, 1, &stream.output.pointer, "in"},
        {"no output", 1, &stream.input.pointer, 0, &stream.output.pointer, "out"},
        {"null output array", 1, &stream.input.pointer, 1, nullptr, "out"},
        {"null output descriptor", 1, &stream.input.pointer, 1, &none, "out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            effect->LockForProcess(c.inputs, c.inputDescriptors, c.outputs, c.outputDescriptors),
            E_POINTER);
        const std::vector<std::string> expected = {
            "(TRACE) LockForProcess",
            std::string("Error in GetUncompressedAudioFormat in LockForProcess (") + c.side + ")"};
        EXPECT_EQ(LoggedMessages(), expected);
    }
    stream.input.descriptor.pFormat = nullptr;
    EXPECT_EQ(stream.Lock(effect.effect), E_POINTER);
    stream.input.descriptor.pFormat = &stream.input.mediaType;
    stream.input.mediaType.failure = E_OUTOFMEMORY;
    EXPECT_EQ(stream.Lock(effect.effect), E_OUTOFMEMORY);
    EXPECT_FALSE(effect->Locked());
    EXPECT_TRUE(recordingengine::Calls().empty());
}

TEST_F(StreamLockLogTest, UnlockDestroysAnInstanceEvenWhenNotLocked) {
    effect->SetStream(2, 48000, 480);
    effect->OpenEngineInstance(effect->FilterMode());
    const KovraHandle handle = effect->EngineHandle();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(effect->UnlockForProcess(), APOERR_ALREADY_UNLOCKED);
    const auto destroys = CallsOf(Call::Destroy);
    ASSERT_EQ(destroys.size(), 1u);
    EXPECT_EQ(destroys[0].handle, handle);
    EXPECT_EQ(effect->EngineHandle(), nullptr);
    EXPECT_EQ(LoggedMessages(), std::vector<std::string>{"(TRACE) UnlockForProcess"});
}

TEST_F(StreamLockLogTest, UnlockWritesItsEntryLine) {
    Stream stream(2, 48000, 480);
    ASSERT_EQ(stream.Lock(effect.effect), S_OK);
    logMark = EffectLogEnd();
    EXPECT_EQ(effect->UnlockForProcess(), S_OK);
    EXPECT_EQ(LoggedMessages(), std::vector<std::string>{"(TRACE) UnlockForProcess"});
}

} // namespace
