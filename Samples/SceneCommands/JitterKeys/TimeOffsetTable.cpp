// The time-offset table and its index.
#include "TimeOffsetTable.h"

#include <cstring>

#include "QVCountedPtr.h"

namespace {

[[noreturn]] void OutOfMemory() { QVThrow(kQVErrOutOfMemory, kQVCountedPtrModuleSource, kQVCountedPtrAttachLine); }

uint32_t Hash(float time) {
  uint32_t bits;
  std::memcpy(&bits, &time, sizeof bits);
  return bits * 0x9E3779B1u;
}

template <class T>
void CopyArray(TQVArray<T>& to, const TQVArray<T>& from) {
  if (!to.SetLength(from.Length())) OutOfMemory();
  if (from.Length() > 0) QVCopy(to.Storage(), from.Storage(), size_t(from.Length()) * sizeof(T));
}

}  // namespace

TTimeOffsetTable::TTimeOffsetTable(const TTimeOffsetTable& other) {
  CopyArray(fEntries, other.fEntries);
  CopyArray(fSlots, other.fSlots);
}

int32_t TTimeOffsetTable::Slot(float time) const {
  const uint32_t mask = uint32_t(fSlots.Length()) - 1;
  uint32_t slot = Hash(time) & mask;
  while (fSlots[int32_t(slot)] != 0 && fEntries[fSlots[int32_t(slot)] - 1].time != time) slot = (slot + 1) & mask;
  return int32_t(slot);
}

const TTimeOffset* TTimeOffsetTable::Find(int32_t ticks) const {
  if (fSlots.Length() == 0) return nullptr;
  const int32_t index = fSlots[Slot(float(ticks))];
  return index ? &fEntries[index - 1] : nullptr;
}

void TTimeOffsetTable::Rehash(int32_t slots) {
  if (!fSlots.SetLength(0) || !fSlots.SetLength(slots)) OutOfMemory();
  QVFill(0, fSlots.Storage(), size_t(slots) * sizeof(int32_t));
  for (int32_t i = 0; i < fEntries.Length(); ++i) fSlots[Slot(fEntries[i].time)] = i + 1;
}

void TTimeOffsetTable::Append(int32_t ticks, float offset) {
  if (!fEntries.Append({float(ticks), offset})) OutOfMemory();
  // Keep the index at most half full.
  if (fSlots.Length() < 2 * fEntries.Length()) {
    int32_t slots = 16;
    while (slots < 4 * fEntries.Length()) slots *= 2;
    Rehash(slots);
  } else {
    fSlots[Slot(float(ticks))] = fEntries.Length();
  }
}
