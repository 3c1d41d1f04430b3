// What the host hands back when an element is taken out of the tree: the object to ask
// for re-insertion, two further references and the element's transform.
#pragma once

#include "QVBase.h"
#include "QVMath.h"

struct RemovalRecord {
  IUnknown* references[3] = {nullptr, nullptr, nullptr};  // [0]: asked to re-insert
  TQVTransform transform;

  // Releases the three references (a discarded record).
  void Discard() {
    for (IUnknown*& reference : references) {
      if (IUnknown* held = reference) {
        reference = nullptr;
        held->Release();
      }
    }
  }
};

#if defined(__i386__)
static_assert(sizeof(RemovalRecord) == 88, "RemovalRecord layout");
#endif
