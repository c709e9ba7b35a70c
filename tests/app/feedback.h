// Captures what a drawing routine sends down the pipeline, after transform,
// culling and clipping, with OpenGL's feedback mode: points and polygons in
// window coordinates.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <vector>

struct FeedbackVertex {
    float x, y, z;
};
struct Feedback {
    std::vector<FeedbackVertex> points;
    std::vector<std::vector<FeedbackVertex>> polygons;

    // Summed window-space area of the polygons (quads may arrive as triangles).
    double polygonArea() const;
    float minX() const;
    float maxX() const;
    float minY() const;
    float maxY() const;
};

template <typename Draw>
Feedback captureFeedback(Draw draw) {
    static std::vector<GLfloat> buffer(1 << 22);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    GLint used = glRenderMode(GL_RENDER);
    Feedback out;
    auto vertex = [&](GLint& i) {
        FeedbackVertex v{buffer[std::size_t(i)], buffer[std::size_t(i) + 1], buffer[std::size_t(i) + 2]};
        i += 3;
        return v;
    };
    for (GLint i = 0; i < used;) {
        GLint token = GLint(buffer[std::size_t(i++)]);
        if (token == GL_POINT_TOKEN) {
            out.points.push_back(vertex(i));
        } else if (token == GL_POLYGON_TOKEN) {
            GLint n = GLint(buffer[std::size_t(i++)]);
            std::vector<FeedbackVertex> poly;
            for (GLint k = 0; k < n; k++) poly.push_back(vertex(i));
            out.polygons.push_back(poly);
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            i += 6;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 1;
        } else {  // bitmap and pixel tokens: one vertex
            i += 3;
        }
    }
    return out;
}

// Orthographic view for feedback tests: object x and y from -5 to 5 map onto
// a 1000 x 1000 window (100 pixels per unit), z from -10 to 10 is kept.
void setProbeView();
inline double probeToObject(float window) { return window / 100.0 - 5.0; }
