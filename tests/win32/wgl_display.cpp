// The scene tests' stand-in display on Windows: the same fake seam as the
// OSMesa one (tests/app/osmesa_display.cpp), drawing through a WGL context
// on a plain 1024 x 768 pop-up window at (0, 0) instead of an off-screen
// buffer. The tests draw into the back buffer and read it back; nothing is
// ever presented, and no window message is read.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "osmesa_display.h"
#include "platform.h"

FakeDisplay fakeDisplay = {0, false, 0, 0, 0, 0, FrameWidth, FrameHeight, 0, nullptr, 0, 0, 0, 0};

namespace {
HDC windowDC;
HGLRC context;
}  // namespace

void makeOffscreenContextCurrent() {
    if (!context) {
        HWND window = CreateWindowExA(0, "Edit", "scene tests", WS_POPUP | WS_VISIBLE, 0, 0, FrameWidth,
                                      FrameHeight, nullptr, nullptr, nullptr, nullptr);
        windowDC = GetDC(window);
        PIXELFORMATDESCRIPTOR pfd{};
        pfd.nSize = sizeof pfd;
        pfd.nVersion = 1;
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = 32;
        pfd.cDepthBits = 24;
        const int format = ChoosePixelFormat(windowDC, &pfd);
        if (window == nullptr || format == 0 || !SetPixelFormat(windowDC, format, &pfd) ||
            (context = wglCreateContext(windowDC)) == nullptr) {
            std::fprintf(stderr, "cannot create a WGL context\n");
            std::abort();
        }
    }
    wglMakeCurrent(windowDC, context);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
}

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
