// The host allocator: a header before each piece records its kind, its size and the room
// it has.
#include "qvhost/HostMemory.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "QVMemory.h"

namespace qvhost {

namespace {

struct alignas(16) Header {
  uint32_t kind;
  uint32_t mapped;   // the piece is a mapping of its own
  uint64_t size;     // what was asked for
  uint64_t mapping;  // bytes mapped, header included (mapped pieces)
  uint64_t room;     // bytes usable after the header: the size and the slack growth left
};
static_assert(sizeof(Header) == 32, "header keeps 16-byte alignment");

Header* HeaderOf(void* memory) { return static_cast<Header*>(memory) - 1; }

Header* Heap(size_t room) {
  auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + room));
  if (header) header->room = room;
  return header;
}

// A heap piece that grows takes half as much again, so that blocks growing a little at a
// time (strings asking for one byte more on each append) mostly grow within their room.
// Shrinking keeps the room unless the block would use less than a quarter of it.
Header* Resize(Header* header, size_t size) {
  if (size <= header->room && size >= header->room / 4) return header;
  size_t room = size;
  if (size > header->room) {
    const size_t grown = header->room + header->room / 2;
    if (grown > room) room = grown;
  }
  auto* moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + room));
  if (!moved && room != size) {
    room = size;
    moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + room));
  }
  if (moved) moved->room = room;
  return moved;
}

// Large blocks get mappings of their own, so that growing one moves pages instead of
// copying bytes: arrays grow by a capped step and reallocate often.
constexpr size_t kMappedBlockSize = 256 * 1024;

size_t MappingSize(size_t size) {
  const size_t page = 4096;
  return (sizeof(Header) + size + page - 1) / page * page;
}

Header* Map(size_t size) {
  const size_t bytes = MappingSize(size);
  void* mapping = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) return nullptr;
  auto* header = static_cast<Header*>(mapping);
  header->mapping = bytes;
  header->room = bytes - sizeof(Header);
  return header;
}

// Grows or shrinks a mapping; growth takes half as much again, so that blocks growing a
// little at a time (strings) move pages rarely.
Header* Remap(Header* header, size_t size) {
  const size_t needed = MappingSize(size);
  if (needed <= header->mapping && needed * 2 > header->mapping) return header;
  const size_t bytes = needed > header->mapping ? MappingSize(needed + needed / 2) : needed;
  void* moved = mremap(header, header->mapping, bytes, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED) return nullptr;
  auto* result = static_cast<Header*>(moved);
  result->mapping = bytes;
  result->room = bytes - sizeof(Header);
  return result;
}

void Release(Header* header) {
  if (header->mapped)
    munmap(header, header->mapping);
  else
    std::free(header);
}

}  // namespace

HostMemory& HostMemory::Instance() {
  static HostMemory memory;
  return memory;
}

bool HostMemory::RefuseSlow() {
  if (fRefuseAll) return true;
  int64_t countdown = fRefuseCountdown.load();
  while (countdown > 0) {
    if (fRefuseCountdown.compare_exchange_weak(countdown, countdown - 1)) return countdown == 1;
  }
  return false;
}

void* HostMemory::Allocate(size_t size, Kind kind) {
  if (Refuse()) return nullptr;
  const bool mapped = kind == kBlock && size >= kMappedBlockSize;
  Header* header = mapped ? Map(size) : Heap(size);
  if (!header) return nullptr;
  header->kind = kind;
  header->mapped = mapped;
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
  Release(header);
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
  Header* moved = nullptr;
  const bool mapped = size >= kMappedBlockSize;
  if (mapped && header->mapped) {
    moved = Remap(header, size);
  } else if (!mapped && !header->mapped) {
    moved = Resize(header, size);
  } else {
    // Crossing the size of mapped blocks: a new piece of the other kind.
    moved = mapped ? Map(size) : Heap(size);
    if (moved) {
      const uint64_t mapping = moved->mapping, room = moved->room;
      std::memcpy(moved, header, sizeof(Header) + (size < oldSize ? size : oldSize));
      moved->mapped = mapped;
      moved->mapping = mapping;
      moved->room = room;
      Release(header);
    }
  }
  if (!moved) return nullptr;
  moved->size = size;
  fLiveBytes += int64_t(size) - int64_t(oldSize);
  return moved + 1;
}

}  // namespace qvhost
