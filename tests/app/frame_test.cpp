// The frame loop's time and pose values, and the Escape rule on both sides of
// the seam (the loop's test and the event-driven key state of the SDL side).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "escape_state.h"
#include "scene.h"

namespace {

void resetPose() { sceneTime = cubeAngleX = cubeAngleY = cubeAngleZ = cubeDistance = 0; }

TEST(FrameLoop, PoseAfterFirstAndSecondFrame) {
    resetPose();
    advanceScene();
    EXPECT_DOUBLE_EQ(sceneTime, 0.03);
    EXPECT_NEAR(cubeAngleX, 0.0135, 1e-6);         // sin(0.0009) * 15
    EXPECT_NEAR(cubeAngleY, 0.050225, 1e-6);       // sin(0.0009) * 0.25 + 0.05
    EXPECT_NEAR(cubeAngleZ, 14.9999973, 1e-6);     // cos(0.0006) * 15
    EXPECT_NEAR(cubeDistance, 14.0063, 1e-4);      // sin(0.0009) * 7 + 14
    advanceScene();
    EXPECT_DOUBLE_EQ(sceneTime, 0.06);
    EXPECT_NEAR(cubeAngleY, 0.100675, 1e-6);       // accumulates: 0.050225 + 0.00045 + 0.05
    EXPECT_NEAR(cubeAngleX, 0.027, 1e-5);          // recomputed, not accumulated
}

TEST(FrameLoop, FrameCountAloneDrivesThePose) {
    // Half a sine period in: the angles swing back while y keeps turning.
    resetPose();
    const int frames = 3491;
    for (int i = 0; i < frames; i++) advanceScene();
    const double t = frames * 0.03;
    EXPECT_NEAR(sceneTime, t, 1e-9);
    EXPECT_NEAR(cubeAngleX, std::sin(0.03 * t) * 15, 1e-6);
    EXPECT_NEAR(cubeAngleZ, std::cos(0.02 * t) * 15, 1e-6);
    EXPECT_NEAR(cubeDistance, std::sin(0.03 * t) * 7 + 14, 1e-6);
    EXPECT_GT(cubeAngleY, frames * 0.05);  // 0.05 per frame plus a positive half-wave of the sine term
    const double first[5] = {sceneTime, cubeAngleX, cubeAngleY, cubeAngleZ, cubeDistance};

    // The same count again, with time passing differently, gives the same bits.
    resetPose();
    for (int i = 0; i < frames; i++) {
        if (i % 1000 == 0) {
            volatile double spin = 0;
            for (int k = 0; k < 100000; k++) spin = spin + 1;
        }
        advanceScene();
    }
    const double second[5] = {sceneTime, cubeAngleX, cubeAngleY, cubeAngleZ, cubeDistance};
    for (int k = 0; k < 5; k++) EXPECT_EQ(first[k], second[k]) << k;
}

TEST(FrameLoop, OnlyDownAndNewlyPressedEndsTheLoop) {
    struct Case {
        uint16_t state;
        bool ends;
    } cases[] = {
        {0x8001, true}, {0x8000, false}, {0x0001, false}, {0x0000, false},
        {0xFFFF, false}, {0x8003, false}, {0x0002, false},
    };
    for (const Case& c : cases) EXPECT_EQ(escapeEndsLoop(int16_t(c.state)), c.ends) << std::hex << c.state;
    EXPECT_TRUE(escapeEndsLoop(int16_t(-32767)));
}

TEST(EscapeKeyState, EventsBetweenPollsGiveTheAsyncKeyStates) {
    // Each case: key events before the first poll, then before the second.
    enum Ev { Down, Up, Repeat };
    struct Case {
        const char* what;
        std::vector<Ev> before1, before2;
        uint16_t poll1, poll2;
    } cases[] = {
        {"nothing", {}, {}, 0x0000, 0x0000},
        {"pressed and held", {Down}, {}, 0x8001, 0x8000},
        {"held with auto-repeat", {Down}, {Repeat, Repeat}, 0x8001, 0x8000},
        {"tap between two polls", {Down, Up}, {}, 0x0001, 0x0000},
        {"released after a poll", {Down}, {Up}, 0x8001, 0x0000},
        {"released and pressed again", {Down}, {Up, Down}, 0x8001, 0x8001},
        {"two taps then held", {Down, Up, Down}, {}, 0x8001, 0x8000},
        {"release without press", {Up}, {}, 0x0000, 0x0000},
        {"repeat alone is no press", {Repeat}, {}, 0x8000, 0x8000},
    };
    for (const Case& c : cases) {
        EscapeTracker t{};
        auto feed = [&](const std::vector<Ev>& evs) {
            for (Ev e : evs) escapeKeyEvent(t, e != Up, e == Repeat);
        };
        feed(c.before1);
        EXPECT_EQ(uint16_t(escapeKeyPoll(t)), c.poll1) << c.what;
        feed(c.before2);
        EXPECT_EQ(uint16_t(escapeKeyPoll(t)), c.poll2) << c.what;
    }
}

TEST(EscapeKeyState, HeldKeyEndsTheLoopExactlyOnce) {
    // A hold across several polls: the first poll ends the loop, later ones
    // would not start a second exit.
    EscapeTracker t{};
    escapeKeyEvent(t, true, false);
    int ends = 0;
    for (int i = 0; i < 5; i++) {
        if (escapeEndsLoop(escapeKeyPoll(t))) ends++;
        escapeKeyEvent(t, true, true);
    }
    EXPECT_EQ(ends, 1);
}

}  // namespace
