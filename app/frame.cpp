// Start-up order and one frame of the intro: the scene advances by a fixed
// step per frame, never by the clock.
#include <cmath>

#include "gl.h"
#include "platform.h"
#include "scene.h"

using namespace introplayer;

double sceneTime;
double cubeAngleX;
double cubeAngleY;
double cubeAngleZ;
double cubeDistance;

void startScene() {
    buildColourTable();
    clearStars();
    initStars();
    initDisplay();
    buildTextureImage();
    uploadPictureTexture();
    assignTextLines();
    loadFont();
}

bool escapeEndsLoop(int16_t keyState) {
    // 0x8000 (held), 0x0001 (pressed and released between polls) and 0 go on.
    return uint16_t(keyState) == 0x8001;
}

void advanceScene() {
    sceneTime = 0.03 + sceneTime;
    const double t = sceneTime;
    cubeAngleX = std::sin(0.03 * t) * 15.0;
    cubeAngleY = (std::sin(0.03 * t) * 0.25 + cubeAngleY) + 0.05;
    cubeAngleZ = std::cos(0.02 * t) * 15.0;
    cubeDistance = std::sin(0.03 * t) * 7.0 + 14.0;
}

void drawScene() {
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawStars();
    drawCube();
    drawTextPanel();
}

bool runFrame() {
    if (escapeEndsLoop(platformEscapeState())) return false;  // nothing drawn in that pass
    advanceScene();
    drawScene();
    platformPresent();
    platformSleep(1);  // yields once per frame; there is no frame timer
    return true;
}
