// Effect, extended-command and volume-column actions. Actions only change the
// channel record and the song-wide playback fields; what must reach the voice
// is said through updateFlags and pushed by the sequencer's apply step.
#include "effects.h"

#include "channel.h"
#include "mixer.h"
#include "modulation.h"
#include "module.h"
#include "sequencer.h"

namespace {

// |round(256 * sin(p * pi / 32))| for |p| = 0..32: the sine of the vibrato and
// tremolo waveforms, as a table so every build gets the same numbers.
const int32_t sineAmplitude[33] = {
    0,   25,  50,  74,  98,  121, 142, 162, 181, 198, 213, 226, 237, 245, 251, 255, 256,
    255, 251, 245, 237, 226, 213, 198, 181, 162, 142, 121, 98,  74,  50,  25,  0,
};

// Vibrato and tremolo amplitude at position p (-32..31) for a waveform number.
int32_t waveAmplitude(int32_t waveform, int32_t p, bool squareIsThree) {
    if (waveform == 0 || (waveform == 3 && !squareIsThree))
        return sineAmplitude[p < 0 ? -p : p];
    if (waveform == 1)
        return p >= 0 ? 8 * p : 255 - ((8 * p) & 255);
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

bool linearPeriods(const ModuleRecord* module) { return (module->flags & 1) != 0; }

// --- Row actions (tick 0) -------------------------------------------------

void rowPortaUp(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->portaUpMem = p;
}

void rowPortaDown(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                  const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->portaDownMem = p;
}

void rowTonePorta(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                  const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->portaSpeed = p;
    ch->portaTarget = ch->notePeriod;
    ch->updateFlags &= static_cast<uint8_t>(~(UpdatePitch | StartSample));
}

void rowVibrato(ChannelState* ch, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord*,
                const SampleRecord*, ModuleRecord*, RowContext*) {
    if (x)
        ch->vibSpeed = x;
    if (y)
        ch->vibDepth = y;
    vibratoStep(ch);
}

void rowTonePortaVolSlide(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                          const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->volSlideMem = p;
    ch->portaTarget = ch->notePeriod;
    ch->updateFlags &= static_cast<uint8_t>(~(UpdatePitch | StartSample));
}

void rowVibratoVolSlide(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                        const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->volSlideMem = p;
    vibratoStep(ch);
}

void rowTremolo(ChannelState* ch, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord*,
                const SampleRecord*, ModuleRecord*, RowContext*) {
    if (x)
        ch->tremSpeed = x;
    if (y)
        ch->tremDepth = y;
}

void rowSetPanning(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                   const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->panning = p;
    ch->updateFlags |= UpdatePanning;
}

void rowSampleOffset(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                     const SampleRecord* sample, ModuleRecord*, RowContext*) {
    const int32_t offset = 256 * p;
    if (offset)
        ch->sampleOffsetMem = offset;
    const uint64_t playableEnd = uint64_t(sample->loopStart) + sample->loopLength;
    if (uint64_t(ch->sampleOffsetMem) < playableEnd) {
        if (ch->voice)
            ch->voice->startOffset = ch->sampleOffsetMem;
    } else {
        ch->updateFlags &= static_cast<uint8_t>(~StartSample);
        ch->updateFlags |= ResetPosition;
    }
}

void rowVolSlide(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                 const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p)
        ch->volSlideMem = p;
}

void rowPositionJump(ChannelState*, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                     const SampleRecord*, ModuleRecord* module, RowContext* context) {
    module->pendingRow = 0;
    module->pendingOrder = p;
    context->jumpSeen += 1;
    if (module->pendingOrder >= module->songLength)
        module->pendingOrder = 0;
}

void rowSetVolume(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                  const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->volume = p;
}

void rowPatternBreak(ChannelState*, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord*,
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

void rowExtended(ChannelState* ch, uint8_t p, uint8_t x, uint8_t y, const InstrumentRecord* ins,
                 const SampleRecord* sample, ModuleRecord* module, RowContext* context) {
    if (extendedRowActions[x])
        extendedRowActions[x](ch, p, x, y, ins, sample, module, context);
}

void rowSpeedTempo(ChannelState*, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                   const SampleRecord*, ModuleRecord* module, RowContext*) {
    if (p < 32)
        module->speed = p;
    else
        setTempo(p);
}

void rowGlobalVolume(ChannelState*, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                     const SampleRecord*, ModuleRecord* module, RowContext*) {
    module->globalVolume = p > 64 ? 64 : p;
}

void rowGlobalVolSlide(ChannelState*, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                       const SampleRecord*, ModuleRecord* module, RowContext*) {
    if (p)
        module->globalVolSlideMem = p;
}

void rowSetEnvelopePosition(ChannelState* ch, uint8_t p, uint8_t, uint8_t,
                            const InstrumentRecord* ins, const SampleRecord*, ModuleRecord*,
                            RowContext*) {
    if (!(ins->volumeEnvelopeFlags & EnvelopeOn))
        return;
    int32_t count = ins->volumePointCount;
    if (count > 12)
        count = 12;
    if (count == 0)
        return;
    const EnvelopePoint* points = ins->volumeEnvelope;
    // Bounded by the point count, so a position past the last point never
    // reads beyond the twelve stored points.
    int32_t i = 0;
    while (i + 1 < count && p > points[i + 1].x)
        i += 1;
    ch->volEnvPoint = i;
    if (i >= count - 1) {
        ch->envVolume = points[count - 1].y;
        ch->volEnvDone = 1;
        return;
    }
    ch->volEnvDone = 0;
    ch->volEnvTick = p;
    const int32_t dx = int32_t(points[i + 1].x) - int32_t(points[i].x);
    const int64_t dy = int64_t(points[i + 1].y) - int64_t(points[i].y);
    ch->volEnvSlope = dx == 0 ? 0 : static_cast<int32_t>(dy * 65536 / dx);
    ch->volEnvValue = static_cast<int32_t>(int64_t(points[i].y) * 65536 +
                                           int64_t(p - int32_t(points[i].x)) * ch->volEnvSlope);
    ch->envVolume = ch->volEnvValue >> 16;
    ch->volEnvPoint = i + 1;
}

void rowPanSlide(ChannelState* ch, uint8_t p, uint8_t, uint8_t, const InstrumentRecord*,
                 const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p) {
        ch->panSlideMem = p;
        ch->updateFlags |= UpdatePanning;
    }
}

void rowMultiRetrig(ChannelState* ch, uint8_t p, uint8_t x, uint8_t y, const InstrumentRecord*,
                    const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p) {
        ch->retrigVolume = x;
        ch->retrigInterval = y;
    }
}

void rowTremor(ChannelState* ch, uint8_t p, uint8_t x, uint8_t y, const InstrumentRecord*,
               const SampleRecord*, ModuleRecord*, RowContext*) {
    if (p) {
        ch->tremorOn = x;
        ch->tremorOff = y;
    }
    tremorStep(ch);
}

void rowExtraFinePorta(ChannelState* ch, uint8_t, uint8_t x, uint8_t y, const InstrumentRecord*,
                       const SampleRecord*, ModuleRecord*, RowContext*) {
    if (x == 1) {
        if (y)
            ch->xfinePortaUpMem = y;
        ch->period -= ch->xfinePortaUpMem;
    } else if (x == 2) {
        if (y)
            ch->xfinePortaDownMem = y;
        ch->period += ch->xfinePortaDownMem;
    }
}

// --- Extended row actions (E1x..EEx) ----------------------------------------

void extFinePortaUp(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                    const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y)
        ch->finePortaUpMem = y;
    ch->period -= 4 * ch->finePortaUpMem;
}

void extFinePortaDown(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                      const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y)
        ch->finePortaDownMem = y;
    ch->period += 4 * ch->finePortaDownMem;
}

void extVibratoControl(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                       const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->waveControl = static_cast<uint8_t>((ch->waveControl & 0xF0) | y);
}

void extSetFinetune(ChannelState*, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                    const SampleRecord* sample, ModuleRecord*, RowContext*) {
    // Written into the shared sample, so it holds for every later note of it.
    // The static empty sample is never written: it stands for "no sample".
    if (sample != &emptySample)
        const_cast<SampleRecord*>(sample)->finetune = static_cast<int8_t>(y);
}

void extPatternLoop(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                    const SampleRecord*, ModuleRecord* module, RowContext*) {
    if (y == 0) {
        ch->loopRow = module->row;
        return;
    }
    if (ch->loopCount == 0)
        ch->loopCount = y + 1;
    ch->loopCount -= 1;
    if (ch->loopCount != 0)
        module->pendingRow = ch->loopRow;
}

void extTremoloControl(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                       const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->waveControl = static_cast<uint8_t>((ch->waveControl & 0x0F) | (y << 4));
}

void extCoarsePanning(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                      const SampleRecord*, ModuleRecord*, RowContext*) {
    ch->panning = 16 * y;
    ch->updateFlags |= UpdatePanning;
}

// EA and EB share one signed memory: EA0/EB0 repeat the last one, in its direction.
void extFineVolUp(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                  const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y)
        ch->fineVolSlideMem = static_cast<int8_t>(-y);
    ch->volume -= ch->fineVolSlideMem;
}

void extFineVolDown(ChannelState* ch, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                    const SampleRecord*, ModuleRecord*, RowContext*) {
    if (y)
        ch->fineVolSlideMem = static_cast<int8_t>(y);
    ch->volume -= ch->fineVolSlideMem;
}

void extNoteDelay(ChannelState* ch, uint8_t, uint8_t, uint8_t, const InstrumentRecord*,
                  const SampleRecord*, ModuleRecord*, RowContext* context) {
    // Undo the row so the previous note sounds on unchanged until the delay.
    ch->volume = context->savedVolume;
    ch->period = context->savedPeriod;
    ch->panning = context->savedPanning;
    ch->updateFlags = 0;
}

void extPatternDelay(ChannelState*, uint8_t, uint8_t, uint8_t y, const InstrumentRecord*,
                     const SampleRecord*, ModuleRecord* module, RowContext*) {
    module->patternDelayTicks = y * module->speed;
}

// --- Tick actions (ticks 1 and later) ---------------------------------------

void tickArpeggio(ChannelState* ch, const NoteCell* cell, const InstrumentRecord*,
                  const SampleRecord* sample, ModuleRecord* module) {
    const uint8_t p = cell->effectParam;
    if (!p)
        return;
    const int32_t r = module->tick % 3;
    const int32_t n = r == 0 ? 0 : r == 1 ? (p >> 4) : (p & 15);
    if (linearPeriods(module))
        ch->periodDelta = 64 * n;
    else
        ch->periodDelta = amigaPeriod(ch->realNote + n, sample) - amigaPeriod(ch->realNote, sample);
    ch->updateFlags |= UpdatePitch;
}

void tickPortaUp(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                 ModuleRecord*) {
    ch->period -= 4 * ch->portaUpMem;
    if (ch->period < 56)
        ch->period = 56;
    ch->periodDelta = 0;
    ch->updateFlags |= UpdatePitch;
}

void tickPortaDown(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                   ModuleRecord*) {
    ch->period += 4 * ch->portaDownMem;
    ch->periodDelta = 0;
    ch->updateFlags |= UpdatePitch;
}

void tickTonePorta(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                   ModuleRecord*) {
    tonePortaStep(ch);
}

void tickVibrato(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                 ModuleRecord*) {
    vibratoStep(ch);
    advanceVibrato(ch);
}

void tickTonePortaVolSlide(ChannelState* ch, const NoteCell*, const InstrumentRecord*,
                           const SampleRecord*, ModuleRecord*) {
    tonePortaStep(ch);
    volumeSlide(ch);
}

void tickVibratoVolSlide(ChannelState* ch, const NoteCell*, const InstrumentRecord*,
                         const SampleRecord*, ModuleRecord*) {
    vibratoStep(ch);
    advanceVibrato(ch);
    volumeSlide(ch);
}

void tickTremolo(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                 ModuleRecord*) {
    tremoloStep(ch);
}

void tickVolSlide(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                  ModuleRecord*) {
    volumeSlide(ch);
}

void tickExtended(ChannelState* ch, const NoteCell* cell, const InstrumentRecord*,
                  const SampleRecord* sample, ModuleRecord* module) {
    const int32_t x = cell->effectParam >> 4;
    const int32_t y = cell->effectParam & 15;
    if (x == 0x9) {
        if (y && module->tick % y == 0)
            ch->updateFlags |= StartSample | UpdatePitch | UpdateVolume;
    } else if (x == 0xC) {
        if (module->tick == y) {
            ch->volume = 0;
            ch->updateFlags |= UpdateVolume;
        }
    } else if (x == 0xD) {
        if (module->tick == y) {
            resetChannelForSample(ch, sample);
            ch->period = ch->notePeriod;
            ch->updateFlags |= StartSample | UpdatePitch;
            volumeColumnRow(ch, cell->volumeColumn);
        } else {
            // Nothing but the pitch reaches the voice during the delay.
            ch->updateFlags = 0;
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

void tickGlobalVolSlide(ChannelState*, const NoteCell*, const InstrumentRecord*,
                        const SampleRecord*, ModuleRecord* module) {
    module->globalVolume = slideWithin(module->globalVolume, module->globalVolSlideMem, 64);
}

void tickPanSlide(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
                  ModuleRecord*) {
    ch->panning = slideWithin(ch->panning, ch->panSlideMem, 255);
    ch->updateFlags |= UpdatePanning;
}

void tickMultiRetrig(ChannelState* ch, const NoteCell*, const InstrumentRecord*,
                     const SampleRecord*, ModuleRecord* module) {
    if (!ch->retrigInterval || module->tick % ch->retrigInterval != 0)
        return;
    ch->updateFlags |= StartSample;
    if (ch->retrigVolume) {
        ch->updateFlags |= UpdateVolume;
        ch->volume = retrigVolumeTable[ch->retrigVolume & 15](ch->volume);
    }
}

void tickTremor(ChannelState* ch, const NoteCell*, const InstrumentRecord*, const SampleRecord*,
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
    nullptr,              // K: the sequencer releases the channel itself
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
    nullptr,               // K
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
    nullptr,            // E3
    extVibratoControl,  // E4
    extSetFinetune,     // E5
    extPatternLoop,     // E6
    extTremoloControl,  // E7
    extCoarsePanning,   // E8
    nullptr,            // E9: ticks only
    extFineVolUp,       // EA
    extFineVolDown,     // EB
    nullptr,            // EC: ticks only
    extNoteDelay,       // ED
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
    [](int32_t v) { return 2 * v / 3; },
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

void volumeColumnRow(ChannelState* ch, uint8_t v) {
    const int32_t y = v & 15;
    if (v >= 0x10 && v <= 0x50) {
        ch->volume = v - 16;
        return;
    }
    switch (v >> 4) {
    case 0x6: case 0x8: ch->volume -= y; break;
    case 0x7: case 0x9: ch->volume += y; break;
    case 0xA: ch->vibSpeed = static_cast<uint8_t>(y); break;
    case 0xB: ch->vibDepth = static_cast<uint8_t>(y); break;
    case 0xC:
        ch->panning = 16 * y;
        ch->updateFlags |= UpdatePanning;
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
        ch->portaTarget = ch->notePeriod;
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
    const int32_t a = waveAmplitude(ch->waveControl & 3, p, true);
    const int32_t d = ((a * ch->vibDepth) >> 5) & ~3;
    ch->periodDelta = p >= 0 ? -d : d;
    ch->updateFlags |= UpdatePitch;
}

void advanceVibrato(ChannelState* ch) { ch->vibPos = advancePosition(ch->vibPos, ch->vibSpeed); }

void tremoloStep(ChannelState* ch) {
    const int32_t p = ch->tremPos;
    const int32_t a = waveAmplitude((ch->waveControl >> 4) & 3, p, false);
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
    ch->tremPos = advancePosition(ch->tremPos, ch->tremSpeed);
    ch->updateFlags |= UpdateVolume;
}

void tonePortaStep(ChannelState* ch) {
    ch->updateFlags |= UpdatePitch;
    ch->periodDelta = 0;
    const int32_t s = 4 * ch->portaSpeed;
    if (ch->period < ch->portaTarget) {
        ch->period += s;
        if (ch->period > ch->portaTarget)
            ch->period = ch->portaTarget;
    } else {
        ch->period -= s;
        if (ch->period < ch->portaTarget)
            ch->period = ch->portaTarget;
    }
}

void tremorStep(ChannelState* ch) {
    ch->updateFlags |= UpdateVolume;
    if (ch->tremorCount > ch->tremorOn)
        ch->volumeDelta = -ch->volume;
    ch->tremorCount += 1;
    if (ch->tremorCount > ch->tremorOn + 1 + ch->tremorOff)
        ch->tremorCount = 0;
}
