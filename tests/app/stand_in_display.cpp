// The stand-in display seam shared by the OSMesa and the WGL contexts.
#include "stand_in_display.h"

#include "platform.h"

FakeDisplay fakeDisplay;

Pixel readPixel(int32_t x, int32_t y) {
    unsigned char p[4] = {0, 0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

namespace introplayer {

void platformOpenDisplay(bool fullScreen, int32_t, int32_t, int32_t, int32_t) {
    fakeDisplay.opens++;
    fakeDisplay.fullScreen = fullScreen;
    makeOffscreenContextCurrent();
}

void platformScreenSize(int32_t* width, int32_t* height) {
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

}  // namespace introplayer
