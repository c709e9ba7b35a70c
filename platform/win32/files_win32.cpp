// Read-only files through the Win32 file API: the loader's file source.
#include <windows.h>

#include "platform.h"

namespace introplayer {

PlatformFile platformFileOpen(const char* path) {
    if (path == nullptr) return 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return file == INVALID_HANDLE_VALUE ? 0 : (PlatformFile)file;
}

uint32_t platformFileRead(PlatformFile file, void* dest, uint32_t count) {
    if (file == 0 || count == 0) return 0;
    DWORD got = 0;
    if (!ReadFile((HANDLE)file, dest, count, &got, nullptr)) return 0;
    return got;
}

int64_t platformFileSeek(PlatformFile file, int64_t offset, int origin) {
    if (file == 0) return -1;
    LONG high = (LONG)(offset >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer((HANDLE)file, (LONG)(uint32_t)offset, &high,
                               origin == 0 ? FILE_BEGIN : FILE_CURRENT);
    // A target before the start fails here and leaves the position unchanged.
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
    return ((int64_t)high << 32) | low;
}

int64_t platformFileSize(PlatformFile file) {
    if (file == 0) return -1;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize((HANDLE)file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
    return ((int64_t)high << 32) | low;
}

void platformFileClose(PlatformFile file) {
    if (file != 0) CloseHandle((HANDLE)file);
}

}  // namespace introplayer
