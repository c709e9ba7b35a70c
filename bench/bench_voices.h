// Synthetic voices for the mixer benchmark and the build fingerprint: looped
// and one-shot samples at assorted pitches, pans and volumes, set up the way
// the sequencer leaves them.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "mixer.h"
#include "module.h"

using namespace introplayer;

struct BenchSamples {
    std::vector<int16_t> storage[8];
    SampleRecord records[8];
};

// Eight samples of 2,000 to 30,000 frames: forward loops, ping-pong loops,
// one-shots, short loops; the data is a deterministic noisy wave.
inline void makeBenchSamples(BenchSamples* samples)
{
    uint32_t seed = 12345;
    for (int s = 0; s < 8; ++s) {
        const uint32_t length = 2000 + 4000 * static_cast<uint32_t>(s);
        std::vector<int16_t>& data = samples->storage[s];
        data.assign(length + 4, 0);   // zero slot, values, pad, two zero slots
        for (uint32_t i = 0; i < length; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const int32_t wave = static_cast<int32_t>((i * (37 + s)) % 400) * 120 - 24000;
            data[i + 1] = static_cast<int16_t>(wave / 2 + static_cast<int32_t>(seed >> 20) - 2048);
        }
        SampleRecord& r = samples->records[s];
        r = SampleRecord{};
        r.length = length;
        r.data = data.data() + 1;
        switch (s % 4) {
        case 0: r.loopType = LoopForward; r.loopStart = length / 4; r.loopLength = length - length / 4; break;
        case 1: r.loopType = LoopPingPong; r.loopStart = length / 3; r.loopLength = length / 2; break;
        case 2: r.loopType = LoopForward; r.loopStart = length - 64; r.loopLength = 64; break;
        default: r.loopType = LoopNone; r.loopStart = 0; r.loopLength = length; break;
        }
        const uint32_t end = r.loopStart + r.loopLength;
        data[end + 1] = r.loopType == LoopForward ? data[r.loopStart + 1]
                        : r.loopType == LoopPingPong ? data[end] : int16_t(0);
        if (r.loopType == LoopPingPong) data[length + 1] = data[length];
    }
}

// Sets voices [0, audible) playing and audible and [audible, audible + silent)
// playing but ramped out to silence; the rest idle.
inline void setUpBenchVoices(const BenchSamples& samples, int audible, int silent)
{
    std::memset(voices, 0, sizeof voices);
    for (int k = 0; k < VoiceCount; ++k) {
        Voice& v = voices[k];
        v.voiceIndex = static_cast<uint32_t>(k);
        v.stepInt = 1;
        if (k >= audible + silent) continue;
        v.sample = &samples.records[(k * 5) % 8];
        const uint64_t step = (uint64_t(1) << 32) / 5 + (uint64_t(k) << 27);   // 0.2 .. 2.2
        v.stepInt = static_cast<uint32_t>(step >> 32);
        v.stepFrac = static_cast<uint32_t>(step);
        v.finalPan = (k * 37) % 256;
        v.mixVolume = k < audible ? 40 + k % 80 : 0;
        v.targetRight = v.finalPan * v.mixVolume / 255;
        v.targetLeft = (255 - v.finalPan) * v.mixVolume / 255;
        v.currentRight = v.targetRight;
        v.currentLeft = v.targetLeft;
        v.posInt = static_cast<uint32_t>(k * 97);
    }
}

// Restarts voices whose one-shot sample ended, so the load stays the same.
inline void restartEndedVoices(const BenchSamples& samples, int playing)
{
    for (int k = 0; k < playing; ++k)
        if (!voices[k].sample) voices[k].sample = &samples.records[(k * 5) % 8];
}

// Mixes one 1,024-frame block the way the block renderer does: in runs that
// end at tick boundaries (882 frames per tick at 125 BPM).
inline void mixBenchBlock(float* block, uint32_t* tickFramesLeft)
{
    constexpr uint32_t BlockFrames = 1024;
    constexpr uint32_t TickFrames = 882;
    uint32_t done = 0;
    while (done < BlockFrames) {
        if (*tickFramesLeft == 0) *tickFramesLeft = TickFrames;
        const uint32_t n = *tickFramesLeft < BlockFrames - done ? *tickFramesLeft : BlockFrames - done;
        mixVoices(block + 2 * done, block + 2 * (done + n));
        *tickFramesLeft -= n;
        done += n;
    }
}
