// The lit box, 8 x 6 x 8 units, with the picture on its four sides.
#include "gl.h"
#include "scene.h"

// Ambient and diffuse together; alpha has no effect as blending is off here.
const float sideMaterial[4] = {1.0f, 1.0f, 1.0f, 0.05f};
// Above 1 on purpose: only the lit result is clamped.
const float capMaterial[4] = {2.9f, 0.2f, 1.6f, 0.1f};

namespace {

struct CubeVertex {
    float s, t;
    float x, y, z;
};
struct CubeFace {
    float nx, ny, nz;
    CubeVertex v[4];  // counter-clockwise seen from outside
};

// Sides first (t = 1 on the upper edge, s left to right from outside), then
// the caps, whose normals point into the box and which reuse the last texture
// coordinate set, (0, 0) of the right side.
const CubeFace cubeFaces[6] = {
    {0, 0, -1, {{1, 1, -4, 3, -4}, {0, 1, 4, 3, -4}, {0, 0, 4, -3, -4}, {1, 0, -4, -3, -4}}},  // back
    {0, 0, 1, {{0, 0, -4, -3, 4}, {1, 0, 4, -3, 4}, {1, 1, 4, 3, 4}, {0, 1, -4, 3, 4}}},      // front
    {-1, 0, 0, {{1, 0, -4, -3, 4}, {1, 1, -4, 3, 4}, {0, 1, -4, 3, -4}, {0, 0, -4, -3, -4}}},  // left
    {1, 0, 0, {{1, 0, 4, -3, -4}, {1, 1, 4, 3, -4}, {0, 1, 4, 3, 4}, {0, 0, 4, -3, 4}}},      // right
    {0, -1, 0, {{0, 0, -4, 3, 4}, {0, 0, 4, 3, 4}, {0, 0, 4, 3, -4}, {0, 0, -4, 3, -4}}},     // top
    {0, 1, 0, {{0, 0, -4, -3, -4}, {0, 0, 4, -3, -4}, {0, 0, 4, -3, 4}, {0, 0, -4, -3, 4}}},   // bottom
};
constexpr int SideFaces = 4;

void emitFace(const CubeFace& face, bool textured) {
    glNormal3f(face.nx, face.ny, face.nz);
    for (const CubeVertex& v : face.v) {
        if (textured) glTexCoord2f(v.s, v.t);
        glVertex3f(v.x, v.y, v.z);
    }
}

}  // namespace

void drawCube() {
    // Neither tested against nor written to the depth buffer: the box covers
    // the stars, and culling alone hides its own far faces.
    glDisable(GL_DEPTH_TEST);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, float(-cubeDistance));
    glRotatef(float(cubeAngleX), 1.0f, 0.0f, 0.0f);
    glRotatef(float(cubeAngleY), 0.0f, 1.0f, 0.0f);
    glRotatef(float(cubeAngleZ), 0.0f, 0.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, pictureTexture);
    glBegin(GL_QUADS);
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, sideMaterial);
    for (int f = 0; f < SideFaces; f++) emitFace(cubeFaces[f], true);
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, capMaterial);
    for (int f = SideFaces; f < 6; f++) emitFace(cubeFaces[f], false);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
}
