// Rows and ticks of the song: the row step, the tick step and the apply step
// that pushes each channel's result into its voice.
#pragma once

#include <cstdint>

struct ChannelState;
struct InstrumentRecord;
struct SampleRecord;

// Scratch of one row step, seen by the row actions of the effects.
struct RowContext {
    int32_t jumpSeen;       // position jumps met so far in this row, all channels
    int32_t savedPeriod;    // the decoded channel's period, volume and panning
    int32_t savedVolume;    // before the row touched them
    int32_t savedPanning;
};

// tickFrames = 110250 / bpm (bpm 0 gives 110250): a tick of 2.5 / bpm seconds.
void setTempo(uint32_t bpm);
// One tick of the song.
void sequencerTick();
// The row step (tick 0) and the tick step (later ticks), over all channels.
void processRow();
void processTick();
// The channel's instrument (a silent, sample-less one when the song lacks it)
// and the sample its stored note maps to (emptySample when none).
const SampleRecord* lookupSample(const ChannelState* channel, const InstrumentRecord** instrument);
// Pushes the channel's results of this tick into its voice.
void applyChannel(ChannelState* channel, const InstrumentRecord* instrument, const SampleRecord* sample);

// Called at every row tick with the position about to be played, before its
// cells are read; null in normal playback. Lets offline rendering see where
// the song has been.
extern void (*rowStarted)(int32_t orderPos, int32_t row);
