// Byte sources for the loader (memory block, resource, file) and the player's
// private heap, a zero-filling arena released as a whole.
#include "sources.h"

#include <cstdlib>
#include <cstring>

#include "introplayer.h"   // the build's switches
#include "platform.h"

#if defined(__SANITIZE_ADDRESS__)
#define PLAYER_HEAP_EXACT_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLAYER_HEAP_EXACT_BLOCKS 1
#endif
#endif

namespace introplayer {

namespace {

// ---- Source state: one source at a time -------------------------------------

struct ByteSource {
    uintptr_t (*open)(const void* source);
    void (*read)(void* dest, int32_t count);
    int32_t (*seek)(int32_t offset, int32_t origin);
    void (*close)(uintptr_t handle);
};

int32_t sourceSize;           // bytes in a memory or resource source
int64_t sourcePos;            // may pass the end by one short read (64-bit so it cannot wrap)
const uint8_t* sourceBase;    // first byte of a memory or resource source
uintptr_t sourceModule;       // module holding a resource (the start call's length)
PlatformFile sourceFile;
int64_t sourceFileSize;       // -1 when unknown

int32_t clampToInt32(uint64_t value) { return value > INT32_MAX ? INT32_MAX : (int32_t)value; }

uintptr_t memoryOpen(const void* source) {
    sourceBase = (const uint8_t*)source;
    return 0;
}

// Signed comparisons as the format's reader always did them: a read that
// crosses the end copies what is left and still advances by the full count.
// This and the seek stay out of line: the loader calls them from many places.
[[gnu::noinline]] void memoryRead(void* dest, int32_t count) {
    int64_t end = sourcePos + count;
    int64_t n = end < sourceSize ? (int64_t)count : sourceSize - sourcePos;
    if (n <= 0 || sourceBase == nullptr) return;
    std::memcpy(dest, sourceBase + sourcePos, (size_t)n);
    sourcePos = end;
}

// Seeks stop at the end; a damaged module can also compute a target below the
// start, which stops at 0 instead of pointing before the block.
[[gnu::noinline]] int32_t memorySeek(int32_t offset, int32_t origin) {
    int64_t target = origin == 0 ? (int64_t)offset : sourcePos + offset;
    if (target > sourceSize) target = sourceSize;
    if (target < 0) target = 0;
    sourcePos = target;
    return (int32_t)target;
}

void memoryClose(uintptr_t) {}

#if INTROPLAYER_NAMED_RESOURCES
uintptr_t resourceOpen(const void* source) {
    uint32_t size = 0;
    sourcePos = 0;
    sourceBase = platformFindResource(sourceModule, (const char*)source, &size);
    sourceSize = sourceBase ? clampToInt32(size) : 0;
    return (uintptr_t)sourceBase;
}
#endif

#if INTROPLAYER_FILE_SOURCE
uintptr_t fileOpen(const void* source) {
    sourceFile = source ? platformFileOpen((const char*)source) : 0;
    sourceFileSize = sourceFile ? platformFileSize(sourceFile) : -1;
    return sourceFile;
}

void fileRead(void* dest, int32_t count) {
    if (sourceFile == 0 || count <= 0) return;
    uint8_t* out = (uint8_t*)dest;
    uint32_t left = (uint32_t)count;
    while (left > 0) {
        uint32_t got = platformFileRead(sourceFile, out, left);
        if (got == 0) break;
        out += got;
        left -= got;
    }
}

// Same rules as the memory kind: stop at the end, never before the start.
int32_t fileSeek(int32_t offset, int32_t origin) {
    if (sourceFile == 0) return 0;
    int64_t current = platformFileSeek(sourceFile, 0, 1);
    if (current < 0) current = 0;
    int64_t target = origin == 0 ? (int64_t)offset : current + offset;
    if (sourceFileSize >= 0 && target > sourceFileSize) target = sourceFileSize;
    if (target > INT32_MAX) target = INT32_MAX;
    if (target < 0) target = 0;
    int64_t reached = platformFileSeek(sourceFile, target, 0);
    return clampToInt32(reached < 0 ? (uint64_t)current : (uint64_t)reached);
}

void fileClose(uintptr_t handle) {
    if (handle != 0) platformFileClose(handle);
    sourceFile = 0;
}
#endif

const ByteSource memorySource = {memoryOpen, memoryRead, memorySeek, memoryClose};
#if INTROPLAYER_NAMED_RESOURCES
const ByteSource resourceSource = {resourceOpen, memoryRead, memorySeek, memoryClose};
#endif
#if INTROPLAYER_FILE_SOURCE
const ByteSource fileSource = {fileOpen, fileRead, fileSeek, fileClose};
#endif

#if INTROPLAYER_NAMED_RESOURCES || INTROPLAYER_FILE_SOURCE
const ByteSource* installedSource = &memorySource;
#else
// Memory is the only kind: its functions are called directly.
constexpr const ByteSource* installedSource = &memorySource;
#endif
int32_t installedKind = SourceMemory;

}  // namespace

void selectSource(int32_t sourceKind, uint32_t length) {
    sourcePos = 0;
    sourceSize = clampToInt32(length);
    sourceModule = length;
    sourceBase = nullptr;
    sourceFile = 0;
    sourceFileSize = -1;
    installedKind = sourceKind <= 0 ? SourceResource : sourceKind == 1 ? SourceMemory : SourceFile;
#if INTROPLAYER_NAMED_RESOURCES || INTROPLAYER_FILE_SOURCE
    installedSource = &memorySource;
#endif
#if INTROPLAYER_NAMED_RESOURCES
    if (installedKind == SourceResource) installedSource = &resourceSource;
#endif
#if INTROPLAYER_FILE_SOURCE
    if (installedKind == SourceFile) installedSource = &fileSource;
#endif
}

uintptr_t openSource(const void* source) { return installedSource->open(source); }
void readBytes(void* dest, int32_t count) { installedSource->read(dest, count); }
int32_t seekBytes(int32_t offset, int32_t origin) { return installedSource->seek(offset, origin); }
void closeSource(uintptr_t handle) { installedSource->close(handle); }

int32_t sourceLength() {
    if (installedKind != SourceFile) return sourceSize;
    return sourceFileSize < 0 ? -1 : clampToInt32((uint64_t)sourceFileSize);
}

// ---- The private heap ---------------------------------------------------------

namespace {

constexpr size_t HeapAlign = 16;

bool heapOpen;
size_t heapHandedOut;   // bytes given out since create, for the optional cap
size_t heapLimit;       // 0 = no cap

size_t roundUp(size_t size) { return (size + HeapAlign - 1) & ~(HeapAlign - 1); }

#if defined(PLAYER_HEAP_EXACT_BLOCKS)
// Under AddressSanitizer every block is its own allocation, so a read past a
// block is caught instead of landing in its neighbour inside a chunk.
void** heapBlocks;
size_t heapBlockCount;
size_t heapBlockCapacity;

void* heapTake(size_t size) {
    if (heapBlockCount == heapBlockCapacity) {
        size_t capacity = heapBlockCapacity ? heapBlockCapacity * 2 : 64;
        void** grown = (void**)std::realloc(heapBlocks, capacity * sizeof(void*));
        if (grown == nullptr) return nullptr;
        heapBlocks = grown;
        heapBlockCapacity = capacity;
    }
    void* block = std::calloc(1, size);
    if (block != nullptr) heapBlocks[heapBlockCount++] = block;
    return block;
}

void heapReleaseAll() {
    for (size_t i = 0; i < heapBlockCount; i++) std::free(heapBlocks[i]);
    std::free(heapBlocks);
    heapBlocks = nullptr;
    heapBlockCount = heapBlockCapacity = 0;
}
#else
constexpr size_t HeapChunkBytes = 256 * 1024;   // shared chunk for small blocks
constexpr size_t HeapOwnChunkBytes = HeapChunkBytes / 4;   // larger blocks get a chunk of their own

struct HeapChunk {
    HeapChunk* next;
    size_t size;   // usable bytes after the header
    size_t used;
};
constexpr size_t HeapChunkHeader = (sizeof(HeapChunk) + HeapAlign - 1) & ~(HeapAlign - 1);

HeapChunk* heapChunks;   // first chunk is the one small blocks come from

HeapChunk* newChunk(size_t size) {
    if (size > SIZE_MAX - HeapChunkHeader) return nullptr;
    HeapChunk* chunk = (HeapChunk*)std::calloc(1, HeapChunkHeader + size);
    if (chunk != nullptr) chunk->size = size;
    return chunk;
}

void* heapTake(size_t size) {
    HeapChunk* current = heapChunks;
    if (current != nullptr && current->size - current->used >= size) {
        void* block = (uint8_t*)current + HeapChunkHeader + current->used;
        current->used += size;
        return block;
    }
    bool ownChunk = size > HeapOwnChunkBytes;
    HeapChunk* chunk = newChunk(ownChunk ? size : HeapChunkBytes);
    if (chunk == nullptr) return nullptr;
    chunk->used = size;
    if (ownChunk && current != nullptr) {
        // Keep the partly used shared chunk in front for the small blocks.
        chunk->next = current->next;
        current->next = chunk;
    } else {
        chunk->next = current;
        heapChunks = chunk;
    }
    return (uint8_t*)chunk + HeapChunkHeader;
}

void heapReleaseAll() {
    while (heapChunks != nullptr) {
        HeapChunk* next = heapChunks->next;
        std::free(heapChunks);
        heapChunks = next;
    }
}
#endif

}  // namespace

bool createPlayerHeap() {
    if (heapOpen) destroyPlayerHeap();
    heapOpen = true;
    heapHandedOut = 0;
    return true;
}

void destroyPlayerHeap() {
    heapReleaseAll();
    heapOpen = false;
    heapHandedOut = 0;
}

void* allocZeroed(size_t size) {
    if (!heapOpen) return nullptr;
    if (size > SIZE_MAX - HeapAlign) return nullptr;
    size_t rounded = roundUp(size == 0 ? 1 : size);
    if (heapLimit != 0 && (rounded > heapLimit || heapHandedOut > heapLimit - rounded)) return nullptr;
    void* block = heapTake(rounded);
    if (block != nullptr) heapHandedOut += rounded;
    return block;
}

void setPlayerHeapLimit(size_t bytes) { heapLimit = bytes; }

}  // namespace introplayer
