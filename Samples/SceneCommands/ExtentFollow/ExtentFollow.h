// ExtentFollow: an object modifier that keeps its object at the centre of a picked
// target's bounding box; the object's rotation and scale stay as they are.
#pragma once

#include <cstddef>

#include "ExtentFollowParameters.h"
#include "TargetModifier.h"

class TExtentFollowModifier final : public TTargetModifier<TExtentFollowModifier, ExtentFollowParameters> {
 public:
  static constexpr QVGUID kClassId = {0x45784677, 0x6D6F, 0x6469, {0x45, 0x78, 0x74, 0x65, 0x6E, 0x74, 0x46, 0x6F}};
  static constexpr uint32_t kClassCode = kExtentFollowClassCode;

  TExtentFollowModifier() { fFlags |= 1; }

  QVResult Apply(IHostTreeElement* object) override;
  // Only 'obj1', the target picker.
  QVResult ControlEvent(int32_t message, IUnknown* control, int32_t value) override;
  int16_t GetDialogID() override { return kExtentFollowDialog; }
  // What Clone copies: the target only; the copy's block keeps its defaults.
  void CopyInto(TExtentFollowModifier& copy) const { CopyTargetReference(fTargetRef, copy.fTargetRef); }

#if defined(__i386__)
 private:
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  static void CheckLayout() {
    static_assert(offsetof(TExtentFollowModifier, fParameters) == 28, "TExtentFollowModifier layout");
    static_assert(offsetof(TExtentFollowModifier, fTargetRef) == 304, "TExtentFollowModifier layout");
  }
#pragma GCC diagnostic pop
#endif
};

#if defined(__i386__)
static_assert(sizeof(TExtentFollowModifier) == 320, "TExtentFollowModifier layout");
#endif
