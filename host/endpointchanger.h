// Property changes as the platform makes them: the endpoint store takes the new value, then the
// effect hears of it through OnPropertyValueChanged on the notification thread.
#pragma once

#include "memorypropertystore.h"
#include "notificationthread.h"
#include "processingloop.h"

#include <mmdeviceapi.h>

class EndpointChanger : public PropertyChanger {
public:
    EndpointChanger(MemoryPropertyStore* store, IMMNotificationClient* client,
                    NotificationThread& thread)
        : store(store), client(client), thread(thread) {}

    HRESULT Apply(const PropertyChange& change) override;

private:
    MemoryPropertyStore* store;
    IMMNotificationClient* client;
    NotificationThread& thread;
};

// The key of an endpoint property, from kovraids.h.
const PROPERTYKEY& EndpointPropertyKey(EndpointProperty property);
