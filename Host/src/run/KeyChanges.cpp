// Keys followed by identity across a run.
#include "KeyChanges.h"

#include "qvhost/CodePageText.h"

namespace qvhost {

namespace {

std::string InterpolatorOf(const Key& key) { return key.GetInterpolator() ? key.GetInterpolator()->Type() : "none"; }

}  // namespace

KeyChanges::KeyChanges(Document& document) {
  for (KeyInTrack& entry : document.AllKeys())
    fBefore.push_back({entry, entry.key->Ticks(), InterpolatorOf(*entry.key)});
}

std::vector<std::string> KeyChanges::MovedKeys() const {
  std::vector<std::string> lines;
  for (const KeyState& before : fBefore)
    if (before.key.key->Ticks() != before.ticks)
      lines.push_back(ShownText(before.key.track) + ": " + std::to_string(before.ticks) + " -> " +
                      std::to_string(before.key.key->Ticks()));
  return lines;
}

std::vector<std::string> KeyChanges::Interpolations() const {
  std::vector<std::string> lines;
  for (const KeyState& before : fBefore) {
    const std::string now = InterpolatorOf(*before.key.key);
    if (now != before.interpolator)
      lines.push_back(ShownText(before.key.track) + " at " + std::to_string(before.ticks) + ": " + before.interpolator +
                      " -> " + now);
  }
  return lines;
}

}  // namespace qvhost
