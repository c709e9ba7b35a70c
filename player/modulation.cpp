// Instrument-driven modulation and pitch. Everything whose result reaches the
// output (powers of two, the auto-vibrato sine) is computed with + - * / in
// double or read from exact tables, never with libm's transcendental
// functions, so the 64-bit and the 32-bit SSE2 builds agree bit for bit.
#include "modulation.h"

#include <cstring>

#include "channel.h"
#include "mixer.h"
#include "module.h"

namespace introplayer {

namespace {

constexpr double SemitoneScale = 13.375;
constexpr float OneTwelfth = 1.0f / 12.0f;        // single precision on purpose
constexpr float OneOver768 = 1.0f / 768.0f;       // single precision on purpose
constexpr double LinearFrequencyFactor = 625.2710571289062;
constexpr int64_t AmigaClock = 14317056;
constexpr int64_t OutputRate = 44100;             // frames per second
constexpr int64_t LowestFrequency = 100;          // Hz
// The mixer's step must stay below 256 sample frames per output frame.
constexpr int64_t HighestFrequency = 256 * OutputRate - 1;   // Hz
constexpr int32_t EnvelopePointMax = 12;
constexpr int32_t EnvelopeValueMax = 64;

// Notes outside this range only come from wrapped note arithmetic; clamping
// keeps the Amiga periods between about 14 and 29,000.
constexpr int32_t AmigaNoteLowest = -1;
constexpr int32_t AmigaNoteHighest = 131;

// round(64 * sin(p * pi / 128)) for p = 0..64; the other three quarters
// follow by symmetry. Exact integers, so the builds cannot disagree.
constexpr int8_t QuarterSine64[65] = {
    0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23, 24,
    26, 27, 29, 30, 32, 33, 34, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46,
    47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 56, 57, 58, 59, 59, 60, 60,
    61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64, 64};

int32_t sine64(int32_t p)
{
    p &= 255;
    if (p <= 64) return QuarterSine64[p];
    if (p <= 128) return QuarterSine64[128 - p];
    if (p <= 192) return -QuarterSine64[p - 128];
    return -QuarterSine64[256 - p];
}

// 2^n for an integer n in [-1022, 1023], built from its bit pattern (exact).
double powerOfTwo(int32_t n)
{
    const uint64_t bits = static_cast<uint64_t>(n + 1023) << 52;
    double result;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

// Coefficients (ln 2)^k / k! of the exponential series of f * ln 2, folded
// by the compiler with exact IEEE arithmetic.
struct Exp2Series {
    double c[15];
    constexpr Exp2Series() : c()
    {
        constexpr double Ln2 = 0.6931471805599453;
        c[0] = 1.0;
        for (int k = 1; k < 15; ++k) c[k] = c[k - 1] * Ln2 / k;
    }
};
constexpr Exp2Series exp2Series;

// 2^f for |f| <= 0.5 by the series to degree 14: the small high-order terms
// in Estrin's scheme (short dependency chains, as this runs for every channel
// on every tick), the large low-order ones in Horner form for accuracy. The
// error stays within about one unit in the last place.
double exp2Fraction(double f)
{
    const double* c = exp2Series.c;
    const double f2 = f * f;
    const double f4 = f2 * f2;
    const double f8 = f4 * f4;
    const double high = ((c[5] + c[6] * f) + (c[7] + c[8] * f) * f2) +
                        ((c[9] + c[10] * f) + (c[11] + c[12] * f) * f2) * f4 +
                        (c[13] + c[14] * f) * f8;
    return c[0] + f * (c[1] + f * (c[2] + f * (c[3] + f * (c[4] + f * high))));
}

// Floor for the magnitudes used here (|x| < 2^31); exact. A 32-bit
// conversion: the 32-bit build has no 64-bit one of its own.
double floorExact(double x)
{
    const double t = static_cast<double>(static_cast<int32_t>(x));
    return t > x ? t - 1.0 : t;
}

// Nearest integer, halves up, for the values here: frequencies and periods,
// all below 2^31.
int32_t roundToInt(double x) { return static_cast<int32_t>(floorExact(x + 0.5)); }

// 2^x as 2^n * 2^f with n the nearest integer to x.
double exp2Deterministic(double x)
{
    if (!(x > -1000.0)) x = -1000.0;   // also catches NaN
    if (x > 1000.0) x = 1000.0;
    const double n = floorExact(x + 0.5);
    return powerOfTwo(static_cast<int32_t>(n)) * exp2Fraction(x - n);
}

struct EnvelopeView {
    const EnvelopePoint* points;
    int32_t count;
    uint8_t sustain;
    uint8_t loopStart;
    uint8_t loopEnd;
    uint8_t flags;
};

// Where a channel keeps one envelope's state: fixed tables of member
// offsets, nothing to build per call.
struct EnvelopeFields {
    int32_t ChannelState::*tick;
    int32_t ChannelState::*point;
    int32_t ChannelState::*slope;
    int32_t ChannelState::*value;
    int32_t ChannelState::*output;
    uint8_t ChannelState::*done;
};
constexpr EnvelopeFields VolumeFields = {&ChannelState::volEnvTick,  &ChannelState::volEnvPoint,
                                         &ChannelState::volEnvSlope, &ChannelState::volEnvValue,
                                         &ChannelState::envVolume,   &ChannelState::volEnvDone};
constexpr EnvelopeFields PanningFields = {&ChannelState::panEnvTick,  &ChannelState::panEnvPoint,
                                          &ChannelState::panEnvSlope, &ChannelState::panEnvValue,
                                          &ChannelState::envPanning,  &ChannelState::panEnvDone};

// Envelope values are 0..64; larger stored values are taken as 64 so the
// 16.16 arithmetic cannot overflow.
int32_t pointY(const EnvelopeView& envelope, int32_t index)
{
    const int32_t y = envelope.points[index].y;
    return y > EnvelopeValueMax ? EnvelopeValueMax : y;
}

int32_t pointX(const EnvelopeView& envelope, int32_t index) { return envelope.points[index].x; }

void stepEnvelope(ChannelState* channel, const EnvelopeView& envelope, const EnvelopeFields& f)
{
    int32_t& tick = channel->*f.tick;
    int32_t& next = channel->*f.point;   // the point met next
    int32_t& value = channel->*f.value;
    int32_t& output = channel->*f.output;
    uint8_t& done = channel->*f.done;
    // The position stops at the last point: another instrument's envelope
    // taken over later goes on from there.
    if (done) return;
    if (next >= envelope.count || next < 0) {
        output = value >> 16;
        tick += 1;
        return;
    }
    if (tick != pointX(envelope, next)) {
        // Points whose x values do not increase are passed without being met;
        // the value is kept within the envelope range instead of running away.
        // Values and slopes stay within 64 << 16 in size: the sum fits 32 bits.
        value += channel->*f.slope;
        if (value < 0) value = 0;
        if (value > (EnvelopeValueMax << 16)) value = EnvelopeValueMax << 16;
        output = value >> 16;
        tick += 1;
        return;
    }
    // A loop whose start names no stored point is ignored rather than read.
    if ((envelope.flags & EnvelopeLoop) && next == envelope.loopEnd && envelope.loopStart < envelope.count) {
        next = envelope.loopStart;
        tick = pointX(envelope, next);
    }
    const int32_t point = next;
    output = pointY(envelope, point);
    if (point >= envelope.count - 1) {
        done = 1;
        return;
    }
    if ((envelope.flags & EnvelopeSustain) && point == envelope.sustain && channel->keyOff == 0)
        return;
    const int32_t y0 = pointY(envelope, point);
    const int32_t y1 = pointY(envelope, point + 1);
    const int32_t dx = pointX(envelope, point + 1) - pointX(envelope, point);
    value = y0 * 65536;
    channel->*f.slope = dx != 0 ? (y1 - y0) * 65536 / dx : 0;
    next = point + 1;
    output = value >> 16;
    tick += 1;
}

// Takes an envelope over at the channel's position: the value it would have
// given on the last step and the point it meets next, so that the next step
// gives the position's value as if this envelope had run from the start.
void seatEnvelope(ChannelState* channel, const EnvelopeView& envelope, const EnvelopeFields& f)
{
    int32_t& value = channel->*f.value;
    int32_t& output = channel->*f.output;
    uint8_t& done = channel->*f.done;
    const int32_t x = channel->*f.tick;   // the position the next step gives
    done = 0;
    int32_t next = 0;
    while (next < envelope.count && pointX(envelope, next) < x) next += 1;
    channel->*f.point = next;
    if (next == 0) return;   // at or before the first point: as from the start
    if (next == envelope.count) {
        channel->*f.point = envelope.count - 1;
        value = pointY(envelope, envelope.count - 1) * 65536;
        output = value >> 16;
        done = 1;
        return;
    }
    const int32_t x0 = pointX(envelope, next - 1);
    const int32_t dx = pointX(envelope, next) - x0;
    const int32_t slope = (pointY(envelope, next) - pointY(envelope, next - 1)) * 65536 / dx;
    channel->*f.slope = slope;
    value = pointY(envelope, next - 1) * 65536 + (x - 1 - x0) * slope;
    output = value >> 16;
}

// Out of line, as is the next: built once, not at each caller.
[[gnu::noinline]] EnvelopeView volumeEnvelopeOf(const InstrumentRecord* instrument)
{
    const int32_t count = instrument->volumePointCount;
    return {instrument->volumeEnvelope, count > EnvelopePointMax ? EnvelopePointMax : count,
            instrument->volumeSustain,  instrument->volumeLoopStart,
            instrument->volumeLoopEnd,  instrument->volumeEnvelopeFlags};
}

[[gnu::noinline]] EnvelopeView panningEnvelopeOf(const InstrumentRecord* instrument)
{
    const int32_t count = instrument->panningPointCount;
    return {instrument->panningEnvelope, count > EnvelopePointMax ? EnvelopePointMax : count,
            instrument->panningSustain,  instrument->panningLoopStart,
            instrument->panningLoopEnd,  instrument->panningEnvelopeFlags};
}

}  // namespace

void seatEnvelopes(ChannelState* channel, const InstrumentRecord* instrument)
{
    if (instrument->volumeEnvelopeFlags & EnvelopeOn)
        seatEnvelope(channel, volumeEnvelopeOf(instrument), VolumeFields);
    if (instrument->panningEnvelopeFlags & EnvelopeOn)
        seatEnvelope(channel, panningEnvelopeOf(instrument), PanningFields);
}

void setVolumeEnvelopePosition(ChannelState* channel, const InstrumentRecord* instrument, int32_t position)
{
    // Without an envelope the position is still kept: another instrument's
    // envelope taken over by the next note goes on from it.
    channel->volEnvTick = position;
    if (!(instrument->volumeEnvelopeFlags & EnvelopeOn)) return;
    channel->volEnvTick = position + 1;
    const EnvelopeView envelope = volumeEnvelopeOf(instrument);
    seatEnvelope(channel, envelope, VolumeFields);
    // Landing on the sustain point of a note still held, it holds there.
    if ((envelope.flags & EnvelopeSustain) && channel->keyOff == 0 && envelope.sustain < envelope.count &&
        pointX(envelope, envelope.sustain) == position) {
        channel->volEnvPoint = envelope.sustain;
        channel->volEnvTick = position;
        channel->volEnvDone = 0;
        channel->envVolume = pointY(envelope, envelope.sustain);
    }
}

double semitonePower(double x)
{
    return SemitoneScale * exp2Deterministic(x * static_cast<double>(OneTwelfth));
}

double scaledPow2(double x) { return SemitoneScale * exp2Deterministic(x); }

int32_t amigaPeriod(int32_t realNote, int32_t finetune)
{
    if (realNote < AmigaNoteLowest) realNote = AmigaNoteLowest;
    if (realNote > AmigaNoteHighest) realNote = AmigaNoteHighest;
    const int32_t x0 = 132 - realNote;
    const int32_t p0 = static_cast<int32_t>(roundToInt(semitonePower(x0)));
    const int32_t x1 = finetune >= 0 ? x0 - 1 : x0 + 1;
    const int32_t p1 = static_cast<int32_t>(roundToInt(semitonePower(x1)));
    const int32_t d = finetune >= 0 ? p1 - p0 : p0 - p1;
    return p0 + ((finetune * d) >> 7);
}

int32_t nearestAmigaNote(int32_t period, int32_t finetune)
{
    // Periods fall as notes rise: the first note at or below the period,
    // or the one before it when the period lies at or above the half
    // semitone between them (its period in the finetune table, not the mean
    // of the two).
    int32_t low = AmigaNoteLowest, high = AmigaNoteHighest;
    while (low < high) {
        const int32_t middle = low + (high - low) / 2;
        if (amigaPeriod(middle, finetune) <= period) high = middle;
        else low = middle + 1;
    }
    const int32_t half = finetune + 64 <= 127 ? amigaPeriod(low - 1, finetune + 64) : amigaPeriod(low, finetune - 64);
    if (low > AmigaNoteLowest && period >= half)
        return low - 1;
    return low;
}

void resetChannelForSample(ChannelState* channel, const SampleRecord* sample)
{
    channel->volume = sample ? sample->volume : 0;
    channel->panning = sample ? sample->panning : 0;
    channel->envVolume = 64;
    channel->envPanning = 32;
    channel->fadeVolume = FadeStart;
    channel->volEnvTick = 0;
    channel->volEnvPoint = 0;
    channel->volEnvSlope = 0;
    channel->panEnvPoint = 0;
    channel->panEnvTick = 0;
    channel->panEnvSlope = 0;
    channel->autoVibSweep = 0;
    channel->autoVibPos = 0;
    channel->keyOff = 0;
    channel->volEnvDone = 0;
    channel->panEnvDone = 0;
    channel->panEnvHeld = 0;
    channel->tremorPos = 0;
    channel->tremorMute = 0;
    // The vibrato and tremolo positions restart with a new note (the note
    // decode), not with an instrument number alone.
    channel->updateFlags |= UpdateVolume | UpdatePanning;
}

void releaseChannel(ChannelState* channel, const InstrumentRecord* instrument)
{
    // Held at 255 so a long run of key-offs never wraps back to "not released".
    if (channel->keyOff < 255) channel->keyOff += 1;
    if (!(instrument->volumeEnvelopeFlags & EnvelopeOn)) channel->volume = 0;
    channel->updateFlags |= UpdateVolume;
}

void envelopeStep(ChannelState* channel, const InstrumentRecord* instrument, uint8_t which)
{
    const bool volume = which == UpdateVolume;
    channel->updateFlags |= volume ? UpdateVolume : UpdatePanning;
    if (!instrument) return;
    // Only twelve points are stored, whatever count the file gives.
    if (volume) {
        stepEnvelope(channel, volumeEnvelopeOf(instrument), VolumeFields);
        return;
    }
    // A panning envelope held at its sustain point when the note is
    // released stays there for good; the volume envelope goes on.
    const EnvelopeView envelope = panningEnvelopeOf(instrument);
    if (channel->panEnvHeld && channel->keyOff)
        channel->panEnvDone = 1;
    const bool atSustain = (envelope.flags & EnvelopeSustain) && envelope.sustain < envelope.count &&
                           channel->panEnvPoint == envelope.sustain &&
                           channel->panEnvTick == pointX(envelope, envelope.sustain);
    const int32_t tick = channel->panEnvTick;
    stepEnvelope(channel, envelope, PanningFields);
    // Met the point and stayed: the step held there.
    channel->panEnvHeld = atSustain && !channel->keyOff && !channel->panEnvDone && channel->panEnvTick == tick;
}

void autoVibratoStep(ChannelState* channel, const InstrumentRecord* instrument)
{
    channel->updateFlags |= UpdatePitch;
    if (!instrument) return;
    // Position and sweep move on before they are read: a note's first tick
    // already sounds one step in.
    const int32_t sweep = instrument->vibratoSweep;
    channel->autoVibSweep = channel->autoVibSweep + 1 < sweep ? channel->autoVibSweep + 1 : sweep;
    channel->autoVibPos = (channel->autoVibPos + instrument->vibratoRate) & 255;
    const int32_t p = channel->autoVibPos;
    int32_t w;
    switch (instrument->vibratoType) {
    case 0: w = sine64(p); break;
    case 1: w = p < 128 ? 64 : -64; break;
    case 2: w = (128 - ((p - 128) & 255)) >> 1; break;
    default: w = (128 - ((-128 - p) & 255)) >> 1; break;
    }
    int32_t d = w * instrument->vibratoDepth;
    if (sweep != 0) d = d * channel->autoVibSweep / sweep;
    channel->periodDelta -= d / 64;   // toward zero: the lower half no deeper than the upper
}

void pitchStep(ChannelState* channel, Voice* voice)
{
    const int64_t sum = static_cast<int64_t>(channel->period) + channel->periodDelta;
    if (sum == 0) return;
    int64_t frequency;
    if (linearPeriods()) {
        // Beyond these octaves the frequency is clamped below anyway; the
        // bounds keep the product well inside 64 bits.
        double octaves = static_cast<double>(4608 - sum) * static_cast<double>(OneOver768);
        if (octaves > 16.0) octaves = 16.0;
        if (octaves < -64.0) octaves = -64.0;
        frequency = roundToInt(scaledPow2(octaves) * LinearFrequencyFactor);
    } else {
        // 32-bit division (the 32-bit build has no 64-bit divide instruction):
        // a sum beyond 32 bits gives 0 either way.
        const int64_t limit = INT32_MAX;
        frequency = sum > limit || sum < -limit ? 0 : int32_t(AmigaClock) / int32_t(sum);
    }
    if (frequency < LowestFrequency) frequency = LowestFrequency;
    if (frequency > HighestFrequency) frequency = HighestFrequency;
    // The step f / 44100 in 32.32: the fraction by long division in two
    // 16-bit digits, exact, in 32-bit arithmetic.
    const uint32_t f = static_cast<uint32_t>(frequency);
    const uint32_t rate = static_cast<uint32_t>(OutputRate);
    const uint32_t rest = f % rate;
    const uint32_t high = (rest << 16) / rate;
    const uint32_t low = (((rest << 16) % rate) << 16) / rate;
    voice->stepInt = f / rate;
    voice->stepFrac = (high << 16) | low;
}

}  // namespace introplayer
