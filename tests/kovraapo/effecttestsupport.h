// What the effect object's tests share: a registration record like the module's, a media type
// whose format reading can be made to fail, connection descriptors and block records, and an
// effect object whose endpoint values and internal fields the tests can reach.
#pragma once

#include "kovraapo.h"
#include "recordingengine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace effecttest {

// Flags 12, one input and one output connection: the module's own record.
inline APO_REG_PROPERTIES MakeRegistration(UINT32 flags = 12) {
    APO_REG_PROPERTIES record{};
    record.Flags = static_cast<APO_FLAG>(flags);
    record.u32MajorVersion = 1;
    record.u32MinInputConnections = 1;
    record.u32MaxInputConnections = 1;
    record.u32MinOutputConnections = 1;
    record.u32MaxOutputConnections = 1;
    record.u32MaxInstances = 3;
    record.u32NumAPOInterfaces = 1;
    record.iidAPOInterfaceList[0] = IID_IAudioProcessingObject;
    return record;
}

// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, spelled out so no translation unit has to instantiate it.
inline constexpr GUID kFloatSubtype = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

inline UNCOMPRESSEDAUDIOFORMAT FloatFormat(DWORD channels, float rate, DWORD mask = 0) {
    UNCOMPRESSEDAUDIOFORMAT format{};
    format.guidFormatType = kFloatSubtype;
    format.dwSamplesPerFrame = channels;
    format.dwBytesPerSampleContainer = 4;
    format.dwValidBitsPerSample = 32;
    format.fFramesPerSecond = rate;
    format.dwChannelMask = mask != 0 ? mask : (channels == 2 ? 0x3 : channels == 6 ? 0x3F : 0x63F);
    return format;
}

// A media type that reports a fixed format, or a chosen failure instead (the module's own
// media type object cannot be made to fail).
class FormatStub : public IAudioMediaType {
public:
    explicit FormatStub(const UNCOMPRESSEDAUDIOFORMAT& described) : format(described) {}
    virtual ~FormatStub() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAudioMediaType)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; } // owned by the test
    HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* compressed) override {
        *compressed = FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsEqual(IAudioMediaType*, DWORD*) override { return E_NOTIMPL; }
    const WAVEFORMATEX* STDMETHODCALLTYPE GetAudioFormat() override { return nullptr; }
    HRESULT STDMETHODCALLTYPE GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* out) override {
        if (FAILED(failure)) {
            return failure;
        }
        *out = format;
        return S_OK;
    }

    UNCOMPRESSEDAUDIOFORMAT format;
    HRESULT failure = S_OK;
    std::atomic<ULONG> references{1};
};

// One side of a stream: a media type, a buffer and the descriptor that names them.
struct Connection {
    Connection(const UNCOMPRESSEDAUDIOFORMAT& format, UINT32 maxFrames)
        : mediaType(format), samples(static_cast<size_t>(maxFrames) * format.dwSamplesPerFrame) {
        descriptor.Type = APO_CONNECTION_BUFFER_TYPE_ALLOCATED;
        descriptor.pBuffer = reinterpret_cast<UINT_PTR>(samples.data());
        descriptor.u32MaxFrameCount = maxFrames;
        descriptor.pFormat = &mediaType;
        descriptor.u32Signature = APO_CONNECTION_DESCRIPTOR_SIGNATURE;
        pointer = &descriptor;
    }
    FormatStub mediaType;
    std::vector<float> samples;
    APO_CONNECTION_DESCRIPTOR descriptor{};
    APO_CONNECTION_DESCRIPTOR* pointer;
};

// The effect object with its protected state opened to the tests.
class TestableKovraAPO : public KovraAPO {
public:
    using KovraAPO::KovraAPO;
    void SetEndpointValues(UINT32 enable, UINT32 mode) {
        enableProperty = enable;
        modeProperty = mode;
    }
    void SetFilterMode(UINT32 mode) { filterMode.Select(mode); }
    void RequestReload() { reloadPending = 1; }
    void SetStream(UINT32 channels, INT32 rate, UINT32 maxFrames) {
        inputChannels = channels;
        sampleRate = rate;
        maxFrameCount = maxFrames;
    }
    UINT32 FilterMode() const { return filterMode.Preset(); }
    UINT32 ReloadPending() const { return reloadPending; }
    KovraHandle EngineHandle() const { return engineHandle.load(); }
    UINT32 InputChannels() const { return inputChannels; }
    UINT32 OutputChannels() const { return outputChannels; }
    UINT32 MaxFrameCount() const { return maxFrameCount; }
    INT32 SampleRate() const { return sampleRate; }
    UINT32 BlockFrameCount() const { return blockFrameCount; }
    bool Locked() const { return IsLocked(); }
    void MarkReady() { MarkInitialized(); }
    bool Initialized() const { return IsInitialized(); }
    void ClearReload() { reloadPending = 0; }
    UINT32 EnableProperty() const { return enableProperty; }
    UINT32 ModeProperty() const { return modeProperty; }
    bool HoldsEndpointStore() const { return endpointStore.Get() != nullptr; }
    bool HoldsDeviceEnumerator() const { return static_cast<bool>(deviceEnumerator); }
};

// The base asks the object's own negotiation about every pair; here that answer is the test's
// to choose, so a lock can be made with formats the effect itself would refuse.
class NegotiationChosenByTest : public TestableKovraAPO {
public:
    using TestableKovraAPO::TestableKovraAPO;
    HRESULT STDMETHODCALLTYPE IsInputFormatSupported(IAudioMediaType*, IAudioMediaType* requested,
                                                     IAudioMediaType** supported) override {
        return Answer(requested, supported);
    }
    HRESULT STDMETHODCALLTYPE IsOutputFormatSupported(IAudioMediaType*, IAudioMediaType* requested,
                                                      IAudioMediaType** supported) override {
        return Answer(requested, supported);
    }
    HRESULT answer = S_OK;

private:
    HRESULT Answer(IAudioMediaType* requested, IAudioMediaType** supported) {
        requested->AddRef();
        *supported = requested;
        return answer;
    }
};

// Owns one effect object for a test, releasing it through its COM identity at the end.
template <typename Effect = TestableKovraAPO> struct BasicEffectHolder {
    explicit BasicEffectHolder(const APO_REG_PROPERTIES* registration)
        : effect(new Effect(nullptr, registration)) {}
    ~BasicEffectHolder() { effect->Release(); }
    BasicEffectHolder(const BasicEffectHolder&) = delete;
    BasicEffectHolder& operator=(const BasicEffectHolder&) = delete;
    Effect* operator->() const { return effect; }
    Effect* effect;
};
using EffectHolder = BasicEffectHolder<>;

// A stream of the given input shape into stereo output at the same rate.
struct Stream {
    Stream(UINT32 inputChannels, float rate, UINT32 maxFrames)
        : input(FloatFormat(inputChannels, rate), maxFrames),
          output(FloatFormat(2, rate), maxFrames) {}
    HRESULT Lock(KovraAPO* effect) {
        return effect->LockForProcess(1, &input.pointer, 1, &output.pointer);
    }
    Connection input;
    Connection output;
};

// The per-period records APOProcess takes.
struct Block {
    Block(Stream& stream, UINT32 frames, APO_BUFFER_FLAGS flags) {
        in.pBuffer = reinterpret_cast<UINT_PTR>(stream.input.samples.data());
        in.u32ValidFrameCount = frames;
        in.u32BufferFlags = flags;
        in.u32Signature = APO_CONNECTION_PROPERTY_SIGNATURE;
        out.pBuffer = reinterpret_cast<UINT_PTR>(stream.output.samples.data());
        out.u32Signature = APO_CONNECTION_PROPERTY_SIGNATURE;
        inPointer = &in;
        outPointer = &out;
    }
    void Run(KovraAPO* effect) { effect->APOProcess(1, &inPointer, 1, &outPointer); }
    APO_CONNECTION_PROPERTY in{};
    APO_CONNECTION_PROPERTY out{};
    APO_CONNECTION_PROPERTY* inPointer;
    APO_CONNECTION_PROPERTY* outPointer;
};

// Every test starts with an empty call record, and no test may see the effect call the engine
// with a null handle or on an instance it destroyed, or hand an instance a longer block than it
// was prepared for.
class EffectTest : public ::testing::Test {
protected:
    void SetUp() override { recordingengine::Clear(); }
    void TearDown() override {
        EXPECT_EQ(recordingengine::CallsWithNullHandle(), 0u);
        EXPECT_EQ(recordingengine::CallsOnDestroyedInstances(), 0u);
        EXPECT_EQ(recordingengine::BlocksBeyondPreparation(), 0u);
        recordingengine::Clear();
    }
    APO_REG_PROPERTIES registration = MakeRegistration();
};

} // namespace effecttest
