/* What the engine library did behind a caller's back: heap allocations and frees (every global
 * operator new and delete of the module the probe is built into) and acquisitions of the
 * library's lock, with those that had to wait. A test reads the counts before and after the
 * calls it checks.
 *
 * The engine's own tests link the probe into their program. For a test of the effect, the
 * build also makes a probe build of the DLL, bin/probe/KovraAPI_SHARED.dll: the same library
 * with the probe inside and KovraProbe_read exported. Load it by its full path before
 * KovraAPO.dll loads (LoadLibraryW); the loader then binds KovraAPO.dll's imports to the module
 * already loaded under the name KovraAPI_SHARED.dll, and GetProcAddress(module,
 * "KovraProbe_read") gives the counts of everything the effect's engine calls do. */
#ifndef KOVRA_PROBE_H
#define KOVRA_PROBE_H

#include <stdint.h>

#if defined(_WIN32) && defined(KOVRA_ENGINE_BUILDING)
#define KOVRA_PROBE_API __declspec(dllexport)
#elif defined(KOVRA_ENGINE_BUILDING)
#define KOVRA_PROBE_API __attribute__((visibility("default")))
#else
#define KOVRA_PROBE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KovraProbeCounts {
    int64_t allocations; /* operator new, every form */
    int64_t frees;       /* operator delete of a non-null pointer, every form */
    int64_t locks;       /* acquisitions of the engine library's lock */
    int64_t lockWaits;   /* of those, the ones that found it held */
} KovraProbeCounts;

/* The counts since the module loaded. */
KOVRA_PROBE_API void KovraProbe_read(KovraProbeCounts* counts);

#ifdef __cplusplus
}
#endif

#endif /* KOVRA_PROBE_H */
