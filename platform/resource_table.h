// The registration table behind platformRegisterResource, shared by both sides.
#pragma once

#include "platform.h"

namespace introplayer {

// Win32 resource names below 0x10000 are numeric ids; the table holds names only.
bool isNumericResourceId(const char* name);
// The registered blob `name` and its size, or null (size untouched).
const uint8_t* findRegisteredResource(const char* name, uint32_t* size);

}  // namespace introplayer
