// The built KovraAPO.dll on the probe build of the engine library: ordinary blocks and reload
// blocks, reached through the effect's COM faces as the audio engine reaches them, allocate,
// free, lock and wait on nothing in either DLL. The probe build is loaded first, by its full
// path, so the effect's imports bind to it.
#include "comptr.h"
#include "comscope.h"
#include "effecttestsupport.h"
#include "kovraids.h"
#include "kovraprobe.h"
#include "realtimeprobe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using namespace effecttest;

namespace {

// A DLL from the folder of the test program, freed when the holder goes.
struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule>;

Module LoadBesideProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    std::wstring folder(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return Module(LoadLibraryW((folder.erase(folder.find_last_of(L'\\') + 1) + name).c_str()));
}

class ShippedRealtimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com.result));
        engine = LoadBesideProgram(L"probe\\KovraAPI_SHARED.dll");
        ASSERT_TRUE(engine);
        readProbe = reinterpret_cast<decltype(&KovraProbe_read)>(
            reinterpret_cast<void*>(GetProcAddress(engine.get(), "KovraProbe_read")));
        ASSERT_NE(readProbe, nullptr);
        const KovraProbeCounts beforeEffect = EngineCounts();
        effectModule = LoadBesideProgram(L"KovraAPO.dll");
        ASSERT_TRUE(effectModule);
        // The effect's module reads the engine's configuration when it loads, under the
        // engine's lock: seen here, its engine calls reach the probe build.
        ASSERT_GT(EngineCounts().locks, beforeEffect.locks);
        ASSERT_TRUE(realtimeprobe::CountIn(effectModule.get()));
        ASSERT_TRUE(realtimeprobe::CountIn(engine.get()));
        CreateAndLock();
    }

    void CreateAndLock() {
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto getClassObject = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(effectModule.get(), "DllGetClassObject")));
        ASSERT_NE(getClassObject, nullptr);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(getClassObject(CLSID_KovraAPO, IID_IClassFactory,
                                 reinterpret_cast<void**>(factory.Receive())),
                  S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IAudioProcessingObject,
                                          reinterpret_cast<void**>(effect.Receive())),
                  S_OK);
        ASSERT_EQ(PSCreateMemoryPropertyStore(IID_IPropertyStore,
                                              reinterpret_cast<void**>(endpoint.Receive())),
                  S_OK);
        SetEndpoint(0); // the full effect
        APOInitSystemEffects init{};
        init.APOInit.cbSize = sizeof init;
        init.APOInit.clsid = CLSID_KovraAPO;
        init.pAPOEndpointProperties = endpoint.Get();
        ASSERT_EQ(effect->Initialize(sizeof init, reinterpret_cast<BYTE*>(&init)), S_OK);
        ASSERT_EQ(effect.QueryInto(realTime), S_OK);
        ASSERT_EQ(effect.QueryInto(configuration), S_OK);
        ASSERT_EQ(effect.QueryInto(notifications), S_OK);
        ASSERT_EQ(
            configuration->LockForProcess(1, &stream.input.pointer, 1, &stream.output.pointer),
            S_OK);
    }

    // The endpoint values that select `preset`: enable alone 0, mode alone 1, neither 2.
    void SetEndpoint(UINT32 preset) {
        PROPVARIANT value{};
        value.vt = VT_UI4;
        value.ulVal = preset == 0;
        ASSERT_EQ(endpoint->SetValue(EnablePropertyKey, value), S_OK);
        value.ulVal = preset == 1;
        ASSERT_EQ(endpoint->SetValue(ModePropertyKey, value), S_OK);
    }
    // The platform reports both changes; the one that selects comes last (enable for preset 0,
    // mode for the others), so every call makes the next valid block a reload block.
    void SelectPreset(UINT32 preset) {
        SetEndpoint(preset);
        const PROPERTYKEY& first = preset == 0 ? ModePropertyKey : EnablePropertyKey;
        const PROPERTYKEY& last = preset == 0 ? EnablePropertyKey : ModePropertyKey;
        ASSERT_EQ(notifications->OnPropertyValueChanged(L"", first), S_OK);
        ASSERT_EQ(notifications->OnPropertyValueChanged(L"", last), S_OK);
    }

    KovraProbeCounts EngineCounts() const {
        KovraProbeCounts counts{};
        readProbe(&counts);
        return counts;
    }
    // One block, counted on this thread in both modules.
    void RunCounted(Block& block, realtimeprobe::Counts& sum) {
        realtimeprobe::ThreadCount count;
        realTime->APOProcess(1, &block.inPointer, 1, &block.outPointer);
        const realtimeprobe::Counts counted = count.Stop();
        sum.allocations += counted.allocations;
        sum.frees += counted.frees;
        sum.lockWaits += counted.lockWaits;
    }
    bool OutputSilent() const {
        return std::all_of(stream.output.samples.begin(), stream.output.samples.end(),
                           [](float sample) { return sample == 0.0f; });
    }

    // Released in reverse: the effect (which closes its engine instance) before the modules.
    ComScope com;
    Module engine;
    Module effectModule;
    decltype(&KovraProbe_read) readProbe = nullptr;
    ComPtr<IPropertyStore> endpoint;
    ComPtr<IAudioProcessingObject> effect;
    ComPtr<IAudioProcessingObjectRT> realTime;
    ComPtr<IAudioProcessingObjectConfiguration> configuration;
    ComPtr<IMMNotificationClient> notifications;
    Stream stream{2, 48000, 480};
};

TEST_F(ShippedRealtimeTest, BlocksAllocateNothingAndTakeNoLockInEitherLibrary) {
    // The probe sees the effect module's own heap: every format answer is a new object.
    {
        ComPtr<IAudioMediaType> answer;
        realtimeprobe::ThreadCount count;
        ASSERT_EQ(effect->IsOutputFormatSupported(&stream.input.mediaType, &stream.output.mediaType,
                                                  answer.Receive()),
                  S_OK);
        answer.Reset();
        const realtimeprobe::Counts counted = count.Stop();
        ASSERT_GT(counted.allocations, 0);
        ASSERT_GT(counted.frees, 0);
    }
    for (size_t i = 0; i < stream.input.samples.size(); ++i) {
        stream.input.samples[i] = (i % 7) * 0.01f;
    }
    Block block(stream, 480, BUFFER_VALID);
    for (const bool reload : {false, true}) {
        SCOPED_TRACE(reload ? "reload blocks" : "ordinary blocks");
        realtimeprobe::Counts counted;
        const KovraProbeCounts before = EngineCounts();
        for (UINT32 i = 0; i < 60; ++i) {
            const UINT32 preset = i % 3;
            if (reload) {
                SelectPreset(preset);
                std::fill(stream.output.samples.begin(), stream.output.samples.end(), 0.5f);
            }
            RunCounted(block, counted);
            // Each block did what it stands for: a reload block comes back silent with the
            // latency of the preset's chain (none for the bit-exact bypass), an ordinary one
            // carries the engine's output.
            ASSERT_EQ(OutputSilent(), reload) << i;
            if (reload) {
                HNSTIME latency = -1;
                ASSERT_EQ(effect->GetLatency(&latency), S_OK);
                ASSERT_EQ(latency == 0, preset == 2) << i;
            }
        }
        const KovraProbeCounts after = EngineCounts();
        EXPECT_EQ(counted.allocations, 0);
        EXPECT_EQ(counted.frees, 0);
        EXPECT_EQ(counted.lockWaits, 0);
        EXPECT_EQ(after.allocations, before.allocations);
        EXPECT_EQ(after.frees, before.frees);
        EXPECT_EQ(after.locks, before.locks);
    }
}

} // namespace
