// The shipped library itself, loaded at run time as the effect's loader finds it: it must load,
// export the C interface under its plain names and keep everything else to itself.
#include "enginesettings.h"
#include "kovraengine.h"

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
    SharedLibrary() {
#ifdef _WIN32
        // Beside the test program, where the build puts every DLL.
        module_ = LoadLibraryW(L"KovraAPI_SHARED.dll");
#else
        module_ = dlopen(KOVRA_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
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
    auto getLatency =
        reinterpret_cast<decltype(&Kovra_getLatency)>(library.find("Kovra_getLatency"));
    auto destroy = reinterpret_cast<decltype(&Kovra_destroy)>(library.find("Kovra_destroy"));
    ASSERT_TRUE(indexFromName && create && prepare && process && getLatency && destroy);

    KovraHandle handle = nullptr;
    ASSERT_EQ(KovraResult_kOk, create(&handle, indexFromName("6_ch_bypass")));
    ASSERT_EQ(KovraResult_kOk, prepare(handle, 48000, 6, 480, 4, 4, -1));
    uint32_t latency = 0;
    ASSERT_EQ(KovraResult_kOk, getLatency(handle, &latency));
    ASSERT_GT(480u, latency);
    // One frame, then silence; it comes out after the latency with the front gain.
    std::vector<float> input(6 * 480, 0.0f);
    input[0] = 0.5f;
    input[1] = 0.25f;
    input[3] = 0.9f; // LFE, left out
    std::vector<float> output(2 * 480);
    EXPECT_EQ(KovraResult_kOk, process(handle, input.data(), output.data(), 480));
    const float front = kovra::BuiltInSettings().configurations[3].left[0];
    EXPECT_FLOAT_EQ(0.5f * front, output[2 * latency]);
    EXPECT_FLOAT_EQ(0.25f * front, output[2 * latency + 1]);
    EXPECT_EQ(KovraResult_kOk, destroy(handle));
}

} // namespace
