// The scene: drawn off screen at 1024 x 768 and read back as a viewer sees
// it, or captured with OpenGL's feedback mode under an orthographic probe
// view; the frame loop's Escape rule and the star field's generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "escape_state.h"
#include "scene.h"
#include "stand_in_display.h"

using namespace introplayer;

namespace {

// glClearColor(0.2, 0, 0.1) in 8-bit channels.
bool isClearPurple(const Pixel& p) { return std::abs(p.r - 51) <= 1 && p.g == 0 && std::abs(p.b - 26) <= 1; }

// What a drawing routine sends down the pipeline after transform, culling
// and clipping: window x, y, z, colour r, g, b, a and texture s, t, r, q.
using Vertex = std::array<float, 11>;
using Polygon = std::vector<Vertex>;
struct Captured {
    std::vector<Polygon> polygons;
};

template <typename Draw>
Captured capture(Draw draw) {
    static std::vector<GLfloat> buffer(1 << 23);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const size_t used = size_t(glRenderMode(GL_RENDER));
    Captured out;
    auto vertex = [&](size_t& i) {
        Vertex v;
        std::copy(&buffer[i], &buffer[i] + 11, v.begin());
        i += 11;
        return v;
    };
    for (size_t i = 0; i < used;) {
        const GLint token = GLint(buffer[i++]);
        if (token == GL_POLYGON_TOKEN) {
            Polygon p(size_t(buffer[i++]));
            for (Vertex& v : p) v = vertex(i);
            out.polygons.push_back(p);
        } else {
            i += token == GL_POINT_TOKEN ? 11 : 1;   // points, pass-through; no lines, bitmaps or pixels
        }
    }
    return out;
}

double area(const Polygon& p) {
    double a = 0;
    for (size_t k = 0; k < p.size(); k++) a += double(p[k][0]) * p[(k + 1) % p.size()][1] - double(p[(k + 1) % p.size()][0]) * p[k][1];
    return std::fabs(a) / 2;
}

// Object x and y from -5 to 5 onto a 1000 x 1000 window, z from -10 to 10.
void setProbeView() {
    glViewport(0, 0, 1000, 1000);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-5, 5, -5, 5, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
double probeToObject(float window) { return window / 100.0 - 5.0; }

TEST(Scene, EscapeEndsTheLoopOnlyWhenDownAndNewlyPressed) {
    for (auto [state, ends] : {std::pair{0x8001, true}, {0x8000, false}, {0x0001, false}, {0x0000, false},
                               {0xFFFF, false}, {0x8003, false}})
        EXPECT_EQ(escapeEndsLoop(int16_t(state)), ends) << std::hex << state;
    // The event-driven side: key events before the first poll, then before the second.
    enum Ev { Down, Up, Repeat };
    const struct {
        std::vector<Ev> before1, before2;
        uint16_t poll1, poll2;
    } cases[] = {
        {{Down}, {Repeat, Repeat}, 0x8001, 0x8000}, {{Down, Up}, {}, 0x0001, 0x0000},
        {{Down}, {Up, Down}, 0x8001, 0x8001},      {{Up}, {}, 0x0000, 0x0000},
        {{Repeat}, {}, 0x8000, 0x8000},
    };
    for (const auto& c : cases) {
        EscapeTracker t{};
        for (Ev e : c.before1) escapeKeyEvent(t, e != Up, e == Repeat);
        EXPECT_EQ(uint16_t(escapeKeyPoll(t)), c.poll1);
        for (Ev e : c.before2) escapeKeyEvent(t, e != Up, e == Repeat);
        EXPECT_EQ(uint16_t(escapeKeyPoll(t)), c.poll2);
    }
}

TEST(Scene, StarsFillTheirBoxFromTheGeneratorAndWrapKeepingTheOvershoot) {
    makeOffscreenContextCurrent();
    randomState.state = 1;
    for (int32_t expected : {41, 18467, 6334}) EXPECT_EQ(runtimeRand(), expected);   // the classic runtime's first draws
    randomState.state = 1;
    clearStars();
    initStars();
    const auto [minZ, maxZ] = std::minmax_element(starZ, starZ + StarCount + 1);
    const auto [minX, maxX] = std::minmax_element(starX, starX + StarCount + 1);
    EXPECT_TRUE(*minZ >= -40 && *minZ < -39.9 && *maxZ < 10 && *maxZ > 9.9) << *minZ << " " << *maxZ;
    EXPECT_TRUE(*minX >= -40 && *minX < -39.9 && *maxX < 40 && *maxX > 39.9) << *minX << " " << *maxX;
    EXPECT_NE(starY[StarCount], 0.0);   // the last star is placed too
    const std::vector<double> x0(starX, starX + StarCount + 1);
    starZ[0] = 10.0 - 0.03;   // reaches exactly 10: wraps
    ASSERT_EQ(starZ[0] + 0.03, 10.0);
    starZ[1] = 9.99;          // overshoots to 10.02: wraps to -39.98
    starZ[StarCount] = -40.0;
    drawStars();
    EXPECT_EQ(starZ[0], -40.0);
    EXPECT_NEAR(starZ[1], -39.98, 1e-12);
    EXPECT_NEAR(starZ[StarCount], -39.97, 1e-12);
    for (int frame = 0; frame < 2000; frame++) drawStars();
    for (int32_t i = 0; i <= StarCount; i++) ASSERT_TRUE(starX[i] == x0[size_t(i)] && starZ[i] >= -40.0 && starZ[i] < 10.0);
}

TEST(Scene, PictureTextureIsTheUprightPictureWithoutAlpha) {
    makeOffscreenContextCurrent();
    buildColourTable();
    buildTextureImage();
    uploadPictureTexture();
    const auto colourOf = [](uint32_t index) {   // RGBA bytes in memory, full alpha
        const uint8_t* p = &picturePalette[index * 3];
        return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    const auto assetColour = [&](uint32_t row, uint32_t column) { return colourOf(pictureData[row * TextureWidth + column]); };
    // Texture row 0 is the picture's bottom row; columns keep their order.
    for (uint32_t c = 0; c < 1024; c++) ASSERT_EQ(textureImage[200 * TextureWidth + c], assetColour(311, c)) << c;
    EXPECT_EQ(textureImage[511 * TextureWidth + 1023], assetColour(0, 1023));
    EXPECT_EQ(textureImage[0], assetColour(511, 0));
    for (uint32_t i = 0; i < 256; i++) ASSERT_EQ(paletteColours[i], colourOf(i)) << i;
    GLint alphaBits = -1, smallest = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 10, GL_TEXTURE_WIDTH, &smallest);   // mipmaps down to 1 x 1
    EXPECT_EQ(alphaBits, 0);
    EXPECT_EQ(smallest, 1);
}

class RenderedScene : public ::testing::Test {
protected:
    void SetUp() override {
        fakeDisplay = {};
        displaySettings = {1, 0, 0, 1024, 768};
        sceneTime = cubeAngleX = cubeAngleY = cubeAngleZ = cubeDistance = 0;
        randomState.state = 1;
        startScene();
    }
    void TearDown() override { assignTextLines(); }
    static void frames(int count) {
        for (int i = 0; i < count; i++) {
            advanceScene();
            drawScene();
        }
        glFinish();
    }
};

// Window position of a point in eye coordinates, with the projection the
// display sets: 65 degrees vertical field, aspect 1024 / 768.
void project(double x, double y, double z, double* wx, double* wy) {
    const double f = 1.0 / std::tan(65.0 / 2 * M_PI / 180);
    *wx = (1 + x * f / (1024.0 / 768.0) / -z) * 512;
    *wy = (1 + y * f / -z) * 384;
}

TEST_F(RenderedScene, StartUpOpensTheDisplayAndSetsTheViewportFromTheScreen) {
    EXPECT_EQ(fakeDisplay.opens, 1);
    EXPECT_TRUE(fakeDisplay.fullScreen);
    // Only depth test, lighting and culling on; the rest until a layer wants it.
    for (GLenum on : {GL_DEPTH_TEST, GL_LIGHTING, GL_CULL_FACE}) EXPECT_TRUE(glIsEnabled(on)) << on;
    for (GLenum off : {GL_FOG, GL_BLEND, GL_TEXTURE_2D}) EXPECT_FALSE(glIsEnabled(off)) << off;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));   // the constant-alpha blend factor was accepted
    const struct { uint8_t fullScreen; int32_t screenW, screenH, viewW, viewH; } cases[] = {
        {1, 1920, 1080, 1920, 1080},
        {2, 1920, 1080, 1024, 768},   // only exactly 1 means full screen
        {1, 0, 0, 1024, 768},         // a screen with no size keeps the windowed size
    };
    for (const auto& c : cases) {
        displaySettings = {c.fullScreen, 0, 0, 1024, 768};
        fakeDisplay.screenWidth = c.screenW;
        fakeDisplay.screenHeight = c.screenH;
        initDisplay();
        EXPECT_EQ(fakeDisplay.fullScreen, c.fullScreen == 1);
        GLint viewport[4];
        GLdouble proj[16];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        EXPECT_EQ((std::array<GLint, 4>{viewport[0], viewport[1], viewport[2], viewport[3]}),
                  (std::array<GLint, 4>{0, 0, c.viewW, c.viewH}));
        // gluPerspective puts f / aspect and f on the diagonal.
        EXPECT_NEAR(proj[5] / proj[0], double(c.viewW) / c.viewH, 1e-6);
        EXPECT_NEAR(proj[5], 1 / std::tan(32.5 * M_PI / 180), 1e-6);
    }
}

TEST_F(RenderedScene, StarsOnPurpleAndLitTextSquares) {
    frames(3);
    // The top band above the text and box holds only stars on the clear colour.
    int purple = 0, total = 0;
    for (int y = 620; y < 768; y += 3)
        for (int x = 0; x < 1024; x += 3, total++) purple += isClearPurple(readPixel(x, y));
    EXPECT_GT(purple, total * 9 / 10);
    EXPECT_LT(purple, total);

    // Lit text squares: 1.6 * (0.9, 0.2, 0.5) clamped, plus the destination squared.
    const auto lit = [](const Pixel& p) { return p.r >= 250 && p.g >= 75 && p.g <= 120 && p.b >= 200; };
    const struct { double x, y; bool on; } cells[] = {
        {-1.25 - 0.045 + 0.00625, 0.505 + 0.00625, true},                // line 1 "W", row 1, column 1
        {-1.25 - 0.045 + 3 * 0.0125 + 0.00625, 0.505 + 0.00625, false},  // ... column 4
        {-0.5 - 0.045 + 0.0125 + 0.00625, 0.3475 + 0.00625, true},       // line 2 "=", row 4, column 2
        {-0.5 - 0.045 + 0.0125 + 0.00625, 0.335 + 0.00625, false},       // ... row 5
    };
    for (const auto& c : cells) {
        double wx, wy;
        project(c.x, c.y, -2.5, &wx, &wy);
        EXPECT_EQ(lit(readPixel(int(wx), int(wy))), c.on) << c.x << "," << c.y;
    }
}

TEST_F(RenderedScene, EveryFaceOfTheBoxIsAFlatRectangleWithThePictureUpright) {
    // Seen head-on from each side, with culling on, only the face towards
    // the viewer is left: 8 x 6 units for the sides, 8 x 8 for the caps, flat;
    // a side shows the picture upright and not mirrored.
    setProbeView();
    const struct { double angleX, angleY, units; } poses[] = {
        {0, 0, 48}, {0, 90, 48}, {0, 180, 48}, {0, 270, 48}, {90, 0, 64}, {-90, 0, 64},
    };
    for (const auto& pose : poses) {
        cubeDistance = cubeAngleZ = 0;
        cubeAngleX = pose.angleX;
        cubeAngleY = pose.angleY;
        double total = 0;
        for (const Polygon& p : capture(drawCube).polygons) {
            total += area(p);
            if (area(p) < 1) continue;
            for (const Vertex& v : p) {
                EXPECT_NEAR(v[2], p[0][2], 1e-4) << pose.angleX << " " << pose.angleY;
                const std::array<float, 2> st{v[7], v[8]}, corner{v[0] < 500 ? 0.f : 1.f, v[1] > 500 ? 1.f : 0.f};
                EXPECT_TRUE(pose.units != 48 || st == corner) << pose.angleX << " " << pose.angleY;
            }
        }
        EXPECT_NEAR(total, pose.units * 10000, 1) << pose.angleX << " " << pose.angleY;
    }
}

TEST_F(RenderedScene, TextPanelDrawsEveryLitCellOnceWhereItsLinesStand) {
    setProbeView();
    const Captured all = capture(drawTextPanel);
    int expected = 0;   // every lit cell of every character
    for (uint32_t i = 0; i < TextLineCount; i++)
        for (const char* s = textLineAsset[i]; *s; s++)
            for (uint32_t r = 0; r < FontRows; r++) expected += __builtin_popcount(fontRows[uint32_t(*s - 32) * FontRows + r]);
    double cells = 0;
    for (const Polygon& p : all.polygons) cells += area(p) / (1.25 * 1.25);
    EXPECT_GT(expected, 3000);
    EXPECT_NEAR(cells, expected, 0.5);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    // Left and right edges of a line: the polygons in its band of glyph rows.
    const auto lineEdges = [](const Captured& c, int32_t line) {
        const double y = textLineY(line);
        double lo = 1e9, hi = -1e9;
        for (const Polygon& p : c.polygons) {
            const double py = probeToObject(p[0][1]);
            if (py < y + 0.4 - 1e-4 || py > y + 0.5125 + 1e-4) continue;
            for (const Vertex& v : p) lo = std::min(lo, probeToObject(v[0])), hi = std::max(hi, probeToObject(v[0]));
        }
        return std::pair{lo, hi};
    };
    // Line 10 " -= GO ... KEX =-": a blank at -2.13, the bar of "-" 0.045 left
    // of its origin at -2.03; the closing "-" stands at 1.87.
    EXPECT_NEAR(lineEdges(all, 10).first, -2.075, 1e-4);
    EXPECT_NEAR(lineEdges(all, 10).second, 1.9125, 1e-4);
    EXPECT_NEAR(lineEdges(all, 1).first, -1.295, 1e-4);   // W's first column is lit

    // Codes without a glyph advance but draw nothing and read nothing outside the font.
    static const char odd[] = {'A', '\x7f', '[', '\xff', '\x01', 'A', 0};
    textLines[0] = odd;
    const Captured line1 = capture(drawTextPanel);
    const double start = 0.125 - 6 * 0.11 / 2;
    EXPECT_NEAR(lineEdges(line1, 1).second, start + 0.5 + 0.0425, 1e-4);   // the second A, five advances on
    double cellsOfLine1 = 0;
    for (const Polygon& p : line1.polygons) cellsOfLine1 += probeToObject(p[0][1]) > textLineY(1) + 0.39 ? area(p) / (1.25 * 1.25) : 0;
    EXPECT_NEAR(cellsOfLine1, 46, 0.5);   // the two A's only
}

TEST_F(RenderedScene, LoopRunsUntilDownAndNewlyPressed) {
    // Held, tapped-between-polls and idle states go on; 0x8001 stops the loop
    // before anything is advanced, drawn or presented.
    static const uint16_t states[] = {0x0000, 0x8000, 0x0001, 0x0000, 0x8001, 0x0000};
    fakeDisplay.escapeScript = states;
    fakeDisplay.escapeScriptLength = 6;
    int frames = 0;
    while (runFrame()) frames++;
    EXPECT_EQ(frames, 4);
    EXPECT_EQ(fakeDisplay.escapePolls, 5);
    EXPECT_EQ(fakeDisplay.presents, 4);
    EXPECT_EQ(fakeDisplay.sleptMs, 4u);   // 1 ms after every presented frame
    EXPECT_NEAR(sceneTime, 0.12, 1e-12);
    // Four steps of 0.05 plus a quarter of sin(0.03 t) at t = 0.03 ... 0.12.
    EXPECT_NEAR(cubeAngleY, 0.2 + 0.25 * (std::sin(0.0009) + std::sin(0.0018) + std::sin(0.0027) + std::sin(0.0036)), 1e-12);
    EXPECT_NEAR(cubeDistance, std::sin(0.0036) * 7 + 14, 1e-12);
}

}  // namespace
