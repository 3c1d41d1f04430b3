// The host allocator: a header before each piece records its kind and size.
#include "qvhost/HostMemory.h"

#include <cstdio>
#include <cstdlib>

#include "QVMemory.h"

namespace qvhost {

namespace {

struct alignas(16) Header {
  uint32_t kind;
  uint32_t reserved;
  uint64_t size;
};
static_assert(sizeof(Header) == 16, "header keeps 16-byte alignment");

Header* HeaderOf(void* memory) { return static_cast<Header*>(memory) - 1; }

}  // namespace

HostMemory& HostMemory::Instance() {
  static HostMemory memory;
  return memory;
}

bool HostMemory::Refuse() {
  if (fRefuseAll) return true;
  int64_t countdown = fRefuseCountdown.load();
  while (countdown > 0) {
    if (fRefuseCountdown.compare_exchange_weak(countdown, countdown - 1)) return countdown == 1;
  }
  return false;
}

void* HostMemory::Allocate(size_t size, Kind kind) {
  if (Refuse()) return nullptr;
  auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
  if (!header) return nullptr;
  header->kind = kind;
  header->size = size;
  ++fAllocations;
  ++(kind == kObject ? fLiveObjects : fLiveBlocks);
  fLiveBytes += int64_t(size);
  return header + 1;
}

void HostMemory::Free(void* memory, Kind kind) {
  if (!memory) return;
  Header* header = HeaderOf(memory);
  if (header->kind != kind) {
    ++fMisuses;
    std::fprintf(stderr, "qvhost: memory %p freed %s\n", memory,
                 header->kind == kFreed ? "twice" : "through the wrong operation");
    return;
  }
  header->kind = kFreed;
  --(kind == kObject ? fLiveObjects : fLiveBlocks);
  fLiveBytes -= int64_t(header->size);
  std::free(header);
}

void* HostMemory::AllocateObject(size_t size) { return Allocate(size, kObject); }
void HostMemory::FreeObject(void* object) { Free(object, kObject); }
void* HostMemory::AllocateBlock(size_t size) { return Allocate(size, kBlock); }
void HostMemory::FreeBlock(void* block) { Free(block, kBlock); }

void* HostMemory::ReallocateBlock(void* block, size_t size) {
  if (!block) return AllocateBlock(size);
  Header* header = HeaderOf(block);
  if (header->kind != kBlock) {
    ++fMisuses;
    return nullptr;
  }
  const uint64_t oldSize = header->size;
  if (size > oldSize && Refuse()) return nullptr;
  auto* moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + size));
  if (!moved) return nullptr;
  moved->size = size;
  fLiveBytes += int64_t(size) - int64_t(oldSize);
  return moved + 1;
}

}  // namespace qvhost

// The host's binding of the shared value types.
void* QVAllocateBlock(size_t size) { return qvhost::HostMemory::Instance().AllocateBlock(size); }
void* QVReallocateBlock(void* block, size_t size) {
  return qvhost::HostMemory::Instance().ReallocateBlock(block, size);
}
void QVFreeBlock(void* block) { qvhost::HostMemory::Instance().FreeBlock(block); }
void* QVAllocateObject(size_t size) { return qvhost::HostMemory::Instance().AllocateObject(size); }
void QVFreeObject(void* object) { qvhost::HostMemory::Instance().FreeObject(object); }
bool QVBlockMoveFlag() { return true; }
