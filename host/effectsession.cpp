#include "effectsession.h"

#include "hostmediatype.h"
#include "hresultnames.h"
#include "kovraids.h"
#include "registeredserver.h"

#include <objbase.h>

namespace {

using CanUnloadFunction = HRESULT(STDAPICALLTYPE*)();

} // namespace

std::wstring EffectClsidText() {
    return ClsidText(CLSID_KovraAPO);
}

HRESULT EffectSession::Create() {
    HRESULT result =
        CoCreateInstance(CLSID_KovraAPO, nullptr, CLSCTX_INPROC_SERVER, IID_IAudioProcessingObject,
                         reinterpret_cast<void**>(processing.Receive()));
    if (SUCCEEDED(result)) {
        result = processing.QueryInto(realTime);
    }
    if (SUCCEEDED(result)) {
        result = processing.QueryInto(configuration);
    }
    if (SUCCEEDED(result)) {
        result = processing.QueryInto(notifications);
    }
    return result;
}

HRESULT EffectSession::Initialize(IPropertyStore* endpointStore, IPropertyStore* effectsStore) {
    APOInitSystemEffects record{};
    record.APOInit.cbSize = sizeof record;
    record.APOInit.clsid = CLSID_KovraAPO;
    record.pAPOEndpointProperties = endpointStore;
    record.pAPOSystemEffectsProperties = effectsStore;
    return processing->Initialize(sizeof record, reinterpret_cast<BYTE*>(&record));
}

HRESULT EffectSession::Lock(StreamBuffers& buffers, const UNCOMPRESSEDAUDIOFORMAT& input,
                            const UNCOMPRESSEDAUDIOFORMAT& output) {
    HRESULT result = HostMediaType::Create(input, inputType.Receive());
    if (SUCCEEDED(result)) {
        result = HostMediaType::Create(output, outputType.Receive());
    }
    if (FAILED(result)) {
        return result;
    }
    APO_CONNECTION_DESCRIPTOR inputDescriptor{};
    inputDescriptor.Type = APO_CONNECTION_BUFFER_TYPE_EXTERNAL;
    inputDescriptor.pBuffer = reinterpret_cast<UINT_PTR>(buffers.input.data());
    inputDescriptor.u32MaxFrameCount = buffers.periodFrames;
    inputDescriptor.pFormat = inputType.Get();
    inputDescriptor.u32Signature = APO_CONNECTION_DESCRIPTOR_SIGNATURE;
    APO_CONNECTION_DESCRIPTOR outputDescriptor = inputDescriptor;
    outputDescriptor.pBuffer = reinterpret_cast<UINT_PTR>(buffers.output.data());
    outputDescriptor.pFormat = outputType.Get();
    APO_CONNECTION_DESCRIPTOR* inputs[] = {&inputDescriptor};
    APO_CONNECTION_DESCRIPTOR* outputs[] = {&outputDescriptor};
    result = configuration->LockForProcess(1, inputs, 1, outputs);
    locked = SUCCEEDED(result);
    return result;
}

HRESULT EffectSession::GetLatency(HNSTIME& latency) {
    return processing->GetLatency(&latency);
}

HRESULT EffectSession::Unlock() {
    locked = false;
    return configuration->UnlockForProcess();
}

std::string EffectSession::ReleaseAndAskUnload() {
    if (locked) {
        Unlock();
    }
    notifications.Reset();
    configuration.Reset();
    realTime.Reset();
    processing.Reset();
    inputType.Reset();
    outputType.Reset();
    // Where the registered server lives, so the host can ask the already loaded module about
    // unloading without loading (or linking) it itself.
    const std::wstring path = RegisteredServerPath(CLSID_KovraAPO);
    HMODULE module = path.empty() ? nullptr : GetModuleHandleW(path.c_str());
    if (module == nullptr) {
        module = GetModuleHandleW(L"KovraAPO.dll");
    }
    if (module == nullptr) {
        return "the module is not loaded";
    }
    // Through void* because FARPROC's signature differs from the export's.
    const auto canUnload = reinterpret_cast<CanUnloadFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    if (canUnload == nullptr) {
        return "the module exports no DllCanUnloadNow";
    }
    const HRESULT answer = canUnload();
    if (answer == S_OK) {
        return DescribeHResult(answer) + ", the module can unload";
    }
    return DescribeHResult(answer) + ", the module still has objects or locks";
}
