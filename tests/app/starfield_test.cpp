// The random source and the star field: layout from the generator, 5,001
// stars, drift and wrap.
#include <gtest/gtest.h>

#include <cmath>

#include "feedback.h"
#include "stand_in_display.h"
#include "scene.h"

namespace {

// The first outputs of the classic Windows C runtime rand() from its default
// start, as that runtime has always printed them.
const int32_t firstRands[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};

TEST(RandomSource, ClassicSequenceFromItsDefaultStart) {
    randomState.state = 1;
    for (int32_t expected : firstRands) EXPECT_EQ(runtimeRand(), expected);
}

TEST(RandomSource, UnitValueIsTheDrawTimesTwoToTheMinus15) {
    randomState.state = 1;
    EXPECT_DOUBLE_EQ(rnd(), 41.0 / 32768.0);
    EXPECT_DOUBLE_EQ(rnd(), 18467.0 / 32768.0);
}

void freshStars() {
    randomState.state = 1;
    clearStars();
    initStars();
}

TEST(Starfield, LayoutFollowsTheGeneratorInterleavedPerStar) {
    freshStars();
    // Star 0 takes the draws 41, 18467, 6334; star 1 the next three.
    EXPECT_DOUBLE_EQ(starX[0], 41.0 / 32768 * 80 - 40);
    EXPECT_DOUBLE_EQ(starY[0], 18467.0 / 32768 * 80 - 40);
    EXPECT_DOUBLE_EQ(starZ[0], 6334.0 / 32768 * 50 - 40);
    EXPECT_DOUBLE_EQ(starX[1], 26500.0 / 32768 * 80 - 40);
    EXPECT_DOUBLE_EQ(starY[1], 19169.0 / 32768 * 80 - 40);
    EXPECT_DOUBLE_EQ(starZ[1], 15724.0 / 32768 * 50 - 40);
    EXPECT_DOUBLE_EQ(starX[2], 11478.0 / 32768 * 80 - 40);

    // Ranges: x and y in [-40, 40), z in [-40, 10); the last star is set too.
    bool lastSet = starX[StarCount] != 0 || starY[StarCount] != 0 || starZ[StarCount] != 0;
    EXPECT_TRUE(lastSet);
    for (int32_t i = 0; i <= StarCount; i++) {
        ASSERT_GE(starX[i], -40.0);
        ASSERT_LE(starX[i], 39.99755859375);
        ASSERT_GE(starY[i], -40.0);
        ASSERT_LE(starY[i], 39.99755859375);
        ASSERT_GE(starZ[i], -40.0);
        ASSERT_LE(starZ[i], 9.99847412109375);
    }
    // 5,001 stars use 15,003 draws: the generator stands right after them.
    RandomState after = randomState;
    randomState.state = 1;
    for (int i = 0; i < 15003; i++) runtimeRand();
    EXPECT_EQ(randomState.state, after.state);
}

TEST(Starfield, TwoStartsGiveTheSameLayout) {
    freshStars();
    std::vector<double> first(starZ, starZ + StarCount + 1);
    std::vector<double> firstX(starX, starX + StarCount + 1);
    freshStars();
    EXPECT_EQ(first, std::vector<double>(starZ, starZ + StarCount + 1));
    EXPECT_EQ(firstX, std::vector<double>(starX, starX + StarCount + 1));
}

// A view that keeps every star inside the clip volume, so feedback sees all.
void wideView() {
    glViewport(0, 0, 1000, 1000);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-100, 100, -100, 100, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

TEST(Starfield, DrawsEveryStarOnceAtItsPositionBeforeTheStep) {
    makeOffscreenContextCurrent();
    freshStars();
    wideView();
    std::vector<double> z0(starZ, starZ + StarCount + 1);
    Feedback f = captureFeedback([] { drawStars(); });
    ASSERT_EQ(f.points.size(), size_t(StarCount + 1));
    // Window x = (x + 100) * 5; the translation by -8 along z moves no point sideways.
    for (int32_t i : {0, 1, 2500, StarCount}) {
        EXPECT_NEAR(f.points[size_t(i)].x, (starX[i] + 100) * 5, 1e-2) << i;
        EXPECT_NEAR(f.points[size_t(i)].y, (starY[i] + 100) * 5, 1e-2) << i;
        // Depth in [0, 1] from eye z = z0 - 8 over the range -100..100.
        EXPECT_NEAR(f.points[size_t(i)].z, (-(z0[size_t(i)] - 8) + 100) / 200, 1e-5) << i;
    }
    EXPECT_FALSE(glIsEnabled(GL_FOG));
}

TEST(Starfield, DriftWrapsAtTenKeepingTheOvershoot) {
    makeOffscreenContextCurrent();
    freshStars();
    std::vector<double> x0(starX, starX + StarCount + 1), y0(starY, starY + StarCount + 1);

    // The value whose step lands exactly on 10.0.
    double exact = 10.0 - 0.03;
    while (exact + 0.03 < 10.0) exact = std::nextafter(exact, 20.0);
    while (exact + 0.03 > 10.0) exact = std::nextafter(exact, 0.0);
    ASSERT_EQ(exact + 0.03, 10.0);
    const double below = std::nextafter(exact, 0.0);
    ASSERT_LT(below + 0.03, 10.0);

    starZ[0] = exact;          // reaches 10 exactly: wraps
    starZ[1] = below;          // just short of 10: stays
    starZ[2] = 9.99;           // overshoots to 10.02: wraps to -39.98
    starZ[StarCount] = -40.0;  // the last star moves too
    drawStars();
    EXPECT_EQ(starZ[0], -40.0);
    EXPECT_EQ(starZ[1], below + 0.03);
    EXPECT_NEAR(starZ[2], -39.98, 1e-12);
    EXPECT_NEAR(starZ[StarCount], -39.97, 1e-12);

    // Many frames: z stays in [-40, 10), x and y never change.
    for (int frame = 0; frame < 2000; frame++) drawStars();
    for (int32_t i = 0; i <= StarCount; i++) {
        ASSERT_EQ(starX[i], x0[size_t(i)]);
        ASSERT_EQ(starY[i], y0[size_t(i)]);
        ASSERT_GE(starZ[i], -40.0);
        ASSERT_LT(starZ[i], 10.0);
    }
}

}  // namespace
