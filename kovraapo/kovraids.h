// The product's fixed identifiers: the effect's COM class and the two endpoint properties that
// select its filter preset. Whoever registers the effect or sets the endpoint properties (the
// host tool, the control tool, an INF) uses these values; they never change between versions.
#pragma once

#include <windows.h>
#include <propsys.h>
#include <propkeydef.h>

// {FAF1CE67-1B93-41FD-8DE6-83DA87D38A92}
inline constexpr CLSID CLSID_KovraAPO = {
    0xFAF1CE67, 0x1B93, 0x41FD, {0x8D, 0xE6, 0x83, 0xDA, 0x87, 0xD3, 0x8A, 0x92}};

// Endpoint property (VT_UI4): non-zero switches the effect's filters on.
// {9BBA1A70-B911-4369-91B3-DFD016440527},0
inline constexpr PROPERTYKEY EnablePropertyKey = {
    {0x9BBA1A70, 0xB911, 0x4369, {0x91, 0xB3, 0xDF, 0xD0, 0x16, 0x44, 0x05, 0x27}}, 0};

// Endpoint property (VT_UI4): non-zero selects the alternative (bypass) preset.
// {6A8CEA73-EC85-43D5-AC08-41DE5079A2FD},0
inline constexpr PROPERTYKEY ModePropertyKey = {
    {0x6A8CEA73, 0xEC85, 0x43D5, {0xAC, 0x08, 0x41, 0xDE, 0x50, 0x79, 0xA2, 0xFD}}, 0};

// The engine configuration every process that loads the effect uses; the engine library reads
// it once, when the effect's module loads.
inline constexpr char kEngineConfigurationPath[] =
    "C:\\Windows\\System32\\kovramobile_RELEASE_TESSARY_QXN2207.config";
