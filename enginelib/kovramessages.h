/* An addition to the engine library's nine functions (kovraengine.h): the text that explains
 * the last Kovra_initialize result, for tools and logs. The effect does not need it. */
#ifndef KOVRA_MESSAGES_H
#define KOVRA_MESSAGES_H

#include "kovraengine.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Copies the message of the last Kovra_initialize into text (capacity bytes, terminator
 * included): empty after a clean reading, else e.g. "C:\...\kovra.config: line 12: unknown key
 * 'gian' in [preset 1]". A file read cleanly can still carry notes, one per filter that 48000 Hz
 * cannot carry, joined by "; ": "C:\...\kovra.config: line 14: lowpass at 30000 Hz is at or
 * above half of 48000 Hz: at that rate it passes its input through". A message that does not fit
 * is cut and KovraResult_kBufferTooSmall returned; a NULL text or a capacity of 0 gives
 * KovraResult_kErrorParameter. */
KOVRA_API KovraResult Kovra_getInitializeMessage(char* text, uint32_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* KOVRA_MESSAGES_H */
