// The effect as the audio engine meets it: registered with regsvr32, created through COM from the
// built KovraAPO.dll, initialised, negotiated, locked, one block processed by the real engine
// library, unlocked and released. This program links none of the effect's code.
#include "apocontract.h"
#include "kovraids.h"
#include "programrunner.h"

#include <gtest/gtest.h>
#include <ksmedia.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace servertest;

constexpr UINT32 kFrames = 480;
constexpr DWORD kInputChannels = 6;
constexpr DWORD kOutputChannels = 2;
constexpr float kRate = 48000.0f;

// The audio engine's own media type object for a 32-bit float stream.
class StreamFormat : public IAudioMediaType {
public:
    StreamFormat(DWORD channels, DWORD channelMask) {
        format.guidFormatType = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
        format.dwSamplesPerFrame = channels;
        format.dwBytesPerSampleContainer = 4;
        format.dwValidBitsPerSample = 32;
        format.fFramesPerSecond = kRate;
        format.dwChannelMask = channelMask;
        wave.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        wave.Format.nChannels = static_cast<WORD>(channels);
        wave.Format.nSamplesPerSec = static_cast<DWORD>(kRate);
        wave.Format.wBitsPerSample = 32;
        wave.Format.nBlockAlign = static_cast<WORD>(4 * channels);
        wave.Format.nAvgBytesPerSec = wave.Format.nSamplesPerSec * wave.Format.nBlockAlign;
        wave.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        wave.Samples.wValidBitsPerSample = 32;
        wave.dwChannelMask = channelMask;
        wave.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    }
    virtual ~StreamFormat() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAudioMediaType)) {
            *ppv = static_cast<IAudioMediaType*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG remaining = --references;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }
    HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* compressed) override {
        if (!compressed) {
            return E_POINTER;
        }
        *compressed = FALSE;
        return S_OK;
    }
    // The effect compares formats by their descriptions, never through this.
    HRESULT STDMETHODCALLTYPE IsEqual(IAudioMediaType*, DWORD*) override { return E_NOTIMPL; }
    const WAVEFORMATEX* STDMETHODCALLTYPE GetAudioFormat() override { return &wave.Format; }
    HRESULT STDMETHODCALLTYPE GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = format;
        return S_OK;
    }

private:
    UNCOMPRESSEDAUDIOFORMAT format{};
    WAVEFORMATEXTENSIBLE wave{};
    std::atomic<ULONG> references{1};
};

template <typename Interface> struct Releaser {
    void operator()(Interface* held) const {
        if (held) {
            held->Release();
        }
    }
};
template <typename Interface> using Owned = std::unique_ptr<Interface, Releaser<Interface>>;

template <typename Interface> Owned<Interface> Query(IUnknown* object, REFIID iid) {
    Interface* face = nullptr;
    EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&face)), S_OK);
    return Owned<Interface>(face);
}

std::wstring PathOf(HMODULE module) {
    wchar_t path[MAX_PATH];
    return std::wstring(path, GetModuleFileNameW(module, path, MAX_PATH));
}

// An endpoint whose properties switch the filters on.
Owned<IPropertyStore> EndpointWithFiltersOn() {
    IPropertyStore* store = nullptr;
    EXPECT_EQ(PSCreateMemoryPropertyStore(IID_IPropertyStore, reinterpret_cast<void**>(&store)),
              S_OK);
    PROPVARIANT value{};
    value.vt = VT_UI4;
    value.ulVal = 1;
    EXPECT_EQ(store->SetValue(EnablePropertyKey, value), S_OK);
    value.ulVal = 0;
    EXPECT_EQ(store->SetValue(ModePropertyKey, value), S_OK);
    return Owned<IPropertyStore>(store);
}

// A temporary folder of this test's own, so the effect's log lands there and goes with it.
class OwnTempFolder {
public:
    OwnTempFolder() {
        wchar_t base[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, base);
        folder = std::wstring(base, length) + L"kovra-server-e2e-" +
                 std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        SetEnvironmentVariableW(L"TMP", folder.c_str());
        SetEnvironmentVariableW(L"TEMP", folder.c_str());
    }
    ~OwnTempFolder() {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }

private:
    std::wstring folder;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Regsvr32(L"/s"), 0u) << "regsvr32 could not register the effect";
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(Regsvr32(L"/u /s"), 0u);
    }

    OwnTempFolder temp;
};

TEST_F(EndToEnd, RegisteredEffectProcessesABlockThroughTheEngineLibrary) {
    IAudioProcessingObject* created = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_KovraAPO, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IAudioProcessingObject, reinterpret_cast<void**>(&created)),
              S_OK);
    Owned<IAudioProcessingObject> effect(created);
    const HMODULE module = GetModuleHandleW(L"KovraAPO.dll");
    const HMODULE engine = GetModuleHandleW(L"KovraAPI_SHARED.dll");
    ASSERT_NE(module, nullptr);
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(PathOf(module), EffectModulePath());
    EXPECT_EQ(PathOf(engine), BesideTestProgram(L"KovraAPI_SHARED.dll"));

    Owned<IPropertyStore> endpoint = EndpointWithFiltersOn();
    APOInitSystemEffects init{};
    init.APOInit.cbSize = sizeof init;
    init.APOInit.clsid = CLSID_KovraAPO;
    init.pAPOEndpointProperties = endpoint.get();
    EXPECT_EQ(effect->Initialize(sizeof init, reinterpret_cast<BYTE*>(&init)), S_OK);

    Owned<IAudioMediaType> input(new StreamFormat(kInputChannels, KSAUDIO_SPEAKER_5POINT1));
    Owned<IAudioMediaType> output(new StreamFormat(kOutputChannels, KSAUDIO_SPEAKER_STEREO));
    IAudioMediaType* supported = nullptr;
    EXPECT_EQ(effect->IsOutputFormatSupported(input.get(), output.get(), &supported), S_OK);
    Owned<IAudioMediaType> supportedOutput(supported);
    supported = nullptr;
    EXPECT_EQ(effect->IsInputFormatSupported(output.get(), input.get(), &supported), S_OK);
    Owned<IAudioMediaType> supportedInput(supported);

    std::vector<float> inputSamples(kFrames * kInputChannels);
    for (UINT32 frame = 0; frame < kFrames; ++frame) {
        const float sample = 0.25f * std::sin(2.0f * 3.14159265f * 1000.0f * frame / kRate);
        for (DWORD channel = 0; channel < kInputChannels; ++channel) {
            inputSamples[frame * kInputChannels + channel] = sample;
        }
    }
    std::vector<float> outputSamples(kFrames * kOutputChannels, NAN);

    APO_CONNECTION_DESCRIPTOR inputConnection{
        APO_CONNECTION_BUFFER_TYPE_EXTERNAL, reinterpret_cast<UINT_PTR>(inputSamples.data()),
        kFrames, input.get(), APO_CONNECTION_DESCRIPTOR_SIGNATURE};
    APO_CONNECTION_DESCRIPTOR outputConnection{
        APO_CONNECTION_BUFFER_TYPE_EXTERNAL, reinterpret_cast<UINT_PTR>(outputSamples.data()),
        kFrames, output.get(), APO_CONNECTION_DESCRIPTOR_SIGNATURE};
    APO_CONNECTION_DESCRIPTOR* inputs[] = {&inputConnection};
    APO_CONNECTION_DESCRIPTOR* outputs[] = {&outputConnection};
    auto configuration = Query<IAudioProcessingObjectConfiguration>(
        effect.get(), IID_IAudioProcessingObjectConfiguration);
    ASSERT_EQ(configuration->LockForProcess(1, inputs, 1, outputs), S_OK);

    APO_CONNECTION_PROPERTY inputBlock{reinterpret_cast<UINT_PTR>(inputSamples.data()), kFrames,
                                       BUFFER_VALID, APO_CONNECTION_PROPERTY_SIGNATURE};
    APO_CONNECTION_PROPERTY outputBlock{reinterpret_cast<UINT_PTR>(outputSamples.data()), 0,
                                        BUFFER_INVALID, APO_CONNECTION_PROPERTY_SIGNATURE};
    APO_CONNECTION_PROPERTY* inputBlocks[] = {&inputBlock};
    APO_CONNECTION_PROPERTY* outputBlocks[] = {&outputBlock};
    auto realtime = Query<IAudioProcessingObjectRT>(effect.get(), IID_IAudioProcessingObjectRT);
    realtime->APOProcess(1, inputBlocks, 1, outputBlocks);

    EXPECT_EQ(outputBlock.u32BufferFlags, BUFFER_VALID);
    EXPECT_EQ(outputBlock.u32ValidFrameCount, kFrames);
    double energy = 0.0;
    for (float sample : outputSamples) {
        ASSERT_TRUE(std::isfinite(sample)) << "the engine did not write every output sample";
        energy += static_cast<double>(sample) * sample;
    }
    EXPECT_GT(energy, 0.0) << "a tone came out as silence";

    EXPECT_EQ(configuration->UnlockForProcess(), S_OK);

    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    const auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(canUnloadNow, nullptr);
    realtime.reset();
    configuration.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "one reference is still held";
    effect.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

} // namespace
