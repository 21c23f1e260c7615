// Which speaker each channel of a decoded file feeds, and the order that puts the channels in
// the order of their mask bits, as WAV and the audio engine lay them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The speakers of a file's channels, in the file's order; 0 where a channel has none. Empty
// when two channels name the same speaker (then nothing can be trusted).
using SpeakerList = std::vector<uint32_t>;

// From libsndfile's channel map (SF_CHANNEL_MAP_* positions).
SpeakerList SpeakersFromChannelMap(const std::vector<int>& map);

// The order Vorbis and Opus define for their channels (L C R for three, ...).
SpeakerList VorbisSpeakers(uint16_t channels);

// The WAV order for a channel count (its default mask's bits); FLAC uses it too, but for 7
// channels (FL FR FC LFE BC SL SR).
SpeakerList DefaultSpeakers(uint16_t channels, bool isFlac);

// The mask of the speakers (their OR).
uint32_t MaskOf(const SpeakerList& speakers);

// For each channel of the mask-ordered stream, the file's channel that goes there: speakers in
// rising bit order, then the channels without a speaker in the file's order.
std::vector<uint16_t> MaskOrder(const SpeakerList& speakers);
