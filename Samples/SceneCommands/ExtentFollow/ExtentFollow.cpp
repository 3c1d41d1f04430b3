// The ExtentFollow modifier: Apply, its dialog's part, and the module's creator.
#include "ExtentFollow.h"

#include "IHostDialogs.h"

QVResult TExtentFollowModifier::ControlEvent(int32_t, IUnknown* control, int32_t) {
  TQVCountedPtr<IHostDialogControl> part;
  if (QVQuery(control, part) == kQVOk && part->GetIdentifier() == kTargetKeyword) PickTarget();
  return kQVOk;
}

// The object's translation becomes the target's box centre expressed through the
// target's local transform: its translation less its pivot, plus the centre. The object
// is not asked to redraw.
QVResult TExtentFollowModifier::Apply(IHostTreeElement* object) {
  TQVCountedPtr<IHostScene> scene = SceneOf(object);
  if (!scene) return kQVOk;
  TQVCountedPtr<IHostTreeElement> target = ResolveTarget(scene.Get(), object);
  if (!target) {
    fParameters.TargetName = "Choose";
    return kQVOk;
  }
  target->GetName(fParameters.TargetName);
  if (!fParameters.FollowOn) return kQVOk;
  BoundingBox box;
  box.MakeEmpty();
  target->GetBoundingBox(box, 2, 1);
  const TQVVector3 centre = box.Centre();
  TQVTransform targetTransform, transform;
  target->GetLocalTransform(targetTransform);
  object->GetLocalTransform(transform);
  transform.translation = {targetTransform.translation.x - targetTransform.pivot.x + centre.x,
                           targetTransform.translation.y - targetTransform.pivot.y + centre.y,
                           targetTransform.translation.z - targetTransform.pivot.z + centre.z};
  object->SetLocalTransform(transform, 1, 0, 0);
  return kQVOk;
}

TQVComponent* CreateComponent(const QVGUID& classId) {
  if (!QVSameClass(classId, TExtentFollowModifier::kClassId)) return nullptr;
  return QVNewObject<TExtentFollowModifier>();
}
