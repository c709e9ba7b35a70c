// The program's own table of named blobs: where resources live on the SDL
// build (its executable has no resource section) and the Win32 side's fallback.
#include "resource_table.h"

#include <cstring>

namespace introplayer {

namespace {

constexpr int ResourceSlots = 16;
constexpr int NameSize = 64;   // names are copied: the caller's may go

struct ResourceEntry {
    char name[NameSize];
    const uint8_t* data;
    uint32_t size;
};

ResourceEntry resourceTable[ResourceSlots];
int resourceCount;

// Names match without regard to ASCII case, as Windows resource names do.
bool sameName(const char* a, const char* b) {
    for (;; a++, b++) {
        const char x = *a >= 'a' && *a <= 'z' ? char(*a - 32) : *a;
        const char y = *b >= 'a' && *b <= 'z' ? char(*b - 32) : *b;
        if (x != y) return false;
        if (x == 0) return true;
    }
}

}  // namespace

bool isNumericResourceId(const char* name) { return (uintptr_t)name < 0x10000; }

bool platformRegisterResource(const char* name, const uint8_t* data, uint32_t size) {
    if (isNumericResourceId(name) || data == nullptr) return false;
    size_t length = 0;
    while (name[length] != 0)
        if (++length == NameSize) return false;
    int slot = 0;
    while (slot < resourceCount && !sameName(resourceTable[slot].name, name)) slot++;
    if (slot == ResourceSlots) return false;
    if (slot == resourceCount) resourceCount++;
    ResourceEntry& entry = resourceTable[slot];
    std::memcpy(entry.name, name, length + 1);
    entry.data = data;
    entry.size = size;
    return true;
}

const uint8_t* findRegisteredResource(const char* name, uint32_t* size) {
    if (isNumericResourceId(name)) return nullptr;
    for (int i = 0; i < resourceCount; i++) {
        if (sameName(resourceTable[i].name, name)) {
            if (size != nullptr) *size = resourceTable[i].size;
            return resourceTable[i].data;
        }
    }
    return nullptr;
}

}  // namespace introplayer
