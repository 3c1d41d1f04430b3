// Counted interface pointers: each holds one reference to what it points at.
#pragma once

#include "QVBase.h"
#include "QVException.h"

// Raising sources of attach-new, as compiled into module code and into the runtime.
inline constexpr const char kQVCountedPtrModuleSource[] = "../../../Include/Common/QVCountedPtrHelper";
inline constexpr const char kQVCountedPtrRuntimeSource[] = "QVCore/PublicAPI/QVCountedPtrHelper";
constexpr int32_t kQVCountedPtrAttachLine = 166;

// Raises out of memory for a refused allocation, from the site of attach-new: module
// code keeps the default source, the runtime passes its own.
[[noreturn]] inline void QVRaiseOutOfMemory(const char* source = kQVCountedPtrModuleSource) {
  QVThrow(kQVErrOutOfMemory, source, kQVCountedPtrAttachLine);
}

template <class T>
class TQVCountedPtr {
 public:
  TQVCountedPtr() = default;
  TQVCountedPtr(const TQVCountedPtr& other) : fPointer(other.fPointer) {
    if (fPointer) fPointer->AddRef();
  }
  TQVCountedPtr& operator=(const TQVCountedPtr& other) { return Assign(other.fPointer); }
  // Moving hands the reference over; the source is left null.
  TQVCountedPtr(TQVCountedPtr&& other) noexcept : fPointer(other.fPointer) { other.fPointer = nullptr; }
  TQVCountedPtr& operator=(TQVCountedPtr&& other) noexcept {
    if (this != &other) {
      T* previous = fPointer;
      fPointer = other.fPointer;
      other.fPointer = nullptr;
      if (previous) previous->Release();
    }
    return *this;
  }
  ~TQVCountedPtr() { Release(); }

  // Shares `p`: takes a reference of its own. Assigning the held pointer changes nothing.
  TQVCountedPtr& Assign(T* p) {
    if (p != fPointer) {
      if (p) p->AddRef();
      T* previous = fPointer;
      fPointer = p;
      if (previous) previous->Release();
    }
    return *this;
  }

  // Takes over a newly made object whose count of 1 becomes this pointer's reference.
  // A null object (its allocation was refused) raises out of memory.
  TQVCountedPtr& AttachNew(T* p, const char* source = kQVCountedPtrModuleSource) {
    if (!p) QVRaiseOutOfMemory(source);
    T* previous = fPointer;
    fPointer = p;
    if (previous) previous->Release();
    return *this;
  }

  void Release() {
    if (T* previous = fPointer) {
      fPointer = nullptr;
      previous->Release();
    }
  }

  // For out-parameters: releases the held reference, then gives the address.
  T** Put() {
    Release();
    return &fPointer;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  // The address without releasing (in/out use: the callee releases it by convention).
  T** AddressOf() { return &fPointer; }

  // Hands the reference over to the caller.
  T* Detach() {
    T* p = fPointer;
    fPointer = nullptr;
    return p;
  }

  T* Get() const { return fPointer; }
  T* operator->() const { return fPointer; }
  explicit operator bool() const { return fPointer != nullptr; }
  operator T*() const& { return fPointer; }
  operator T*() const&& = delete;  // a temporary must not hand out its pointer

 private:
  T* fPointer = nullptr;
};

// Asks `object` for interface I into `out` (released first). Answers the query's code.
template <class I>
QVResult QVQuery(IUnknown* object, TQVCountedPtr<I>& out) {
  if (!object) {
    out.Release();
    return kQVErrNoInterface;
  }
  // The callee releases the old value after taking the new one.
  return object->QueryInterface(QVIdOf<I>(), reinterpret_cast<void**>(out.AddressOf()));
}
