// The intro's entry: start-up, then one frame per loop pass until Escape.
#include "platform.h"
#include "scene.h"

int main() {
    startScene();
    for (;;) {
        if (escapeEndsLoop(platformEscapeState())) break;  // nothing drawn in that pass
        advanceScene();
        drawScene();
        platformPresent();
        platformSleep(1);
    }
    return 0;  // window and GL context go with the process
}
