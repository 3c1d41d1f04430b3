// Component bases: the aggregatable TQVComponent and the simple TQVRefObject, and the
// construction of module objects in host memory.
#pragma once

#include <new>
#include <utility>

#include "QVBase.h"
#include "QVException.h"
#include "QVInterfaceList.h"
#include "QVMemory.h"
#include "QVRefCount.h"

// The number of TQVComponent objects of this module between construction and destruction.
int32_t& QVLiveObjectCount();

// Releases of this module's objects that found their count already at 0: they changed
// nothing and destroyed nothing. Each one is a fault in some caller's references.
int32_t QVStrayReleases();
void QVNoteStrayRelease();

// Raises 0x80010003 for an operation a base class leaves unimplemented.
[[noreturn]] void QVRaiseNotImplemented();

// Aggregatable base: its unknown's table, a count and a non-counted outer unknown.
class TQVComponent : public IUnknown {
 public:
  // Forwarded to the outer unknown when aggregated; else IUnknown yields the object.
  QVResult QueryInterface(const QVGUID& id, void** out) override;
  int32_t AddRef() override;
  // Supplied by each concrete class through QVReleaseComponent (it runs that class's
  // destructor); the base raises 0x80010003.
  int32_t Release() override;

  IUnknown* Outer() const { return fOuter; }
  void SetOuter(IUnknown* outer) { fOuter = outer; }
  int32_t RefCount() const { return fRefCount; }

 protected:
  TQVComponent() { ++QVLiveObjectCount(); }
  ~TQVComponent() { --QVLiveObjectCount(); }
  TQVComponent(const TQVComponent&) = delete;
  TQVComponent& operator=(const TQVComponent&) = delete;

  // Stores `self` in `out` with a new reference; what `out` held is released after.
  QVResult Yield(IUnknown* self, void** out) {
    AddRef();
    auto* previous = static_cast<IUnknown*>(*out);
    *out = self;
    if (previous) previous->Release();
    return kQVOk;
  }

  // QueryInterface of a derived class that answers the interfaces I..., in that order,
  // aggregated or not, then falls back to the TQVComponent rules.
  template <class... I, class T>
  QVResult QueryInterfaces(T* self, const QVGUID& id, void** out) {
    if (IUnknown* found = QVFindInterface<I...>(self, id)) return Yield(found, out);
    return TQVComponent::QueryInterface(id, out);
  }

  template <class T>
  friend int32_t QVReleaseComponent(T* self);

  int32_t fRefCount = 1;
  IUnknown* fOuter = nullptr;
};

// Release of a concrete component class T, whose memory came from QVAllocateObject.
template <class T>
int32_t QVReleaseComponent(T* self) {
  TQVComponent* component = self;
  if (IUnknown* outer = component->fOuter) {
    const int32_t answer = outer->Release();
    if (answer == -1) {
      self->~T();
      QVFreeObject(self);
    }
    return answer;
  }
  int32_t count;
  switch (QVDropReference(component->fRefCount, count)) {
    case QVDrop::kKept:
      return count;
    case QVDrop::kLast:
      self->~T();
      QVFreeObject(self);
      return 0;
    case QVDrop::kStray:
      break;
  }
  QVNoteStrayRelease();
  QVThrow(kQVErrCountBelowZero, nullptr, 0);
}

// Simple reference-counted base for small helpers that are never aggregated; not in
// the live-object count.
class TQVRefObject : public IUnknown {
 public:
  QVResult QueryInterface(const QVGUID& id, void** out) override;
  int32_t AddRef() override { return ++fRefCount; }
  int32_t Release() override {
    int32_t count;
    const QVDrop drop = QVDropReference(fRefCount, count);
    return AfterDrop(drop, count);
  }
  // Slot 3: the deleting destructor; bit 0 of `flags` frees the memory.
  virtual void DeleteThis(uint32_t flags) = 0;

 protected:
  TQVRefObject() = default;
  ~TQVRefObject() = default;
  TQVRefObject(const TQVRefObject&) = delete;
  TQVRefObject& operator=(const TQVRefObject&) = delete;

  // QueryInterface of a derived class that answers the interfaces I..., in that order,
  // then IUnknown.
  template <class... I, class T>
  QVResult QueryInterfaces(T* self, const QVGUID& id, void** out) {
    if (IUnknown* found = QVFindInterface<I...>(self, id)) {
      QVStoreOut(out, found);
      return kQVOk;
    }
    return TQVRefObject::QueryInterface(id, out);
  }

  // Ends a Release that dropped the count: the deleting destructor after the last
  // reference; a stray release is noted and changes nothing.
  int32_t AfterDrop(QVDrop drop, int32_t count) {
    if (drop == QVDrop::kLast) DeleteThis(1);
    if (drop == QVDrop::kStray) QVNoteStrayRelease();
    return count;
  }

  int32_t fRefCount = 1;
};

// DeleteThis of a concrete TQVRefObject class.
template <class T>
void QVDeleteRefObject(T* self, uint32_t flags) {
  self->~T();
  if (flags & 1) QVFreeObject(self);
}

// Destroys a T made by QVNewObject and gives its memory back.
template <class T>
void QVDeleteObject(T* object) {
  if (!object) return;
  object->~T();
  QVFreeObject(object);
}

// Constructs a T in memory from QVAllocateObject; null when the memory was refused.
// If construction throws, the memory is freed and the exception goes on.
template <class T, class... Args>
T* QVNewObject(Args&&... args) {
  void* memory = QVAllocateObject(sizeof(T));
  if (!memory) return nullptr;
  try {
    return new (memory) T(std::forward<Args>(args)...);
  } catch (...) {
    QVFreeObject(memory);
    throw;
  }
}
