// The host's binding of the shared value types to its allocator. Compiled into the host
// library and into qvhost_values, for host-side code outside it (tests) that uses them.
#include "QVMemory.h"
#include "qvhost/HostMemory.h"

void* QVAllocateBlock(size_t size) { return qvhost::HostMemory::Instance().AllocateBlock(size); }
void* QVReallocateBlock(void* block, size_t size) {
  return qvhost::HostMemory::Instance().ReallocateBlock(block, size);
}
void QVFreeBlock(void* block) { qvhost::HostMemory::Instance().FreeBlock(block); }
void* QVAllocateObject(size_t size) { return qvhost::HostMemory::Instance().AllocateObject(size); }
void QVFreeObject(void* object) { qvhost::HostMemory::Instance().FreeObject(object); }
bool QVBlockMoveFlag() { return true; }
