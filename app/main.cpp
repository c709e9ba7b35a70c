// The intro's entry: start-up, then one frame per loop pass until Escape.
#include "scene.h"

int main() {
    startScene();
    while (runFrame()) {
    }
    return 0;  // window and GL context go with the process
}
