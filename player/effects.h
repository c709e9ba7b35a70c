// The effect column, the extended commands and the volume column: row actions
// for tick 0, tick actions for every later tick of the row, and the shared
// modulation steps (vibrato, tremolo, tone portamento, tremor).
#pragma once

#include <cstdint>

namespace introplayer {

struct ChannelState;
struct InstrumentRecord;
struct ModuleRecord;
struct NoteCell;
struct SampleRecord;

// Scratch of one row step, seen by the row actions of the effects.
struct RowContext {
    int32_t jumpSeen;       // position jumps met so far in this row, all channels
    const NoteCell* cell;   // the cell of the channel being decoded
};

// tickFrames = 110250 / bpm (bpm 0 gives 110250): a tick of 2.5 / bpm seconds.
void setTempo(uint32_t bpm);

// Actions are called through tables, where the compiler cannot choose to
// pass arguments in registers as it does for functions it sees every call
// of; on 32-bit x86 they say so themselves (about 90 bytes less compressed).
#if defined(__i386__)
#define EFFECT_ACTION __attribute__((regparm(3)))
#else
#define EFFECT_ACTION
#endif

using RowAction = EFFECT_ACTION void (*)(ChannelState* channel, uint8_t param, uint8_t x, uint8_t y,
                           const InstrumentRecord* instrument, const SampleRecord* sample,
                           ModuleRecord* module, RowContext* context);
using TickAction = EFFECT_ACTION void (*)(ChannelState* channel, const NoteCell* cell,
                            const InstrumentRecord* instrument, const SampleRecord* sample,
                            ModuleRecord* module);
using RetrigVolumeRule = int32_t (*)(int32_t volume);

constexpr int RowActionCount = 34;          // effects 0..33 (0 has none)
constexpr int TickActionCount = 30;         // effects 0..29
constexpr int ExtendedRowActionCount = 16;  // E0x..EFx (E0 and EF have none)

extern const RowAction rowActions[RowActionCount];
extern const TickAction tickActions[TickActionCount];
extern const RowAction extendedRowActions[ExtendedRowActionCount];
// Indexed by the x of Rxy, 1..15; entry 0 is unused (x = 0 keeps the volume).
extern const RetrigVolumeRule retrigVolumeTable[16];

// The volume column's plain settings, a volume (0x10..0x50) or a panning
// (Cy); true when the byte was one of them.
bool volumeColumnSet(ChannelState* channel, uint8_t volumeByte);
void volumeColumnRow(ChannelState* channel, uint8_t volumeByte);
void volumeColumnTick(ChannelState* channel, uint8_t volumeByte);
void vibratoStep(ChannelState* channel);
void advanceVibrato(ChannelState* channel);
void tremoloStep(ChannelState* channel);
void advanceTremolo(ChannelState* channel);
// The period heard while glissando (E3x) is on: the nearest semitone.
int32_t glissandoPeriod(const ChannelState* ch);
void tonePortaStep(ChannelState* channel);
void tremorStep(ChannelState* channel);
void keyOffStep(ChannelState* channel, const NoteCell* cell, const InstrumentRecord* instrument,
                const ModuleRecord* module);

}  // namespace introplayer
