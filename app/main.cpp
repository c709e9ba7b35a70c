// The intro's entry: start-up, the player on the embedded tune, then one frame
// per loop pass until Escape, and the player stopped before the process ends.
#include <cstdint>

#include "assets.h"
#include "platform.h"
#include "introplayer.h"
#include "scene.h"
#include "sources.h"

using namespace introplayer;

int main() {
    // The module's length comes from the bounds of its embedded array.
    const uint32_t moduleLength = static_cast<uint32_t>(moduleDataEnd - moduleData);
#if INTROPLAYER_NAMED_RESOURCES
    // The tune is also the executable's resource "TUNE" for the resource source.
    registerModuleResource("TUNE", moduleData, moduleLength);
#endif
    startScene();
    playModule(moduleData, moduleLength, SourceMemory);   // without sound if it fails
    while (runFrame()) {
    }
    playModule(nullptr, 0, 0);   // only stops
    return 0;  // window and GL context go with the process
}
