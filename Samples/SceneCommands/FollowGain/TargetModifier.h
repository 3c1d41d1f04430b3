// The base of the target-following modifiers (FollowGain, ExtentFollow): a component
// that answers IObjectModifier, ICommandParameters and ITokenPersistence and keeps the
// reference of the target the user picked. Each module derives its class from
// TTargetModifier<Class, Parameters>, with its own identifiers, block and Apply.
#pragma once

#include "QVComponent.h"
#include "QVModule.h"
#include "TargetReference.h"

// The modifiers' flag word, placed between their ICommandParameters and ITokenPersistence.
struct TModifierFlags {
  uint32_t fFlags = 0;
};

// `Class` supplies kClassId, kClassCode, Apply, ControlEvent, GetDialogID and
// CopyInto(Class& copy) const, what Clone copies.
template <class Class, class Parameters>
class TTargetModifier : public IObjectModifier,
                        public TQVComponent,
                        public ICommandParameters,
                        public TModifierFlags,
                        public ITokenPersistence {
 public:
  // Its own class identifier and IObjectModifier (the primary interface),
  // ITokenPersistence, ICommandParameters, then the TQVComponent rules.
  QVResult QueryInterface(const QVGUID& id, void** out) override {
    if (QVSameClass(id, Class::kClassId)) return Yield(static_cast<IObjectModifier*>(this), out);
    return QueryInterfaces<IObjectModifier, ITokenPersistence, ICommandParameters>(this, id, out);
  }
  int32_t AddRef() override { return TQVComponent::AddRef(); }
  int32_t Release() override { return QVReleaseComponent(static_cast<Class*>(this)); }

  // IObjectModifier
  void GetFlags(uint32_t* flags) override {
    if (flags) *flags = fFlags;
  }
  QVResult Apply(IHostTreeElement*) override { return kQVErrNotImplemented; }
  int32_t Reserved5(void*) override { return 0x7FFFFFFF; }
  bool Reserved6() override { return false; }
  void Reserved7(void*) override {}
  QVResult Reserved8(void*, void*) override { return kQVErrNotImplemented; }
  QVResult Reserved9(void*, void*) override { return kQVErrNotImplemented; }
  QVResult Reserved10(void*, void*, void*) override { return kQVErrNotImplemented; }
  QVResult Reserved11(void*, void*) override { return kQVErrNotImplemented; }
  QVResult PassValue(float value, float* out) override {
    if (out) *out = value;
    return kQVOk;
  }
  QVResult Reserved13(void*, void*) override { return kQVErrNotImplemented; }
  void Reserved14() override {}
  void Reserved15() override {}

  // ICommandParameters
  void Clone(ICommandParameters** out, IUnknown* outer) override;
  bool AcceptsValue(void*) override { return true; }
  QVResult Operation5(void*, void*) override { return kQVErrNotImplemented; }
  QVResult Operation6(void*, void*) override { return kQVErrNotImplemented; }
  void* GetParameterBlock() override { return &fParameters; }
  QVResult ParametersChanged() override { return kQVOk; }
  QVResult Operation11() override { return kQVErrNotSupported; }
  // Another instance of this class (found by its class identifier) takes a copy of the
  // target; anything else changes nothing.
  QVResult CopyTargetTo(IUnknown* other) override;

  // ITokenPersistence
  QVResult Read(IHostTokenStream* stream, QVTokenFallback fallback, void* userValue) override {
    return ReadTargetReference(stream, fallback, userValue, fTargetRef);
  }
  QVResult Write(IHostTokenStream* stream) override { return WriteTargetReference(stream, fTargetRef); }

 protected:
  TTargetModifier() { ResetTargetReference(fTargetRef); }
  ~TTargetModifier() = default;

  void PickTarget() { PickTargetElement(Class::kClassCode, fTargetRef, fParameters.TargetName); }
  TQVCountedPtr<IHostTreeElement> ResolveTarget(IHostScene* scene, IHostTreeElement* object) const {
    return ResolveTargetElement(scene, fTargetRef, object);
  }

  Parameters fParameters;
  TQVArray<int32_t> fTargetRef;  // not part of the block
};

// The copy's count of 1 becomes the out-parameter's reference. What the out-parameter
// held is released last, as it may be this component's last reference.
template <class Class, class Parameters>
void TTargetModifier<Class, Parameters>::Clone(ICommandParameters** out, IUnknown* outer) {
  if (!out) return;
  TQVCountedPtr<Class> copy;
  copy.AttachNew(QVNewObject<Class>());
  static_cast<const Class*>(this)->CopyInto(*copy);
  // Set last: until then a failure destroys the copy without involving the outer.
  copy->SetOuter(outer);
  ICommandParameters* previous = *out;
  *out = static_cast<ICommandParameters*>(copy.Detach());
  if (previous) previous->Release();
}

template <class Class, class Parameters>
QVResult TTargetModifier<Class, Parameters>::CopyTargetTo(IUnknown* other) {
  TQVCountedPtr<IObjectModifier> same;
  if (!other || other->QueryInterface(Class::kClassId, same.PutVoid()) != kQVOk || !same) return kQVOk;
  auto* instance = static_cast<Class*>(same.Get());
  if (instance != this) CopyTargetReference(fTargetRef, instance->fTargetRef);
  return kQVOk;
}
