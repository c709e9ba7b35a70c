// Rows and ticks of the song: the row step, the tick step and the apply step
// that pushes each channel's result into its voice.
#pragma once

#include <cstdint>

struct ChannelState;
struct InstrumentRecord;
struct SampleRecord;

// tickFrames = 110250 / bpm (bpm 0 gives 110250): a tick of 2.5 / bpm seconds.
void setTempo(uint32_t bpm);
// One tick of the song.
void sequencerTick();
