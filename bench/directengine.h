// The engine library called directly, without the effect around it: the functions come from the
// KovraAPI_SHARED.dll that the registered effect loaded, so the direct calls run the same code
// with the same configuration file as the effect's.
#pragma once

#include "kovraengine.h"

#include <windows.h>

#include <string>

struct EngineFunctions {
    decltype(&Kovra_getConfigIndexFromName) getConfigIndexFromName = nullptr;
    decltype(&Kovra_create) create = nullptr;
    decltype(&Kovra_prepareToPlay) prepareToPlay = nullptr;
    decltype(&Kovra_Ambrel_loadFilter) loadFilter = nullptr;
    decltype(&Kovra_processBlock) processBlock = nullptr;
    decltype(&Kovra_destroy) destroy = nullptr;
};

// False with `error` set when the library is not loaded in this process or lacks a function.
bool FindLoadedEngine(EngineFunctions& functions, std::string& error);

// One engine instance opened as the effect opens its own for a stream.
class DirectEngine {
public:
    explicit DirectEngine(const EngineFunctions& functions) : functions(functions) {}
    ~DirectEngine();
    DirectEngine(const DirectEngine&) = delete;
    DirectEngine& operator=(const DirectEngine&) = delete;

    bool Open(const std::string& configuration, uint32_t sampleRate, uint32_t channels,
              uint32_t maxFrames, uint32_t preset, std::string& error);
    void Process(const float* input, float* output, uint32_t frames) const {
        functions.processBlock(handle, input, output, frames);
    }

private:
    const EngineFunctions& functions;
    KovraHandle handle = nullptr;
};
