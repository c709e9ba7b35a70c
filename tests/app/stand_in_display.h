// A stand-in for the display side of the platform seam: a GL context of
// 1024 x 768 that the test reads back instead of a window (OSMesa natively,
// WGL on Windows), a screen size the test picks, scripted Escape states and
// counted presents and sleeps.
#pragma once

#include <GL/gl.h>

#include <cstdint>

constexpr int32_t FrameWidth = 1024;
constexpr int32_t FrameHeight = 768;

struct FakeDisplay {
    int32_t opens = 0;             // platformOpenDisplay calls
    bool fullScreen = false;       // as the last call asked
    int32_t screenWidth = FrameWidth;   // what platformScreenSize reports
    int32_t screenHeight = FrameHeight;
    const uint16_t* escapeScript = nullptr;  // key states the polls return, then 0
    int32_t escapeScriptLength = 0;
    int32_t escapePolls = 0;
    int32_t presents = 0;
    uint32_t sleptMs = 0;
};
extern FakeDisplay fakeDisplay;

// Makes the context current (created on first use); one per GL side.
void makeOffscreenContextCurrent();

struct Pixel {
    int r, g, b;
};
// Reads one pixel of the frame; y counts from the bottom row, as in OpenGL.
Pixel readPixel(int32_t x, int32_t y);
