// Temporary stand-ins for the mixer's and modulation definitions, so the
// sequencer tests link before they land. Removed when they are merged.
#include <cmath>

#include "channel.h"
#include "mixer.h"
#include "modulation.h"
#include "module.h"


Voice voices[VoiceCount];
ChannelState channels[ChannelCountMax];
Voice* twinVoice(Voice* v) { return v->voiceIndex < 32 ? v + 32 : v - 32; }
void mixVoices(float*, float*) {}

double semitonePower(double x) { return 13.375 * std::pow(2.0, x / 12.0); }
double scaledPow2(double x) { return 13.375 * std::pow(2.0, x); }

int32_t amigaPeriod(int32_t realNote, const SampleRecord* sample) {
    const int32_t x0 = 132 - realNote;
    const int32_t p0 = int32_t(std::lround(semitonePower(x0)));
    const int32_t ft = sample->finetune;
    const int32_t p1 = int32_t(std::lround(semitonePower(ft >= 0 ? x0 - 1 : x0 + 1)));
    const int32_t d = ft >= 0 ? p1 - p0 : p0 - p1;
    return p0 + ((ft * d) >> 7);
}

void resetChannelForSample(ChannelState* c, const SampleRecord* s) {
    c->volume = s->volume;
    c->panning = s->panning;
    c->envVolume = 64;
    c->envPanning = 32;
    c->fadeVolume = 65536;
    c->volEnvTick = c->volEnvPoint = c->volEnvSlope = 0;
    c->panEnvPoint = c->panEnvTick = c->panEnvSlope = 0;
    c->autoVibSweep = c->autoVibPos = 0;
    c->keyOff = c->volEnvDone = c->panEnvDone = c->tremorCount = 0;
    if (int8_t(c->waveControl) < 0x4F)
        c->tremPos = 0;
    if (!(c->waveControl & 12))
        c->vibPos = 0;
    c->updateFlags |= UpdateVolume | UpdatePanning;
}

void envelopeStep(ChannelState* c, const InstrumentRecord* ins, uint8_t which) {
    const bool vol = which == UpdateVolume;
    const EnvelopePoint* pts = vol ? ins->volumeEnvelope : ins->panningEnvelope;
    const int32_t count = vol ? ins->volumePointCount : ins->panningPointCount;
    const int32_t sus = vol ? ins->volumeSustain : ins->panningSustain;
    const int32_t ls = vol ? ins->volumeLoopStart : ins->panningLoopStart;
    const int32_t le = vol ? ins->volumeLoopEnd : ins->panningLoopEnd;
    const int32_t flags = vol ? ins->volumeEnvelopeFlags : ins->panningEnvelopeFlags;
    int32_t& tick = vol ? c->volEnvTick : c->panEnvTick;
    int32_t& point = vol ? c->volEnvPoint : c->panEnvPoint;
    int32_t& slope = vol ? c->volEnvSlope : c->panEnvSlope;
    int32_t& value = vol ? c->volEnvValue : c->panEnvValue;
    int32_t& out = vol ? c->envVolume : c->envPanning;
    uint8_t& done = vol ? c->volEnvDone : c->panEnvDone;
    c->updateFlags |= which;
    if (done)
        return;
    if (point >= count) { out = value >> 16; tick += 1; return; }
    if (tick != pts[point].x) { value += slope; out = value >> 16; tick += 1; return; }
    if ((flags & 4) && point == le) { point = ls; tick = pts[point].x; }
    out = pts[point].y;
    if (point == count - 1) { done = 1; return; }
    if ((flags & 2) && point == sus && !c->keyOff) return;
    value = pts[point].y * 65536;
    const int32_t dx = pts[point + 1].x - pts[point].x;
    slope = dx ? (pts[point + 1].y - pts[point].y) * 65536 / dx : 0;
    point += 1;
    out = value >> 16;
    tick += 1;
}

void autoVibratoStep(ChannelState* c, const InstrumentRecord*) { c->updateFlags |= UpdatePitch; }

void pitchStep(ChannelState* c, Voice* v) {
    if (c->period + c->periodDelta == 0)
        return;
    int64_t f = (song.flags & 1)
        ? std::llround(scaledPow2((4608 - c->period + c->periodDelta) * (1.0 / 768)) * 625.2710571289062)
        : 14317056 / (c->period + c->periodDelta);
    if (f < 100) f = 100;
    v->stepInt = uint32_t(f / 44100);
    v->stepFrac = uint32_t((uint64_t(f % 44100) << 32) / 44100);
}
