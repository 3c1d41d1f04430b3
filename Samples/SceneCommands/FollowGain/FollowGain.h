// FollowGain: an object modifier that makes its object repeat a picked target's motion
// with per-axis gains: from a reference captured when it first sees the target, the
// object moves by the target's displacement times the gain, turns by a spherical blend
// towards the target's rotation and takes the target's scale times the gain.
#pragma once

#include <cstddef>

#include "FollowGainParameters.h"
#include "TargetModifier.h"

class TFollowGainModifier final : public TTargetModifier<TFollowGainModifier, FollowGainParameters> {
 public:
  static constexpr QVGUID kClassId = {0x466C476E, 0x6D6F, 0x6469, {0x46, 0x6F, 0x6C, 0x6C, 0x6F, 0x77, 0x47, 0x61}};
  static constexpr uint32_t kClassCode = kFollowGainClassCode;

  TFollowGainModifier() { fFlags |= 1; }

  QVResult Apply(IHostTreeElement* object) override;
  // 'RESA', 'REST', 'obj1', then the linked gains.
  QVResult ControlEvent(int32_t message, IUnknown* control, int32_t value) override;
  int16_t GetDialogID() override { return kFollowGainDialog; }
  // What Clone copies: the whole block and the target.
  void CopyInto(TFollowGainModifier& copy) const;

 private:
  void CaptureReference(const TQVTransform& target);
  void ForgetTarget();

#if defined(__i386__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  static void CheckLayout() {
    static_assert(offsetof(TFollowGainModifier, fParameters) == 28, "TFollowGainModifier layout");
    static_assert(offsetof(TFollowGainModifier, fTargetRef) == 2040, "TFollowGainModifier layout");
  }
#pragma GCC diagnostic pop
#endif
};

// `value` with two decimals and the user's decimal separator (read once per module).
void FormatNumber(float value, TQVString& text);

#if defined(__i386__)
static_assert(sizeof(TFollowGainModifier) == 2056, "TFollowGainModifier layout");
#endif
