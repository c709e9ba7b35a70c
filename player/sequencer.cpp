// The sequencer: one tick of the song at a time. Tick 0 of a row decodes the
// row's cells and runs the row actions; later ticks run the tick actions; each
// tick ends with the apply step that pushes every channel into its voice.
// Runs on the output thread only; nothing here allocates.
#include "sequencer.h"

#include <cmath>
#include <cstring>

#include "channel.h"
#include "effects.h"
#include "mixer.h"
#include "modulation.h"
#include "module.h"
#include "sources.h"

namespace introplayer {

void (*rowStarted)(int32_t orderPos, int32_t row) = nullptr;
std::atomic<uint32_t> muteMask;
std::atomic<uint32_t> soloMask;
uint32_t audibleChannels = 0xFFFFFFFFu;
std::atomic<uint32_t> playOnce;
TickStrikes tickStrikes;

namespace {

// What the sequencer reads when the song lacks something: a pattern slot the
// order list names but the table does not hold, a row a pattern does not
// hold, an instrument the song does not have. All silent.
const PatternSlot missingPattern = {64, 0, nullptr};

}  // namespace

const PatternSlot* patternAt(int32_t orderPos) {
    if (orderPos < 0 || orderPos >= 256 || !song.patternTable)
        return &missingPattern;
    const uint32_t index = song.orderTable[orderPos];
    if (index >= song.patternSlotCount)
        return &missingPattern;
    return &song.patternTable[index];
}

// Targets from the voice's mixVolume and finalPan; silence on a muted
// channel (voice k and its twin k + 32 play channel k mod 32).
void updateTargets(Voice* v) {
    const int32_t volume =
        !INTROPLAYER_SEEK || (audibleChannels >> (v->voiceIndex & 31) & 1) ? v->mixVolume : 0;
    v->targetRight = volume * v->finalPan / 255;
    v->targetLeft = volume * (255 - v->finalPan) / 255;
}

void applyMuteAndSolo() {
    if (!INTROPLAYER_SEEK)
        return;
    const uint32_t solo = soloMask.load(std::memory_order_relaxed);
    const uint32_t audible = ~muteMask.load(std::memory_order_relaxed) & (solo ? solo : 0xFFFFFFFFu);
    if (audible == audibleChannels)
        return;
    audibleChannels = audible;
    for (Voice& v : voices)
        updateTargets(&v);
}

namespace {

RowContext rowContext;
// Zero and never written: not const, so they sit in zeroed memory instead
// of taking their bytes in the program file.
NoteCell emptyRow[ChannelCountMax];
InstrumentRecord silentInstrument;

// The cells of one row, one per channel; a silent row when the pattern has no
// cells there.
const NoteCell* rowCells(const PatternSlot* pattern, int32_t row) {
    if (!pattern->cells || row < 0 || row >= pattern->rowCount)
        return emptyRow;
    return pattern->cells + row * song.channelCount;
}

// A note started on the channel's voice: listed for the tick's followers.
void noteStrike(const ChannelState* ch, const SampleRecord* sample) {
    if (!INTROPLAYER_FOLLOW || tickStrikes.count >= ChannelCountMax)
        return;
    Strike& strike = tickStrikes.list[tickStrikes.count++];
    strike.channel = static_cast<uint8_t>(ch - channels);
    strike.instrument = ch->instrumentIndex;
    strike.sample = 0;
    if (ch->instrumentIndex < song.instrumentCount && song.instrumentTable) {
        const InstrumentRecord& ins = song.instrumentTable[ch->instrumentIndex];
        for (uint32_t k = 0; k < ins.sampleCount && k < 16; ++k)
            if (ins.samples[k] == sample)
                strike.sample = static_cast<uint8_t>(k + 1);
    }
}

int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// A row whose note slides to its pitch instead of starting: effects 3 and 5
// and the volume column's Fx.
bool tonePortaCell(const NoteCell* cell) {
    return cell->effect == 3 || cell->effect == 5 || (cell->volumeColumn >> 4) == 0xF;
}

// Note delay ED1..EDF: the cell is read at the delay tick. ED0 plays at once.
int32_t noteDelayTick(const NoteCell* cell) {
    const bool delay = cell->effect == 0xE && (cell->effectParam >> 4) == 0xD;
    return delay ? cell->effectParam & 15 : 0;
}

// The instrument (0-based) and the sample it maps a note (0-based) to.
const SampleRecord* sampleFor(uint8_t instrumentIndex, uint8_t noteIndex,
                              const InstrumentRecord** instrument) {
    const uint32_t count = song.instrumentCount & 0xFF;
    if (!song.instrumentTable || instrumentIndex >= count) {
        *instrument = &silentInstrument;
        return &emptySample;
    }
    const InstrumentRecord* ins = &song.instrumentTable[instrumentIndex];
    *instrument = ins;
    const uint32_t number = noteIndex < 96 ? ins->sampleMap[noteIndex] : 16;
    if (number < 16 && ins->samples[number])
        return ins->samples[number];
    return &emptySample;
}

void decodeNote(ChannelState* ch, const NoteCell* cell, const SampleRecord* sample, bool tonePorta) {
    // Note plus relative note wraps in 8 bits. A sum of 120 and above is not
    // played: what sounds goes on. A sum of 0 starts the sample again at the
    // pitch the channel has.
    const int32_t sum = (cell->note + sample->relativeNote) & 255;
    if (sum >= 120)
        return;
    if (sum > 0) {
        const int32_t realNote = sum - 1;
        // E5x sets the finetune of the note in its own cell only, as (x - 8) x 16;
        // the sample keeps its own for every other note. A portamento slides to
        // its note in the finetune of the note that sounds.
        const bool setFinetune = !tonePorta && cell->effect == 0xE && (cell->effectParam >> 4) == 5;
        const int32_t finetune = setFinetune ? ((cell->effectParam & 15) - 8) * 16
                                 : tonePorta  ? ch->noteFinetune
                                              : sample->finetune;
        ch->realNote = static_cast<uint8_t>(realNote);
        ch->noteFinetune = static_cast<int8_t>(finetune);
        if (linearPeriods())
            ch->notePeriod = 7680 - 64 * realNote - finetune / 2;
        else
            ch->notePeriod = amigaPeriod(realNote, finetune);
    }
    if (!tonePorta) {
        if (sum > 0)
            ch->period = ch->notePeriod;
        // A new note starts its vibrato and tremolo from the top of the wave,
        // unless E4x / E7x asked to keep the position.
        if (!(ch->waveControl & 0x04))
            ch->vibPos = 0;
        if (!(ch->waveControl & 0x40))
            ch->tremPos = 0;
    }
    ch->updateFlags |= StartSample;
}

// The envelopes, fade-out and auto-vibrato start again from the sample;
// the channel's volume and panning stay, and so does the tremor.
void restartEnvelopes(ChannelState* ch, const SampleRecord* sample) {
    const int32_t volume = ch->volume;
    const int32_t panning = ch->panning;
    const uint8_t tremorPos = ch->tremorPos;
    const uint8_t tremorMute = ch->tremorMute;
    resetChannelForSample(ch, sample);
    ch->volume = volume;
    ch->panning = panning;
    ch->tremorPos = tremorPos;
    ch->tremorMute = tremorMute;
}

// The note, instrument and volume column of a cell: on tick 0, or at the
// delay tick of a note delay. Returns the sample the channel plays now.
const SampleRecord* takeCell(ChannelState* ch, const NoteCell* cell, bool delayed,
                             const InstrumentRecord** ins) {
    // K00 releases at once and ignores the cell's note. Beside an instrument
    // number the volume stays as it is, and the number waits for the next
    // note. A volume-column portamento takes precedence over it.
    if (cell->effect == 20 && cell->effectParam == 0 && (cell->volumeColumn >> 4) != 0xF) {
        const SampleRecord* sample = lookupSample(ch, ins);
        const int32_t volume = ch->volume;
        releaseChannel(ch, *ins);
        if (cell->instrument) {
            ch->pendingInstrument = cell->instrument;
            ch->volume = volume;
        }
        volumeColumnRow(ch, cell->volumeColumn);
        return sample;
    }
    // Before its first instrument a channel takes a portamento's note as a
    // plain one (the portamento effect keeps it from sounding). So is a
    // delayed note beside the volume column's portamento, whose target and
    // speed stay: the slide then goes on towards the old note.
    const bool tonePorta = !delayed && tonePortaCell(cell) && ch->instrumentIndex != NoInstrument;
    const bool hasNote = cell->note >= 1 && cell->note <= 96;
    // An instrument number waits for the next note; until then the playing
    // sample goes on and the number only resets the channel from it. A note
    // that a tone portamento slides to drops it, and any number beside it.
    if (tonePorta && hasNote)
        ch->pendingInstrument = 0;
    else if (cell->instrument)
        ch->pendingInstrument = cell->instrument;
    // A number left waiting by a key-off: a released channel keeps one only
    // then, as a number alone resets the channel and ends the release.
    const bool waitsFromKeyOff = ch->pendingInstrument && ch->keyOff;
    // A note without a number of its own that takes a waiting number of
    // another instrument goes on with that instrument's envelopes from where
    // the channel's stand; the volume and panning stay, also on a channel
    // that had played nothing before.
    const bool takesOther = hasNote && !tonePorta && !cell->instrument && ch->pendingInstrument &&
                            ch->pendingInstrument != ch->instrumentIndex + 1;
    if (hasNote && !tonePorta) {
        // A number left waiting by a key-off ends the release. The envelopes
        // go on from where they are; the fade-out stops unheard where it is,
        // and the next release goes on from there.
        if (waitsFromKeyOff)
            ch->keyOff = 0;
        if (ch->pendingInstrument)
            ch->instrumentIndex = static_cast<uint8_t>(ch->pendingInstrument - 1);
        ch->pendingInstrument = 0;
        ch->noteIndex = static_cast<uint8_t>(cell->note - 1);
        ch->noteTaken = 1;
    }
    const SampleRecord* sample = lookupSample(ch, ins);
    if (hasNote)
        decodeNote(ch, cell, sample, tonePorta);
    if (takesOther)
        seatEnvelopes(ch, *ins);
    // Only a note beside a tone portamento sets where it slides to, and only
    // while the voice sounds something to slide from.
    if (hasNote && tonePorta && ch->voice && ch->voice->sample) {
        ch->portaTarget = ch->notePeriod;
        ch->portaDirection = ch->portaTarget == ch->period ? PortaEitherWay
                             : ch->portaTarget > ch->period ? PortaUp
                                                            : PortaDown;
    }
    const bool release = cell->note >= 97;
    if (release)
        releaseChannel(ch, *ins);
    if (cell->instrument && release) {
        // Released, then back to the sample's volume and panning; the
        // envelopes and the fade-out go on from where they are.
        ch->volume = sample->volume;
        ch->panning = sample->panning;
        ch->tremorPos = 0;
        ch->tremorMute = 0;
        ch->updateFlags |= UpdateVolume | UpdatePanning;
    } else if (cell->instrument) {
        resetChannelForSample(ch, sample);
    }
    if (delayed && release) {
        // A delayed key-off ends in a restart of the envelopes from the
        // sample's volume; without a volume envelope (and an instrument
        // number) it silences.
        resetChannelForSample(ch, sample);
        if (!((*ins)->volumeEnvelopeFlags & EnvelopeOn) && !cell->instrument)
            ch->volume = 0;
    } else if (delayed && hasNote && !cell->instrument) {
        // A delayed note restarts the envelopes and the fade-out but keeps
        // the channel's volume and panning when it comes without an
        // instrument number.
        restartEnvelopes(ch, sample);
    }
    volumeColumnRow(ch, delayed && (cell->volumeColumn >> 4) == 0xF ? 0 : cell->volumeColumn);
    return sample;
}

// An instrument without an envelope plays at full envelope volume and
// centred envelope panning, whatever an instrument before it left there.
void envelopeSteps(ChannelState* ch, const InstrumentRecord* ins) {
    if (ins->volumeEnvelopeFlags & EnvelopeOn)
        envelopeStep(ch, ins, UpdateVolume);
    else
        ch->envVolume = 64;
    if (ins->panningEnvelopeFlags & EnvelopeOn)
        envelopeStep(ch, ins, UpdatePanning);
    else
        ch->envPanning = 32;
}

void fadeStep(ChannelState* ch, const InstrumentRecord* ins) {
    ch->fadeVolume -= ins->fadeout;
    if (ch->fadeVolume < 0)
        ch->fadeVolume = 0;
}

}  // namespace

int32_t channelsInUse() {
    const int32_t count = song.channelCount;
    return count < 0 ? 0 : count > ChannelCountMax ? ChannelCountMax : count;
}

bool patternLoopRunning() {
    for (int32_t c = 0; c < channelsInUse(); ++c)
        if (channels[c].loopCount != 0)
            return true;
    return false;
}

const SampleRecord* lookupSample(const ChannelState* ch, const InstrumentRecord** instrument) {
    return sampleFor(ch->instrumentIndex, ch->noteIndex, instrument);
}

// The voice's mixVolume and gains from the channel's volume, envelope, fade
// (heard only while the note is released) and the global volume.
void pushVolume(const ChannelState* ch, Voice* v) {
    const int32_t fade = ch->keyOff ? ch->fadeVolume : FadeStart;
    const double product = double(ch->volume + ch->volumeDelta) * ch->envVolume * fade *
                           song.globalVolumeHeard * 255.0 / 34359738368.0;
    // Kept within the voice gain range even for envelope values the loader
    // let through above 64.
    // Rounded half away from zero, without the C library's lround: x - trunc(x)
    // is exact, so the comparison sees the true fraction.
    int32_t rounded = 0;
    if (product >= 128.0) {
        rounded = 128;
    } else if (product > 0.0) {
        rounded = static_cast<int32_t>(product);
        if (product - rounded >= 0.5) ++rounded;
    }
    v->mixVolume = rounded;
    updateTargets(v);
}

void applyChannel(ChannelState* ch, const InstrumentRecord* ins, const SampleRecord* sample) {
    autoVibratoStep(ch, ins);
    Voice* v = ch->voice;
    if (!v)
        return;
    if (ch->updateFlags & StartSample) {
        if (v->sample) {
            // Hand-off: the old voice ramps out to silence on its own sample
            // while the new note ramps in on the twin.
            Voice* twin = twinVoice(v);
            twin->mixVolume = v->mixVolume;
            twin->finalPan = v->finalPan;
            twin->startOffset = v->startOffset;
            twin->targetRight = v->targetRight;
            twin->targetLeft = v->targetLeft;
            twin->posInt = v->posInt;
            twin->stepFrac = v->stepFrac;
            twin->stepInt = v->stepInt;
            twin->rampTargetRight = v->rampTargetRight;
            twin->rampTargetLeft = v->rampTargetLeft;
            twin->rampStepRight = v->rampStepRight;
            twin->rampStepLeft = v->rampStepLeft;
            v->mixVolume = 0;
            v->targetRight = 0;
            v->targetLeft = 0;
            ch->voice = twin;
            v = twin;
        }
        v->sample = sample;
        if (sample && sample != &emptySample)
            noteStrike(ch, sample);
        v->posFrac = 0;
        v->backward = 0;
        v->currentRight = 0;
        v->currentLeft = 0;
        v->rampFramesLeft = 0;
        v->posInt = static_cast<uint32_t>(v->startOffset);
        v->startOffset = 0;
    }
    // A released note of an instrument with a volume envelope that has faded
    // out ends: its voice stops, and only a new note sounds again. Without
    // the envelope the voice runs on unheard, and an instrument number
    // brings it back.
    if (ch->keyOff && ch->fadeVolume == 0 && (ins->volumeEnvelopeFlags & EnvelopeOn))
        v->sample = nullptr;
    ch->volume = clampInt(ch->volume, 0, 64);
    if (ch->tremorMute)
        ch->volumeDelta = -ch->volume;
    if (ch->updateFlags & UpdateVolume)
        pushVolume(ch, v);
    if (ch->updateFlags & UpdatePanning) {
        const int32_t p = ch->panning;
        const int32_t spread = (128 - (p < 128 ? 128 - p : p - 128)) >> 5;
        v->finalPan = clampInt(p + (ch->envPanning - 32) * spread, 0, 255);
        updateTargets(v);
    }
    if (ch->updateFlags & ResetPosition) {
        // An offset past the playable part: the voice falls silent rather
        // than letting the note that sounds there jump back to its start.
        v->sample = nullptr;
        v->startOffset = 0;
        v->posInt = 0;
        v->posFrac = 0;
    }
    if (ch->updateFlags & UpdatePitch)
        pitchStep(ch, v);
}

void retriggerNote(ChannelState* ch, uint8_t instrument, bool laterTick) {
    // The envelopes start again; volume and panning stay, and so does a
    // release with its fade-out unless the cell brings an instrument number.
    const uint8_t keyOff = ch->keyOff;
    const int32_t fadeVolume = ch->fadeVolume;
    // A number waiting from an earlier row is dropped.
    ch->pendingInstrument = 0;
    if (instrument) {
        ch->instrumentIndex = static_cast<uint8_t>(instrument - 1);
        const InstrumentRecord* ins;
        const NoteCell note = {static_cast<uint8_t>(ch->noteIndex + 1), 0, 0, 0, 0};
        decodeNote(ch, &note, lookupSample(ch, &ins), false);
    }
    const InstrumentRecord* ins;
    restartEnvelopes(ch, lookupSample(ch, &ins));
    if (!instrument) {
        ch->keyOff = keyOff;
        ch->fadeVolume = fadeVolume;
    }
    // The last note decoded, also one a tone portamento slid to.
    ch->period = ch->notePeriod;
    ch->updateFlags |= StartSample | UpdatePitch | UpdateVolume;
    if (laterTick)
        envelopeSteps(ch, ins);
}

namespace {

// A glissando's semitone stays heard on the ticks after the slide, until a
// note or an effect moves the period.
int32_t restingDelta(const ChannelState* ch) {
    return ch->glissando && ch->period == ch->glissandoFrom ? ch->glissandoHeard - ch->period : 0;
}

}  // namespace

void processRow() {
    const NoteCell* cells = rowCells(patternAt(song.orderPos), song.row);
    rowContext.jumpSeen = 0;
    const int32_t count = channelsInUse();
    for (int32_t c = 0; c < count; ++c) {
        ChannelState* ch = &channels[c];
        const NoteCell* cell = &cells[c];
        const uint8_t p = cell->effectParam;
        rowContext.cell = cell;
        ch->volumeDelta = 0;
        ch->periodDelta = 0;
        ch->updateFlags = UpdatePitch | UpdateVolume;
        const InstrumentRecord* ins;
        const SampleRecord* sample =
            noteDelayTick(cell) ? lookupSample(ch, &ins) : takeCell(ch, cell, false, &ins);
        ch->periodDelta = restingDelta(ch);
        // E90 retriggers on the row tick itself, where no note starts anyway.
        if (cell->effect == 0xE && p == 0x90 && !(ch->updateFlags & StartSample)) {
            retriggerNote(ch, cell->instrument, false);
            sample = lookupSample(ch, &ins);
        }
        envelopeSteps(ch, ins);
        if (ch->keyOff)
            fadeStep(ch, ins);
        if (cell->effect >= 1 && cell->effect < RowActionCount && rowActions[cell->effect])
            rowActions[cell->effect](ch, p, p >> 4, p & 15, ins, sample, &song, &rowContext);
        applyChannel(ch, ins, sample);
    }
}

void processTick() {
    const NoteCell* cells = rowCells(patternAt(song.orderPos), song.row);
    const int32_t count = channelsInUse();
    for (int32_t c = 0; c < count; ++c) {
        ChannelState* ch = &channels[c];
        const NoteCell* cell = &cells[c];
        const InstrumentRecord* ins;
        const SampleRecord* sample = lookupSample(ch, &ins);
        ch->volumeDelta = 0;
        ch->periodDelta = restingDelta(ch);
        ch->updateFlags = 0;
        // A release by Kxx comes first: this tick's envelope and fade-out
        // steps already move on from it.
        keyOffStep(ch, cell, ins, &song);
        envelopeSteps(ch, ins);
        if (ch->keyOff) {
            fadeStep(ch, ins);
            ch->updateFlags |= UpdateVolume;
        }
        volumeColumnTick(ch, cell->volumeColumn);
        // Counted afresh in each repeat of a pattern delay: the delayed
        // note starts again in every one.
        const int32_t delay = noteDelayTick(cell);
        if (delay && song.tick % repeatTicks(&song) == delay) {
            // The cell is taken as a row would take it. Without a note of its
            // own it plays the last one again, with a waiting instrument
            // number. The new note's envelopes take their first step at once.
            sample = takeCell(ch, cell, true, &ins);
            ch->periodDelta = restingDelta(ch);
            if (!cell->note && ch->period != 0)
                retriggerNote(ch, ch->pendingInstrument, false);
            if (cell->note || ch->period != 0) {
                sample = lookupSample(ch, &ins);
                envelopeSteps(ch, ins);
            }
        }
        if (cell->effect < TickActionCount && tickActions[cell->effect])
            tickActions[cell->effect](ch, cell, ins, sample, &song);
        // E9x counts the row's ticks as they are, past the speed in a
        // pattern delay (see EEx).
        const int32_t every = cell->effectParam & 15;
        if (cell->effect == 0xE && (cell->effectParam >> 4) == 0x9 && every && song.tick % every == 0)
            retriggerNote(ch, cell->instrument, true);
        // A retrigger may have taken a waiting instrument number.
        if (ch->updateFlags & StartSample)
            sample = lookupSample(ch, &ins);
        applyChannel(ch, ins, sample);
    }
}

// ---- Where the song has been ---------------------------------------------------

namespace {

// One bit for each row of each order entry (a pattern of no rows plays its
// row 0): 256 rows an entry in a table of its own, or, for a song with
// longer patterns (up to 65,535 rows), a table on the player heap with each
// entry's rows after the ones before.
constexpr uint32_t ShortRows = 256;

struct SongWatch {
    uint8_t shortTable[256 * ShortRows / 8];
    uint8_t* wideTable;          // on the heap, rows counted from rowBase; null: shortTable
    uint32_t wideBytes;
    uint32_t rowBase[256];
    bool inLoopRepeat;
    int32_t lastOrderPos;
    int32_t lastRow;
    uint32_t loopStateCount;
    uint64_t loopStates[1024];   // rows met inside pattern loops, with every loop's count
};

SongWatch watch;

uint8_t* rowTable() { return watch.wideTable ? watch.wideTable : watch.shortTable; }

int32_t playedRows(int32_t orderPos) {
    const int32_t rows = patternAt(orderPos)->rowCount;
    return rows > 0 ? rows : 1;
}

// A pattern loop that reaches a row with every loop's start and count as
// they were at an earlier visit repeats forever: the song has come back as
// surely as at its end. (A jump back with a count left over from a finished
// loop does that.)
bool loopStateSeen(int32_t orderPos, int32_t row) {
    uint64_t h = 14695981039346656037u;   // FNV-1a, 64-bit
    const auto mix = [&h](uint32_t v) {
        for (int k = 0; k < 4; ++k, v >>= 8)
            h = (h ^ (v & 0xFF)) * 1099511628211u;
    };
    mix(static_cast<uint32_t>(orderPos));
    mix(static_cast<uint32_t>(row));
    for (int32_t c = 0; c < channelsInUse(); ++c) {
        mix(static_cast<uint32_t>(channels[c].loopRow));
        mix(static_cast<uint32_t>(channels[c].loopCount));
    }
    for (uint32_t i = 0; i < watch.loopStateCount; ++i)
        if (watch.loopStates[i] == h)
            return true;
    if (watch.loopStateCount < sizeof watch.loopStates / sizeof watch.loopStates[0])
        watch.loopStates[watch.loopStateCount++] = h;
    return false;
}

// At every row tick. The repeats of a pattern loop, going back within the
// pattern being played, are not the song coming back; a jump elsewhere ends
// that, even when it leaves a loop unfinished. Once the song has come back,
// the watch starts again from that row: the next pass ends where it comes
// back once more.
bool watchRow(int32_t orderPos, int32_t row) {
    if (!INTROPLAYER_END_WATCH)
        return false;
    // The heap's table has bits for the song's entries alone.
    const int32_t rows = !watch.wideTable ? 256 : orderPos < song.songLength ? playedRows(orderPos) : 0;
    if (orderPos < 0 || orderPos > 255 || row < 0 || row >= rows)
        return false;
    const bool looping = patternLoopRunning();
    if (orderPos != watch.lastOrderPos || !looping)
        watch.inLoopRepeat = false;
    else if (row <= watch.lastRow)
        watch.inLoopRepeat = true;
    const uint32_t bit = (watch.wideTable ? watch.rowBase[orderPos] : orderPos * ShortRows) + static_cast<uint32_t>(row);
    uint8_t& bits = rowTable()[bit >> 3];
    const bool played = bits >> (bit & 7) & 1;
    const bool cameBack = played && (!watch.inLoopRepeat || loopStateSeen(orderPos, row));
    if (cameBack) {
        const bool inLoopRepeat = watch.inLoopRepeat;
        resetWatch();
        watch.inLoopRepeat = inLoopRepeat;
    }
    bits |= static_cast<uint8_t>(1u << (bit & 7));
    watch.lastOrderPos = orderPos;
    watch.lastRow = row;
    return cameBack;
}

}  // namespace

bool prepareWatch() {
    forgetWatch();
    if (!INTROPLAYER_END_WATCH)
        return true;
    uint32_t bits = 0;
    bool wide = false;
    for (int32_t o = 0; o < song.songLength && o < 256; ++o) {
        watch.rowBase[o] = bits;
        bits += static_cast<uint32_t>(playedRows(o));
        wide = wide || playedRows(o) > static_cast<int32_t>(ShortRows);
    }
    if (!wide)
        return true;
    watch.wideBytes = bits / 8 + 1;
    watch.wideTable = static_cast<uint8_t*>(allocZeroed(watch.wideBytes));
    return watch.wideTable != nullptr;
}

void forgetWatch() {
    watch.wideTable = nullptr;
    resetWatch();
}

void resetWatch() {
    if (!INTROPLAYER_END_WATCH)
        return;
    std::memset(rowTable(), 0, watch.wideTable ? watch.wideBytes : sizeof watch.shortTable);
    watch.loopStateCount = 0;
    watch.inLoopRepeat = false;
    watch.lastOrderPos = -1;
    watch.lastRow = -1;
}

void sequencerTick() {
    applyMuteAndSolo();
    if (INTROPLAYER_FOLLOW) {   // what the read-outs tell
        tickStrikes.count = 0;
        song.playedTick = song.tick;
    }
    song.cameBack = false;
    // A global volume change is heard on every channel from the tick after
    // it, also on the one that made it: the classic tracker's recordings
    // hear it so.
    if (song.globalVolume != song.globalVolumeHeard) {
        song.globalVolumeHeard = song.globalVolume;
        for (int32_t c = 0; c < channelsInUse(); ++c)
            if (channels[c].voice)
                pushVolume(&channels[c], channels[c].voice);
    }
    if (song.tick == 0) {
        if (song.pendingOrder >= 0) {
            song.orderPos = song.pendingOrder;
            song.loopExitRow = 0;
        }
        if (song.pendingRow >= 0)
            song.row = song.pendingRow;
        song.pendingOrder = -1;
        song.pendingRow = -1;
        // A break or loop row is checked only against the pattern it was
        // given in; one the entered pattern lacks plays that pattern's row 0,
        // keeping the order the song asked for.
        const PatternSlot* pattern = patternAt(song.orderPos);
        if (song.row < 0 || song.row >= pattern->rowCount)
            song.row = 0;
        if (INTROPLAYER_FOLLOW && rowStarted)   // for tests and tools that follow
            rowStarted(song.orderPos, song.row);
        // Played once, the song ends where it would come back: its voices
        // ramp out and no tick follows.
        song.cameBack = watchRow(song.orderPos, song.row);
        if (song.cameBack && playOnce.load(std::memory_order_relaxed)) {
            song.ended = true;
            for (Voice& v : voices) {
                v.mixVolume = 0;
                updateTargets(&v);
            }
            return;
        }
        processRow();
        // The repeats of EEx last as long as the row at the speed it ends
        // with, also when an F beside it changes the speed.
        song.patternDelayTicks *= song.speed + song.rowExtraTicks;
        song.patternDelayTicks += song.rowExtraTicks;
        const int32_t next = song.pendingRow >= 0 ? song.pendingRow : song.row + 1;
        if (next < pattern->rowCount) {
            song.pendingRow = next;
        } else {
            song.pendingRow = song.loopExitRow;
            int32_t order = song.orderPos + 1;
            if (order >= song.songLength) {
                order = song.restartPosition;
                if (order >= song.songLength)
                    order = 0;
            }
            song.pendingOrder = order;
        }
    } else {
        processTick();
    }
    song.tick += 1;
    if (song.tick >= song.speed + song.patternDelayTicks) {
        song.tick = 0;
        song.patternDelayTicks = 0;
        song.rowExtraTicks = 0;
    }
}

}  // namespace introplayer
