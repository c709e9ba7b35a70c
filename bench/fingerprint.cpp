// Fingerprints of the arithmetic whose results reach the output: powers of
// two, Amiga periods, pitch steps and mixed blocks. The native and the
// Windows build must print the same lines (tools: bench/compare-builds.sh).
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_voices.h"
#include "channel.h"
#include "modulation.h"

using namespace introplayer;

namespace {

struct Fnv {
    uint64_t hash = 14695981039346656037ull;
    void add(const void* data, size_t size)
    {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    }
    template <typename T> void add(T value) { add(&value, sizeof value); }
};

void print(const char* what, const Fnv& f)
{
    std::printf("%-14s %016llx\n", what, static_cast<unsigned long long>(f.hash));
}

}  // namespace

int main()
{
    Fnv powers;
    for (int i = -4000; i <= 4000; ++i) {
        powers.add(semitonePower(i * 0.05));
        powers.add(scaledPow2(i * 0.00390625 + 0.001));
    }
    print("powers", powers);

    Fnv periods;
    for (int note = -5; note <= 140; ++note)
        for (int finetune = -128; finetune <= 127; ++finetune)
            periods.add(amigaPeriod(note, finetune));
    print("amigaPeriods", periods);

    Fnv steps;
    for (uint16_t flags = 0; flags < 2; ++flags) {
        song.flags = flags;
        for (int32_t period = -20000; period <= 40000; period += 7)
            for (int32_t delta = -96; delta <= 96; delta += 32) {
                ChannelState channel{};
                channel.period = period;
                channel.periodDelta = delta;
                Voice voice{};
                pitchStep(&channel, &voice);
                steps.add(voice.stepInt);
                steps.add(voice.stepFrac);
            }
    }
    print("pitchSteps", steps);

    static BenchSamples samples;
    makeBenchSamples(&samples);
    setUpBenchVoices(samples, 24, 16);
    std::vector<float> block(2 * 1024);
    uint32_t tickFramesLeft = 0;
    Fnv mix;
    for (int b = 0; b < 800; ++b) {
        std::fill(block.begin(), block.end(), 0.0f);
        mixBenchBlock(block.data(), &tickFramesLeft);
        mix.add(block.data(), block.size() * sizeof(float));
        restartEndedVoices(samples, 40);
        if (b % 3 == 0)
            for (int k = 0; k < 24; k += 2) {
                Voice& v = voices[k];
                v.mixVolume = (v.mixVolume * 7 + 13) % 129;
                v.targetRight = v.finalPan * v.mixVolume / 255;
                v.targetLeft = (255 - v.finalPan) * v.mixVolume / 255;
            }
    }
    for (const Voice& v : voices) {
        mix.add(v.posInt);
        mix.add(v.posFrac);
        mix.add(v.currentLeft);
        mix.add(v.currentRight);
    }
    print("mixedBlocks", mix);
    return 0;
}
