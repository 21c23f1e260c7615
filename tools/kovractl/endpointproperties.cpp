#include "endpointproperties.h"

#include "kovraids.h"
#include "resultdescription.h"

PropertyReading ReadProperty(IPropertyStore* store, EndpointProperty property) {
    return ReadPropertyKey(store, PropertyKeyOf(property));
}

PropertyReading ReadPropertyKey(IPropertyStore* store, const PROPERTYKEY& key) {
    PROPVARIANT variant;
    PropVariantInit(&variant);
    PropertyReading reading;
    reading.result = store->GetValue(key, &variant);
    if (FAILED(reading.result)) {
        reading.kind = PropertyReading::Kind::Unreadable;
    } else if (variant.vt == VT_UI4) {
        reading.kind = PropertyReading::Kind::Number;
        reading.value = variant.ulVal;
    } else if (variant.vt != VT_EMPTY) {
        reading.kind = PropertyReading::Kind::OtherType;
        reading.type = variant.vt;
    }
    PropVariantClear(&variant);
    return reading;
}

const PROPERTYKEY& PropertyKeyOf(EndpointProperty property) {
    return property == EndpointProperty::Enable ? EnablePropertyKey : ModePropertyKey;
}

const wchar_t* PropertyName(EndpointProperty property) {
    return property == EndpointProperty::Enable ? L"enable" : L"mode";
}

std::wstring DescribeReading(const PropertyReading& reading) {
    switch (reading.kind) {
    case PropertyReading::Kind::Absent:
        return L"absent";
    case PropertyReading::Kind::Number:
        return std::to_wstring(reading.value);
    case PropertyReading::Kind::OtherType:
        return L"not a VT_UI4 value (type " + std::to_wstring(reading.type) +
               L"), which the effect reads as 0";
    case PropertyReading::Kind::Unreadable:
        break;
    }
    return L"unreadable: " + DescribeResult(reading.result);
}

HRESULT WriteProperty(IPropertyStore* store, EndpointProperty property, UINT32 value) {
    return WritePropertyKey(store, PropertyKeyOf(property), value);
}

HRESULT WritePropertyKey(IPropertyStore* store, const PROPERTYKEY& key, UINT32 value) {
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_UI4;
    variant.ulVal = value;
    HRESULT result = store->SetValue(key, variant);
    if (SUCCEEDED(result)) {
        result = store->Commit();
        // A store that writes through at SetValue has nothing left to commit.
        if (result == E_NOTIMPL) {
            result = S_OK;
        }
    }
    return result;
}
