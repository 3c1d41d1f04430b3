// The memory binding of the shared value types. Each side defines these once: a module
// binds them to HostMemoryServices through its service table, the reference host to
// its own allocator. A null answer means the allocation was refused.
#pragma once

#include <cstddef>

void* QVAllocateBlock(size_t size);
void* QVReallocateBlock(void* block, size_t size);  // null block: allocate
void QVFreeBlock(void* block);
void* QVAllocateObject(size_t size);
void QVFreeObject(void* object);
// True when the host reported that 8-byte memory moves are worthwhile.
bool QVBlockMoveFlag();
