// Resources on Windows: RT_RCDATA resources of a loaded module, with the
// program's own registration table as the fallback the SDL build relies on.
#include <windows.h>

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

const uint8_t* platformFindResource(uintptr_t module, const char* name, uint32_t* size) {
    if (size != nullptr) *size = 0;
    HMODULE owner = (HMODULE)module;
    HRSRC found = FindResourceA(owner, name, MAKEINTRESOURCEA(10));   // RT_RCDATA
    if (found != nullptr) {
        HGLOBAL loaded = LoadResource(owner, found);
        if (loaded != nullptr) {
            if (size != nullptr) *size = SizeofResource(owner, found);
            // A loaded resource's handle is the address of its bytes.
            return (const uint8_t*)loaded;
        }
    }
    if (module != 0 || isNumericId(name)) return nullptr;
    for (int i = 0; i < resourceCount; i++) {
        if (std::strcmp(resourceTable[i].name, name) == 0) {
            if (size != nullptr) *size = resourceTable[i].size;
            return resourceTable[i].data;
        }
    }
    return nullptr;
}
