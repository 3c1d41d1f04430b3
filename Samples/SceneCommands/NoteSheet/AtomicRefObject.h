// A TQVRefObject whose count the host may change from other threads.
#pragma once

#include "QVComponent.h"

class TQVAtomicRefObject : public TQVRefObject {
 public:
  int32_t AddRef() override { return __atomic_add_fetch(&fRefCount, 1, __ATOMIC_RELAXED); }
  int32_t Release() override {
    int32_t count;
    const QVDrop drop = QVDropReferenceAtomic(fRefCount, count);
    return AfterDrop(drop, count);
  }

 protected:
  TQVAtomicRefObject() = default;
  ~TQVAtomicRefObject() = default;
};
