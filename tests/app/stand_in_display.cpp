// The stand-in display seam shared by the OSMesa and the WGL contexts.
#include "stand_in_display.h"

#include "platform.h"

FakeDisplay fakeDisplay = {0, false, 0, 0, 0, 0, FrameWidth, FrameHeight, 0, nullptr, 0, 0, 0, 0};

Pixel readPixel(int32_t x, int32_t y) {
    unsigned char p[4] = {0, 0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

void platformOpenDisplay(bool fullScreen, int32_t x, int32_t y, int32_t width, int32_t height) {
    fakeDisplay.opens++;
    fakeDisplay.fullScreen = fullScreen;
    fakeDisplay.x = x;
    fakeDisplay.y = y;
    fakeDisplay.width = width;
    fakeDisplay.height = height;
    makeOffscreenContextCurrent();
}

void platformScreenSize(int32_t* width, int32_t* height) {
    fakeDisplay.screenQueries++;
    *width = fakeDisplay.screenWidth;
    *height = fakeDisplay.screenHeight;
}

// Escape, presentation and sleep: scripted key states, counted calls.
int16_t platformEscapeState() {
    if (fakeDisplay.escapePolls < fakeDisplay.escapeScriptLength)
        return int16_t(fakeDisplay.escapeScript[fakeDisplay.escapePolls++]);
    fakeDisplay.escapePolls++;
    return 0;
}

void platformPresent() { fakeDisplay.presents++; }

void platformSleep(uint32_t ms) { fakeDisplay.sleptMs += ms; }
