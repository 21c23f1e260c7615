// The shipped library itself, loaded at run time as the effect's loader finds it: it must load,
// export the C interface under its plain names and keep everything else to itself. And its probe
// build, which a test of the effect loads in its place, must count the library's heap use.
#include "enginesettings.h"
#include "enginetesting.h"
#include "kovraengine.h"
#include "kovraprobe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

class SharedLibrary {
public:
    // The shipped library, or its probe build.
    explicit SharedLibrary(bool probe = false) {
#ifdef _WIN32
        // Beside the test program, where the build puts every DLL, and the probe build in the
        // folder probe there.
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring name(path, length);
        name.erase(name.find_last_of(L'\\') + 1);
        name += probe ? L"probe\\KovraAPI_SHARED.dll" : L"KovraAPI_SHARED.dll";
        module_ = LoadLibraryW(name.c_str());
#else
        module_ = probe ? nullptr : dlopen(KOVRA_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~SharedLibrary() {
        if (module_ != nullptr) {
#ifdef _WIN32
            FreeLibrary(module_);
#else
            dlclose(module_);
#endif
        }
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool loaded() const {
        return module_ != nullptr;
    }
    void* find(const char* name) const {
#ifdef _WIN32
        return reinterpret_cast<void*>(GetProcAddress(module_, name));
#else
        return dlsym(module_, name);
#endif
    }

private:
#ifdef _WIN32
    HMODULE module_ = nullptr;
#else
    void* module_ = nullptr;
#endif
};

TEST(SharedLibrary, ExportsTheInterfaceUndecorated) {
    SharedLibrary library;
    ASSERT_TRUE(library.loaded());
    const char* names[] = {"Kovra_initialize",   "Kovra_getConfigIndexFromName",
                           "Kovra_create",       "Kovra_prepareToPlay",
                           "Kovra_reset",        "Kovra_Ambrel_loadFilter",
                           "Kovra_processBlock", "Kovra_getLatency",
                           "Kovra_destroy",      "Kovra_getInitializeMessage"};
    for (const char* name : names) {
        EXPECT_NE(nullptr, library.find(name)) << name;
    }
    // The C++ inside stays hidden.
    EXPECT_EQ(nullptr, library.find("_ZN5kovra18ParseConfigurationEPKcm"));
    EXPECT_EQ(nullptr, library.find("_ZN5kovra18ParseConfigurationEPKcy"));
}

TEST(SharedLibrary, RunsABlockThroughTheLoadedFunctions) {
    SharedLibrary library;
    ASSERT_TRUE(library.loaded());
    auto indexFromName = reinterpret_cast<decltype(&Kovra_getConfigIndexFromName)>(
        library.find("Kovra_getConfigIndexFromName"));
    auto create = reinterpret_cast<decltype(&Kovra_create)>(library.find("Kovra_create"));
    auto prepare =
        reinterpret_cast<decltype(&Kovra_prepareToPlay)>(library.find("Kovra_prepareToPlay"));
    auto process =
        reinterpret_cast<decltype(&Kovra_processBlock)>(library.find("Kovra_processBlock"));
    auto load = reinterpret_cast<decltype(&Kovra_Ambrel_loadFilter)>(
        library.find("Kovra_Ambrel_loadFilter"));
    auto getLatency =
        reinterpret_cast<decltype(&Kovra_getLatency)>(library.find("Kovra_getLatency"));
    auto destroy = reinterpret_cast<decltype(&Kovra_destroy)>(library.find("Kovra_destroy"));
    ASSERT_TRUE(indexFromName && create && prepare && load && process && getLatency && destroy);

    KovraHandle handle = nullptr;
    ASSERT_EQ(KovraResult_kOk, create(&handle, indexFromName("6_ch_bypass")));
    ASSERT_EQ(KovraResult_kOk, prepare(handle, 48000, 6, 480, 4, 4, -1));
    ASSERT_EQ(KovraResult_kOk, load(handle, 2)); // the fold-down alone
    uint32_t latency = 0;
    ASSERT_EQ(KovraResult_kOk, getLatency(handle, &latency));
    ASSERT_GT(480u, latency);
    std::vector<float> input(6 * 480, 0.0f); // the first block covers the fade-in
    std::vector<float> output(2 * 480);
    EXPECT_EQ(KovraResult_kOk, process(handle, input.data(), output.data(), 480));
    // One frame, then silence; it comes out after the latency with the front gain.
    input[0] = 0.5f;
    input[1] = 0.25f;
    input[3] = 0.9f; // LFE, left out
    EXPECT_EQ(KovraResult_kOk, process(handle, input.data(), output.data(), 480));
    const float front = kovra::BuiltInSettings().configurations[3].left[0];
    EXPECT_FLOAT_EQ(0.5f * front, output[2 * latency]);
    EXPECT_FLOAT_EQ(0.25f * front, output[2 * latency + 1]);
    EXPECT_EQ(KovraResult_kOk, destroy(handle));
}

#ifdef _WIN32
TEST(SharedLibrary, ProbeBuildCountsTheHeapAndTheLockOfItsOwnCalls) {
    SharedLibrary library(true);
    ASSERT_TRUE(library.loaded());
    auto read = reinterpret_cast<decltype(&KovraProbe_read)>(library.find("KovraProbe_read"));
    auto initialize =
        reinterpret_cast<decltype(&Kovra_initialize)>(library.find("Kovra_initialize"));
    auto create = reinterpret_cast<decltype(&Kovra_create)>(library.find("Kovra_create"));
    auto prepare =
        reinterpret_cast<decltype(&Kovra_prepareToPlay)>(library.find("Kovra_prepareToPlay"));
    auto destroy = reinterpret_cast<decltype(&Kovra_destroy)>(library.find("Kovra_destroy"));
    ASSERT_TRUE(read && initialize && create && prepare && destroy);
    KovraProbeCounts before{};
    read(&before);
    EXPECT_EQ(KovraResult_kOk, initialize(kovra_test::ShippedConfigurationPath().c_str()));
    KovraProbeCounts after{};
    read(&after);
    EXPECT_GT(after.allocations, before.allocations);
    EXPECT_GT(after.frees, before.frees);
    EXPECT_GT(after.locks, before.locks);

    read(&before);
    KovraHandle handle = nullptr;
    ASSERT_EQ(KovraResult_kOk, create(&handle, 4));
    EXPECT_EQ(KovraResult_kOk, prepare(handle, 96000, 8, 960, 4, 4, -1));
    EXPECT_EQ(KovraResult_kOk, destroy(handle));
    read(&after);
    EXPECT_EQ(before.allocations, after.allocations);
    EXPECT_EQ(before.frees, after.frees);
    EXPECT_EQ(before.locks, after.locks);
}
#endif

} // namespace
