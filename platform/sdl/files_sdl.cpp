// Read-only files through stdio: the loader's file source.
#include <cstdio>

#include "platform.h"

#if defined(_FILE_OFFSET_BITS) || defined(__linux__)
#define fileSeekTo fseeko
#define fileTell ftello
#else
#define fileSeekTo fseek
#define fileTell ftell
#endif

namespace introplayer {

PlatformFile platformFileOpen(const char* path) {
    if (path == nullptr) return 0;
    return (PlatformFile)std::fopen(path, "rb");
}

uint32_t platformFileRead(PlatformFile file, void* dest, uint32_t count) {
    if (file == 0 || count == 0) return 0;
    return (uint32_t)std::fread(dest, 1, count, (FILE*)file);
}

int64_t platformFileSeek(PlatformFile file, int64_t offset, int origin) {
    if (file == 0) return -1;
    FILE* stream = (FILE*)file;
    // fseeko already refuses a target before the start and keeps the position.
    if (fileSeekTo(stream, (off_t)offset, origin == 0 ? SEEK_SET : SEEK_CUR) != 0) return -1;
    return (int64_t)fileTell(stream);
}

int64_t platformFileSize(PlatformFile file) {
    if (file == 0) return -1;
    FILE* stream = (FILE*)file;
    off_t here = fileTell(stream);
    if (here < 0 || fileSeekTo(stream, 0, SEEK_END) != 0) return -1;
    off_t size = fileTell(stream);
    fileSeekTo(stream, here, SEEK_SET);
    return (int64_t)size;
}

void platformFileClose(PlatformFile file) {
    if (file != 0) std::fclose((FILE*)file);
}

}  // namespace introplayer
