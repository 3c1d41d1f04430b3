// An array of removal records that owns the references inside them: records it drops,
// by shortening, emptying or destruction, are discarded.
#pragma once

#include "QVArray.h"
#include "QVRemovalRecord.h"

class TQVRemovalRecordArray {
 public:
  TQVRemovalRecordArray() = default;
  ~TQVRemovalRecordArray() { Empty(); }
  TQVRemovalRecordArray(const TQVRemovalRecordArray&) = delete;
  TQVRemovalRecordArray& operator=(const TQVRemovalRecordArray&) = delete;

  // A new last record, all references null and the transform at its defaults, for the
  // host's remove to fill; null (nothing appended) when memory was refused.
  RemovalRecord* AppendFresh() {
    if (!fRecords.Append(RemovalRecord{})) return nullptr;
    return &fRecords[fRecords.Length() - 1];
  }

  // Takes `record` over: on success its references belong to the array and `record` is
  // left empty; on refused memory it is left to the caller as it was.
  bool Append(RemovalRecord& record) {
    if (!fRecords.Append(record)) return false;
    for (IUnknown*& reference : record.references) reference = nullptr;
    return true;
  }

  // Discards the records from the last one down to index n. Growing is refused: new
  // records come through AppendFresh and Append.
  bool SetLength(int32_t n) {
    if (n < 0 || n > fRecords.Length()) return false;
    for (int32_t i = fRecords.Length() - 1; i >= n; --i) fRecords[i].Discard();
    return fRecords.SetLength(n);
  }

  // Discards every record and gives the storage back.
  void Empty() {
    SetLength(0);
    fRecords.SetCapacity(0);
  }

  RemovalRecord& operator[](int32_t index) { return fRecords[index]; }
  const RemovalRecord& operator[](int32_t index) const { return fRecords[index]; }
  int32_t Length() const { return fRecords.Length(); }
  int32_t Capacity() const { return fRecords.Capacity(); }
  uint32_t Flags() const { return fRecords.Flags(); }
  RemovalRecord* begin() const { return fRecords.begin(); }
  RemovalRecord* end() const { return fRecords.end(); }

 private:
  TQVArray<RemovalRecord> fRecords;
};

static_assert(sizeof(TQVRemovalRecordArray) == sizeof(TQVArray<RemovalRecord>), "the plain array's layout");
static_assert(alignof(TQVRemovalRecordArray) == alignof(TQVArray<RemovalRecord>), "the plain array's layout");
#if defined(__i386__)
static_assert(sizeof(TQVRemovalRecordArray) == 16, "TQVRemovalRecordArray layout");
static_assert(alignof(TQVRemovalRecordArray) == 4, "TQVRemovalRecordArray layout");
#endif
