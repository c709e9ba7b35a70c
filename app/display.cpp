// The display window and the fixed OpenGL state the whole scene is drawn in.
#include "gl.h"
#include "platform.h"
#include "scene.h"

using namespace introplayer;

DisplaySettings displaySettings = {1, 0, 0, 1024, 768};

const float lightAmbient[4] = {0.4f, 0.4f, 0.4f, 1.0f};
// w = 0: a directional light shining from the viewer's side into the scene.
const float lightPosition[4] = {0.0f, 0.0f, 1.0f, 0.0f};

void initDisplay() {
    DisplaySettings& d = displaySettings;
    const bool fullScreen = d.fullScreen == 1;
    // Window, pixel format (double-buffered, 32-bit colour and depth), context
    // made current, cursor hidden.
    platformOpenDisplay(fullScreen, d.windowX, d.windowY, d.windowWidth, d.windowHeight);
    glLoadIdentity();
    if (fullScreen) {
        int32_t width = 0, height = 0;
        platformScreenSize(&width, &height);
        // A screen that reports no size would give a zero-height viewport and a
        // meaningless aspect ratio: keep the windowed size then.
        if (width > 0 && height > 0) {
            d.windowWidth = width;
            d.windowHeight = height;
        }
    }
    glViewport(0, 0, d.windowWidth, d.windowHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(65.0, double(d.windowWidth) / double(d.windowHeight), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glShadeModel(GL_SMOOTH);
    glClearColor(0.2f, 0.0f, 0.1f, 0.0f);  // dark purple
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);  // modelview is identity: eye space
    // With the default constant colour (alpha 0) the source factor is 1, so a
    // blended channel becomes source + destination * destination.
    glBlendFunc(GL_ONE_MINUS_CONSTANT_ALPHA, GL_DST_COLOR);
    glEnable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glPointSize(1.5f);
    glFogf(GL_FOG_START, 18.0f);
    glFogf(GL_FOG_END, 20.0f);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_DENSITY, 0.00002f);  // no effect in linear mode
}
