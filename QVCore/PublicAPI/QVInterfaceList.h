// The interface list of a QueryInterface: the interfaces an object answers, checked in
// the order they are listed, each yielding its own this-adjusted pointer.
#pragma once

#include "QVBase.h"

// The interface I of `self` for the first I in the list whose identifier is `id`; null
// when none is.
template <class... I, class T>
IUnknown* QVFindInterface(T* self, const QVGUID& id) {
  IUnknown* found = nullptr;
  (void)((id == QVIdOf<I>() && (found = static_cast<I*>(self)) != nullptr) || ...);
  return found;
}
