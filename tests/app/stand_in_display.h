// A stand-in for the display side of the platform seam: a GL context of
// 1024 x 768 that the test reads back instead of a window (OSMesa natively,
// WGL on Windows), a screen size the test picks, scripted Escape states and
// counted presents and sleeps.
#pragma once

#include <GL/gl.h>

#include <cstdint>

struct FakeDisplay {
    int32_t opens;         // platformOpenDisplay calls
    bool fullScreen;       // arguments of the last call
    int32_t x, y, width, height;
    int32_t screenWidth;   // what platformScreenSize reports
    int32_t screenHeight;
    int32_t screenQueries;
    const uint16_t* escapeScript;  // key states the polls return, then 0
    int32_t escapeScriptLength;
    int32_t escapePolls;
    int32_t presents;
    uint32_t sleptMs;
};
extern FakeDisplay fakeDisplay;

constexpr int32_t FrameWidth = 1024;
constexpr int32_t FrameHeight = 768;

// Makes the context current (created on first use); one per GL side.
void makeOffscreenContextCurrent();

struct Pixel {
    int r, g, b;
};
// Reads one pixel of the frame; y counts from the bottom row, as in OpenGL.
Pixel readPixel(int32_t x, int32_t y);
