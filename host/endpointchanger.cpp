#include "endpointchanger.h"

#include "kovraids.h"

namespace {

// The id the notification carries; the effect re-reads its own store whatever the id says.
constexpr wchar_t kEndpointId[] = L"{0.0.0.00000000}.{4B6F7672-6120-486F-7374-456E64706E74}";

} // namespace

const PROPERTYKEY& EndpointPropertyKey(EndpointProperty property) {
    return property == EndpointProperty::Enable ? EnablePropertyKey : ModePropertyKey;
}

HRESULT EndpointChanger::Apply(const PropertyChange& change) {
    const PROPERTYKEY& key = EndpointPropertyKey(change.property);
    const HRESULT stored = store->SetUInt32(key, change.value);
    if (FAILED(stored)) {
        return stored;
    }
    return thread.Deliver(
        [this, &key] { return client->OnPropertyValueChanged(kEndpointId, key); });
}
