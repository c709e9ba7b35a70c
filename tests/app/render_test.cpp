// The whole start-up and a few frames rendered off screen at 1024 x 768 and
// read back: what a viewer sees, and the state the frame leaves.
#include <gtest/gtest.h>

#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "stand_in_display.h"
#include "scene.h"

namespace {

// glClearColor(0.2, 0, 0.1) in 8-bit channels.
bool isClearPurple(const Pixel& p) { return std::abs(p.r - 51) <= 1 && p.g == 0 && std::abs(p.b - 26) <= 1; }

class RenderedScene : public ::testing::Test {
protected:
    void SetUp() override {
        fakeDisplay = {0, false, 0, 0, 0, 0, FrameWidth, FrameHeight, 0, nullptr, 0, 0, 0, 0};
        displaySettings = {1, 0, 0, 1024, 768};
        sceneTime = cubeAngleX = cubeAngleY = cubeAngleZ = cubeDistance = 0;
        randomState.state = 1;
        startScene();
    }
    static void frames(int count) {
        for (int i = 0; i < count; i++) {
            advanceScene();
            drawScene();
        }
        glFinish();
    }
};

// Window position of a point given in eye coordinates, with the projection
// the display sets: 65 degrees vertical field, aspect 1024 / 768.
void project(double x, double y, double z, double* wx, double* wy) {
    const double f = 1.0 / std::tan(65.0 / 2 * M_PI / 180);
    const double aspect = 1024.0 / 768.0;
    *wx = (1 + x * f / aspect / -z) * 512;
    *wy = (1 + y * f / -z) * 384;
}

TEST_F(RenderedScene, StartUpOpensTheFullScreenDisplayFirst) {
    EXPECT_EQ(fakeDisplay.opens, 1);
    EXPECT_TRUE(fakeDisplay.fullScreen);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1024);
    EXPECT_EQ(viewport[3], 768);
    // The fixed state the layers rely on: only depth test, lighting and
    // culling on; fog, blending and texturing off until a layer wants them.
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));  // the constant-alpha blend factor was accepted
}

TEST_F(RenderedScene, BackgroundIsDarkPurpleWhereNothingIsDrawn) {
    frames(3);
    // The top band above the text and box holds only stars on the clear colour.
    int purple = 0, total = 0;
    for (int y = 620; y < 768; y += 3)
        for (int x = 0; x < 1024; x += 3) {
            total++;
            purple += isClearPurple(readPixel(x, y));
        }
    EXPECT_GT(purple, total * 9 / 10);
    EXPECT_LT(purple, total);  // and some stars
}

TEST_F(RenderedScene, BoxOverTheCentreShowsThePicture) {
    frames(3);
    GLdouble model[16], proj[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, model);  // the box's transform, left by drawCube
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Points on the front face (z = 4) just above and below the text block.
    // Fully lit (1.6 before clamping), the face shows the texture as it is.
    int checked = 0;
    for (int wy : {530, 545, 200, 212})
        for (int wx : {420, 512, 600}) {
            double x0, y0, z0, x1, y1, z1;
            gluUnProject(wx + 0.5, wy + 0.5, 0, model, proj, viewport, &x0, &y0, &z0);
            gluUnProject(wx + 0.5, wy + 0.5, 1, model, proj, viewport, &x1, &y1, &z1);
            const double k = (4 - z0) / (z1 - z0);
            const double x = x0 + (x1 - x0) * k, y = y0 + (y1 - y0) * k;
            if (std::fabs(x) > 3.6 || std::fabs(y) > 2.6) continue;
            // Picture pixel under the point: s = (x + 4) / 8 left to right, t = (y + 3) / 6 upwards.
            const int column = int((x + 4) / 8 * 1024), row = int((1 - (y + 3) / 6) * 512);
            double r = 0, g = 0, b = 0;
            int n = 0;
            for (int dr = -3; dr <= 3; dr++)
                for (int dc = -3; dc <= 3; dc++) {
                    const uint8_t* p = &picturePalette[pictureData[(row + dr) * 1024 + column + dc] * 3];
                    r += p[0];
                    g += p[1];
                    b += p[2];
                    n++;
                }
            const Pixel seen = readPixel(wx, wy);
            EXPECT_NEAR(seen.r, r / n, 24) << wx << "," << wy;
            EXPECT_NEAR(seen.g, g / n, 24) << wx << "," << wy;
            EXPECT_NEAR(seen.b, b / n, 24) << wx << "," << wy;
            EXPECT_FALSE(isClearPurple(seen));
            checked++;
        }
    EXPECT_GE(checked, 6);
}

TEST_F(RenderedScene, TextPanelLightsItsSquaresWhereTheLinesStand) {
    frames(3);
    // Lit material 1.6 * (0.9, 0.2, 0.5), clamped: (1, 0.32, 0.8), plus the
    // destination squared from the blend: red full, green and blue strong.
    const auto lit = [](const Pixel& p) { return p.r >= 250 && p.g >= 75 && p.g <= 120 && p.b >= 200; };
    struct Cell {
        const char* what;
        double x, y;  // cell centre in eye space, at z = -2.5
        bool on;
    } cells[] = {
        // Line 1 starts at x = -1.25; "W" row 1 is 1110111.
        {"line 1 W, row 1, column 1", -1.25 - 0.045 + 0.00625, 0.005 + 0.5 + 0.00625, true},
        {"line 1 W, row 1, column 4", -1.25 - 0.045 + 3 * 0.0125 + 0.00625, 0.005 + 0.5 + 0.00625, false},
        // Line 10: blank at -2.13, "-" at -2.03 lit across row 5.
        {"line 10 -, row 5, column 1", -2.03 - 0.045 + 0.00625, -1.075 + 0.45 + 0.00625, true},
        {"line 10 blank", -2.13 + 0.00625, -1.075 + 0.45 + 0.00625, false},
        // Line 2: blank at -0.7, "-" at -0.6, "=" at -0.5 (row 4 is 0111110).
        {"line 2 =, row 4, column 2", -0.5 - 0.045 + 0.0125 + 0.00625, -0.115 + 0.4625 + 0.00625, true},
        {"line 2 =, row 5, column 2", -0.5 - 0.045 + 0.0125 + 0.00625, -0.115 + 0.45 + 0.00625, false},
    };
    for (const Cell& c : cells) {
        double wx, wy;
        project(c.x, c.y, -2.5, &wx, &wy);
        const Pixel p = readPixel(int(wx), int(wy));
        EXPECT_EQ(lit(p), c.on) << c.what << " at " << wx << "," << wy << ": " << p.r << " " << p.g << " " << p.b;
    }
}

TEST_F(RenderedScene, TextBlendsAsSourcePlusDestinationSquared) {
    frames(3);
    // Line 6 "PROGRESSING TO DO MORE" starts at -1.085; its "T" (13th
    // character, origin 0.115) has a full top row, in front of the box.
    double wx, wy;
    project(0.115 - 0.045 + 3 * 0.0125 + 0.00625, -0.595 + 0.5 + 0.00625, -2.5, &wx, &wy);
    const Pixel seen = readPixel(int(wx), int(wy));
    // The same pose without stars and text: what the square was blended onto.
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawCube();
    const Pixel under = readPixel(int(wx), int(wy));
    ASSERT_GT(under.g, 60) << "the square should stand over a bright part of the picture";
    const auto blended = [](double lit, int destination) {
        const double d = destination / 255.0;
        return std::min(1.0, lit + d * d) * 255;
    };
    EXPECT_NEAR(seen.r, blended(1.0, under.r), 3);
    EXPECT_NEAR(seen.g, blended(0.32, under.g), 3);
    EXPECT_NEAR(seen.b, blended(0.8, under.b), 3);
}

TEST_F(RenderedScene, BoxLeavesDepthTestOnAndTexturingOff) {
    frames(1);
    drawCube();
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), pictureTexture);
    // The caps' material and inward bottom normal stay current.
    GLfloat material[4], normal[3];
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, material);
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    EXPECT_FLOAT_EQ(material[0], 2.9f);
    EXPECT_FLOAT_EQ(normal[1], 1.0f);
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
    EXPECT_EQ(fakeDisplay.sleptMs, 4u);  // 1 ms after every presented frame
    EXPECT_NEAR(sceneTime, 0.12, 1e-12);
    // Four steps of 0.05 plus a quarter of sin(0.03 t) at t = 0.03 ... 0.12.
    EXPECT_NEAR(cubeAngleY, 0.2 + 0.25 * (std::sin(0.0009) + std::sin(0.0018) + std::sin(0.0027) + std::sin(0.0036)), 1e-12);
}

TEST_F(RenderedScene, ViewportFollowsTheScreenOnlyInFullScreen) {
    struct Case {
        uint8_t fullScreen;
        int32_t screenW, screenH;
        int32_t viewW, viewH;
    } cases[] = {
        {1, 1920, 1080, 1920, 1080},
        {1, 1024, 768, 1024, 768},
        {0, 1920, 1080, 1024, 768},
        {2, 1920, 1080, 1024, 768},  // only exactly 1 means full screen
        {1, 0, 0, 1024, 768},        // a screen with no size keeps the windowed size
    };
    for (const Case& c : cases) {
        displaySettings = {c.fullScreen, 0, 0, 1024, 768};
        fakeDisplay.screenWidth = c.screenW;
        fakeDisplay.screenHeight = c.screenH;
        initDisplay();
        EXPECT_EQ(fakeDisplay.fullScreen, c.fullScreen == 1);
        if (c.fullScreen != 1) {
            EXPECT_EQ(fakeDisplay.x, 0);
            EXPECT_EQ(fakeDisplay.y, 0);
            EXPECT_EQ(fakeDisplay.width, 1024);
            EXPECT_EQ(fakeDisplay.height, 768);
        }
        GLint viewport[4];
        GLdouble proj[16];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        EXPECT_EQ(viewport[2], c.viewW);
        EXPECT_EQ(viewport[3], c.viewH);
        // gluPerspective puts f / aspect and f on the diagonal.
        EXPECT_NEAR(proj[5] / proj[0], double(c.viewW) / c.viewH, 1e-6);
        EXPECT_NEAR(proj[5], 1 / std::tan(32.5 * M_PI / 180), 1e-6);
    }
}

}  // namespace
