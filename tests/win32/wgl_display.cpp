// The scene tests' GL context on Windows (tests/app/stand_in_display.cpp has
// the rest of the stand-in seam), drawing through a WGL context
// on a plain 1024 x 768 pop-up window at (0, 0) instead of an off-screen
// buffer. The tests draw into the back buffer and read it back; nothing is
// ever presented, and no window message is read.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "stand_in_display.h"
#include "platform.h"

using namespace introplayer;

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
