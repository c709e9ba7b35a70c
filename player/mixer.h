// The 64 mixer voices and the routine that adds them into the float mix area.
#pragma once

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#else
#include <cmath>
#endif

namespace introplayer {

// Every volume change and every note start or end ramps over 220 frames
// (5 ms): the length heard in the classic tracker's own recordings, at note
// starts, releases and volume sets alike.
constexpr int32_t RampFrames = 220;

struct SampleRecord;

constexpr int VoiceCount = 64;

struct Voice {
    uint32_t voiceIndex;       // 0..63, fixed at player start
    // From mixVolume through rampStepLeft: what a note hand-off copies to the twin.
    int32_t mixVolume;         // channel volume after envelopes, fade and global volume (0..~128)
    int32_t finalPan;          // 0 left .. 255 right
    int32_t startOffset;       // sample frame where the next trigger starts
    int32_t targetRight;       // finalPan * mixVolume / 255
    int32_t targetLeft;        // (255 - finalPan) * mixVolume / 255
    uint32_t posInt;           // play position, 32.32: integer part in sample frames
    uint32_t stepFrac;         // pitch step, 32.32: fraction in units of 2^-32
    uint32_t stepInt;          // pitch step, 32.32: integer part
    int32_t rampTargetRight;   // targets the running ramp was set up for
    int32_t rampTargetLeft;
    float rampStepRight;       // gain change per frame during a ramp
    float rampStepLeft;
    // Mixer-owned state.
    const SampleRecord* sample;  // null = idle
    uint32_t posFrac;          // play position, 32.32: fraction
    uint32_t backward;         // 1 while a ping-pong loop runs backward
    int32_t currentRight;      // gains actually applied, 0..255
    int32_t currentLeft;
    int32_t rampFramesLeft;    // 0 = no ramp
};

extern Voice voices[VoiceCount];

// n / d and n % d (d above 0 and below 2^63) by shifting and subtracting: the
// player's 64-bit division where the processor has none of its own.
uint64_t divideWide(uint64_t n, uint64_t d, uint64_t* remainder);

inline uint64_t divide64(uint64_t n, uint64_t d, uint64_t* remainder = nullptr)
{
#if defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__)
    if (remainder) *remainder = n % d;
    return n / d;
#else
    uint64_t r;
    const uint64_t q = divideWide(n, d, &r);
    if (remainder) *remainder = r;
    return q;
#endif
}

// Round to nearest, ties to even, as lrintf and nearbyintf; SSE2 does it in
// one instruction where the C library's call would add its code to every
// program.
inline int32_t roundToEven(float x)
{
#if defined(__SSE2__)
    return _mm_cvtss_si32(_mm_set_ss(x));
#else
    return static_cast<int32_t>(std::lrint(x));
#endif
}

// Adds every active voice into the stereo float frames [begin, end) (two floats
// per frame, left then right). Only adds: the caller clears the area first.
void mixVoices(float* begin, float* end);

}  // namespace introplayer
