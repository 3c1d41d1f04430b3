// Base of every reference-counted host object: answers the interfaces it lists and
// counts its live instances.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <typeinfo>

#include "HostExport.h"
#include "QVBase.h"
#include "QVCountedPtr.h"
#include "QVInterfaceList.h"
#include "QVRefCount.h"

namespace qvhost {

// Number of host objects alive in the process.
QVHOST_API int64_t LiveHostObjects();
QVHOST_API void CountHostObject(int delta);
// Releases of host objects that found their count already at 0; they changed nothing
// and destroyed nothing.
QVHOST_API int64_t StrayHostReleases();
QVHOST_API void CountStrayHostRelease();
// The live count of the host objects whose first interface has the type name `kind`;
// the counter stays valid for the life of the process.
QVHOST_API std::atomic<int64_t>& HostObjectKindCounter(const char* kind);
// Live host objects by kind (the first interface they answer, "IHostKeyframe"); kinds
// of which none is alive are left out.
QVHOST_API std::map<std::string, int64_t> LiveHostObjectsByKind();

template <class First, class... Rest>
class HostObject : public First, public Rest... {
 public:
  HostObject() {
    CountHostObject(+1);
    ++KindCount();
  }
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;
  virtual ~HostObject() {
    CountHostObject(-1);
    --KindCount();
  }

  QVResult QueryInterface(const QVGUID& id, void** out) override {
    void* found = id == kIID_IUnknown ? static_cast<First*>(this) : QVFindInterface<First, Rest...>(this, id);
    if (!found) found = FindExtra(id);
    if (!found) {
      QVClearOut(out);
      return kQVErrNoInterface;
    }
    AddRef();
    auto* previous = static_cast<IUnknown*>(*out);
    *out = found;
    if (previous) previous->Release();
    return kQVOk;
  }
  int32_t AddRef() override { return __atomic_add_fetch(&fReferences, 1, __ATOMIC_RELAXED); }
  int32_t Release() override {
    int32_t count;
    if (Drop(count) == QVDrop::kLast) delete this;
    return count;
  }
  int32_t References() const { return __atomic_load_n(&fReferences, __ATOMIC_RELAXED); }

 protected:
  // Drops one reference without destroying the object (for objects with their own end,
  // which follows a kLast answer); `count` receives what Release answers.
  QVDrop DropReference(int32_t& count) { return Drop(count); }
  // Further identifiers a derived object answers (as a pointer of the right interface).
  virtual void* FindExtra(const QVGUID&) { return nullptr; }

 private:
  static std::atomic<int64_t>& KindCount() {
    static std::atomic<int64_t>& count = HostObjectKindCounter(typeid(First).name());
    return count;
  }

  QVDrop Drop(int32_t& count) {
    const QVDrop drop = QVDropReferenceAtomic(fReferences, count);
    if (drop == QVDrop::kStray) CountStrayHostRelease();
    return drop;
  }

  int32_t fReferences = 1;  // changed atomically: host objects are shared across threads
};

// The host object of class T behind `object`, which T answers on the private identifier
// `self` as its interface I; null when `object` is none of ours. Not retained.
template <class T, class I>
T* HostObjectBehind(IUnknown* object, const QVGUID& self) {
  void* found = nullptr;
  if (!object || object->QueryInterface(self, &found) != kQVOk) return nullptr;
  auto* ours = static_cast<T*>(static_cast<I*>(found));
  ours->Release();
  return ours;
}

// Takes over a new host object (count 1) in a counted pointer.
template <class I, class T>
TQVCountedPtr<I> Adopt(T* object) {
  TQVCountedPtr<I> pointer;
  pointer.AttachNew(object);
  return pointer;
}

}  // namespace qvhost
