// The dot-matrix text panel: font cells, glyph geometry, line placement.
// Geometry is read back with feedback mode under an orthographic view of
// 100 pixels per unit centred on the origin (see feedback.h).
#include <gtest/gtest.h>

#include <cstring>

#include "feedback.h"
#include "stand_in_display.h"
#include "scene.h"

namespace {

constexpr double CellArea = 1.25 * 1.25;  // a 0.0125 cell in window pixels

class TextPanel : public ::testing::Test {
protected:
    void SetUp() override {
        displaySettings = {1, 0, 0, 1024, 768};
        initDisplay();  // culling and the rest of the fixed state
        assignTextLines();
        loadFont();
        setProbeView();
    }
    void TearDown() override { assignTextLines(); }

    static Feedback glyph(int32_t slot, double x = 0, double y = 0) {
        return captureFeedback([&] { drawGlyph(slot, x, y, -2.5); });
    }
    static int cells(const Feedback& f) { return int(f.polygonArea() / CellArea + 0.5); }
};

TEST_F(TextPanel, FontCellsComeFromTheRowBits) {
    const int32_t A = 'A' - 31;
    // "A" rows: 18 08 08 14 14 22 3E 22 77.
    EXPECT_EQ(fontCell(A, 1, 2), 0);
    EXPECT_EQ(fontCell(A, 1, 3), 1);  // 0x18: bit 4 is column 3, bit 3 column 4
    EXPECT_EQ(fontCell(A, 1, 4), 1);
    EXPECT_EQ(fontCell(A, 1, 5), 0);
    EXPECT_EQ(fontCell(A, 9, 1), 1);  // 0x77: 1110111
    EXPECT_EQ(fontCell(A, 9, 4), 0);
    EXPECT_EQ(fontCell(A, 9, 7), 1);
    // Slots 60 to 64 stay dark.
    for (int32_t g = 60; g <= 64; g++)
        for (int32_t r = 1; r <= 9; r++)
            for (int32_t c = 1; c <= 7; c++) ASSERT_EQ(fontCell(g, r, c), 0) << g;
}

TEST_F(TextPanel, GlyphsDrawOneSquarePerLitCell) {
    struct Case {
        char character;
        int cells;  // set bits of the glyph's nine rows, counted by hand
    } cases[] = {
        {'A', 23}, {'Z', 23}, {'.', 1}, {'!', 8}, {'-', 7}, {'0', 20}, {'\'', 2}, {' ', 0},
    };
    for (const Case& c : cases) {
        Feedback f = glyph(c.character - 31);
        EXPECT_EQ(cells(f), c.cells) << c.character;
        EXPECT_NEAR(f.polygonArea(), c.cells * CellArea, 1e-2) << c.character;
    }
}

TEST_F(TextPanel, CellsRunTopRowFirstAndLeftColumnFirst) {
    // "." has one lit cell, row 9 column 4: x from -0.0075, y from 0.4.
    Feedback dot = glyph('.' - 31, 1.0, -2.0);
    ASSERT_EQ(cells(dot), 1);
    EXPECT_NEAR(probeToObject(dot.minX()), 1.0 - 0.0075, 1e-4);
    EXPECT_NEAR(probeToObject(dot.maxX()), 1.0 + 0.005, 1e-4);
    EXPECT_NEAR(probeToObject(dot.minY()), -2.0 + 0.4, 1e-4);
    EXPECT_NEAR(probeToObject(dot.maxY()), -2.0 + 0.4125, 1e-4);
    // The apostrophe: row 1 column 3 and row 2 column 4, so it spans from the
    // top edge at 0.5125 down to 0.4875 and from -0.02 to 0.005.
    Feedback apostrophe = glyph('\'' - 31);
    EXPECT_NEAR(probeToObject(apostrophe.maxY()), 0.5125, 1e-4);
    EXPECT_NEAR(probeToObject(apostrophe.minY()), 0.4875, 1e-4);
    EXPECT_NEAR(probeToObject(apostrophe.minX()), -0.02, 1e-4);
    EXPECT_NEAR(probeToObject(apostrophe.maxX()), 0.005, 1e-4);
    // The full-width bar of "-" covers the glyph's whole width.
    Feedback bar = glyph('-' - 31);
    EXPECT_NEAR(probeToObject(bar.minX()), -0.045, 1e-4);
    EXPECT_NEAR(probeToObject(bar.maxX()), 0.0425, 1e-4);
}

TEST_F(TextPanel, SlotsWithoutGlyphsDrawNothing) {
    // Blank, the five empty slots, and codes with no slot at all (below 32,
    // above 95, bytes above 127): nothing drawn, nothing read out of bounds.
    for (int32_t slot : {1, 60, 61, 62, 63, 64, 0, -1, -31, 65, 96, 224, 100000})
        EXPECT_TRUE(glyph(slot).polygons.empty()) << slot;
}

TEST_F(TextPanel, LinePlacement) {
    struct Case {
        int32_t line, length;
        double x, y;
    } cases[] = {
        {1, 25, -1.25, 0.005}, {2, 15, -0.7, -0.115}, {5, 30, -1.525, -0.475}, {10, 41, -2.13, -1.075},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(textLineX(c.length), c.x, 1e-12) << c.line;
        EXPECT_NEAR(textLineY(c.line), c.y, 1e-12) << c.line;
        EXPECT_EQ(std::strlen(textLines[c.line - 1]), size_t(c.length)) << c.line;
    }
}

// The polygons of one line: those inside its band of glyph rows.
Feedback lineOf(const Feedback& all, int32_t line) {
    const double y = -line * 0.12 + 0.125;
    Feedback out;
    for (const auto& p : all.polygons) {
        double py = probeToObject(p[0].y);
        if (py >= y + 0.4 - 1e-4 && py <= y + 0.5125 + 1e-4) out.polygons.push_back(p);
    }
    return out;
}

TEST_F(TextPanel, PanelEdgesWhereTheLinesStand) {
    Feedback all = captureFeedback([] { drawTextPanel(); });
    // Line 10 " -= GO ... KEX =-": a blank at -2.13 advances to "-" at -2.03,
    // whose bar starts 0.045 left of its origin; the closing "-" stands at 1.87.
    Feedback line10 = lineOf(all, 10);
    EXPECT_NEAR(probeToObject(line10.minX()), -2.075, 1e-4);
    EXPECT_NEAR(probeToObject(line10.maxX()), 1.9125, 1e-4);
    // Line 2 " -= KEX SUX =- " likewise from -0.7.
    EXPECT_NEAR(probeToObject(lineOf(all, 2).minX()), -0.645, 1e-4);
    // Line 1 "WE'RE ...": W's first column is lit.
    EXPECT_NEAR(probeToObject(lineOf(all, 1).minX()), -1.295, 1e-4);

    // Every lit cell of every character appears once.
    int expected = 0;
    for (uint32_t i = 0; i < TextLineCount; i++)
        for (const char* s = textLineAsset[i]; *s; s++)
            for (uint32_t r = 0; r < FontRows; r++)
                expected += __builtin_popcount(fontRows[uint32_t(*s - 32) * FontRows + r]);
    EXPECT_GT(expected, 3000);
    EXPECT_EQ(cells(all), expected);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(TextPanel, SameGeometryWhateverThePose) {
    sceneTime = 0.03;
    cubeAngleY = 0.05;
    Feedback first = captureFeedback([] { drawTextPanel(); });
    sceneTime = 123.0;
    cubeAngleY = 77.0;
    glRotatef(40, 1, 1, 0);  // a stray modelview matrix does not move the glyphs
    Feedback second = captureFeedback([] { drawTextPanel(); });
    ASSERT_EQ(first.polygons.size(), second.polygons.size());
    for (size_t i = 0; i < first.polygons.size(); i++)
        for (size_t k = 0; k < first.polygons[i].size(); k++) {
            ASSERT_EQ(first.polygons[i][k].x, second.polygons[i][k].x);
            ASSERT_EQ(first.polygons[i][k].y, second.polygons[i][k].y);
        }
}

TEST_F(TextPanel, UnknownCodesInALineAdvanceButDrawNothing) {
    static const char odd[] = {'A', '\x7f', '[', '\xff', '\x01', 'A', 0};
    textLines[0] = odd;
    Feedback line1 = lineOf(captureFeedback([] { drawTextPanel(); }), 1);
    EXPECT_EQ(cells(line1), 46);  // the two A's only
    // The second A stands five advances after the first: 0.5 further right.
    const double start = 0.125 - 6 * 0.11 / 2;
    EXPECT_NEAR(probeToObject(line1.maxX()), start + 0.5 + 0.0425, 1e-4);  // A's row 9 reaches column 7
}

}  // namespace
