// Instrument-driven modulation and pitch: Amiga periods, the channel reset on
// a sample (re)start, volume and panning envelopes, auto-vibrato, and the
// period-to-step conversion. Called by the sequencer once per tick and channel.
#pragma once

#include <cstdint>

namespace introplayer {

struct ChannelState;
struct InstrumentRecord;
struct SampleRecord;
struct Voice;

double semitonePower(double x);   // 13.375 * 2^(x / 12)
double scaledPow2(double x);      // 13.375 * 2^x

// finetune: -128..127, a semitone in 128 steps.
int32_t amigaPeriod(int32_t realNote, int32_t finetune);
// The note whose Amiga period lies nearest to period.
int32_t nearestAmigaNote(int32_t period, int32_t finetune);
void resetChannelForSample(ChannelState* channel, const SampleRecord* sample);
// Key-off: the sustain ends and the fade-out starts; without a volume
// envelope the channel volume drops to 0 (a later volume brings it back).
void releaseChannel(ChannelState* channel, const InstrumentRecord* instrument);
// which: UpdateVolume for the volume envelope, UpdatePanning for the panning one.
void envelopeStep(ChannelState* channel, const InstrumentRecord* instrument, uint8_t which);
// A note that takes another instrument goes on with its envelopes from the
// positions the channel's reached.
void seatEnvelopes(ChannelState* channel, const InstrumentRecord* instrument);
// Lxx: the volume envelope's value at position given at once, the next
// position at the next step.
void setVolumeEnvelopePosition(ChannelState* channel, const InstrumentRecord* instrument, int32_t position);
void autoVibratoStep(ChannelState* channel, const InstrumentRecord* instrument);
void pitchStep(ChannelState* channel, Voice* voice);

}  // namespace introplayer
