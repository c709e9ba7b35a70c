// The intro's scene: module-level values shared by the start-up sequence, the
// frame loop and the three layers (stars, box, text panel). All of it is
// static storage, filled at start-up; the frame loop allocates nothing.
#pragma once

#include <cstdint>

#include "assets.h"

// ---- Frame loop (main.cpp drives it, frame.cpp holds it) -------------------

extern double sceneTime;     // 0.03 per frame, never reset
extern double cubeAngleX;    // degrees
extern double cubeAngleY;    // degrees, accumulates from frame to frame
extern double cubeAngleZ;    // degrees
extern double cubeDistance;  // scene units in front of the viewer

// Start-up steps that need no player: tables, stars, display, texture, text,
// font, in that order.
void startScene();
// True when the polled Escape state ends the frame loop: only exactly 0x8001,
// down now and newly pressed since the previous poll.
bool escapeEndsLoop(int16_t keyState);
// Advances sceneTime by one step and derives the box's pose from it.
void advanceScene();
// Clears the frame and draws stars, box and text panel.
void drawScene();
// One pass of the frame loop: Escape test, advance, draw, present, sleep 1 ms.
// False, with nothing advanced or drawn, when Escape ends the loop.
bool runFrame();

// ---- Display (display.cpp) ---------------------------------------------------

struct DisplaySettings {
    uint8_t fullScreen;     // 1: covers the screen; any other value: windowed
    int32_t windowX, windowY;
    int32_t windowWidth;    // replaced by the screen size in full-screen mode
    int32_t windowHeight;
};
extern DisplaySettings displaySettings;
extern const float lightAmbient[4];
extern const float lightPosition[4];

void initDisplay();

// ---- Random source (random.cpp) ---------------------------------------------

// The classic Windows C runtime generator, so the star field is the same on
// every build: state starts at 1, state = state * 214013 + 2531011 (mod 2^32).
struct RandomState {
    uint32_t state;
};
extern RandomState randomState;

int32_t runtimeRand();  // 0 to 32,767
double rnd();           // runtimeRand() * 2^-15, in [0, 1)

// ---- Picture texture (picture_texture.cpp) -----------------------------------

constexpr uint32_t TextureWidth = 1024;
constexpr uint32_t TextureHeight = 512;
extern uint32_t paletteColours[256];  // 0xFF000000 | blue << 16 | green << 8 | red
extern int32_t pictureIndices[TextureWidth * TextureHeight];
extern uint32_t textureImage[TextureWidth * TextureHeight];  // bottom row first
extern uint32_t pictureTexture;

void buildColourTable();
void buildTextureImage();
void uploadPictureTexture();

// ---- Box (cube.cpp) -----------------------------------------------------------

extern const float sideMaterial[4];
extern const float capMaterial[4];

void drawCube();

// ---- Starfield (starfield.cpp) --------------------------------------------------

constexpr int32_t StarCount = 5000;  // highest star index: 5,001 stars
extern double starX[StarCount + 1];
extern double starY[StarCount + 1];
extern double starZ[StarCount + 1];

void clearStars();
void initStars();
void drawStars();

// ---- Text panel (text_panel.cpp) ----------------------------------------------

constexpr int32_t GlyphSlots = 64;   // codes 32 to 95
constexpr int32_t GlyphCells = 63;   // 9 rows of 7
extern const char* textLines[TextLineCount];  // line 1 is textLines[0]
extern int32_t fontCells[GlyphSlots * GlyphCells];

void assignTextLines();
void loadFont();
// Cell of glyph slot g (1 to 64), row r (1 to 9, top first), column c (1 to 7).
int32_t fontCell(int32_t glyph, int32_t row, int32_t column);
// Origin of a line's first character: x from its length, y from its
// number (1 to 10, top first).
double textLineX(int32_t length);
double textLineY(int32_t line);
void drawGlyph(int32_t glyph, double x, double y, double z);
void drawTextPanel();
