// Byte sources (memory block, resource, file) behind four operations, and the
// zero-filling allocator on the player's private heap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace introplayer {

enum SourceKindValue : int32_t { SourceResource = 0, SourceMemory = 1, SourceFile = 2 };

// Prepares the source state for a start call: position 0, size = length
// (block size for memory, module handle for resources, unused for files),
// and installs the operations of the kind (<= 0 resource, 1 memory, >= 2 file).
void selectSource(int32_t sourceKind, uint32_t length);

uintptr_t openSource(const void* source);
void readBytes(void* dest, int32_t count);
int32_t seekBytes(int32_t offset, int32_t origin);   // origin 0: absolute, else relative
void closeSource(uintptr_t handle);

// Bytes the open source holds (block or resource size, file size), or -1 when
// it cannot be told. Lets the loader bound what it allocates by what the data
// could hold.
int32_t sourceLength();

// The private heap: zero-filled blocks, never freed singly.
bool createPlayerHeap();
void destroyPlayerHeap();
void* allocZeroed(size_t size);   // null on failure or with no heap
// Caps the bytes the heap hands out in total (0 = no cap beyond the machine's).
// For tests of allocation failure; survives destroy and create.
void setPlayerHeapLimit(size_t bytes);

}  // namespace introplayer
