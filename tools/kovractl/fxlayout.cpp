#include "fxlayout.h"

#include "kovraids.h"
#include "registeredserver.h"

namespace {

struct KnownValue {
    const wchar_t* name;
    FxValueKind kind;
    const wchar_t* meaning;
};

constexpr KnownValue kKnownValues[] = {
    {kFxAssociation, FxValueKind::Setting, L"association: the KS node type of the effects"},
    {kFxPreMix, FxValueKind::EffectClsid, L"pre-mix effect (before Windows 8.1)"},
    {kFxPostMix, FxValueKind::EffectClsid, L"post-mix effect (before Windows 8.1)"},
    {L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},3", FxValueKind::Setting,
     L"user interface of the effects"},
    {kFxStream, FxValueKind::EffectClsid, L"stream effect (SFX)"},
    {kFxMode, FxValueKind::EffectClsid, L"mode effect (MFX)"},
    {kFxEndpoint, FxValueKind::EffectClsid, L"endpoint effect (EFX)"},
    {kFxCompositeStream, FxValueKind::EffectList, L"composite stream effects (SFX)"},
    {kFxCompositeMode, FxValueKind::EffectList, L"composite mode effects (MFX)"},
    {kFxCompositeEndpoint, FxValueKind::EffectList, L"composite endpoint effects (EFX)"},
    {kFxOffloadStream, FxValueKind::EffectClsid, L"offload stream effect (SFX)"},
    {kFxOffloadMode, FxValueKind::EffectClsid, L"offload mode effect (MFX)"},
    {kFxCompositeOffloadStream, FxValueKind::EffectList, L"composite offload stream effects"},
    {kFxCompositeOffloadMode, FxValueKind::EffectList, L"composite offload mode effects"},
    {kFxStreamModes, FxValueKind::Setting, L"processing modes of the stream effect"},
    {L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},6", FxValueKind::Setting,
     L"processing modes of the mode effect"},
    {L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},7", FxValueKind::Setting,
     L"processing modes of the endpoint effect"},
    {L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},11", FxValueKind::Setting,
     L"processing modes of the offload stream effect"},
    {L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},12", FxValueKind::Setting,
     L"processing modes of the offload mode effect"},
    {kDisableSysFx, FxValueKind::Setting, L"\"Disable all enhancements\" (1: no system effect)"},
};

const KnownValue* Find(const std::wstring& name) {
    for (const KnownValue& known : kKnownValues) {
        if (_wcsicmp(known.name, name.c_str()) == 0) {
            return &known;
        }
    }
    return nullptr;
}

bool HasAny(const NamedValues& values, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) {
        if (values.count(name)) {
            return true;
        }
    }
    return false;
}

bool IsKovraAPO(const std::wstring& text) {
    return _wcsicmp(text.c_str(), KovraClsidText().c_str()) == 0;
}

} // namespace

FxValueKind KindOf(const std::wstring& name) {
    const KnownValue* known = Find(name);
    return known ? known->kind : FxValueKind::Setting;
}

std::wstring MeaningOf(const std::wstring& name) {
    const KnownValue* known = Find(name);
    return known ? known->meaning : L"";
}

bool IsOffloadValue(const std::wstring& name) {
    for (const wchar_t* offload :
         {kFxOffloadStream, kFxOffloadMode, kFxCompositeOffloadStream, kFxCompositeOffloadMode}) {
        if (_wcsicmp(offload, name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

FxLayout DetectLayout(bool keyExists, const NamedValues& values) {
    if (!keyExists) {
        return FxLayout::NoKey;
    }
    // Where both are present, Windows reads the composite lists.
    if (HasAny(values, {kFxCompositeStream, kFxCompositeMode, kFxCompositeEndpoint})) {
        return FxLayout::Composite;
    }
    if (HasAny(values, {kFxStream, kFxMode, kFxEndpoint})) {
        return FxLayout::Modern;
    }
    return HasAny(values, {kFxPreMix, kFxPostMix}) ? FxLayout::Legacy : FxLayout::Empty;
}

std::wstring DescribeLayout(FxLayout layout) {
    switch (layout) {
    case FxLayout::NoKey:
        return L"no effects (no FxProperties key)";
    case FxLayout::Empty:
        return L"no effects";
    case FxLayout::Legacy:
        return L"legacy: pre-mix and post-mix effects (the model before Windows 8.1)";
    case FxLayout::Modern:
        return L"stream, mode and endpoint effects (Windows 8.1 and later)";
    case FxLayout::Composite:
        return L"composite: lists of stream, mode and endpoint effects (Windows 10 1803 and later)";
    }
    return L"";
}

const wchar_t* StreamEffectValue(FxLayout layout) {
    switch (layout) {
    case FxLayout::Legacy:
        return kFxPreMix;
    case FxLayout::Composite:
        return kFxCompositeStream;
    default:
        return kFxStream;
    }
}

const std::wstring& KovraClsidText() {
    static const std::wstring text = ClsidText(CLSID_KovraAPO);
    return text;
}

bool HoldsKovraAPO(const RawValue& value) {
    for (const std::wstring& text : TextsOf(value)) {
        if (IsKovraAPO(text)) {
            return true;
        }
    }
    return false;
}

bool HoldsKovraAPO(const NamedValues& values, const std::wstring& name) {
    const auto found = values.find(name);
    return found != values.end() && HoldsKovraAPO(found->second);
}

RawValue InstalledValue(const std::wstring& name, const std::optional<RawValue>& before) {
    switch (KindOf(name)) {
    case FxValueKind::EffectClsid:
        return TextValue(KovraClsidText());
    case FxValueKind::EffectList: {
        // After the driver's own effects, which keep their order.
        std::vector<std::wstring> effects;
        if (before) {
            effects = TextsOf(*before);
        }
        effects.push_back(KovraClsidText());
        return TextListValue(effects);
    }
    case FxValueKind::Setting:
        break;
    }
    if (_wcsicmp(name.c_str(), kFxAssociation) == 0) {
        return TextValue(kKsNodeTypeAny);
    }
    return TextListValue({kDefaultProcessingMode});
}

std::vector<FxWrite> PlanInstall(FxLayout layout, const NamedValues& values) {
    std::vector<FxWrite> writes;
    const auto writeIfAbsent = [&](const wchar_t* name) {
        if (!values.count(name)) {
            writes.push_back({name, InstalledValue(name, std::nullopt)});
        }
    };
    if (layout == FxLayout::NoKey || layout == FxLayout::Empty) {
        writeIfAbsent(kFxAssociation);
    }
    const std::wstring stream = StreamEffectValue(layout);
    if (!HoldsKovraAPO(values, stream)) {
        const auto found = values.find(stream);
        writes.push_back(
            {stream, InstalledValue(stream, found == values.end() ? std::nullopt
                                                                  : std::optional(found->second))});
    }
    // The legacy model knows no processing modes.
    if (layout != FxLayout::Legacy) {
        writeIfAbsent(kFxStreamModes);
    }
    return writes;
}

RawValue WithoutKovraAPO(const RawValue& list) {
    std::vector<std::wstring> kept;
    for (const std::wstring& text : TextsOf(list)) {
        if (!IsKovraAPO(text)) {
            kept.push_back(text);
        }
    }
    return TextListValue(kept);
}
