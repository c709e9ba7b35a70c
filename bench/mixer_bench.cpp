// Mixer throughput on synthetic voices: voice-frames mixed per second and
// output seconds rendered per second (times real time), one core.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_voices.h"

using namespace introplayer;

namespace {

BenchSamples samples;

void mixBlocks(benchmark::State& state)
{
    const int audible = static_cast<int>(state.range(0));
    const int silent = static_cast<int>(state.range(1));
    const bool retrigger = state.range(2) != 0;
    makeBenchSamples(&samples);
    setUpBenchVoices(samples, audible, silent);
    std::vector<float> block(2 * 1024);
    uint32_t tickFramesLeft = 0;
    uint64_t blocks = 0;
    for (auto _ : state) {
        std::fill(block.begin(), block.end(), 0.0f);
        mixBenchBlock(block.data(), &tickFramesLeft);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
        restartEndedVoices(samples, audible + silent);
        if (retrigger) {
            // Every voice changes its targets each block: ramps all the time.
            for (int k = 0; k < audible; ++k) {
                Voice& v = voices[k];
                v.mixVolume = v.mixVolume == 30 ? 90 : 30;
                v.targetRight = v.finalPan * v.mixVolume / 255;
                v.targetLeft = (255 - v.finalPan) * v.mixVolume / 255;
            }
        }
        ++blocks;
    }
    const double frames = static_cast<double>(blocks) * 1024.0;
    state.counters["voiceFrames/s"] =
        benchmark::Counter(frames * (audible + silent), benchmark::Counter::kIsRate);
    state.counters["xRealTime"] = benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsRate);
}

// Arguments: audible voices, silent (ramped-out) voices, retrigger.
BENCHMARK(mixBlocks)
    ->ArgNames({"audible", "silent", "ramps"})
    ->Args({16, 0, 0})
    ->Args({16, 16, 0})
    ->Args({32, 32, 0})
    ->Args({64, 0, 0})
    ->Args({0, 64, 0})
    ->Args({16, 16, 1});

}  // namespace

BENCHMARK_MAIN();
