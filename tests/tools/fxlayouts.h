// Endpoint FX layouts as drivers leave them, with a foreign effect in every slot each layout has,
// and what `kovractl install` must make of each: KovraAPO where Windows loads the stream effect,
// everything else as it was.
#pragma once

#include "ctltestsupport.h"

namespace ctltest {

inline constexpr wchar_t kForeignA[] = L"{11111111-AAAA-4BBB-8CCC-000000000001}";
inline constexpr wchar_t kForeignB[] = L"{22222222-AAAA-4BBB-8CCC-000000000002}";
inline constexpr wchar_t kForeignC[] = L"{33333333-AAAA-4BBB-8CCC-000000000003}";
inline constexpr wchar_t kOtherMode[] = L"{44444444-AAAA-4BBB-8CCC-000000000004}";

inline Value Kovra(const wchar_t* slot) {
    return Text(slot, kKovraClsid);
}

inline std::vector<Value> Sorted(std::vector<Value> values) {
    std::sort(values.begin(), values.end(),
              [](const Value& a, const Value& b) { return a.name < b.name; });
    return values;
}

struct FxLayoutCase {
    const char* name;
    bool fxKey;
    std::vector<Value> before;
    std::vector<Value> afterInstall;
    std::vector<Value> properties; // the endpoint's Properties key besides its name
    const char* layoutLine;        // as `list` shows it
    const char* installedLine;
};

inline const std::vector<Value> kSysFxDisabled = {Dword(kDisableSysFx, 1)};

// Values stored as other tools may store them (no terminator, other string types) must come
// back byte for byte.
inline const FxLayoutCase kFxLayouts[] = {
    {"legacy",
     true,
     {Text(kPreMixSlot, kForeignA, false), Text(kPostMixSlot, kForeignB)},
     {Kovra(kPreMixSlot), Text(kPostMixSlot, kForeignB)},
     {},
     "legacy: pre-mix and post-mix effects (the model before Windows 8.1)",
     "installed: pre-mix effect (before Windows 8.1)"},
    {"legacy, post-mix only, enhancements disabled in FxProperties",
     true,
     {Text(kPostMixSlot, kForeignB), Dword(kDisableSysFx, 1)},
     {Kovra(kPreMixSlot), Text(kPostMixSlot, kForeignB), Dword(kDisableSysFx, 1)},
     {},
     "legacy: pre-mix and post-mix effects (the model before Windows 8.1)",
     "installed: pre-mix effect (before Windows 8.1)"},
    {"modern",
     true,
     {Text(kStreamSlot, kForeignA), Text(kModeSlot, kForeignB), Text(kEndpointSlot, kForeignC),
      List(kStreamModes, {kDefaultMode, kOtherMode})},
     {Kovra(kStreamSlot), Text(kModeSlot, kForeignB), Text(kEndpointSlot, kForeignC),
      List(kStreamModes, {kDefaultMode, kOtherMode})},
     {},
     "stream, mode and endpoint effects (Windows 8.1 and later)",
     "installed: stream effect (SFX)"},
    {"modern without a stream effect, enhancements disabled",
     true,
     {Text(kPreMixSlot, kForeignA), Text(kEndpointSlot, kForeignC, true, REG_EXPAND_SZ)},
     {Text(kPreMixSlot, kForeignA), Kovra(kStreamSlot),
      Text(kEndpointSlot, kForeignC, true, REG_EXPAND_SZ), List(kStreamModes, {kDefaultMode})},
     kSysFxDisabled,
     "stream, mode and endpoint effects (Windows 8.1 and later)",
     "installed: stream effect (SFX)"},
    {"composite",
     true,
     {List(kCompositeStream, {kForeignA, kForeignB}), List(kCompositeMode, {kForeignC}),
      List(kCompositeEndpoint, {kForeignA}), Text(kStreamSlot, kForeignC),
      List(kStreamModes, {kDefaultMode})},
     {List(kCompositeStream, {kForeignA, kForeignB, kKovraClsid}),
      List(kCompositeMode, {kForeignC}), List(kCompositeEndpoint, {kForeignA}),
      Text(kStreamSlot, kForeignC), List(kStreamModes, {kDefaultMode})},
     {},
     "composite: lists of stream, mode and endpoint effects (Windows 10 1803 and later)",
     "installed: composite stream effects (SFX)"},
    {"composite without a stream list",
     true,
     {List(kCompositeEndpoint, {kForeignA})},
     {List(kCompositeStream, {kKovraClsid}), List(kCompositeEndpoint, {kForeignA}),
      List(kStreamModes, {kDefaultMode})},
     {},
     "composite: lists of stream, mode and endpoint effects (Windows 10 1803 and later)",
     "installed: composite stream effects (SFX)"},
    {"empty key",
     true,
     {Text(kAssociation, kForeignA)},
     {Text(kAssociation, kForeignA), Kovra(kStreamSlot), List(kStreamModes, {kDefaultMode})},
     {},
     "no effects",
     "installed: stream effect (SFX)"},
    // A key a driver made and left empty: install adds the association too, and uninstall
    // leaves the key, which it did not make.
    {"empty key without values",
     true,
     {},
     {Text(kAssociation, kNodeTypeAny), Kovra(kStreamSlot), List(kStreamModes, {kDefaultMode})},
     {},
     "no effects",
     "installed: stream effect (SFX)"},
    {"no FxProperties key",
     false,
     {},
     {Text(kAssociation, kNodeTypeAny), Kovra(kStreamSlot), List(kStreamModes, {kDefaultMode})},
     {},
     "no effects (no FxProperties key)",
     "installed: stream effect (SFX)"},
};

} // namespace ctltest
