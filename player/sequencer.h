// Rows and ticks of the song: the row step, the tick step and the apply step
// that pushes each channel's result into its voice.
#pragma once

#include <atomic>
#include <cstdint>

namespace introplayer {

struct ChannelState;
struct InstrumentRecord;
struct NoteCell;
struct SampleRecord;

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

// Where the song has been, for where it comes back to a row it played (the
// repeats of a pattern loop aside): one bit for every row of every order
// entry, taken from the player heap for the loaded song. False when the heap
// has no room. forgetWatch goes back to a table of its own, before the heap
// goes.
bool prepareWatch();
void forgetWatch();
// Forgets where the song has been (a start, a seek, the end of a pass).
void resetWatch();

// Mute and solo as any thread sets them, one bit a channel.
extern std::atomic<uint32_t> muteMask;
extern std::atomic<uint32_t> soloMask;
// The channels that sound, as last taken from the masks: a muted channel's
// voices aim at silence. Taken at every block start and tick; re-aims every
// voice when it changed.
extern uint32_t audibleChannels;
void applyMuteAndSolo();
// Whether songs end where they come back instead of looping; any thread.
extern std::atomic<uint32_t> playOnce;

// The notes the tick that ran last struck (retriggers included): channel,
// instrument (0-based, NoInstrument when none) and sample (1-based within
// the instrument, 0 when it is not one of its samples).
struct Strike {
    uint8_t channel;
    uint8_t instrument;
    uint8_t sample;
};
struct TickStrikes {
    int32_t count;
    Strike list[32];   // a channel strikes at most once a tick
};
extern TickStrikes tickStrikes;

// Called at every row tick with the position about to be played, before its
// cells are read; null unless a tool sets it.
extern void (*rowStarted)(int32_t orderPos, int32_t row);

}  // namespace introplayer
