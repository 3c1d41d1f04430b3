// The host's evaluation of a scene: key-framed translations, then the attached modifiers.
#include "qvhost/AttachedComponent.h"
#include "qvhost/CodePageText.h"
#include "qvhost/Document.h"

namespace qvhost {

namespace {

// The translation the keys of `track` that carry one give at `ticks`; false when none
// does. Before the first such key and after the last their values hold; between two,
// the earlier key's interpolator decides: constant and none hold its value, smooth eases
// in and out, linear interpolates.
bool KeyedTranslation(const KeyTrack& track, int32_t ticks, TQVVector3& translation) {
  const Key* before = nullptr;  // the latest keyed key at or before `ticks`
  const Key* after = nullptr;   // the earliest keyed key after it
  for (const auto& key : track.Keys()) {
    if (!key->Translation()) continue;
    if (key->Ticks() <= ticks) {
      if (!before || key->Ticks() >= before->Ticks()) before = key.Get();
    } else if (!after || key->Ticks() < after->Ticks()) {
      after = key.Get();
    }
  }
  if (!before && !after) return false;
  if (!before || !after) {
    translation = *(before ? before : after)->Translation();
    return true;
  }
  const Interpolator* interpolator = before->GetInterpolator();
  const std::string type = interpolator ? interpolator->Type() : "none";
  float t = float(double(int64_t(ticks) - before->Ticks()) / double(int64_t(after->Ticks()) - before->Ticks()));
  if (type == "constant" || type == "none")
    t = 0.0f;
  else if (type == "smooth")
    t = t * t * (3.0f - 2.0f * t);
  const TQVVector3& a = *before->Translation();
  const TQVVector3& b = *after->Translation();
  translation = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
  return true;
}

void ApplyModifiers(Scene& scene) {
  for (SceneElement* element : scene.Root().Descendants()) {
    const std::vector<TQVCountedPtr<ComponentCarrier>> carriers = element->Components();
    for (const auto& carrier : carriers) {
      auto modifier = carrier->Query<IObjectModifier>();
      if (!modifier) continue;
      const QVResult answer = modifier->Apply(element);
      if (answer != kQVOk)
        scene.SharedJournal()->Record("evaluate", ShownText(element->Path()) + ": " + carrier->Resource().name + " answered " +
                                                      FormatResult(answer));
    }
  }
}

}  // namespace

void Document::Evaluate() {
  Scene& scene = *fScene;
  for (SceneElement* element : scene.Root().Descendants()) {
    TQVVector3 translation;
    AnimationNode* node = element->Node();
    if (!node || !KeyedTranslation(node->Track(), scene.time, translation)) continue;
    TQVTransform local = element->Local();
    local.translation = translation;
    element->SetLocal(local);
  }
  ApplyModifiers(scene);
}

}  // namespace qvhost
