// The sequencer: one tick of the song at a time. Tick 0 of a row decodes the
// row's cells and runs the row actions; later ticks run the tick actions; each
// tick ends with the apply step that pushes every channel into its voice.
// Runs on the output thread only; nothing here allocates.
#include "sequencer.h"

#include <cmath>

#include "channel.h"
#include "effects.h"
#include "mixer.h"
#include "modulation.h"
#include "module.h"

void (*rowStarted)(int32_t orderPos, int32_t row) = nullptr;

namespace {

RowContext rowContext;

// What the sequencer reads when the song lacks something: a pattern slot the
// order list names but the table does not hold, a row a pattern does not
// hold, an instrument the song does not have. All silent.
const PatternSlot missingPattern = {64, 0, nullptr};
const NoteCell emptyRow[ChannelCountMax] = {};
const InstrumentRecord silentInstrument = {};

const PatternSlot* patternAt(int32_t orderPos) {
    if (orderPos < 0 || orderPos >= 256 || !song.patternTable)
        return &missingPattern;
    const uint32_t index = song.orderTable[orderPos];
    if (index >= song.patternSlotCount)
        return &missingPattern;
    return &song.patternTable[index];
}

// The cells of one row, one per channel; a silent row when the pattern has no
// cells there.
const NoteCell* rowCells(const PatternSlot* pattern, int32_t row) {
    if (!pattern->cells || row < 0 || row >= pattern->rowCount)
        return emptyRow;
    return pattern->cells + row * song.channelCount;
}

int32_t channelsInUse() {
    const int32_t count = song.channelCount;
    return count < 0 ? 0 : count > ChannelCountMax ? ChannelCountMax : count;
}

bool linearPeriods() { return (song.flags & 1) != 0; }

int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// Targets from the voice's mixVolume and finalPan.
void updateTargets(Voice* v) {
    v->targetRight = v->mixVolume * v->finalPan / 255;
    v->targetLeft = v->mixVolume * (255 - v->finalPan) / 255;
}

void decodeNote(ChannelState* ch, uint8_t note, const SampleRecord* sample, bool tonePorta) {
    // Note plus relative note wraps in 8 bits; a sum of 0 gives -1 here.
    const int32_t realNote = ((note + sample->relativeNote) & 255) - 1;
    ch->realNote = static_cast<uint8_t>(realNote);
    if (linearPeriods())
        ch->notePeriod = 7680 - 64 * realNote - sample->finetune / 2;
    else
        ch->notePeriod = amigaPeriod(realNote, sample);
    if (!tonePorta)
        ch->period = ch->notePeriod;
    ch->updateFlags |= StartSample;
}

void fadeStep(ChannelState* ch, const InstrumentRecord* ins) {
    ch->fadeVolume -= ins->fadeout;
    if (ch->fadeVolume < 0)
        ch->fadeVolume = 0;
}

}  // namespace

void setTempo(uint32_t bpm) {
    uint32_t frames = bpm == 0 ? 110250 : 110250 / bpm;
    // A tick of at least one frame, so the renderer always moves on.
    song.tickFrames = static_cast<int32_t>(frames == 0 ? 1 : frames);
}

const SampleRecord* lookupSample(const ChannelState* ch, const InstrumentRecord** instrument) {
    const uint32_t count = song.instrumentCount & 0xFF;
    if (!song.instrumentTable || ch->instrumentIndex >= count) {
        *instrument = &silentInstrument;
        return &emptySample;
    }
    const InstrumentRecord* ins = &song.instrumentTable[ch->instrumentIndex];
    *instrument = ins;
    const uint32_t number = ch->noteIndex < 96 ? ins->sampleMap[ch->noteIndex] : 16;
    if (number < 16 && ins->samples[number])
        return ins->samples[number];
    return &emptySample;
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
        v->posFrac = 0;
        v->backward = 0;
        v->currentRight = 0;
        v->currentLeft = 0;
        v->rampFramesLeft = 0;
        v->posInt = static_cast<uint32_t>(v->startOffset);
        v->startOffset = 0;
    }
    ch->volume = clampInt(ch->volume, 0, 64);
    if (ch->updateFlags & UpdateVolume) {
        const double product = double(ch->volume + ch->volumeDelta) * ch->envVolume *
                               ch->fadeVolume * song.globalVolume * 255.0 / 34359738368.0;
        // Kept within the voice gain range even for envelope values the
        // loader let through above 64.
        v->mixVolume = clampInt(static_cast<int32_t>(std::lround(product)), 0, 128);
        updateTargets(v);
    }
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

void processRow() {
    const NoteCell* cells = rowCells(patternAt(song.orderPos), song.row);
    rowContext.jumpSeen = 0;
    const int32_t count = channelsInUse();
    for (int32_t c = 0; c < count; ++c) {
        ChannelState* ch = &channels[c];
        const NoteCell* cell = &cells[c];
        const uint8_t p = cell->effectParam;
        const uint8_t x = p >> 4;
        const uint8_t y = p & 15;
        const bool tonePorta = cell->effect == 3 || cell->effect == 5;
        const bool hasNote = cell->note >= 1 && cell->note <= 96;
        if (!tonePorta) {
            if (cell->instrument)
                ch->instrumentIndex = static_cast<uint8_t>(cell->instrument - 1);
            if (hasNote)
                ch->noteIndex = static_cast<uint8_t>(cell->note - 1);
        }
        const InstrumentRecord* ins;
        const SampleRecord* sample = lookupSample(ch, &ins);
        rowContext.savedPeriod = ch->period;
        rowContext.savedVolume = ch->volume;
        rowContext.savedPanning = ch->panning;
        // The last tremolo offset stays in the volume once the tremolo ends.
        if (cell->effect != 7 && ch->lastEffect == 7)
            ch->volume += ch->volumeDelta;
        ch->lastEffect = cell->effect;
        ch->volumeDelta = 0;
        ch->periodDelta = 0;
        ch->updateFlags = UpdatePitch | UpdateVolume;
        if (hasNote)
            decodeNote(ch, cell->note, sample, tonePorta);
        if (cell->instrument)
            resetChannelForSample(ch, sample);
        volumeColumnRow(ch, cell->volumeColumn);
        // Held at 255 so a long run of key-offs never wraps back to "not released".
        if ((cell->note >= 97 || cell->effect == 20) && ch->keyOff < 255)
            ch->keyOff += 1;
        if (ins->volumeEnvelopeFlags & EnvelopeOn)
            envelopeStep(ch, ins, UpdateVolume);
        else if (ch->keyOff)
            ch->envVolume = 0;
        if (ins->panningEnvelopeFlags & EnvelopeOn)
            envelopeStep(ch, ins, UpdatePanning);
        if (ch->keyOff)
            fadeStep(ch, ins);
        if (cell->effect >= 1 && cell->effect < RowActionCount && rowActions[cell->effect])
            rowActions[cell->effect](ch, p, x, y, ins, sample, &song, &rowContext);
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
        ch->periodDelta = 0;
        ch->updateFlags = 0;
        if (ins->volumeEnvelopeFlags & EnvelopeOn)
            envelopeStep(ch, ins, UpdateVolume);
        if (ins->panningEnvelopeFlags & EnvelopeOn)
            envelopeStep(ch, ins, UpdatePanning);
        if (ch->keyOff) {
            fadeStep(ch, ins);
            ch->updateFlags |= UpdateVolume;
        }
        volumeColumnTick(ch, cell->volumeColumn);
        if (cell->effect < TickActionCount && tickActions[cell->effect])
            tickActions[cell->effect](ch, cell, ins, sample, &song);
        applyChannel(ch, ins, sample);
    }
}

void sequencerTick() {
    if (song.tick == 0) {
        if (song.pendingOrder >= 0)
            song.orderPos = song.pendingOrder;
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
        if (rowStarted)
            rowStarted(song.orderPos, song.row);
        processRow();
        const int32_t next = song.pendingRow >= 0 ? song.pendingRow : song.row + 1;
        if (next < pattern->rowCount) {
            song.pendingRow = next;
        } else {
            song.pendingRow = 0;
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
    }
}
