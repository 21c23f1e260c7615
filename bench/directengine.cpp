#include "directengine.h"

namespace {

// Through void* because FARPROC's signature differs from each function's.
template <typename Function> bool Resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

} // namespace

bool FindLoadedEngine(EngineFunctions& functions, std::string& error) {
    const HMODULE module = GetModuleHandleW(L"KovraAPI_SHARED.dll");
    if (module == nullptr) {
        error = "KovraAPI_SHARED.dll is not loaded in this process";
        return false;
    }
    if (!Resolve(module, "Kovra_getConfigIndexFromName", functions.getConfigIndexFromName) ||
        !Resolve(module, "Kovra_create", functions.create) ||
        !Resolve(module, "Kovra_prepareToPlay", functions.prepareToPlay) ||
        !Resolve(module, "Kovra_Ambrel_loadFilter", functions.loadFilter) ||
        !Resolve(module, "Kovra_processBlock", functions.processBlock) ||
        !Resolve(module, "Kovra_destroy", functions.destroy)) {
        error = "KovraAPI_SHARED.dll lacks a function of the engine interface";
        return false;
    }
    return true;
}

DirectEngine::~DirectEngine() {
    if (handle != nullptr) {
        functions.destroy(handle);
    }
}

bool DirectEngine::Open(const std::string& configuration, uint32_t sampleRate, uint32_t channels,
                        uint32_t maxFrames, uint32_t preset, std::string& error) {
    const KovraResult created =
        functions.create(&handle, functions.getConfigIndexFromName(configuration.c_str()));
    KovraResult result = created;
    if (result == KovraResult_kOk) {
        result = functions.prepareToPlay(handle, static_cast<int32_t>(sampleRate),
                                         static_cast<int32_t>(channels),
                                         static_cast<int32_t>(maxFrames), KovraSampleBytes_kFloat32,
                                         KovraSampleBytes_kFloat32, KovraOutputLayout_kDefault);
    }
    if (result == KovraResult_kOk) {
        result = functions.loadFilter(handle, static_cast<int32_t>(preset));
    }
    if (result != KovraResult_kOk) {
        error = "the engine library refused " + configuration + " (result " +
                std::to_string(result) + ")";
        return false;
    }
    return true;
}
