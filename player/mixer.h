// The 64 mixer voices and the routine that adds them into the float mix area.
#pragma once

#include <cstdint>

namespace introplayer {

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

// Adds every active voice into the stereo float frames [begin, end) (two floats
// per frame, left then right). Only adds: the caller clears the area first.
void mixVoices(float* begin, float* end);

}  // namespace introplayer
