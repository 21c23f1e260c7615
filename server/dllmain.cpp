// The loader's notifications. By the time DllMain runs, the module's static initialisation has
// started the engine and filled the registration record (modulestate.cpp).
#include "modulestate.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleHandle = instance;
    }
    return TRUE;
}
