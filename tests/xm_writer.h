// The XM writer (tools/xmwriter) for tests, and loading what it wrote into
// the player's song model on a fresh player heap.
#pragma once

#include "module.h"
#include "sources.h"
#include "xmwriter.h"

using namespace introplayer;

inline int loadXmBytes(const std::vector<uint8_t>& bytes) {
    destroyPlayerHeap();
    if (!createPlayerHeap()) return 0;
    static const uint8_t none = 0;
    return loadModuleFromSource(SourceMemory, bytes.empty() ? &none : bytes.data(), (uint32_t)bytes.size());
}
