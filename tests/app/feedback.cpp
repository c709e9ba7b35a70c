#include "feedback.h"

#include <algorithm>
#include <cmath>

double Feedback::polygonArea() const {
    double sum = 0;
    for (const auto& p : polygons) {
        double a = 0;
        for (size_t k = 0; k < p.size(); k++) {
            const FeedbackVertex& u = p[k];
            const FeedbackVertex& v = p[(k + 1) % p.size()];
            a += double(u.x) * v.y - double(v.x) * u.y;
        }
        sum += std::fabs(a) / 2;
    }
    return sum;
}

template <typename Pick>
static float extreme(const Feedback& f, Pick pick, bool wantMin) {
    float best = wantMin ? 1e30f : -1e30f;
    for (const auto& p : f.polygons)
        for (const auto& v : p) best = wantMin ? std::min(best, pick(v)) : std::max(best, pick(v));
    return best;
}

float Feedback::minX() const { return extreme(*this, [](const FeedbackVertex& v) { return v.x; }, true); }
float Feedback::maxX() const { return extreme(*this, [](const FeedbackVertex& v) { return v.x; }, false); }
float Feedback::minY() const { return extreme(*this, [](const FeedbackVertex& v) { return v.y; }, true); }
float Feedback::maxY() const { return extreme(*this, [](const FeedbackVertex& v) { return v.y; }, false); }

void setProbeView() {
    glViewport(0, 0, 1000, 1000);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-5, 5, -5, 5, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
