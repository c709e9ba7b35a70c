// Resources on Windows: RT_RCDATA resources of a loaded module, with the
// program's own registration table as the fallback the SDL build relies on.
#include <windows.h>

#include "platform.h"
#include "resource_table.h"

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
    if (module != 0) return nullptr;
    return findRegisteredResource(name, size);
}
