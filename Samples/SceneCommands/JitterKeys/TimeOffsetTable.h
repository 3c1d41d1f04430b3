// Key times and the offsets drawn for them, with a hash index over the times so that a
// lookup does not scan the table. Copies are deep: a callee's additions stay its own.
#pragma once

#include "QVArray.h"

struct TTimeOffset {
  float time;    // host ticks
  float offset;  // host ticks
};

class TTimeOffsetTable {
 public:
  TTimeOffsetTable() = default;
  TTimeOffsetTable(const TTimeOffsetTable& other);
  TTimeOffsetTable& operator=(const TTimeOffsetTable&) = delete;

  // The entry whose time equals `ticks` converted to a float, or null.
  const TTimeOffset* Find(int32_t ticks) const;
  // Raises out of memory when the host refuses the storage.
  void Append(int32_t ticks, float offset);
  int32_t Length() const { return fEntries.Length(); }
  const TTimeOffset& operator[](int32_t index) const { return fEntries[index]; }

 private:
  void Rehash(int32_t slots);
  int32_t Slot(float time) const;

  TQVArray<TTimeOffset> fEntries;
  TQVArray<int32_t> fSlots;  // entry index + 1, 0 empty; a power of two long
};
