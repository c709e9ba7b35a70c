// Display, Escape and sleep on Win32: a window of the predefined "Edit" class
// (no class or window procedure of our own, and no message is ever read), a
// pixel format asked for with three fields only, and a WGL context.
#include <windows.h>

#include "platform.h"

namespace introplayer {

namespace {

struct Win32Display {
    HDC windowDC;  // presented every frame; the window handle is not kept
    PIXELFORMATDESCRIPTOR pixelFormat;
};
Win32Display win32Display;

}  // namespace

void platformOpenDisplay(bool fullScreen, int32_t x, int32_t y, int32_t width, int32_t height) {
    // Double buffer and OpenGL (0x21), 32-bit colour and depth; every other
    // field stays zero: RGBA, main plane, no alpha, accumulation or stencil.
    PIXELFORMATDESCRIPTOR& pfd = win32Display.pixelFormat;
    pfd.dwFlags = PFD_DOUBLEBUFFER | PFD_SUPPORT_OPENGL;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 32;

    HWND window;
    if (fullScreen) {
        // Maximised: the system gives it the screen's size.
        window = CreateWindowExA(WS_EX_LEFT, "Edit", "BLAH!", WS_POPUP | WS_VISIBLE | WS_MAXIMIZE, 0, 0, 0, 0,
                                 nullptr, nullptr, nullptr, nullptr);
    } else {
        window = CreateWindowExA(WS_EX_LEFT, "Edit", "BLAH!", WS_POPUP | WS_VISIBLE | WS_BORDER, x, y, width, height,
                                 nullptr, nullptr, nullptr, nullptr);
    }
    win32Display.windowDC = GetDC(window);
    const int format = ChoosePixelFormat(win32Display.windowDC, &pfd);
    SetPixelFormat(win32Display.windowDC, format, &pfd);
    HGLRC context = wglCreateContext(win32Display.windowDC);
    wglMakeCurrent(win32Display.windowDC, context);
    ShowCursor(FALSE);
}

void platformScreenSize(int32_t* width, int32_t* height) {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
}

void platformPresent() { SwapBuffers(win32Display.windowDC); }

int16_t platformEscapeState() { return int16_t(GetAsyncKeyState(VK_ESCAPE)); }

}  // namespace introplayer
