// Resources on the SDL build: the executable has no resource section, so the
// program registers its embedded blobs by name and lookups search that table.
#include <cstring>

#include "platform.h"

namespace {

constexpr int ResourceSlots = 16;

struct ResourceEntry {
    const char* name;
    const uint8_t* data;
    uint32_t size;
};

ResourceEntry resourceTable[ResourceSlots];
int resourceCount;

// Win32 resource names below 0x10000 are numeric ids; the table holds names only.
bool isNumericId(const char* name) { return (uintptr_t)name < 0x10000; }

}  // namespace

bool platformRegisterResource(const char* name, const uint8_t* data, uint32_t size) {
    if (isNumericId(name) || data == nullptr) return false;
    for (int i = 0; i < resourceCount; i++) {
        if (std::strcmp(resourceTable[i].name, name) == 0) {
            resourceTable[i] = {name, data, size};
            return true;
        }
    }
    if (resourceCount == ResourceSlots) return false;
    resourceTable[resourceCount++] = {name, data, size};
    return true;
}

// The module handle plays no part: there is only the executable.
const uint8_t* platformFindResource(uintptr_t, const char* name, uint32_t* size) {
    if (size != nullptr) *size = 0;
    if (isNumericId(name)) return nullptr;
    for (int i = 0; i < resourceCount; i++) {
        if (std::strcmp(resourceTable[i].name, name) == 0) {
            if (size != nullptr) *size = resourceTable[i].size;
            return resourceTable[i].data;
        }
    }
    return nullptr;
}
