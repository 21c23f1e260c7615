// Reading and writing the effect's two endpoint properties in an endpoint's property store.
#pragma once

#include "presetrule.h"

#include <windows.h>
#include <propsys.h>

#include <string>

const PROPERTYKEY& PropertyKeyOf(EndpointProperty property);
const wchar_t* PropertyName(EndpointProperty property); // "enable" or "mode"

struct PropertyReading {
    enum class Kind { Absent, Number, OtherType, Unreadable } kind = Kind::Absent;
    UINT32 value = 0;        // for Number
    VARTYPE type = VT_EMPTY; // for OtherType
    HRESULT result = S_OK;   // for Unreadable
    // As the effect counts it: only a VT_UI4 value is read, anything else is 0.
    UINT32 EffectiveValue() const { return kind == Kind::Number ? value : 0; }
};

PropertyReading ReadProperty(IPropertyStore* store, EndpointProperty property);
PropertyReading ReadPropertyKey(IPropertyStore* store, const PROPERTYKEY& key);

// "absent", "1", "not a VT_UI4 value (type 8)" or "unreadable (0x...)".
std::wstring DescribeReading(const PropertyReading& reading);

// SetValue of a VT_UI4 value, then Commit, so the platform tells the running effect about each
// property in the order of the writes.
HRESULT WriteProperty(IPropertyStore* store, EndpointProperty property, UINT32 value);
HRESULT WritePropertyKey(IPropertyStore* store, const PROPERTYKEY& key, UINT32 value);
