/* The sound engine library's C interface (KovraAPI_SHARED.dll).
 *
 * An engine instance is named by an opaque pointer-sized handle; NULL means none. A handle is
 * not the instance's address: every function answers a handle that names no live instance
 * (NULL, one already destroyed, or a made-up value) with KovraResult_kInvalidHandle and reads
 * nothing through it. Every function returns a KovraResult, 0 (KovraResult_kOk) on success, and
 * answers NULL buffers with a result code.
 *
 * Samples are interleaved, 4 bytes each: 32-bit IEEE float. Input carries the channel count
 * given to Kovra_prepareToPlay (2, 6 or 8; for 6 and 8 the order is FL FR FC LFE, then the
 * surround pairs), output is always stereo (FL FR).
 *
 * Real time: Kovra_create, Kovra_prepareToPlay, Kovra_Ambrel_loadFilter, Kovra_processBlock,
 * Kovra_reset, Kovra_getLatency and Kovra_destroy take no lock, allocate and free nothing, call
 * nothing of the system's and never wait, so all of them may run on the audio thread. Instances
 * live in memory the library sets aside (and touches) when it loads. Calls on one instance are
 * made one at a time; Kovra_Ambrel_loadFilter and Kovra_getLatency may also come from another
 * thread while Kovra_processBlock runs.
 *
 * This header is plain C with no Windows or COM dependency: the library also builds natively.
 */
#ifndef KOVRA_ENGINE_H
#define KOVRA_ENGINE_H

#include <stdint.h>

/* Callers declare the functions plainly (no dllimport): the import library's stubs serve the
 * DLL build, and the tests link a recording stand-in of the same functions instead. */
#if defined(_WIN32) && defined(KOVRA_ENGINE_BUILDING)
#define KOVRA_API __declspec(dllexport)
#elif defined(KOVRA_ENGINE_BUILDING)
#define KOVRA_API __attribute__((visibility("default")))
#else
#define KOVRA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void* KovraHandle;
typedef int32_t KovraResult;

enum {
    KovraResult_kOk = 0,
    KovraResult_kFailed = 1,
    KovraResult_kErrorParameter = 2,
    KovraResult_kErrorIndexOutOfRange = 3,
    KovraResult_kErrorMemory = 4,
    KovraResult_kErrorTimeout = 5,
    KovraResult_kErrorNotAvailable = 6,
    KovraResult_kSamplerateNotSupported = 7,
    KovraResult_kChannelConfigurationNotSupported = 8,
    KovraResult_kBufferTooSmall = 9,
    KovraResult_kInvalidHandle = 10,
    KovraResult_kNotImplemented = 11,
    KovraResult_kBusy = 12
};

/* The constants the effect passes as the last three arguments of Kovra_prepareToPlay. */
enum {
    KovraSampleBytes_kFloat32 = 4,  /* bytes per input and per output sample: 32-bit float */
    KovraOutputLayout_kDefault = -1 /* output layout: the default, interleaved stereo */
};

/* Index that Kovra_getConfigIndexFromName gives for a name it does not know. */
#define KOVRA_CONFIG_INDEX_UNKNOWN (-1)

/* Reads the configuration file (narrow path; format: config/kovra.config). Instances created
 * afterwards use what it defines; instances that exist keep their settings.
 * KovraResult_kOk: the file was read. KovraResult_kErrorNotAvailable: it cannot be opened or
 * read. KovraResult_kFailed: its content is refused as a whole (the reason, "line N: ...",
 * comes from Kovra_getInitializeMessage in kovramessages.h). KovraResult_kErrorParameter: NULL
 * path. After any failure the built-in defaults are in force. */
KOVRA_API KovraResult Kovra_initialize(const char* configPath);

/* Index of a configuration name ("2_ch", "2_ch_bypass", "6_ch", "6_ch_bypass", "8_ch",
 * "8_ch_bypass"), or KOVRA_CONFIG_INDEX_UNKNOWN. */
KOVRA_API int32_t Kovra_getConfigIndexFromName(const char* configName);

/* Creates an instance of the configuration and writes its handle into *handle.
 * KovraResult_kErrorParameter for a NULL handle pointer, KovraResult_kErrorIndexOutOfRange for an
 * index that no name gives (KOVRA_CONFIG_INDEX_UNKNOWN included), KovraResult_kErrorMemory when
 * the 32 instances set aside are all alive (a destroyed instance's place comes free once no call
 * on it is under way). On failure *handle is left as it was, so a live instance held there is
 * not lost. */
KOVRA_API KovraResult Kovra_create(KovraHandle* handle, int32_t configIndex);

/* Readies the instance for blocks of at most maxBlockFrames frames of channelCount channels at
 * sampleRate frames per second, and designs the filters for that rate: a filter whose frequency is
 * at or above half the rate cannot be realised there and passes its input through (the message of
 * Kovra_initialize notes such filters for 48000 Hz). inputSampleBytes and
 * outputSampleBytes must be 4 (32-bit float; other sizes give KovraResult_kNotImplemented);
 * outputLayout must be -1 (stereo) and channelCount that of the configuration's name (else
 * KovraResult_kChannelConfigurationNotSupported); sampleRate 8000 to 384000 (else
 * KovraResult_kSamplerateNotSupported); maxBlockFrames 1 to 1048576 (else
 * KovraResult_kErrorParameter). A refused call leaves an earlier preparation in force. */
KOVRA_API KovraResult Kovra_prepareToPlay(KovraHandle handle, int32_t sampleRate,
                                          int32_t channelCount, int32_t maxBlockFrames,
                                          int32_t inputSampleBytes, int32_t outputSampleBytes,
                                          int32_t outputLayout);

/* Clears the processing state (filter memories, the limiter's gain and its look-ahead, which then
 * holds silence); the instance stays valid and keeps its preparation and preset, and its next
 * frames fade in as after Kovra_prepareToPlay. It releases nothing: only Kovra_destroy does. */
KOVRA_API KovraResult Kovra_reset(KovraHandle handle);

/* Selects filter preset 0, 1 or 2 from the next block on. Until the first block after
 * Kovra_prepareToPlay or Kovra_reset the preset simply becomes the one that runs; later the next
 * block starts that preset's chain from rest beside the old one and crossfades to it over 10 ms
 * (after the new chain's latency). A request made during a crossfade waits for its end. Where
 * the two presets differ in latency (only in a configuration without the limiter, see
 * Kovra_getLatency) the sound moves by the difference within the crossfade; the effect opens a
 * new instance instead. Any other preset gives KovraResult_kErrorIndexOutOfRange. */
KOVRA_API KovraResult Kovra_Ambrel_loadFilter(KovraHandle handle, int32_t preset);

/* Downmixes frameCount frames of input to stereo and applies the loaded preset; the output lags
 * the input by Kovra_getLatency's frames, and output may be the input buffer itself. Where the
 * limiter runs, neither a sample nor the true peak between samples (ITU-R BS.1770) leaves above
 * the preset's ceiling; where it does not, the output is the input unchanged. The first 5 ms
 * after Kovra_prepareToPlay or Kovra_reset fade in from silence (after the look-ahead's silence,
 * where the limiter runs). A block longer than the prepared maximum is processed in pieces. NULL
 * buffers give KovraResult_kErrorParameter; an unprepared instance writes silence and gives
 * KovraResult_kErrorNotAvailable. */
KOVRA_API KovraResult Kovra_processBlock(KovraHandle handle, const float* input, float* output,
                                         uint32_t frameCount);

/* Latency of the instance's processing, in frames: the output limiter's look-ahead (about 2 ms:
 * 96 frames at 48000, 192 at 96000) when the limiter runs with the preset last loaded, else 0;
 * 0 before preparation. The limiter runs where the configuration switches it on and wherever
 * the fold-down or the preset's filters would change the level, so only a chain that returns
 * its input unchanged has no delay ("2_ch_bypass" with preset 2, by default).
 * KovraResult_kErrorParameter for a NULL out-pointer. */
KOVRA_API KovraResult Kovra_getLatency(KovraHandle handle, uint32_t* latencyFrames);

/* Releases the instance and ends its handle: every call with it that begins later, this one
 * included, gives KovraResult_kInvalidHandle. A call on the same handle already under way on
 * another thread is safe: it finishes on the released instance, whose memory no new instance
 * takes until then, and never reaches another instance. Of two Kovra_destroy racing with one
 * handle, one gives KovraResult_kOk. */
KOVRA_API KovraResult Kovra_destroy(KovraHandle handle);

#ifdef __cplusplus
}
#endif

#endif /* KOVRA_ENGINE_H */
