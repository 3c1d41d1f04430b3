// Growable arrays with a flag word, shared in layout and code by the host and modules.
#pragma once

#include <climits>
#include <cstdint>
#include <type_traits>

#include "QVBase.h"
#include "QVBlocks.h"
#include "QVMemory.h"

enum : uint32_t {
  kQVArrayIncrementMask = 0x07FFFFFFu,
  kQVArrayForeignStorage = 0x08000000u,  // never reallocated or freed; capacity fixed
  kQVArrayClearNewStorage = 0x10000000u,
  kQVArrayConstructed = 0x20000000u,     // constructed and owns its elements
  kQVArrayProportionalGrowth = 0x80000000u,
};

// Largest growth step of the standard configuration, in bytes.
constexpr uint32_t kQVArrayMaxGrowthBytes = 131072;

// Elements are interface pointers (one reference held per non-null element) or plain
// records (copied byte for byte).
template <class T>
constexpr bool QVIsInterfacePointer =
    std::is_pointer_v<T> && std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>;

template <class T>
class TQVArray {
  static_assert(QVIsInterfacePointer<T> || std::is_trivially_copyable_v<T>,
                "array elements are interface pointers or plain records");
  static constexpr bool kCounted = QVIsInterfacePointer<T>;
  // Capacities whose byte size fits a signed 32-bit count on every target.
  static constexpr size_t kMaxElements = size_t(INT32_MAX) / sizeof(T);

 public:
  // An empty array in the standard configuration.
  TQVArray() {
    if (Construct(0, 0, 0)) fFlags |= kQVArrayClearNewStorage;
    UseStandardGrowth();
  }
  ~TQVArray() { Destroy(); }
  TQVArray(const TQVArray&) = delete;
  TQVArray& operator=(const TQVArray&) = delete;

  // Answers false (and keeps nothing) when capacity < length or storage was refused.
  bool Construct(int32_t length, int32_t capacity, int32_t increment) {
    if (fFlags & kQVArrayConstructed) Destroy();  // a live array gives its elements back first
    fStorage = nullptr;
    fLength = 0;
    fCapacity = 0;
    fFlags = kQVArrayConstructed;
    if (capacity < length) {
      fFlags = 0;
      return false;
    }
    fFlags = (uint32_t(increment) & kQVArrayIncrementMask) | kQVArrayConstructed;
    if (!SetCapacity(capacity) || !SetLength(length)) {
      fFlags &= ~kQVArrayConstructed;
      return false;
    }
    return true;
  }

  // Proportional growth capped at 128 KB of elements; keeps bits 27-30.
  void UseStandardGrowth() {
    fFlags = (fFlags & 0xF8000000u) | kQVArrayProportionalGrowth |
             (kQVArrayMaxGrowthBytes / uint32_t(sizeof(T)));
  }

  // Makes `storage` (capacity elements, not owned) the array's storage.
  void UseForeignStorage(T* storage, int32_t capacity) {
    Destroy();
    fStorage = storage;
    fCapacity = capacity;
    fLength = 0;
    fFlags |= kQVArrayForeignStorage | kQVArrayConstructed;
    if (kCounted) QVFill(0, fStorage, size_t(capacity) * sizeof(T));
  }

  bool SetCapacity(int32_t n) {
    if (n == fCapacity) return true;
    if ((fFlags & kQVArrayForeignStorage) || n < 0 || size_t(n) > kMaxElements) return false;
    // Shortening below the length drops the elements past n (released when counted).
    if (n < fLength && !ReleaseFrom(n)) return false;
    const size_t bytes = size_t(n) * sizeof(T);
    if (bytes == 0) {
      QVFreeBlock(fStorage);
      fStorage = nullptr;
      fCapacity = 0;
      return true;
    }
    // The array owns its storage, so growth may let the host move the block.
    T* block = static_cast<T*>(QVReallocateBlock(fStorage, bytes));
    if (!block) return false;
    const int32_t clearFrom = kCounted ? fCapacity : fLength;
    if ((kCounted || (fFlags & kQVArrayClearNewStorage)) && clearFrom < n)
      QVFill(0, block + clearFrom, size_t(n - clearFrom) * sizeof(T));
    fStorage = block;
    fCapacity = n;
    return true;
  }

  bool SetLength(int32_t n) {
    if (n < 0) return false;
    if (n < fLength) ReleaseFrom(n);
    if (n > fCapacity && !SetCapacity(n)) return false;
    fLength = n;
    return true;
  }

  bool Append(const T& appended) {
    const T element = appended;  // it may live in the storage that growth moves
    if (fLength == fCapacity && !SetCapacity(fCapacity + GrowthStep())) return false;
    if (fLength < fCapacity) {
      ++fLength;  // the slot is free (null for counted elements)
    } else if (!SetLength(fLength + 1)) {  // a growth step of 0
      return false;
    }
    Store(fLength - 1, element);
    return true;
  }

  // The increment, or with proportional growth at most 1 + a fifth of the length
  // (the product in single precision).
  int32_t GrowthStep() const {
    int32_t step = int32_t(fFlags & kQVArrayIncrementMask);
    if (fFlags & kQVArrayProportionalGrowth) {
      const int32_t proportional = 1 + int32_t(float(fLength) * 0.2f);
      if (proportional < step) step = proportional;
    }
    return step;
  }

  // Counted assignment of a slot (records: a plain copy).
  void Store(int32_t index, const T& element) {
    if constexpr (kCounted) {
      T previous = fStorage[index];
      if (element) element->AddRef();
      fStorage[index] = element;
      if (previous) previous->Release();
    } else {
      fStorage[index] = element;
    }
  }

  void Destroy() {
    if (!(fFlags & kQVArrayConstructed)) return;
    if constexpr (kCounted) {
      for (int32_t i = 0; i < fLength; ++i) {
        if (T element = fStorage[i]) {
          fStorage[i] = nullptr;
          element->Release();
        }
      }
    }
    SetLength(0);
    if (!(fFlags & kQVArrayForeignStorage)) SetCapacity(0);
    fFlags &= ~kQVArrayConstructed;
  }

  T& operator[](int32_t index) { return fStorage[index]; }
  const T& operator[](int32_t index) const { return fStorage[index]; }
  int32_t Length() const { return fLength; }
  int32_t Capacity() const { return fCapacity; }
  uint32_t Flags() const { return fFlags; }
  T* Storage() const { return fStorage; }
  T* begin() const { return fStorage; }
  T* end() const { return fStorage + fLength; }

 private:
  // Releases the elements from the last one down to index n; the length becomes n.
  bool ReleaseFrom(int32_t n) {
    if constexpr (kCounted) {
      for (int32_t i = fLength - 1; i >= n; --i) {
        if (T element = fStorage[i]) {
          fStorage[i] = nullptr;
          element->Release();
        }
      }
    }
    fLength = n;
    return true;
  }

  int32_t fLength = 0;
  int32_t fCapacity = 0;
  uint32_t fFlags = 0;
  T* fStorage = nullptr;
};

#if defined(__i386__)
static_assert(sizeof(TQVArray<IUnknown*>) == 16, "TQVArray layout");
static_assert(sizeof(TQVArray<int32_t>) == 16, "TQVArray layout");
#endif
