// The time-offset table and its index.
#include "TimeOffsetTable.h"

#include <cstring>

#include "QVCountedPtr.h"

namespace {

// Mixes every bit of the float into the low bits the slot mask keeps: whole-number times
// have many trailing zero bits.
uint32_t Hash(float time) {
  uint32_t h;
  std::memcpy(&h, &time, sizeof h);
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return h;
}

template <class T>
void CopyArray(TQVArray<T>& to, const TQVArray<T>& from) {
  if (!to.SetLength(from.Length())) QVRaiseOutOfMemory();
  if (from.Length() > 0) QVCopy(to.Storage(), from.Storage(), size_t(from.Length()) * sizeof(T));
}

}  // namespace

TTimeOffsetTable::TTimeOffsetTable(const TTimeOffsetTable& other)
    : fLargest(other.fLargest), fCursor(other.fCursor), fIndexed(other.fIndexed) {
  CopyArray(fEntries, other.fEntries);
  CopyArray(fSlots, other.fSlots);
}

int32_t TTimeOffsetTable::Slot(float time) const {
  const uint32_t mask = uint32_t(fSlots.Length()) - 1;
  uint32_t slot = Hash(time) & mask;
  while (fSlots[int32_t(slot)] != 0 && fEntries[fSlots[int32_t(slot)] - 1].time != time) slot = (slot + 1) & mask;
  return int32_t(slot);
}

void TTimeOffsetTable::IndexUpTo(int32_t count) const {
  // At most half full; growing rebuilds the index from the start.
  if (fSlots.Length() < 2 * count) {
    int32_t slots = 16;
    while (slots < 4 * count) slots *= 2;
    if (!fSlots.SetLength(0) || !fSlots.SetLength(slots)) QVRaiseOutOfMemory();
    QVFill(0, fSlots.Storage(), size_t(slots) * sizeof(int32_t));
    fIndexed = 0;
  }
  for (; fIndexed < count; ++fIndexed) fSlots[Slot(fEntries[fIndexed].time)] = fIndexed + 1;
}

const TTimeOffset* TTimeOffsetTable::FindIndexed(float time) const {
  IndexUpTo(fEntries.Length());
  const int32_t index = fSlots[Slot(time)] - 1;
  if (index < 0) return nullptr;
  fCursor = index;
  return &fEntries[index];
}

const TTimeOffset* TTimeOffsetTable::Find(int32_t ticks) const {
  const float time = float(ticks);
  const int32_t length = fEntries.Length();
  if (length == 0 || time > fLargest) return nullptr;
  // Times are unique in the table, so a matching neighbour of the last answer is the entry.
  for (int32_t guess = fCursor; guess <= fCursor + 1; ++guess) {
    if (guess >= 0 && guess < length && fEntries[guess].time == time) {
      fCursor = guess;
      return &fEntries[guess];
    }
  }
  return FindIndexed(time);
}

void TTimeOffsetTable::Append(int32_t ticks, float offset) {
  const float time = float(ticks);
  if (!fEntries.Append({time, offset})) QVRaiseOutOfMemory();
  if (fEntries.Length() == 1 || time > fLargest) fLargest = time;
  fCursor = fEntries.Length() - 1;
}
