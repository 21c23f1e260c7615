// The module's four exports (KovraAPO.def), with the platform's own declarations:
// DllGetClassObject and DllCanUnloadNow (entrypoints.cpp), DllRegisterServer and
// DllUnregisterServer (selfregistration.cpp).
#pragma once

#include <objbase.h>
#include <olectl.h>
