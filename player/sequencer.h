// Rows and ticks of the song: the row step, the tick step and the apply step
// that pushes each channel's result into its voice.
#pragma once

#include <cstdint>

namespace introplayer {

struct ChannelState;
struct InstrumentRecord;
struct NoteCell;
struct SampleRecord;

// Scratch of one row step, seen by the row actions of the effects.
struct RowContext {
    int32_t jumpSeen;       // position jumps met so far in this row, all channels
    const NoteCell* cell;   // the cell of the channel being decoded
};

// tickFrames = 110250 / bpm (bpm 0 gives 110250): a tick of 2.5 / bpm seconds.
void setTempo(uint32_t bpm);
// One tick of the song.
void sequencerTick();
struct PatternSlot;
struct Voice;
// The pattern of an order-list entry (a silent 64-row one when the song
// lacks it).
const PatternSlot* patternAt(int32_t orderPos);
// The voice's gain targets from its volume and panning, and its channel's
// mute and solo.
void updateTargets(Voice* voice);
// The song's channel count, within 0..ChannelCountMax.
int32_t channelsInUse();
// True while a channel repeats a pattern loop (E6x).
bool patternLoopRunning();
// The row step (tick 0) and the tick step (later ticks), over all channels.
void processRow();
void processTick();
// The channel's instrument (a silent, sample-less one when the song lacks it)
// and the sample its stored note maps to (emptySample when none).
const SampleRecord* lookupSample(const ChannelState* channel, const InstrumentRecord** instrument);
// E9x: the channel's last note starts again with its envelopes, with the
// instrument number of the retriggering cell when it has one (0: none);
// volume and panning stay, a release and its fade-out without a number.
// After a row tick the new envelopes take their first step at once.
void retriggerNote(ChannelState* channel, uint8_t instrument, bool laterTick);
// Pushes the channel's results of this tick into its voice.
void applyChannel(ChannelState* channel, const InstrumentRecord* instrument, const SampleRecord* sample);

// Notes the row tick's position for where the song comes back to a row it
// played (the repeats of a pattern loop aside); true when it does.
bool watchRow(int32_t orderPos, int32_t row);
// Forgets where the song has been (a start or a seek).
void resetWatch();
// The frame at which the song first came back, 0 until it does.
uint32_t cameBackFrame();

// Called at every row tick with the position about to be played, before its
// cells are read; null unless a tool sets it.
extern void (*rowStarted)(int32_t orderPos, int32_t row);

}  // namespace introplayer
