// The host's allocator behind HostMemoryServices: counts live objects and blocks and can
// be told to refuse an allocation.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "HostExport.h"

namespace qvhost {

class QVHOST_API HostMemory {
 public:
  static HostMemory& Instance();

  void* AllocateObject(size_t size);
  void FreeObject(void* object);
  void* AllocateBlock(size_t size);
  void* ReallocateBlock(void* block, size_t size);
  void FreeBlock(void* block);

  int64_t LiveObjects() const { return fLiveObjects; }
  int64_t LiveBlocks() const { return fLiveBlocks; }
  int64_t LiveBytes() const { return fLiveBytes; }
  int64_t Allocations() const { return fAllocations; }
  // Frees of memory that was not ours, freed twice or through the wrong pair.
  int64_t Misuses() const { return fMisuses; }
  void ResetMisusesForTests(int64_t value) { fMisuses = value; }

  // The n-th allocation from now (objects, blocks and growing reallocations alike;
  // 1 = the next) answers null. 0 cancels.
  void RefuseAllocation(int64_t n) { fRefuseCountdown = n; }
  // True while the allocation RefuseAllocation named has not come yet.
  bool RefusalPending() const { return fRefuseCountdown > 0; }
  // Refuses every allocation while set.
  void RefuseAll(bool refuse) { fRefuseAll = refuse; }

 private:
  enum Kind : uint32_t { kObject = 0x4F424A31, kBlock = 0x424C4B31, kFreed = 0xDEADF1EE };
  // Inline for the common case, nothing to refuse: every growing reallocation asks.
  bool Refuse() {
    if (!fRefuseAll.load(std::memory_order_relaxed) && fRefuseCountdown.load(std::memory_order_relaxed) <= 0)
      return false;
    return RefuseSlow();
  }
  bool RefuseSlow();
  void* Allocate(size_t size, Kind kind);
  void Free(void* memory, Kind kind);

  std::atomic<int64_t> fLiveObjects{0}, fLiveBlocks{0}, fLiveBytes{0}, fAllocations{0};
  std::atomic<int64_t> fMisuses{0}, fRefuseCountdown{0};
  std::atomic<bool> fRefuseAll{false};
};

}  // namespace qvhost
