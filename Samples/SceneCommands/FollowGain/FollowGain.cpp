// The FollowGain modifier: Apply, its dialog's parts, and the module's creator.
#include "FollowGain.h"

#include <cstdio>

#include "IHostAttributes.h"
#include "IHostDialogs.h"
#include "RotationConversions.h"
#include "qvplatform/Platform.h"

namespace {

constexpr uint32_t kResetAllPart = QVFourCC("RESA");
constexpr uint32_t kRecapturePart = QVFourCC("REST");
// The gain parts of each group, x, y, z: with SameGain, one sets all three.
constexpr uint32_t kGainParts[3][3] = {{QVFourCC("OFxm"), QVFourCC("OFym"), QVFourCC("OFzm")},
                                       {QVFourCC("ROxm"), QVFourCC("ROym"), QVFourCC("ROzm")},
                                       {QVFourCC("SIxm"), QVFourCC("SIym"), QVFourCC("SIzm")}};

char gDecimalSeparator = 0;  // the user's, read on first use

char DecimalSeparator() {
  if (gDecimalSeparator == 0) {
    char buffer[32];
    const uint32_t read = QVPlatform_GetProfileString("intl", "sDecimal", ".", buffer, sizeof buffer);
    gDecimalSeparator = read > 0 ? buffer[0] : '.';
  }
  return gDecimalSeparator;
}

float& Axis(TQVVector3& v, int axis) { return (&v.x)[axis]; }

// Every FollowGain of the scene (this one included) recaptures on its next Apply.
void ResetAllFollowGains(IHostScene* scene) {
  TQVCountedPtr<IHostSceneHierarchy> hierarchy;
  if (QVQuery(scene, hierarchy) != kQVOk) return;
  const int32_t count = hierarchy->GetElementCount();
  for (int32_t i = 0; i < count; ++i) {
    IHostTreeElement* element = hierarchy->GetElement(i);
    if (!element) continue;
    const uint32_t entries = element->GetEntryCount();
    for (uint32_t e = 0; e < entries; ++e) {
      TQVCountedPtr<IUnknown> entry;
      element->GetEntry(entry.Put(), e);
      TQVCountedPtr<IHostParameterList> parameters;
      if (QVQuery(entry.Get(), parameters) != kQVOk || parameters->GetKind() != kFollowGainClassCode) continue;
      const uint8_t notCaptured = 0;
      parameters->SetParameterValue(kReferenceCapturedParameter, &notCaptured, 1);
      element->Invalidate(0);
    }
  }
}

}  // namespace

void FormatNumber(float value, TQVString& text) {
  char format[8];
  std::snprintf(format, sizeof format, "%c.%uf", '%', 2u);
  char digits[64];
  std::snprintf(digits, sizeof digits, format, double(value));
  const char separator = DecimalSeparator();
  for (char* c = digits; *c; ++c)
    if (*c == '.') *c = separator;
  text.SetFrom(digits);
}

void TFollowGainModifier::CopyInto(TFollowGainModifier& copy) const {
  copy.fParameters = fParameters;
  CopyTargetReference(fTargetRef, copy.fTargetRef);
}

QVResult TFollowGainModifier::ControlEvent(int32_t, IUnknown* control, int32_t) {
  TQVCountedPtr<IHostDialogControl> part;
  if (QVQuery(control, part) != kQVOk) return kQVOk;
  const uint32_t id = part->GetIdentifier();
  FollowGainParameters& p = fParameters;
  if (id == kResetAllPart) p.ResetAllPending = 1;
  if (id == kRecapturePart) p.RefCaptured = 0;
  if (id == kTargetKeyword) PickTarget();
  if (!p.SameGain) return kQVOk;
  FollowGainGroup* const groups[3] = {&p.Position, &p.Rotation, &p.Scale};
  for (int g = 0; g < 3; ++g) {
    for (int axis = 0; axis < 3; ++axis) {
      if (id != kGainParts[g][axis]) continue;
      const float gain = Axis(groups[g]->Gain, axis);
      groups[g]->Gain = {gain, gain, gain};
    }
  }
  return kQVOk;
}

void TFollowGainModifier::ForgetTarget() {
  fParameters.RefCaptured = 0;
  for (int axis = 0; axis < 3; ++axis) {
    fParameters.RefPosText[axis] = "";
    fParameters.RefRotText[axis] = "";
  }
  fParameters.TargetName = "Choose";
}

void TFollowGainModifier::CaptureReference(const TQVTransform& target) {
  FollowGainParameters& p = fParameters;
  p.RefPos = target.translation;
  p.RefRotation = target.rotation;
  for (int axis = 0; axis < 3; ++axis) FormatNumber(Axis(p.RefPos, axis), p.RefPosText[axis]);
  const TQVEulerAngles angles = p.RefRotation.ToEuler();
  FormatNumber(angles.c, p.RefRotText[0]);
  FormatNumber(angles.b, p.RefRotText[1]);
  FormatNumber(angles.a, p.RefRotText[2]);
  p.RefCaptured = 1;
}

// The placements read and written are the elements' local transforms (the arguments
// 1, 0, 0 are those of SetLocalTransform).
QVResult TFollowGainModifier::Apply(IHostTreeElement* object) {
  TQVCountedPtr<IHostScene> scene = SceneOf(object);
  if (!scene) return kQVOk;  // a pending reset-all stays pending
  FollowGainParameters& p = fParameters;
  if (p.ResetAllPending) {
    ResetAllFollowGains(scene.Get());
    p.ResetAllPending = 0;
  }
  FollowGainGroup* const groups[3] = {&p.Position, &p.Rotation, &p.Scale};
  if (p.SameGain)
    for (FollowGainGroup* group : groups) group->Gain.y = group->Gain.z = group->Gain.x;

  TQVCountedPtr<IHostTreeElement> target = ResolveTarget(scene.Get(), object);
  if (!target) {
    ForgetTarget();
    return kQVOk;
  }
  target->GetName(p.TargetName);
  TQVTransform targetTransform;
  target->GetLocalTransform(targetTransform);
  if (!p.RefCaptured) CaptureReference(targetTransform);

  TQVTransform transform;
  object->GetLocalTransform(transform);
  if (p.Position.On) {
    for (int axis = 0; axis < 3; ++axis) {
      if (!p.Position.AxisOn[axis]) continue;
      const float reference = Axis(p.RefPos, axis);
      Axis(transform.translation, axis) =
          reference + (Axis(targetTransform.translation, axis) - reference) * Axis(p.Position.Gain, axis);
    }
  }
  if (p.Rotation.On) {
    TQVEulerAngles angles = transform.rotation.ToEuler();
    const Quaternion from = QuaternionFromMatrix(p.RefRotation);
    const Quaternion to = QuaternionFromMatrix(targetTransform.rotation);
    auto blended = [&](int axis) { return MatrixFromQuaternion(Slerp(Axis(p.Rotation.Gain, axis), from, to)).ToEuler(); };
    if (p.Rotation.AxisOn[0]) angles.c = blended(0).c;  // about x
    if (p.Rotation.AxisOn[1]) angles.b = blended(1).b;  // about y
    if (p.Rotation.AxisOn[2]) angles.a = blended(2).a;  // about z
    transform.rotation.FromEuler(angles.a, angles.b, angles.c, angles.rightHanded);
  }
  if (p.Scale.On) {
    for (int axis = 0; axis < 3; ++axis)
      Axis(transform.axisScale, axis) =
          p.Scale.AxisOn[axis] ? Axis(targetTransform.axisScale, axis) * Axis(p.Scale.Gain, axis) : 1.0f;
    transform.uniformScale = targetTransform.uniformScale;
  }
  object->SetLocalTransform(transform, 1, 0, 0);
  object->Invalidate(0);
  return kQVOk;
}

TQVComponent* CreateComponent(const QVGUID& classId) {
  if (!QVSameClass(classId, TFollowGainModifier::kClassId)) return nullptr;
  return QVNewObject<TFollowGainModifier>();
}
