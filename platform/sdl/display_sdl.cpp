// Display, Escape and sleep on SDL2, with the meanings of the Win32 side: a
// borderless window at (0, 0) the size of the desktop for full screen (SDL's
// own full-screen-desktop mode does not cover the screen without a window
// manager), a compatibility context so immediate mode works, and the same
// 16-bit Escape states.
#include <SDL.h>

#include "escape_state.h"
#include "platform.h"

namespace introplayer {

namespace {

struct SdlDisplay {
    SDL_Window* window;
    SDL_GLContext context;
    EscapeTracker escape;
    bool quitRequested;   // SDL_QUIT seen: reads as Escape from then on
};
SdlDisplay sdlDisplay;

// Double-buffered 8-bit red, green and blue (32-bit colour, no alpha asked
// for) with the given depth buffer, in a compatibility profile.
void setPixelFormat(int depthBits) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);
}

}  // namespace

void platformOpenDisplay(bool fullScreen, int32_t x, int32_t y, int32_t width, int32_t height) {
    SDL_Init(SDL_INIT_VIDEO);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
    if (fullScreen) {
        platformScreenSize(&width, &height);
        x = 0;
        y = 0;
        flags |= SDL_WINDOW_BORDERLESS;
    }
    // The 32-bit depth buffer when the driver offers it, else the deepest one.
    static const int depths[] = {32, 24, 16, 0};
    for (int depth : depths) {
        setPixelFormat(depth);
        sdlDisplay.window = SDL_CreateWindow("BLAH!", x, y, width, height, flags);
        if (!sdlDisplay.window) continue;
        sdlDisplay.context = SDL_GL_CreateContext(sdlDisplay.window);
        if (sdlDisplay.context) break;
        SDL_DestroyWindow(sdlDisplay.window);
        sdlDisplay.window = nullptr;
    }
    if (sdlDisplay.context) SDL_GL_MakeCurrent(sdlDisplay.window, sdlDisplay.context);
    SDL_ShowCursor(SDL_DISABLE);
}

void platformScreenSize(int32_t* width, int32_t* height) {
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        *width = mode.w;
        *height = mode.h;
    } else {
        *width = 0;
        *height = 0;
    }
}

void platformPresent() {
    if (sdlDisplay.window) SDL_GL_SwapWindow(sdlDisplay.window);
}

int16_t platformEscapeState() {
    // Pumping keeps the window alive; everything but Escape and a request to
    // quit is dropped, as the Win32 side never reads its window messages.
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if ((event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) &&
            event.key.keysym.scancode == SDL_SCANCODE_ESCAPE)
            escapeKeyEvent(sdlDisplay.escape, event.type == SDL_KEYDOWN, event.key.repeat != 0);
        // Ctrl-C in the terminal (SDL turns SIGINT and SIGTERM into this) or
        // the window manager's close: the program ends as on Escape.
        if (event.type == SDL_QUIT)
            sdlDisplay.quitRequested = true;
    }
    if (sdlDisplay.quitRequested)
        return int16_t(0x8001);
    return escapeKeyPoll(sdlDisplay.escape);
}

}  // namespace introplayer
