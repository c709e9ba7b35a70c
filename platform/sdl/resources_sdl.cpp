// Resources on the SDL build: the executable has no resource section, so the
// program registers its embedded blobs by name and lookups search that table.
#include "platform.h"
#include "resource_table.h"

namespace introplayer {

// The module handle plays no part: there is only the executable.
const uint8_t* platformFindResource(uintptr_t, const char* name, uint32_t* size) {
    if (size != nullptr) *size = 0;
    return findRegisteredResource(name, size);
}

}  // namespace introplayer
