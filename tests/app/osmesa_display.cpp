// The stand-in display's GL context natively: an off-screen OSMesa buffer.
#include "stand_in_display.h"

#include <GL/osmesa.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform.h"

using namespace introplayer;

namespace {
OSMesaContext context;
std::vector<unsigned char> frame;
}  // namespace

// OSMesa keeps a few small blocks of its own to the end, even after its
// context is destroyed; the leak checker is told to look elsewhere.
extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }

void makeOffscreenContextCurrent() {
    if (!context) {
        context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
        if (!context) {
            std::fprintf(stderr, "cannot create an OSMesa context\n");
            std::abort();
        }
        frame.assign(size_t(FrameWidth) * FrameHeight * 4, 0);
    }
    OSMesaMakeCurrent(context, frame.data(), GL_UNSIGNED_BYTE, FrameWidth, FrameHeight);
}
