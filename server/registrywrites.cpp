#include "registrywrites.h"

RegistryWrites registryWrites = {&RegCreateKeyExW, &RegSetValueExW};
