// Frame cost of the scene at 1024 x 768, rendered off screen with OSMesa
// (software; a real driver is faster). Also the start-up work before the
// first frame: tables, stars, display state, texture and mipmaps, font.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include "stand_in_display.h"
#include "scene.h"

namespace {

void startOnce() {
    static bool started = false;
    if (started) return;
    startScene();
    started = true;
}

void sceneFrame(benchmark::State& state) {
    startOnce();
    for (auto _ : state) {
        advanceScene();
        drawScene();
        glFinish();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(sceneFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// One layer at a time, on top of a cleared frame.
template <void (*Layer)()>
void sceneLayer(benchmark::State& state) {
    startOnce();
    advanceScene();
    for (auto _ : state) {
        glLoadIdentity();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Layer();
        glFinish();
    }
}
BENCHMARK_TEMPLATE(sceneLayer, drawStars)->Name("stars")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(sceneLayer, drawCube)->Name("box")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(sceneLayer, drawTextPanel)->Name("textPanel")->Unit(benchmark::kMillisecond)->UseRealTime();

void startUp(benchmark::State& state) {
    for (auto _ : state) {
        startScene();
        glFinish();
    }
}
BENCHMARK(startUp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
