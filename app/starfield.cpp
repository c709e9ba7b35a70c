// 5,001 points drifting towards the viewer through linear fog.
#include "gl.h"
#include "scene.h"

double starX[StarCount + 1];
double starY[StarCount + 1];
double starZ[StarCount + 1];

void clearStars() {
    for (int32_t i = 0; i <= StarCount; i++) starX[i] = starY[i] = starZ[i] = 0.0;
}

void initStars() {
    // Draws interleaved per star, x then y then z: that fixes the layout.
    for (int32_t i = 0; i <= StarCount; i++) {
        starX[i] = rnd() * 80.0 - 40.0;
        starY[i] = rnd() * 80.0 - 40.0;
        starZ[i] = rnd() * 50.0 - 40.0;  // z uses 50, not 80: [-40, 10)
    }
}

void drawStars() {
    glEnable(GL_FOG);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -8.0f);
    for (int32_t i = 0; i <= StarCount; i++) {
        // Lighting stays on, so the grey never shows: each point takes the
        // material the text panel left from the previous frame.
        glBegin(GL_POINTS);
        glColor3f(0.9f, 0.9f, 0.9f);
        glVertex3f(float(starX[i]), float(starY[i]), float(starZ[i]));
        glEnd();
        starZ[i] = starZ[i] + 0.03;
        if (starZ[i] >= 10.0) starZ[i] += -50.0;  // re-enters at the back, keeping the overshoot
    }
    glPopMatrix();
    glDisable(GL_FOG);
}
