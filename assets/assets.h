// The intro's constant tables: picture and palette, font rows, text lines.
#pragma once

#include <cstdint>

#include "embed.h"

// Picture: 256-colour palette (red, green, blue per entry) and 1024 x 512
// index bytes, top row first, each row left to right.
constexpr uint32_t PictureWidth = 1024;
constexpr uint32_t PictureHeight = 512;
constexpr uint32_t PicturePaletteBytes = 256 * 3;
constexpr uint32_t PictureBytes = PictureWidth * PictureHeight;
EMBEDDED_BLOB(picturePalette);
EMBEDDED_BLOB(pictureData);

// Font: glyphs for codes 32 to 90, nine row values each (see font.cpp).
constexpr uint32_t FontGlyphCount = 59;
constexpr uint32_t FontRows = 9;
constexpr uint32_t FontColumns = 7;
extern const uint8_t fontRows[FontGlyphCount * FontRows];

// The ten lines of the text panel, top line first.
constexpr uint32_t TextLineCount = 10;
extern const char* const textLineAsset[TextLineCount];

// The tune: an XM module, the only one the intro plays.
EMBEDDED_BLOB(moduleData);
