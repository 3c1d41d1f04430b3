// Key times and the offsets drawn for them. Lookups do not scan the table: keys usually
// come in time order, so the next entry and the largest time answer most of them; the
// others go through a hash index over the times, built when first needed. Copies are
// deep: a callee's additions stay its own.
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
  // Adds a time the table does not hold; raises out of memory when the host refuses.
  void Append(int32_t ticks, float offset);
  int32_t Length() const { return fEntries.Length(); }
  const TTimeOffset& operator[](int32_t index) const { return fEntries[index]; }

 private:
  const TTimeOffset* FindIndexed(float time) const;
  void IndexUpTo(int32_t count) const;
  int32_t Slot(float time) const;

  TQVArray<TTimeOffset> fEntries;
  float fLargest = 0.0f;             // the largest time, when there are entries
  mutable int32_t fCursor = -1;      // the entry found last
  mutable TQVArray<int32_t> fSlots;  // entry index + 1, 0 empty; a power of two long
  mutable int32_t fIndexed = 0;      // entries in the index
};
