// Block routines: 8-byte moves in 32-byte groups when the host says they pay, else words.
#include "QVBlocks.h"

#include <cstring>

#include "QVMemory.h"

namespace {

template <class Unit>
void CopyUnits(uint8_t*& d, const uint8_t*& s, size_t& count) {
  while (count >= sizeof(Unit)) {
    Unit unit;
    std::memcpy(&unit, s, sizeof unit);
    std::memcpy(d, &unit, sizeof unit);
    d += sizeof unit;
    s += sizeof unit;
    count -= sizeof unit;
  }
}

void CopyBackward(uint8_t* d, const uint8_t* s, size_t count, bool words) {
  d += count;
  s += count;
  if (words) {
    while (count >= 4) {
      d -= 4;
      s -= 4;
      uint32_t unit;
      std::memcpy(&unit, s, 4);
      std::memcpy(d, &unit, 4);
      count -= 4;
    }
  }
  while (count--) *--d = *--s;
}

}  // namespace

void QVFill(uint8_t value, void* destination, size_t count) {
  auto* d = static_cast<uint8_t*>(destination);
  if (QVBlockMoveFlag()) {
    uint64_t unit = 0x0101010101010101ull * value;
    for (; count >= 32; count -= 32, d += 32)
      for (int i = 0; i < 4; ++i) std::memcpy(d + 8 * i, &unit, 8);
    for (; count >= 8; count -= 8, d += 8) std::memcpy(d, &unit, 8);
  }
  const uint32_t word = 0x01010101u * value;
  for (; count >= 4; count -= 4, d += 4) std::memcpy(d, &word, 4);
  while (count--) *d++ = value;
}

void QVCopy(void* destination, const void* source, size_t count) {
  auto* d = static_cast<uint8_t*>(destination);
  const auto* s = static_cast<const uint8_t*>(source);
  if (QVBlockMoveFlag()) CopyUnits<uint64_t>(d, s, count);
  CopyUnits<uint32_t>(d, s, count);
  while (count--) *d++ = *s++;
}

void QVMove(void* destination, const void* source, size_t count) {
  auto* d = static_cast<uint8_t*>(destination);
  const auto* s = static_cast<const uint8_t*>(source);
  const ptrdiff_t distance = d - s;
  if (distance == 0 || count == 0) return;
  if (distance <= -32) {
    QVCopy(d, s, count);
  } else if (distance <= -4) {
    CopyUnits<uint32_t>(d, s, count);
    while (count--) *d++ = *s++;
  } else if (distance < 0) {
    while (count--) *d++ = *s++;
  } else {
    CopyBackward(d, s, count, distance >= 4);
  }
}
