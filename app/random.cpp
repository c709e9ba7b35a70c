// The program's own rand(): the classic Windows C runtime generator, so the
// star field comes out the same on every build and every start. Never seeded.
#include "scene.h"

RandomState randomState = {1};

int32_t runtimeRand() {
    randomState.state = randomState.state * 214013u + 2531011u;  // wraps mod 2^32
    return int32_t((randomState.state >> 16) & 0x7FFF);
}

double rnd() { return runtimeRand() * 0.000030517578125; }  // 2^-15
