// The values under an endpoint's FxProperties key through which Windows finds the endpoint's
// effects, the layout they form, and what KovraAPO writes into each layout so that Windows loads
// it as the stream (system) effect while the driver's other effects stay in force.
#pragma once

#include "registryvalue.h"

#include <string>
#include <vector>

// Value names, "{fmtid},pid".
inline constexpr wchar_t kFxAssociation[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},0";
inline constexpr wchar_t kFxPreMix[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},1";
inline constexpr wchar_t kFxPostMix[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},2";
inline constexpr wchar_t kFxStream[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},5";
inline constexpr wchar_t kFxMode[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},6";
inline constexpr wchar_t kFxEndpoint[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},7";
inline constexpr wchar_t kFxCompositeStream[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},13";
inline constexpr wchar_t kFxCompositeMode[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},14";
inline constexpr wchar_t kFxCompositeEndpoint[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},15";
inline constexpr wchar_t kFxStreamModes[] = L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},5";
// The effects of streams the driver offloads to hardware, Windows 10 1511 and later (composite
// lists 1803 and later).
inline constexpr wchar_t kFxOffloadStream[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},11";
inline constexpr wchar_t kFxOffloadMode[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},12";
inline constexpr wchar_t kFxCompositeOffloadStream[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},19";
inline constexpr wchar_t kFxCompositeOffloadMode[] = L"{d04e05a6-594b-4fb6-a80d-01af5eed7d1d},20";
// PKEY_AudioEndpoint_Disable_SysFx: 1 when the user ticked "Disable all enhancements".
inline constexpr wchar_t kDisableSysFx[] = L"{1da5d803-d492-4edd-8c23-e0c0ffee7f0e},5";

inline constexpr wchar_t kKsNodeTypeAny[] = L"{00000000-0000-0000-0000-000000000000}";
inline constexpr wchar_t kDefaultProcessingMode[] = L"{C18E2F7E-933D-4965-B7D1-1EEF228D2AF3}";

enum class FxValueKind {
    EffectClsid, // REG_SZ, one effect
    EffectList,  // REG_MULTI_SZ, several effects
    Setting,     // anything else KovraAPO may write (association, processing modes)
};

// How kovractl handles and explains a value; unknown names are settings it never writes.
FxValueKind KindOf(const std::wstring& name);
// "stream effect (SFX)", or empty for a name kovractl does not know.
std::wstring MeaningOf(const std::wstring& name);
// True for the values of offloaded streams' effects, which kovractl never writes.
bool IsOffloadValue(const std::wstring& name);

enum class FxLayout {
    NoKey,     // the endpoint has no FxProperties key
    Empty,     // the key holds no effect
    Legacy,    // pre-mix/post-mix only: the model before Windows 8.1
    Modern,    // stream/mode/endpoint effects
    Composite, // lists of stream/mode/endpoint effects, Windows 10 1803 and later
};

FxLayout DetectLayout(bool keyExists, const NamedValues& values);
// "legacy: pre-mix and post-mix effects (the model before Windows 8.1)", ...
std::wstring DescribeLayout(FxLayout layout);
// The value through which Windows loads the stream effect on this layout.
const wchar_t* StreamEffectValue(FxLayout layout);

// "{FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}"
const std::wstring& KovraClsidText();
// True when the value names KovraAPO's class, alone or in a list.
bool HoldsKovraAPO(const RawValue& value);
bool HoldsKovraAPO(const NamedValues& values, const std::wstring& name);

struct FxWrite {
    std::wstring name;
    RawValue value;
};

// What install writes into the endpoint's values; empty when KovraAPO is already where Windows
// loads it and nothing else is missing.
std::vector<FxWrite> PlanInstall(FxLayout layout, const NamedValues& values);

// The value install writes for `name` over `before` (absent: the value did not exist).
RawValue InstalledValue(const std::wstring& name, const std::optional<RawValue>& before);

// `list` without KovraAPO's entries, the driver's order kept.
RawValue WithoutKovraAPO(const RawValue& list);
