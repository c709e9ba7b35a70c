// The mixer: resamples the 64 voices into the float mix area with linear
// interpolation, 5 ms volume ramps and forward, ping-pong or one-shot
// loop ends. Each voice's span is cut into segments that end at the span's
// end, a ramp's end or the next loop boundary, so the per-frame work has no
// tests at all.
//
// Positions are handled as signed 32.32 values (integer sample frames, then
// the fraction in units of 2^-32). Whatever the loop points, offsets or steps,
// a mixed frame only reads data[-1] .. data[length]: the slot before the
// first sample (kept zero by the loader) and the interpolation pad. Odd values
// are clamped once per voice and segment, never per frame.
#include "mixer.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "introplayer.h"   // the build's switches
#include "module.h"

namespace introplayer {

Voice voices[VoiceCount];

// Four frames at a time in SSE2 lanes, or (the size profile) one by one to
// the same sums.
#if defined(__SSE2__) && INTROPLAYER_SIMD
#define MIX_LANES 1
#else
#define MIX_LANES 0
#endif

namespace {

constexpr int64_t FrameOne = int64_t(1) << 32;           // one sample frame, 32.32
constexpr int64_t Epsilon = 1;                           // 2^-32 frames
constexpr float RampScale = 1.0f / (255.0f * RampFrames);
constexpr float FractionScale = 1.0f / 2147483648.0f;    // 2^-31
constexpr uint32_t DivisorFallback = 97391;
constexpr uint64_t FarBoundaryFrames = uint64_t(1) << 24;
constexpr uint64_t StepLimit = (uint64_t(256) << 32) - 1;   // below 256 frames per frame
// Longer samples cannot be allocated anyway; the bound keeps twice a loop
// length in 32.32 within a signed 64-bit value.
constexpr uint32_t LengthLimit = uint32_t(1) << 30;
// Frame counts times steps must stay within 64 bits.
constexpr uint32_t ChunkFrames = uint32_t(1) << 20;
// Boundaries met without a frame in between; more means the state is beyond
// repair and the voice stops.
constexpr int32_t ZeroSegmentLimit = 64;

// The voice's sample, with its loop clamped to the stored data.
// Frame counts are below LengthLimit, so they and a position's integer part
// fit 32 bits: the 32-bit build compares and shifts them in one register.
struct Region {
    const int16_t* data;
    int32_t length;        // integer frames
    int32_t loopStart;     // integer frames
    int32_t loopEnd;       // integer frames; the end of the playable region
    int32_t loopLength;    // integer frames; 0 without a loop
    uint8_t loopType;      // LoopForward, LoopPingPong, or LoopNone for every other end
};

// Integer frames as a 32.32 position.
inline int64_t framesAt(int32_t frames) { return static_cast<int64_t>(frames) << 32; }
// A position's integer frames; positions stay between -1 frame and a step
// past the sample's end, far inside 32 bits.
inline int32_t framesOf(int64_t pos) { return static_cast<int32_t>(pos >> 32); }

bool setUpRegion(const SampleRecord* sample, Region* region)
{
    if (!sample->data || sample->length == 0 || sample->length >= LengthLimit) return false;
    const uint32_t length = sample->length;
    // Loop fields beyond the length are cut before they are added.
    const uint32_t start = sample->loopStart < length ? sample->loopStart : length;
    const uint32_t end = start + (sample->loopLength < length - start ? sample->loopLength : length - start);
    region->data = sample->data;
    region->length = static_cast<int32_t>(length);
    const bool loops = (sample->loopType == LoopForward || sample->loopType == LoopPingPong) && start < end;
    region->loopType = loops ? sample->loopType : static_cast<uint8_t>(LoopNone);
    region->loopStart = loops ? static_cast<int32_t>(start) : 0;
    region->loopEnd = static_cast<int32_t>(end);
    region->loopLength = loops ? static_cast<int32_t>(end - start) : 0;
    return true;
}

// Ping-pong reflections. Two reflections in a row move the position by
// exactly twice the loop length, so a position far outside the loop is
// folded back with one remainder instead of a reflection per loop length.
void reflectAtStart(const Region& region, int64_t* pos, uint32_t* backward)
{
    const int64_t start = framesAt(region.loopStart);
    const int64_t length = framesAt(region.loopLength);
    int64_t over = start - *pos;
    if (over < 0) over = 0;
    int64_t r = over - Epsilon;
    if (r >= length) {
        uint64_t r64;
        divide64(static_cast<uint64_t>(r), static_cast<uint64_t>(2 * length), &r64);
        r = static_cast<int64_t>(r64);
    }
    if (r < length) {
        *pos = start + r;
        *backward = 0;
    } else {
        *pos = framesAt(region.loopEnd) - (r - length) - Epsilon;
        *backward = 1;
    }
}

void reflectAtEnd(const Region& region, int64_t end, int64_t* pos, uint32_t* backward)
{
    int64_t over = *pos - end;
    if (over < 0) over = 0;   // a count that fell a hair short of the end
    int64_t p = end - over - Epsilon;
    if (framesOf(p) >= region.loopStart) {
        *pos = p;
        *backward = 1;
    } else {
        reflectAtStart(region, &p, backward);
        *pos = p;
    }
}

// One interpolated sample value at a 32.32 position.
inline float sampleAt(const int16_t* data, int64_t pos)
{
    const int16_t* s = data + (pos >> 32);
    const float t = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(pos) >> 1)) *
                    FractionScale;
    return static_cast<float>(s[0]) + static_cast<float>(s[1] - s[0]) * t;
}

#if MIX_LANES
// The position fractions of four frames in a row; they advance by four steps'
// fraction, modulo 2^32 like the low half of the position itself.
__m128i firstFractions(int64_t pos, int64_t step)
{
    const uint32_t fraction0 = static_cast<uint32_t>(pos);
    const uint32_t stepFraction = static_cast<uint32_t>(step);
    return _mm_setr_epi32(static_cast<int32_t>(fraction0), static_cast<int32_t>(fraction0 + stepFraction),
                          static_cast<int32_t>(fraction0 + 2 * stepFraction),
                          static_cast<int32_t>(fraction0 + 3 * stepFraction));
}
// Four interpolated values, as sampleAt computes them: each lane holds s[i]
// in its low and s[i + 1] in its high 16 bits, with that frame's fraction.
inline __m128 interpolateFour(__m128i pairs, __m128i fractions, __m128 scale)
{
    const __m128i first = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
    const __m128i second = _mm_srai_epi32(pairs, 16);
    const __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(fractions, 1)), scale);
    return _mm_add_ps(_mm_cvtepi32_ps(first), _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(second, first)), t));
}
#endif

// Hot loop: gains change by a fixed step after every frame. The gains are
// stepped one frame after the other as in the scalar loop; the rest runs in
// SSE2 lanes with the same results.
int64_t mixRamped(const int16_t* data, int64_t pos, int64_t step, float* gainLeft,
                  float* gainRight, float stepLeft, float stepRight, float* out, uint32_t frames)
{
    float left = *gainLeft;
    float right = *gainRight;
#if MIX_LANES
    const __m128 scale = _mm_set1_ps(FractionScale);
    __m128i fractions = firstFractions(pos, step);
    const __m128i fractionAdvance = _mm_set1_epi32(static_cast<int32_t>(4 * static_cast<uint32_t>(step)));
    for (; frames >= 4; frames -= 4, out += 8) {
        int32_t pair[4];
        float gains[8];
        for (int j = 0; j < 4; ++j) {
            std::memcpy(&pair[j], data + (pos >> 32), sizeof pair[j]);
            pos += step;
            gains[2 * j] = left;
            gains[2 * j + 1] = right;
            left += stepLeft;
            right += stepRight;
        }
        const __m128i both = _mm_setr_epi32(pair[0], pair[1], pair[2], pair[3]);
        const __m128 v = interpolateFour(both, fractions, scale);
        fractions = _mm_add_epi32(fractions, fractionAdvance);
        _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out),
                                      _mm_mul_ps(_mm_unpacklo_ps(v, v), _mm_loadu_ps(gains))));
        _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4),
                                          _mm_mul_ps(_mm_unpackhi_ps(v, v), _mm_loadu_ps(gains + 4))));
    }
#endif
    for (; frames; --frames, out += 2) {
        const float v = sampleAt(data, pos);
        pos += step;
        out[0] += v * left;
        out[1] += v * right;
        left += stepLeft;
        right += stepRight;
    }
    *gainLeft = left;
    *gainRight = right;
    return pos;
}

#if MIX_LANES
// Hot loop: constant gains. Four frames per iteration in SSE2 lanes; every
// lane does exactly the scalar operations, so the results are the same.
int64_t mixSteady(const int16_t* data, int64_t pos, int64_t step, float gainLeft,
                  float gainRight, float* out, uint32_t frames)
{
    const __m128 scale = _mm_set1_ps(FractionScale);
    const __m128 gains = _mm_setr_ps(gainLeft, gainRight, gainLeft, gainRight);
    __m128i fractions = firstFractions(pos, step);
    const __m128i fractionAdvance = _mm_set1_epi32(static_cast<int32_t>(4 * static_cast<uint32_t>(step)));
    for (; frames >= 4; frames -= 4, out += 8) {
        int32_t a0, a1, a2, a3;   // s[i] in the low half, s[i + 1] in the high half
        std::memcpy(&a0, data + (pos >> 32), sizeof a0);
        pos += step;
        std::memcpy(&a1, data + (pos >> 32), sizeof a1);
        pos += step;
        std::memcpy(&a2, data + (pos >> 32), sizeof a2);
        pos += step;
        std::memcpy(&a3, data + (pos >> 32), sizeof a3);
        pos += step;
        const __m128i both = _mm_setr_epi32(a0, a1, a2, a3);
        const __m128 v = interpolateFour(both, fractions, scale);
        fractions = _mm_add_epi32(fractions, fractionAdvance);
        _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), _mm_mul_ps(_mm_unpacklo_ps(v, v), gains)));
        _mm_storeu_ps(out + 4,
                      _mm_add_ps(_mm_loadu_ps(out + 4), _mm_mul_ps(_mm_unpackhi_ps(v, v), gains)));
    }
    for (; frames; --frames, out += 2) {   // the last three frames
        const float v = sampleAt(data, pos);
        pos += step;
        out[0] += v * gainLeft;
        out[1] += v * gainRight;
    }
    return pos;
}
#endif

// n steps in 32.32; n is zero-extended, so the 32-bit build needs two
// 32-bit multiplies, not a 64-bit product of three.
inline int64_t stepsOf(uint32_t n, uint64_t step)
{
    return static_cast<int64_t>(static_cast<uint64_t>(n) * step);
}

// Whether all four are 0.0f or -0.0f, as == 0.0f tells, from their bits in
// one test: four float compares with their NaN checks cost 70 bytes more.
inline bool allZero(float a, float b, float c, float d)
{
    const float values[4] = {a, b, c, d};
    uint32_t bits[4];
    std::memcpy(bits, values, sizeof bits);
    return ((bits[0] | bits[1] | bits[2] | bits[3]) << 1) == 0;
}

// Starts a ramp towards new targets, or keeps the running one.
void setUpRamp(Voice* voice)
{
    if (voice->rampFramesLeft > 0 && voice->targetRight == voice->rampTargetRight &&
        voice->targetLeft == voice->rampTargetLeft)
        return;
    voice->rampTargetRight = voice->targetRight;
    voice->rampTargetLeft = voice->targetLeft;
    const int32_t right = voice->targetRight - voice->currentRight;
    const int32_t left = voice->targetLeft - voice->currentLeft;
    voice->rampStepRight = static_cast<float>(right) * RampScale;
    voice->rampStepLeft = static_cast<float>(left) * RampScale;
    if (right != 0 || left != 0) voice->rampFramesLeft = RampFrames;
}

// Mixes one voice into at most ChunkFrames frames.
void mixVoice(Voice* voice, float* out, uint32_t frames)
{
    Region region;
    if (!setUpRegion(voice->sample, &region)) {
        voice->sample = nullptr;
        voice->posInt = 0;
        voice->posFrac = 0;
        return;
    }
    uint64_t step = (static_cast<uint64_t>(voice->stepInt) << 32) | voice->stepFrac;
    if (step > StepLimit) step = StepLimit;
    uint32_t backward = region.loopType == LoopPingPong && voice->backward ? 1 : 0;

    // Positions from outside the stored data are put back at its edges.
    int64_t pos = static_cast<int64_t>(static_cast<int32_t>(voice->posInt)) * FrameOne +
                  voice->posFrac;
    if (pos < -FrameOne) pos = 0;
    if (framesOf(pos) >= region.length) pos = framesAt(region.length) - (backward ? Epsilon : 0);

    // The ramp's gains run on in float across the segments of this span: a
    // ramp cut by loop turns every few frames still reaches its course.
    float gainLeft = static_cast<float>(voice->currentLeft) / 255.0f;
    float gainRight = static_cast<float>(voice->currentRight) / 255.0f;
    int32_t zeroSegments = 0;
    bool playing = true;
    while (frames > 0) {
        // 1. Distance to the boundary ahead.
        uint64_t distance;
        int64_t end = 0;
        if (backward) {
            const int64_t start = framesAt(region.loopStart);
            distance = pos > start ? static_cast<uint64_t>(pos - start) : 0;
        } else {
            const int32_t posInt = framesOf(pos);
            const int32_t endInt = posInt > region.loopEnd ? region.length : region.loopEnd;
            end = framesAt(endInt);
            if (posInt >= region.length)
                distance = 0;
            else if (posInt == endInt && static_cast<uint32_t>(pos) != 0)
                distance = static_cast<uint64_t>(FrameOne - static_cast<uint32_t>(pos));
            else
                distance = posInt < endInt ? static_cast<uint64_t>(end - pos) : 0;
        }

        // 2. Frames to the boundary, both values cut to 24 fraction bits.
        uint32_t n = frames;
        bool atBoundary = false;
        if ((distance >> 32) < FarBoundaryFrames) {
            uint32_t divisor = static_cast<uint32_t>(step >> 8);
            if (divisor == 0) divisor = DivisorFallback;
            const uint64_t toBoundary = divide64((distance >> 8) + divisor - 1, divisor);
            if (toBoundary <= n) {
                n = static_cast<uint32_t>(toBoundary);
                atBoundary = true;
            }
        }

        // 3. Volume ramp.
        setUpRamp(voice);
        const bool ramping = voice->rampFramesLeft > 0;
        if (ramping && static_cast<uint32_t>(voice->rampFramesLeft) < n) {
            n = static_cast<uint32_t>(voice->rampFramesLeft);
            atBoundary = false;
        }

        // The count above may overshoot the boundary by a frame; never let a
        // frame read past the pad slot or before data[-1].
        if (n > 0) {
            // How far the last frame may lie from this one: to the pad slot
            // going forward, to data[-1] going backward.
            const int64_t reach = stepsOf(n - 1, step);
            const int64_t room = backward ? pos + FrameOne : framesAt(region.length) - Epsilon - pos;
            if (reach > room) {
                n = static_cast<uint32_t>(divide64(static_cast<uint64_t>(room), step)) + 1;
                atBoundary = true;
            }
        }

        // 4. Mix. A voice whose gains are 0 throughout only moves: adding
        // v * 0 would leave the mix area as it is.
        const int64_t signedStep = backward ? -static_cast<int64_t>(step) : static_cast<int64_t>(step);
#if MIX_LANES
        // Steady gains have SSE2 lanes of their own. Kept as four branches:
        // a shared silence test measured 0.5 % more instructions.
        if (!ramping && voice->targetLeft == 0 && voice->targetRight == 0)
            pos += backward ? -stepsOf(n, step) : stepsOf(n, step);
        else if (!ramping)
            pos = mixSteady(region.data, pos, signedStep, static_cast<float>(voice->targetLeft) / 255.0f,
                            static_cast<float>(voice->targetRight) / 255.0f, out, n);
        else if (allZero(gainLeft, gainRight, voice->rampStepLeft, voice->rampStepRight))
            pos += backward ? -stepsOf(n, step) : stepsOf(n, step);
        else
            pos = mixRamped(region.data, pos, signedStep, &gainLeft, &gainRight, voice->rampStepLeft,
                            voice->rampStepRight, out, n);
#else
        // Steady gains are a ramp of zero steps: one call mixes both, and
        // the call made once is made in place.
        float left = gainLeft;
        float right = gainRight;
        float stepLeft = voice->rampStepLeft;
        float stepRight = voice->rampStepRight;
        if (!ramping) {
            left = static_cast<float>(voice->targetLeft) / 255.0f;
            right = static_cast<float>(voice->targetRight) / 255.0f;
            stepLeft = 0.0f;
            stepRight = 0.0f;
        }
        if (allZero(left, right, stepLeft, stepRight))
            pos += backward ? -stepsOf(n, step) : stepsOf(n, step);
        else
            pos = mixRamped(region.data, pos, signedStep, &left, &right, stepLeft, stepRight, out, n);
#endif
        if (ramping) {
#if !MIX_LANES
            gainLeft = left;
            gainRight = right;
#endif
            // 5. End of a ramp segment.
            if (n > 0) {
                voice->currentLeft = roundToEven(gainLeft * 255.0f);
                voice->currentRight = roundToEven(gainRight * 255.0f);
            }
            voice->rampFramesLeft -= static_cast<int32_t>(n);
            if (voice->rampFramesLeft == 0) {
                voice->rampStepLeft = 0.0f;
                voice->rampStepRight = 0.0f;
                voice->currentLeft = voice->targetLeft;
                voice->currentRight = voice->targetRight;
            }
        }
        frames -= n;
        out += 2 * static_cast<size_t>(n);

        // 6. The boundary.
        if (atBoundary) {
            if (region.loopType == LoopForward) {
                pos -= framesAt(region.loopLength);
                if (framesOf(pos) >= region.loopEnd) {
                    const uint32_t into = static_cast<uint32_t>(framesOf(pos) - region.loopStart) %
                                          static_cast<uint32_t>(region.loopLength);
                    pos = framesAt(region.loopStart + static_cast<int32_t>(into)) | static_cast<uint32_t>(pos);
                } else if (framesOf(pos) < region.loopStart - 1) {
                    pos = framesAt(region.loopStart);   // a count that fell well short
                }
            } else if (region.loopType == LoopPingPong) {
                if (backward)
                    reflectAtStart(region, &pos, &backward);
                else
                    reflectAtEnd(region, end, &pos, &backward);
            } else {
                playing = false;
                break;
            }
        }
        if (n == 0 && ++zeroSegments > ZeroSegmentLimit) {
            playing = false;
            break;
        }
        if (n > 0) zeroSegments = 0;
    }

    if (!playing) {
        voice->sample = nullptr;
        voice->posInt = 0;
        voice->posFrac = 0;
        return;
    }
    voice->posInt = static_cast<uint32_t>(static_cast<uint64_t>(pos) >> 32);
    voice->posFrac = static_cast<uint32_t>(pos);
    voice->backward = backward;
}

}  // namespace

// A 32-bit processor has no 64-bit division and the C library's helpers add
// over a kilobyte to every program. The mixer divides once a segment, not
// once a frame, so shifting and subtracting costs nothing measurable.
uint64_t divideWide(uint64_t n, uint64_t d, uint64_t* remainder)
{
    uint64_t q = 0, r = 0;
    if ((n | d) >> 32 == 0) {
        q = static_cast<uint32_t>(n) / static_cast<uint32_t>(d);
        r = static_cast<uint32_t>(n) - static_cast<uint32_t>(q) * static_cast<uint32_t>(d);
    } else {
        // The dividend's bits move out at the top as the quotient's move in.
        for (int bit = 0; bit < 64; ++bit) {
            r = (r << 1) | (n >> 63);
            n <<= 1;
            if (r >= d) {
                r -= d;
                n |= 1;
            }
        }
        q = n;
    }
    *remainder = r;
    return q;
}

void mixVoices(float* begin, float* end)
{
    if (!begin || end <= begin) return;
    const size_t frames = static_cast<size_t>(end - begin) / 2;
    for (Voice& voice : voices) {
        float* out = begin;
        size_t left = frames;
        while (left > 0 && voice.sample) {
            const uint32_t chunk = left > ChunkFrames ? ChunkFrames : static_cast<uint32_t>(left);
            mixVoice(&voice, out, chunk);
            out += 2 * static_cast<size_t>(chunk);
            left -= chunk;
        }
    }
}

}  // namespace introplayer
