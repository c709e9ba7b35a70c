// The picture asset and its way into the texture: colour words, row flip,
// column order, no alpha in the uploaded texture.
#include <gtest/gtest.h>

#include <cstring>

#include "stand_in_display.h"
#include "scene.h"

namespace {

uint32_t assetColour(uint32_t row, uint32_t column) {
    const uint8_t index = pictureData[row * PictureWidth + column];
    const uint8_t* p = &picturePalette[index * 3];
    return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

TEST(PictureAsset, SizesAndTheKnownBytes) {
    EXPECT_EQ(picturePaletteEnd - picturePalette, 768);
    EXPECT_EQ(pictureDataEnd - pictureData, 524288);
    EXPECT_EQ(picturePalette[0], 0xE4);
    EXPECT_EQ(picturePalette[1], 0xC9);
    EXPECT_EQ(picturePalette[2], 0x5F);
    EXPECT_EQ(pictureData[0], 0x31);
}

TEST(PictureTexture, ColourWordsAreRgbaBytesWithFullAlpha) {
    buildColourTable();
    EXPECT_EQ(paletteColours[0], 0xFF5FC9E4u);
    unsigned char bytes[4];
    std::memcpy(bytes, &paletteColours[0], 4);
    const unsigned char expected[4] = {0xE4, 0xC9, 0x5F, 0xFF};
    EXPECT_EQ(0, std::memcmp(bytes, expected, 4));
    for (uint32_t i = 0; i < 256; i++) {
        EXPECT_EQ(paletteColours[i] >> 24, 0xFFu) << i;
        EXPECT_EQ(paletteColours[i] & 0xFF, picturePalette[3 * i]) << i;           // red lowest
        EXPECT_EQ((paletteColours[i] >> 16) & 0xFF, picturePalette[3 * i + 2]) << i;  // blue third
    }
    EXPECT_EQ(pictureIndices[0], 0x31);
    EXPECT_EQ(pictureIndices[PictureBytes - 1], pictureData[PictureBytes - 1]);
}

TEST(PictureTexture, RowsFlipAndColumnsKeepTheirOrder) {
    // The corners of the picture differ, so a flip or mirror shows.
    const uint32_t topLeft = assetColour(0, 0), topRight = assetColour(0, 1023);
    const uint32_t bottomLeft = assetColour(511, 0), bottomRight = assetColour(511, 1023);
    ASSERT_NE(topLeft, topRight);
    ASSERT_NE(topLeft, bottomLeft);
    ASSERT_NE(bottomLeft, bottomRight);

    buildColourTable();
    buildTextureImage();
    const auto texel = [](uint32_t row, uint32_t column) { return textureImage[row * TextureWidth + column]; };
    EXPECT_EQ(texel(511, 0), paletteColours[0x31]);  // first picture byte: top row of the texture
    EXPECT_EQ(texel(511, 0), topLeft);
    EXPECT_EQ(texel(511, 1023), topRight);
    EXPECT_EQ(texel(0, 0), bottomLeft);
    EXPECT_EQ(texel(0, 1023), bottomRight);
    // A row from the middle, every column: texture row 200 is picture row 311.
    for (uint32_t c = 0; c < 1024; c++) ASSERT_EQ(texel(200, c), assetColour(311, c)) << c;
}

TEST(PictureTexture, UploadKeepsRedGreenBlueOnly) {
    makeOffscreenContextCurrent();
    buildColourTable();
    buildTextureImage();
    uploadPictureTexture();
    ASSERT_NE(pictureTexture, 0u);
    GLint bound = 0, width = 0, height = 0, alphaBits = -1, minFilter = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), pictureTexture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 512);
    EXPECT_EQ(alphaBits, 0);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
    // Mipmaps down to 1 x 1: level 10 exists.
    GLint smallest = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 10, GL_TEXTURE_WIDTH, &smallest);
    EXPECT_EQ(smallest, 1);

    // Level 0 read back: the picture's top-left pixel at the top row (t = 1).
    std::vector<unsigned char> rgb(1024 * 512 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    const unsigned char* top = &rgb[size_t(511) * 1024 * 3];
    EXPECT_EQ(top[0], picturePalette[0x31 * 3]);
    EXPECT_EQ(top[1], picturePalette[0x31 * 3 + 1]);
    EXPECT_EQ(top[2], picturePalette[0x31 * 3 + 2]);
}

}  // namespace
