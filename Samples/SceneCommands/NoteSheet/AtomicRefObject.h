// A TQVRefObject whose count the host may change from other threads.
#pragma once

#include "QVComponent.h"

class TQVAtomicRefObject : public TQVRefObject {
 public:
  int32_t AddRef() override { return __atomic_add_fetch(&fRefCount, 1, __ATOMIC_RELAXED); }
  int32_t Release() override {
    const int32_t count = __atomic_sub_fetch(&fRefCount, 1, __ATOMIC_ACQ_REL);
    if (count == 0) {
      fRefCount = 1;  // a query made while it is destroyed cannot destroy it again
      DeleteThis(1);
    }
    return count;
  }

 protected:
  TQVAtomicRefObject() = default;
  ~TQVAtomicRefObject() = default;
};
