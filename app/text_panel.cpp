// Ten fixed lines in a 7 x 9 dot-matrix font; every lit cell is a small lit
// square, blended onto the frame and fixed to the camera.
#include <cstring>

#include "gl.h"
#include "scene.h"

const char* textLines[TextLineCount];
int32_t fontCells[GlyphSlots * GlyphCells];

namespace {
const float glyphMaterial[4] = {0.9f, 0.2f, 0.5f, 0.02f};
constexpr double CellSize = 0.0125;
constexpr double Advance = 0.1;       // per character
constexpr double CentringWidth = 0.11;  // per character, wider than the advance on purpose
constexpr double TextDepth = -2.5;
}  // namespace

void assignTextLines() {
    for (uint32_t i = 0; i < TextLineCount; i++) textLines[i] = textLineAsset[i];
}

void loadFont() {
    // Slots 60 to 64 (codes 91 to 95) have no glyph in the asset and stay dark.
    for (int32_t& cell : fontCells) cell = 0;
    for (uint32_t g = 0; g < FontGlyphCount; g++)
        for (uint32_t r = 0; r < FontRows; r++)
            for (uint32_t c = 0; c < FontColumns; c++)
                fontCells[g * GlyphCells + r * FontColumns + c] = (fontRows[g * FontRows + r] >> (6 - c)) & 1;
}

int32_t fontCell(int32_t glyph, int32_t row, int32_t column) {
    return fontCells[(glyph - 1) * GlyphCells + (row - 1) * 7 + (column - 1)];
}

double textLineX(int32_t length) { return 0.125 - (length * CentringWidth) / 2.0; }

double textLineY(int32_t line) { return -line * 0.12 + 0.125; }

void drawGlyph(int32_t glyph, double x, double y, double z) {
    // Codes outside 32 to 95 have no slot in the font table: they draw nothing
    // rather than read beyond it.
    if (glyph < 1 || glyph > GlyphSlots) return;
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(float(x), float(y), float(z));
    double v = 0.5;  // lower edge of the top row
    for (int32_t r = 1; r <= 9; r++) {
        double u = -0.045;  // left edge of the left column
        glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, glyphMaterial);
        glColor3f(0.2f, 0.1f, 0.2f);  // never reaches the screen with lighting on
        for (int32_t c = 1; c <= 7; c++) {
            if (fontCell(glyph, r, c) == 1) {
                glBegin(GL_QUADS);
                glNormal3f(0.0f, 0.0f, 1.0f);
                glVertex3f(float(u), float(v), 0.0f);
                glVertex3f(float(u + CellSize), float(v), 0.0f);
                glVertex3f(float(u + CellSize), float(v + CellSize), 0.0f);
                glVertex3f(float(u), float(v + CellSize), 0.0f);
                glEnd();
            }
            u = u + CellSize;
        }
        v = v - CellSize;
    }
    glPopMatrix();
}

void drawTextPanel() {
    glEnable(GL_BLEND);
    for (int32_t i = 1; i <= int32_t(TextLineCount); i++) {
        const char* line = textLines[i - 1];
        if (!line) continue;
        const int32_t n = int32_t(std::strlen(line));
        const double y = textLineY(i);
        double x = textLineX(n);
        for (int32_t j = 0; j < n; j++) {
            drawGlyph(int32_t(uint8_t(line[j])) - 31, x, y, TextDepth);
            x = x + Advance;  // blanks and empty slots advance too
        }
    }
    glDisable(GL_BLEND);
}
