// Effect, extended-command and volume-column actions. Actions only change the
// channel record and the song-wide playback fields; what must reach the voice
// is said through updateFlags and pushed by the sequencer's apply step.
#include "effects.h"

#include "channel.h"
#include "mixer.h"
#include "modulation.h"
#include "module.h"

namespace introplayer {

void setTempo(uint32_t bpm) {
    song.tempo = bpm;
    uint32_t frames = bpm == 0 ? 110250 : 110250 / bpm;
    // A tick of at least one frame, so the renderer always moves on.
    song.tickFrames = static_cast<int32_t>(frames == 0 ? 1 : frames);
}

namespace {

// Slides move the period with no bound of their own, so that a slide down
// undone by one up comes back exactly; this bound, far past where the pitch
// is clamped, only keeps hours of sliding inside 32 bits.
constexpr int32_t PeriodBound = 1 << 30;

// The highest period an arpeggio's note reaches (linear periods), one table
// step below C-8; a note past it plays there.
constexpr int32_t ArpeggioTopPeriod = 1540;

// The period never leaves the bound and a slide moves it by at most 1020, so
// the sum fits 32 bits.
void slidePeriod(ChannelState* ch, int32_t by) {
    const int32_t period = ch->period + by;
    ch->period = period > PeriodBound ? PeriodBound : period < -PeriodBound ? -PeriodBound : period;
}

// |round(256 * sin(p * pi / 32))| for |p| = 0..32: the sine of the vibrato and
// tremolo waveforms, as a table so every build gets the same numbers.
const int32_t sineAmplitude[33] = {
    0,   25,  50,  74,  98,  121, 142, 162, 181, 198, 213, 226, 237, 245, 251, 255, 256,
    255, 251, 245, 237, 226, 213, 198, 181, 162, 142, 121, 98,  74,  50,  25,  0,
};

// Vibrato and tremolo amplitude at position p (-32..31) for a waveform
// number: 0 sine, 1 ramp, 2 and 3 square. The ramp falls in the half where
// rampPosition is negative.
int32_t waveAmplitude(int32_t waveform, int32_t p, int32_t rampPosition) {
    if (waveform == 0)
        return sineAmplitude[p < 0 ? -p : p];
    if (waveform == 1)
        return rampPosition >= 0 ? 8 * (p & 31) : 255 - 8 * (p & 31);
    return 255;
}

// Positions run -32..31: 64 steps per cycle.
int8_t advancePosition(int8_t position, uint8_t speed) {
    int32_t next = static_cast<int8_t>(static_cast<uint8_t>(position + speed));
    if (next > 31)
        next -= 64;
    return static_cast<int8_t>(next);
}

// Ticks of A, 5 and 6. Unclamped: the apply step clamps the volume.
void volumeSlide(ChannelState* channel) {
    const int32_t x = channel->volSlideMem >> 4;
    const int32_t y = channel->volSlideMem & 15;
    if (x)
        channel->volume += x;
    else
        channel->volume -= y;
    channel->updateFlags |= UpdateVolume;
}

// --- Row actions (tick 0) -------------------------------------------------

EFFECT_ACTION void rowPortaUp(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                              const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->portaUpMem = p;
}

EFFECT_ACTION void rowPortaDown(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->portaDownMem = p;
}

EFFECT_ACTION void rowTonePorta(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                const SampleRecord*, ModuleRecord*, RowContext* context) {
    // Beside the volume column's Fy (y above 0) the column's speed wins, as
    // if read after the effect; both then slide on every tick.
    const uint8_t column = context->cell->volumeColumn;
    if (p && !((column >> 4) == 0xF && (column & 15)))
        ch->portaSpeed = p;
    ch->updateFlags &= static_cast<uint8_t>(~(UpdatePitch | StartSample));
}

EFFECT_ACTION void rowVibrato(ChannelState* ch, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord*,
                              const SampleRecord*, ModuleRecord*, RowContext*) {
    if (x)
        ch->vibSpeed = x;
    if (y)
        ch->vibDepth = y;
    vibratoStep(ch);
}

EFFECT_ACTION void rowTonePortaVolSlide(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                        const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->volSlideMem = p;
    ch->updateFlags &= static_cast<uint8_t>(~(UpdatePitch | StartSample));
}

EFFECT_ACTION void rowVibratoVolSlide(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                      const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->volSlideMem = p;
    vibratoStep(ch);
}

EFFECT_ACTION void rowTremolo(ChannelState* ch, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord*,
                              const SampleRecord*, ModuleRecord*, RowContext*) {
    if (x)
        ch->tremSpeed = x;
    if (y)
        ch->tremDepth = y;
    // Like the vibrato: tick 0 keeps the offset of the current position, so
    // a tremolo running over several rows does not jump back at each row.
    tremoloStep(ch);
}

EFFECT_ACTION void rowSetPanning(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                 const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->panning = p;
    ch->updateFlags |= UpdatePanning;
}

EFFECT_ACTION void rowSampleOffset(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                   const SampleRecord* sample, ModuleRecord*, RowContext* context) {
    // Beside a tone portamento 9xx is ignored and not remembered; without a
    // note it is only remembered. Only a note that starts here takes it.
    if ((context->cell->volumeColumn >> 4) == 0xF)
        return;
    const int32_t offset = 256 * p;
    if (offset)
        ch->sampleOffsetMem = offset;
    if (!(ch->updateFlags & StartSample))
        return;
    const uint64_t playableEnd = uint64_t(sample->loopStart) + sample->loopLength;
    if (uint64_t(ch->sampleOffsetMem) < playableEnd) {
        if (ch->voice)
            ch->voice->startOffset = ch->sampleOffsetMem;
    } else {
        ch->updateFlags &= static_cast<uint8_t>(~StartSample);
        ch->updateFlags |= ResetPosition;
    }
}

EFFECT_ACTION void rowVolSlide(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                               const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->volSlideMem = p;
}

EFFECT_ACTION void rowPositionJump(ChannelState*, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                   const SampleRecord*, ModuleRecord* module, RowContext* context) {
    module->pendingRow = 0;
    module->pendingOrder = p;
    context->jumpSeen += 1;
    if (module->pendingOrder >= module->songLength)
        module->pendingOrder = 0;
}

EFFECT_ACTION void rowSetVolume(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->volume = p;
}

EFFECT_ACTION void rowPatternBreak(ChannelState*, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord*,
                                   const SampleRecord*, ModuleRecord* module, RowContext* context) {
    // The digits are not checked (D1F is row 25); the sequencer's advance
    // rule and the row guard deal with rows a pattern does not have.
    module->pendingRow = 10 * x + y;
    if (context->jumpSeen == 0) {
        module->pendingOrder = module->orderPos + 1;
        if (module->pendingOrder >= module->songLength)
            module->pendingOrder = 0;
    }
}

EFFECT_ACTION void rowExtended(ChannelState* ch, uint8_t p, uint8_t x, uint8_t y, const InstrumentRecord* ins,
                               const SampleRecord* sample, ModuleRecord* module, RowContext* context) {
    if (extendedRowActions[x])
        extendedRowActions[x](ch, p, x, y, ins, sample, module, context);
}

EFFECT_ACTION void rowSpeedTempo(ChannelState*, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                 const SampleRecord*, ModuleRecord* module, RowContext*) {
    if (p < 32)
        module->speed = p;
    else
        setTempo(p);
}

EFFECT_ACTION void rowGlobalVolume(ChannelState*, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                   const SampleRecord*, ModuleRecord* module, RowContext*) {
    module->globalVolume = p > 64 ? 64 : p;
}

EFFECT_ACTION void rowGlobalVolSlide(ChannelState*, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                                     const SampleRecord*, ModuleRecord* module, RowContext*) {
    if (p)
        module->globalVolSlideMem = p;
}

EFFECT_ACTION void rowSetEnvelopePosition(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord* ins,
                                          const SampleRecord*, ModuleRecord*, RowContext*) {
    setVolumeEnvelopePosition(ch, ins, p);
}

EFFECT_ACTION void rowPanSlide(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                               const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p) {
        ch->panSlideMem = p;
        ch->updateFlags |= UpdatePanning;
    }
}

// One tick of Rxy. The counter runs on every tick of R rows, tick 0
// included; the sample restarts when it has reached the interval, except on a
// tick 0 that starts a note anyway.
void multiRetrigStep(ChannelState* ch, const NoteCell* cell, const InstrumentRecord* ins, bool rowTick) {
    uint8_t count = ch->retrigCount;
    const bool setsVolume = cell->volumeColumn >= 0x10 && cell->volumeColumn <= 0x50;
    if (rowTick) {
        // An instrument number (with a note or alone) starts the count again;
        // a volume in the volume column holds it for this tick.
        if (cell->instrument && cell->note <= 96)
            count = 1;
        if (setsVolume) {
            ch->retrigCount = count;
            return;
        }
    }
    const bool noteStarts = rowTick && cell->note >= 1 && cell->note <= 96;
    if (count >= ch->retrigInterval && !noteStarts) {
        count = 0;
        // The restart plays the sample that sounds; an instrument number
        // waiting for a note is dropped.
        ch->pendingInstrument = 0;
        ch->period = ch->notePeriod;
        ch->updateFlags |= StartSample | UpdatePitch | UpdateVolume;
        if (ch->retrigVolume)
            ch->volume = retrigVolumeTable[ch->retrigVolume & 15](ch->volume);
        // The cell's own volume or panning is taken again at each restart,
        // and its instrument number starts a released note's fade-out again
        // (which takes this tick's step at once); the note stays released.
        volumeColumnSet(ch, cell->volumeColumn);
        if (cell->instrument && ch->keyOff && ins) {
            ch->fadeVolume = FadeStart - ins->fadeout;
            ch->updateFlags |= UpdateVolume;
        }
    }
    ch->retrigCount = static_cast<uint8_t>(count + 1);
}

EFFECT_ACTION void rowMultiRetrig(ChannelState* ch, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord* ins,
                                  const SampleRecord*, ModuleRecord*, RowContext* context) {
    if (x)
        ch->retrigVolume = x;
    if (y)
        ch->retrigInterval = y;
    multiRetrigStep(ch, context->cell, ins, true);
}

EFFECT_ACTION void rowTremor(ChannelState* ch, uint8_t p, uint8_t x, uint8_t y, const InstrumentRecord*,
                             const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p) {
        ch->tremorOn = x;
        ch->tremorOff = y;
    }
}

EFFECT_ACTION void rowExtraFinePorta(ChannelState* ch, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord*,
                                     const SampleRecord*, ModuleRecord* module, RowContext*) {
    if (x == 1) {
        if (y)
            ch->xfinePortaUpMem = y;
        slidePeriod(ch, -ch->xfinePortaUpMem);
    } else if (x == 2) {
        if (y)
            ch->xfinePortaDownMem = y;
        slidePeriod(ch, ch->xfinePortaDownMem);
    } else if (x == 6 && module->fineDelays) {
        // The fine pattern delay (see fineDelays): each repeat of the row
        // lasts y ticks longer, and several on a row add up.
        module->rowExtraTicks += y;
    }
}

// --- Extended row actions (E1x..EEx) ----------------------------------------

EFFECT_ACTION void extFinePortaUp(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                  const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y)
        ch->finePortaUpMem = y;
    slidePeriod(ch, -4 * ch->finePortaUpMem);
}

EFFECT_ACTION void extFinePortaDown(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                    const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y)
        ch->finePortaDownMem = y;
    slidePeriod(ch, 4 * ch->finePortaDownMem);
}

EFFECT_ACTION void extGlissando(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->glissando = y;
}

EFFECT_ACTION void extVibratoControl(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                     const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->waveControl = static_cast<uint8_t>((ch->waveControl & 0xF0) | y);
}

// Each channel keeps one loop start and count; loops on several channels
// each follow this rule.
EFFECT_ACTION void extPatternLoop(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                  const SampleRecord*, ModuleRecord* module, RowContext*) {
    if (y == 0) {
        ch->loopRow = module->row;
        return;
    }
    if (ch->loopCount == 0)
        ch->loopCount = y + 1;
    ch->loopCount -= 1;
    if (ch->loopCount != 0) {
        module->pendingRow = ch->loopRow;
        // The classic tracker keeps the row it jumped to: a pattern that
        // then runs out starts the next one there.
        module->loopExitRow = ch->loopRow;
    }
}

EFFECT_ACTION void extTremoloControl(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                     const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->waveControl = static_cast<uint8_t>((ch->waveControl & 0x0F) | (y << 4));
}

EFFECT_ACTION void extCoarsePanning(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                    const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->panning = 16 * y;
    ch->updateFlags |= UpdatePanning;
}

// EA and EB each keep their own step, shared with the volume column's fine
// slides 9y and 8y.
EFFECT_ACTION void extFineVolUp(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y)
        ch->fineVolUpMem = y;
    ch->volume += ch->fineVolUpMem;
}

EFFECT_ACTION void extFineVolDown(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                  const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y)
        ch->fineVolDownMem = y;
    ch->volume -= ch->fineVolDownMem;
}

EFFECT_ACTION void extNoteCut(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                              const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y == 0)
        ch->volume = 0;
}

// The delayed row goes on counting its ticks past the speed: E9x and ECx see
// those counts (EDx counts afresh in each repeat).
EFFECT_ACTION void extPatternDelay(ChannelState*, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                                   const SampleRecord*, ModuleRecord* module, RowContext*) {
    module->patternDelayTicks = y;   // rows here; the row step makes them ticks
}

// --- Tick actions (ticks 1 and later) ---------------------------------------

EFFECT_ACTION void tickArpeggio(ChannelState* ch, const NoteCell* cell, const InstrumentRecord*,
                                const SampleRecord* sample, ModuleRecord* module) {
    const uint8_t p = cell->effectParam;
    if (!p)
        return;
    // Ticks counted down from the speed choose the note: at speed 6 the row
    // plays base, y, x, base, y, x. A pattern delay's repeats count afresh.
    // Counts above 15 (speeds above 16) play the base at 16 and the low
    // nibble's note at every count above it.
    const int32_t speed = repeatTicks(module);
    const int32_t count = speed - module->tick % speed;
    const int32_t r = count < 16 ? count % 3 : count == 16 ? 0 : 2;
    const int32_t n = r == 0 ? 0 : r == 1 ? (p >> 4) : (p & 15);
    if (linearPeriods(module) && r == 0) {
        ch->periodDelta = 0;   // the base: the period as it stands
    } else if (linearPeriods(module)) {
        // From the note nearest a slid period, as the glissando hears it, and
        // no higher than ArpeggioTopPeriod.
        const int32_t period = glissandoPeriod(ch) - 64 * n;
        ch->periodDelta = (period < ArpeggioTopPeriod ? ArpeggioTopPeriod : period) - ch->period;
    } else if (r != 0) {
        // Amiga periods: from the note nearest the period as it stands (a
        // slid pitch snaps to it, also for a step of 0).
        const int32_t note = nearestAmigaNote(ch->period, sample->finetune);
        ch->periodDelta = amigaPeriod(note + n, sample->finetune) - ch->period;
    }
    ch->updateFlags |= UpdatePitch;
}

EFFECT_ACTION void tickPortaUp(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                               ModuleRecord*) {
    slidePeriod(ch, -4 * ch->portaUpMem);
    if (ch->period < 56)
        ch->period = 56;
    ch->periodDelta = 0;
    ch->updateFlags |= UpdatePitch;
}

EFFECT_ACTION void tickPortaDown(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                                 ModuleRecord*) {
    slidePeriod(ch, 4 * ch->portaDownMem);
    ch->periodDelta = 0;
    ch->updateFlags |= UpdatePitch;
}

EFFECT_ACTION void tickTonePorta(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                                 ModuleRecord*) {
    tonePortaStep(ch);
}

// The cell's own speed and depth count on every tick, also after a volume
// column vibrato on the same tick set others.
EFFECT_ACTION void tickVibrato(ChannelState* ch, const NoteCell* cell, const InstrumentRecord*, const SampleRecord*,
                               ModuleRecord*) {
    if (cell->effectParam >> 4)
        ch->vibSpeed = cell->effectParam >> 4;
    if (cell->effectParam & 15)
        ch->vibDepth = cell->effectParam & 15;
    vibratoStep(ch);
    advanceVibrato(ch);
}

EFFECT_ACTION void tickTonePortaVolSlide(ChannelState* ch, const NoteCell*, const InstrumentRecord*,
                                         const SampleRecord*, ModuleRecord*) {
    tonePortaStep(ch);
    volumeSlide(ch);
}

EFFECT_ACTION void tickVibratoVolSlide(ChannelState* ch, const NoteCell*, const InstrumentRecord*,
                                       const SampleRecord*, ModuleRecord*) {
    vibratoStep(ch);
    advanceVibrato(ch);
    volumeSlide(ch);
}

EFFECT_ACTION void tickTremolo(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                               ModuleRecord*) {
    tremoloStep(ch);
    advanceTremolo(ch);
}

EFFECT_ACTION void tickVolSlide(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                                ModuleRecord*) {
    volumeSlide(ch);
}

// ED is started by the sequencer, which reads the delayed cell at its tick.
EFFECT_ACTION void tickExtended(ChannelState* ch, const NoteCell* cell, const InstrumentRecord*,
                                const SampleRecord*, ModuleRecord* module) {
    const int32_t x = cell->effectParam >> 4;
    const int32_t y = cell->effectParam & 15;
    // Counts the row's ticks as they are, past the speed in a pattern delay
    // (see EEx). E9x is the sequencer's: it starts the note again.
    if (x == 0xC) {
        if (module->tick == y) {
            ch->volume = 0;
            ch->updateFlags |= UpdateVolume;
        }
    }
}

// A slide by a memory byte: up by its high nibble when that is nonzero, else
// down by its low nibble; kept within 0..top.
int32_t slideWithin(int32_t value, uint8_t memory, int32_t top) {
    const int32_t x = memory >> 4;
    const int32_t y = memory & 15;
    if (x) {
        value += x;
        return value > top ? top : value;
    }
    value -= y;
    return value < 0 ? 0 : value;
}

EFFECT_ACTION void tickGlobalVolSlide(ChannelState*, const NoteCell*, const InstrumentRecord*,
                                      const SampleRecord*, ModuleRecord* module) {
    module->globalVolume = slideWithin(module->globalVolume, module->globalVolSlideMem, 64);
}

EFFECT_ACTION void tickPanSlide(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                                ModuleRecord*) {
    ch->panning = slideWithin(ch->panning, ch->panSlideMem, 255);
    ch->updateFlags |= UpdatePanning;
}

EFFECT_ACTION void tickMultiRetrig(ChannelState* ch, const NoteCell* cell, const InstrumentRecord* ins,
                                   const SampleRecord*, ModuleRecord*) {
    multiRetrigStep(ch, cell, ins, false);
}


EFFECT_ACTION void tickTremor(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                              ModuleRecord*) {
    tremorStep(ch);
}

int32_t keepVolume(int32_t v) { return v; }

}  // namespace

// Effects 0..33 by number: 0-9, then A = 10 ... X = 33.
const RowAction rowActions[RowActionCount] = {
    nullptr,              // 0 arpeggio
    rowPortaUp,           // 1
    rowPortaDown,         // 2
    rowTonePorta,         // 3
    rowVibrato,           // 4
    rowTonePortaVolSlide, // 5
    rowVibratoVolSlide,   // 6
    rowTremolo,           // 7
    rowSetPanning,        // 8
    rowSampleOffset,      // 9
    rowVolSlide,          // A
    rowPositionJump,      // B
    rowSetVolume,         // C
    rowPatternBreak,      // D
    rowExtended,          // E
    rowSpeedTempo,        // F
    rowGlobalVolume,      // G
    rowGlobalVolSlide,    // H
    nullptr,              // I
    nullptr,              // J
    nullptr,              // K: K00 is released by the sequencer, the rest on their tick
    rowSetEnvelopePosition, // L
    nullptr,              // M
    nullptr,              // N
    nullptr,              // O
    rowPanSlide,          // P
    nullptr,              // Q
    rowMultiRetrig,       // R
    nullptr,              // S
    rowTremor,            // T
    nullptr,              // U
    nullptr,              // V
    nullptr,              // W
    rowExtraFinePorta,    // X
};

const TickAction tickActions[TickActionCount] = {
    tickArpeggio,          // 0
    tickPortaUp,           // 1
    tickPortaDown,         // 2
    tickTonePorta,         // 3
    tickVibrato,           // 4
    tickTonePortaVolSlide, // 5
    tickVibratoVolSlide,   // 6
    tickTremolo,           // 7
    nullptr,               // 8
    nullptr,               // 9
    tickVolSlide,          // A
    nullptr,               // B
    nullptr,               // C
    nullptr,               // D
    tickExtended,          // E: E9x, ECx, EDx
    nullptr,               // F
    nullptr,               // G
    tickGlobalVolSlide,    // H
    nullptr,               // I
    nullptr,               // J
    nullptr,               // K: keyOffStep, before the tick's envelope steps
    nullptr,               // L
    nullptr,               // M
    nullptr,               // N
    nullptr,               // O
    tickPanSlide,          // P
    nullptr,               // Q
    tickMultiRetrig,       // R
    nullptr,               // S
    tickTremor,            // T
};

const RowAction extendedRowActions[ExtendedRowActionCount] = {
    nullptr,            // E0
    extFinePortaUp,     // E1
    extFinePortaDown,   // E2
    extGlissando,       // E3
    extVibratoControl,  // E4
    nullptr,            // E5: taken by the note decode of its own cell
    extPatternLoop,     // E6
    extTremoloControl,  // E7
    extCoarsePanning,   // E8
    nullptr,            // E9: ticks, and E90 in the sequencer
    extFineVolUp,       // EA
    extFineVolDown,     // EB
    extNoteCut,         // EC
    nullptr,            // ED: the sequencer reads the cell at its tick
    extPatternDelay,    // EE
    nullptr,            // EF
};

const RetrigVolumeRule retrigVolumeTable[16] = {
    keepVolume,
    [](int32_t v) { return v - 1; },
    [](int32_t v) { return v - 2; },
    [](int32_t v) { return v - 4; },
    [](int32_t v) { return v - 8; },
    [](int32_t v) { return v - 16; },
    [](int32_t v) { return (v >> 1) + (v >> 3); },
    [](int32_t v) { return v >> 1; },
    [](int32_t v) { return v; },
    [](int32_t v) { return v + 1; },
    [](int32_t v) { return v + 2; },
    [](int32_t v) { return v + 4; },
    [](int32_t v) { return v + 8; },
    [](int32_t v) { return v + 16; },
    [](int32_t v) { return (3 * v) >> 1; },
    [](int32_t v) { return 2 * v; },
};

bool volumeColumnSet(ChannelState* ch, uint8_t v) {
    if (v >= 0x10 && v <= 0x50) {
        // A volume set brings a note a tremor left silent back at once.
        ch->volume = v - 16;
        ch->tremorMute = 0;
        return true;
    }
    if ((v >> 4) == 0xC) {
        ch->panning = 16 * (v & 15);
        ch->updateFlags |= UpdatePanning;
        return true;
    }
    return false;
}

void volumeColumnRow(ChannelState* ch, uint8_t v) {
    const int32_t y = v & 15;
    if (volumeColumnSet(ch, v))
        return;
    switch (v >> 4) {
    // 6y and 7y slide on the later ticks only, and leave their step in the
    // memory that A, 5 and 6 share; 8y and 9y are the fine slides.
    case 0x6:
        if (y)
            ch->volSlideMem = static_cast<uint8_t>(y);
        break;
    case 0x7:
        if (y)
            ch->volSlideMem = static_cast<uint8_t>(y << 4);
        break;
    case 0x8:
        if (y)
            ch->fineVolDownMem = static_cast<uint8_t>(y);
        ch->volume -= y;
        break;
    case 0x9:
        if (y)
            ch->fineVolUpMem = static_cast<uint8_t>(y);
        ch->volume += y;
        break;
    // Ay and By keep the vibrato's memory when y is 0; By vibrates on tick 0
    // too, at the position where the vibrato stands, as effect 4 does.
    case 0xA:
        if (y)
            ch->vibSpeed = static_cast<uint8_t>(y);
        break;
    case 0xB:
        if (y)
            ch->vibDepth = static_cast<uint8_t>(y);
        vibratoStep(ch);
        break;
    case 0xD:
        ch->panning -= y;
        ch->updateFlags |= UpdatePanning;
        break;
    case 0xE:
        ch->panning += y;
        ch->updateFlags |= UpdatePanning;
        break;
    case 0xF:
        if (y)
            ch->portaSpeed = static_cast<uint8_t>(16 * y);
        ch->updateFlags &= static_cast<uint8_t>(~StartSample);
        break;
    default: break;
    }
}

void volumeColumnTick(ChannelState* ch, uint8_t v) {
    const int32_t y = v & 15;
    switch (v >> 4) {
    case 0x6:
        ch->volume -= y;
        ch->updateFlags |= UpdateVolume;
        break;
    case 0x7:
        ch->volume += y;
        ch->updateFlags |= UpdateVolume;
        break;
    case 0xB:
        // Beside effect 4 or 6 both vibratos step, so the position moves
        // twice in the tick.
        if (y)
            ch->vibDepth = static_cast<uint8_t>(y);
        vibratoStep(ch);
        advanceVibrato(ch);
        break;
    case 0xD:
        ch->panning -= y;
        ch->updateFlags |= UpdatePanning;
        break;
    case 0xE:
        ch->panning += y;
        ch->updateFlags |= UpdatePanning;
        break;
    case 0xF: tonePortaStep(ch); break;
    default: break;
    }
}

void vibratoStep(ChannelState* ch) {
    const int32_t p = ch->vibPos;
    const int32_t a = waveAmplitude(ch->waveControl & 3, p, p);
    const int32_t d = ((a * ch->vibDepth) >> 5) & ~3;
    ch->periodDelta = p >= 0 ? d : -d;
    ch->updateFlags |= UpdatePitch;
}

void advanceVibrato(ChannelState* ch) { ch->vibPos = advancePosition(ch->vibPos, ch->vibSpeed); }

void tremoloStep(ChannelState* ch) {
    ch->updateFlags |= UpdateVolume;
    // A silent channel stays silent: the tremolo moves only a volume above 0.
    if (ch->volume <= 0)
        return;
    const int32_t p = ch->tremPos;
    // The tremolo's ramp turns with the vibrato's position, not its own:
    // the classic tracker's recordings fall and rise that way.
    const int32_t a = waveAmplitude((ch->waveControl >> 4) & 3, p, ch->vibPos);
    // Scaled like the vibrato but one bit further down: depth 15 at full
    // amplitude moves the volume by 60.
    int32_t d = (a * ch->tremDepth) >> 6;
    if (p >= 0) {
        if (ch->volume + d > 64)
            d = 64 - ch->volume;
        ch->volumeDelta = d;
    } else {
        if (ch->volume - d < 0)
            d = ch->volume;
        ch->volumeDelta = -d;
    }
}

void advanceTremolo(ChannelState* ch) { ch->tremPos = advancePosition(ch->tremPos, ch->tremSpeed); }

// The slide is heard in the semitones of the playing note's scale (its
// finetune): the nearest one to the period, a tie going to the lower note.
int32_t glissandoPeriod(const ChannelState* ch) {
    if (linearPeriods()) {
        // Semitones above C-0 of the scale, rounded; the bias keeps the
        // division's operand positive for every period.
        const int32_t base = 7680 - ch->noteFinetune / 2;
        const int32_t semitones = (base - ch->period + 31 + 64 * 1024) / 64 - 1024;
        return base - 64 * semitones;
    }
    return amigaPeriod(nearestAmigaNote(ch->period, ch->noteFinetune), ch->noteFinetune);
}

void tonePortaStep(ChannelState* ch) {
    ch->updateFlags |= UpdatePitch;
    ch->periodDelta = 0;
    // Nothing to slide to (no note has given a target yet), or no speed.
    if (ch->portaTarget == 0 || ch->portaSpeed == 0 ||
        (ch->portaDirection == PortaEitherWay && ch->period == ch->portaTarget))
        return;
    // The direction is the one the target note set (either way when the
    // note was already there). A slide that arrives going down in period
    // stays "towards larger periods", so after a lower note a slide without
    // a new target jumps straight back to the old one, as stored music
    // expects; one that arrives going up is free again.
    const int32_t s = 4 * ch->portaSpeed;
    const uint8_t direction = ch->portaDirection;
    if (direction == PortaDown || (direction == PortaEitherWay && ch->period > ch->portaTarget)) {
        ch->period -= s;
        if (ch->period <= ch->portaTarget) {
            ch->period = ch->portaTarget;
            ch->portaDirection = PortaUpOnly;
        }
    } else {
        ch->period += s;
        if (ch->period >= ch->portaTarget) {
            ch->period = ch->portaTarget;
            if (direction == PortaUp)
                ch->portaDirection = PortaEitherWay;
        }
    }
    if (ch->glissando) {
        ch->glissandoFrom = ch->period;
        ch->glissandoHeard = glissandoPeriod(ch);
        ch->periodDelta = ch->glissandoHeard - ch->period;
    }
}

// Txy sounds for x + 1 ticks, then is silent for y + 1, counting only the
// ticks after a row's first. The count runs on across rows; an instrument
// number starts it again, silent with nothing left, so the next step sounds.
// What the last step left holds past the tremor until the volume is set.
void tremorStep(ChannelState* ch) {
    bool on = (ch->tremorPos & 0x80) != 0;
    int32_t left = (ch->tremorPos & 0x7F) - 1;
    if (left < 0) {
        on = !on;
        left = on ? ch->tremorOn : ch->tremorOff;
    }
    ch->tremorPos = static_cast<uint8_t>((on ? 0x80 : 0) | left);
    ch->tremorMute = on ? 0 : 1;
    ch->updateFlags |= UpdateVolume;
}

// Kxx releases at tick xx of the row (K00 on tick 0, in the row step); at or
// beyond the ticks of a repeat of the row it never does.
void keyOffStep(ChannelState* ch, const NoteCell* cell, const InstrumentRecord* ins, const ModuleRecord* module) {
    if (cell->effect == 20 && cell->effectParam != 0 && module->tick % repeatTicks(module) == cell->effectParam)
        releaseChannel(ch, ins);
}

}  // namespace introplayer
