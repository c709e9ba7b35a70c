// Resources on Windows: RT_RCDATA resources of a loaded module, with the
// program's own registration table as the fallback the SDL build relies on.
#include <windows.h>

#include "platform.h"
#include "resource_table.h"

namespace introplayer {

namespace {

// True when `module` is the base of a module loaded in this process. The
// value comes from the caller's 32-bit length: on 64-bit Windows a real handle
// arrives cut short, and FindResourceA would read whatever lies there.
bool isLoadedModule(uintptr_t module) {
    HMODULE found = nullptr;
    return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              (LPCSTR)module, &found) &&
           found == (HMODULE)module;
}

}  // namespace

const uint8_t* platformFindResource(uintptr_t module, const char* name, uint32_t* size) {
    if (size != nullptr) *size = 0;
    if (module != 0 && !isLoadedModule(module)) return nullptr;
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

}  // namespace introplayer
