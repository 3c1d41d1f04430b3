// The "Text Entry" attribute of a NoteSheet: the string the host's attribute holder binds
// and animates, and the holder itself, made when first needed.
#pragma once

#include "AtomicRefObject.h"
#include "IHostAttributes.h"
#include "QVCountedPtr.h"
#include "QVString.h"

// The holder and whether the attribute has been defined to it.
struct TAttributeHolderLink {
  TQVCountedPtr<IHostAttributeHolder> fHolder;
  bool fDefined = false;
};

class TNoteSheetText final : public IHostAnimated, private TAttributeHolderLink, public TQVAtomicRefObject {
 public:
  TNoteSheetText() = default;

  QVResult QueryInterface(const QVGUID& id, void** out) override;
  int32_t AddRef() override { return TQVAtomicRefObject::AddRef(); }
  int32_t Release() override { return TQVAtomicRefObject::Release(); }
  void DeleteThis(uint32_t flags) override { QVDeleteRefObject(this, flags); }

  int32_t Query() override { return fHolder ? fHolder->Query() : 0; }
  QVResult Activate(int32_t flag) override;
  IHostAnimationNode* GetAnimationNode() override { return fHolder.Get(); }
  void Reserved6() override {}
  void Forward(int32_t value) override {
    if (fHolder) fHolder->Forward(value);
  }
  QVResult DefineAttributes() override;
  void Reserved10() override {}

  // The storage bound to the attribute.
  TQVFixedString<255>& Entry() { return fEntry; }
  // Tells the holder that the bound value changed: it records it at the current time.
  void EntryChanged() {
    if (fHolder) fHolder->ValueChanged(0);
  }
  // Gives `copy` this text, the active state and the animation of the attribute.
  void CloneInto(TNoteSheetText& copy);

 private:
  IUnknown* Identity() { return static_cast<TQVRefObject*>(this); }
  void CreateHolder();

  TQVFixedString<255> fEntry;
};

#if defined(__i386__)
static_assert(sizeof(TNoteSheetText) == 292, "TNoteSheetText layout");
#endif
