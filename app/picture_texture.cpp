// The picture on the box's sides: palette to colour words, indices to an
// upright RGBA image in OpenGL's bottom-up row order, then a mipmapped texture.
#include "gl.h"
#include "scene.h"

uint32_t paletteColours[256];
int32_t pictureIndices[TextureWidth * TextureHeight];
uint32_t textureImage[TextureWidth * TextureHeight];
uint32_t pictureTexture;

// The assets are linked in with their own lengths; a short one leaves the rest
// of its table zero instead of reading past its end.
static uint32_t blobLength(const unsigned char* begin, const unsigned char* end, uint32_t wanted) {
    const uintptr_t have = uintptr_t(end) - uintptr_t(begin);
    return have < wanted ? uint32_t(have) : wanted;
}

void buildColourTable() {
    const uint32_t paletteBytes = blobLength(picturePalette, picturePaletteEnd, PicturePaletteBytes);
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t red = 0, green = 0, blue = 0;
        if (3 * i + 2 < paletteBytes) {
            red = picturePalette[3 * i];
            green = picturePalette[3 * i + 1];
            blue = picturePalette[3 * i + 2];
        }
        paletteColours[i] = 0xFF000000u | blue << 16 | green << 8 | red;
    }
    const uint32_t pixels = blobLength(pictureData, pictureDataEnd, PictureBytes);
    for (uint32_t k = 0; k < pixels; k++) pictureIndices[k] = pictureData[k];
}

void buildTextureImage() {
    for (uint32_t i = 0; i < TextureHeight; i++) {
        const uint32_t source = TextureHeight - 1 - i;  // texture row 0 is the picture's bottom row
        for (uint32_t j = 0; j < TextureWidth; j++)
            textureImage[i * TextureWidth + j] = paletteColours[pictureIndices[source * TextureWidth + j] & 0xFF];
    }
}

void uploadPictureTexture() {
    glGenTextures(1, &pictureTexture);
    glBindTexture(GL_TEXTURE_2D, pictureTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    // Three components: the alpha byte of every colour word is dropped.
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, TextureWidth, TextureHeight, GL_RGBA, GL_UNSIGNED_BYTE, textureImage);
}
