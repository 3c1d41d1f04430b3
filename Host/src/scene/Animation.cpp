// Animation nodes, channels, key tracks and keys.
#include "qvhost/Animation.h"
#include "qvhost/CodePageText.h"

#include <algorithm>

namespace qvhost {

bool IsInterpolatorType(const std::string& type) {
  return type == "linear" || type == "constant" || type == "smooth";
}

const char* InterpolatorTypes() { return "linear, constant, smooth"; }

QVResult Interpolator::GetHolder(IHostInterpolatorHolder** holder) {
  QVClearOut(reinterpret_cast<void**>(holder));
  if (fHolder && *fHolder) QVStoreOut(reinterpret_cast<void**>(holder), static_cast<IHostInterpolatorHolder*>(*fHolder));
  return kQVOk;
}

QVResult KeyValueItem::GetValue(TQVString& target, uint32_t type, bool* changed) {
  if (IHostKeyframeItem* value = Forwarded()) return value->GetValue(target, type, changed);
  if (changed) *changed = false;
  return kQVErrNotSupported;
}

QVResult KeyValueItem::SetValue(const TQVString& source, uint32_t type) {
  IHostKeyframeItem* value = Forwarded();
  return value ? value->SetValue(source, type) : kQVErrNotSupported;
}

void KeyValueItem::Clone(IHostKeyframeItem** out) {
  if (IHostKeyframeItem* value = Forwarded()) return value->Clone(out);
  QVClearOut(reinterpret_cast<void**>(out));
}

void KeyValueItem::NewEmpty(IHostKeyframeItem** out) {
  if (IHostKeyframeItem* value = Forwarded()) return value->NewEmpty(out);
  QVClearOut(reinterpret_cast<void**>(out));
}

Key::Key(int32_t ticks, bool selected)
    : fTicks(ticks), fSelected(selected), fSelf(std::make_shared<Key*>(this)) {
  Install(Adopt<IHostInterpolator>(new Interpolator("linear")).Get());
}

Key::~Key() { *fSelf = nullptr; }

QVResult Key::Install(IHostInterpolator* interpolator) {
  // Only the host's own interpolators can be installed.
  auto* ours = dynamic_cast<Interpolator*>(interpolator);
  if (interpolator && !ours) return kQVErrNotSupported;
  if (ours) ours->fHolder = fSelf;
  fInterpolator.Assign(ours);
  return kQVOk;
}

IHostKeyframe* Key::GetPreviousKey() {
  if (!fTrack || fIndex == 0) return nullptr;
  return fTrack->fKeys[fIndex - 1].Get();
}

IHostKeyframe* Key::GetNextKey() {
  if (!fTrack || fIndex + 1 >= fTrack->fKeys.size()) return nullptr;
  return fTrack->fKeys[fIndex + 1].Get();
}

void Key::SetTime(int32_t ticks) {
  fTicks = ticks;
  if (fTrack) fTrack->fUnordered = true;
}

KeyTrack::~KeyTrack() {
  for (const auto& key : fKeys) key->fTrack = nullptr;
}

IHostKeyframe* KeyTrack::GetKey(int32_t index) {
  if (index < 0 || size_t(index) >= fKeys.size()) return nullptr;
  return fKeys[size_t(index)].Get();
}

bool KeyTrack::HasSelectedKey() {
  return std::any_of(fKeys.begin(), fKeys.end(), [](const TQVCountedPtr<Key>& key) { return key->fSelected; });
}

void KeyTrack::AfterEdit() {
  ++fAfterEdits;
  Sort();
}

void KeyTrack::Settle() {
  if (fUnordered) Sort();
}

void KeyTrack::Sort() {
  fUnordered = false;
  // Sorts (time, position) pairs, so the keys themselves are touched once each.
  std::vector<std::pair<int32_t, uint32_t>> order(fKeys.size());
  for (size_t i = 0; i < fKeys.size(); ++i) order[i] = {fKeys[i]->fTicks, uint32_t(i)};
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TQVCountedPtr<Key>> sorted(fKeys.size());
  for (size_t i = 0; i < order.size(); ++i) {
    sorted[i] = std::move(fKeys[order[i].second]);
    sorted[i]->fIndex = i;
  }
  fKeys.swap(sorted);
}

Key& KeyTrack::Add(int32_t ticks, bool selected) {
  fKeys.push_back(Adopt<Key>(new Key(ticks, selected)));
  Key& key = *fKeys.back();
  key.fTrack = this;
  key.fIndex = fKeys.size() - 1;
  return key;
}

void KeyTrack::Clear() {
  for (const auto& key : fKeys) key->fTrack = nullptr;
  fKeys.clear();
}

Key* KeyTrack::Find(int32_t ticks) const {
  for (const auto& key : fKeys)
    if (key->fTicks == ticks) return key.Get();
  return nullptr;
}

Key* KeyTrack::Latest(int32_t ticks) const {
  Key* latest = nullptr;
  for (const auto& key : fKeys)
    if (key->fTicks <= ticks && (!latest || key->fTicks >= latest->fTicks)) latest = key.Get();
  return latest;
}

IHostAnimationNode* AnimationChannel::GetSubNode() { return subNode.Get(); }

AnimationNode::AnimationNode(std::string owner, std::shared_ptr<Journal> journal)
    : fOwner(std::move(owner)), fJournal(std::move(journal)), fTrack(Adopt<KeyTrack>(new KeyTrack())) {}

IHostAnimationChannel* AnimationNode::GetChannel(int32_t index) {
  if (index < 0 || size_t(index) >= fChannels.size()) return nullptr;
  return fChannels[size_t(index)].Get();
}

void AnimationNode::KeysChanged() { fJournal->Record("keys", "changed " + ShownText(fOwner)); }

void AnimationNode::ChangedWithSource(IUnknown* source) {
  fJournal->Record("keys", "changed " + ShownText(fOwner) + (source ? " (with source)" : " (no source)"));
}

QVResult AnimationNode::AddAttributeGroup(IHostAnimated* group, const TQVString& name, uint32_t code) {
  if (!group) return kQVErrObjectMissing;
  fGroups.push_back({TQVCountedPtr<IHostAnimated>(), name.CStr(), code});
  fGroups.back().group.Assign(group);
  fJournal->Record("animation", "attribute group \"" + ShownText(fGroups.back().name) + "\" on " + ShownText(fOwner));
  return kQVOk;
}

AnimationChannel& AnimationNode::AddChannel(std::string name) {
  fChannels.push_back(Adopt<AnimationChannel>(new AnimationChannel(std::move(name))));
  return *fChannels.back();
}

TQVCountedPtr<AnimationNode> AnimationNode::Clone(std::string owner) const {
  auto copy = Adopt<AnimationNode>(new AnimationNode(std::move(owner), fJournal));
  copy->suspended = suspended;
  auto copyKeys = [](const KeyTrack& from, KeyTrack& to) {
    for (const auto& key : from.Keys()) {
      Interpolator* interpolator = key->GetInterpolator();
      Key& made = to.Add(key->Ticks(), key->IsSelected());
      made.Install(interpolator ? Adopt<IHostInterpolator>(new Interpolator(interpolator->Type())).Get() : nullptr);
      if (const TQVVector3* translation = key->Translation()) made.SetTranslation(*translation);
    }
  };
  copyKeys(*fTrack, copy->Track());
  for (const auto& channel : fChannels) {
    AnimationChannel& made = copy->AddChannel(channel->Name());
    made.eligible[0] = channel->eligible[0];
    made.eligible[1] = channel->eligible[1];
    if (channel->subNode) made.subNode = channel->subNode->Clone(channel->subNode->Owner());
    if (channel->track) {
      made.track = Adopt<KeyTrack>(new KeyTrack());
      copyKeys(*channel->track, *made.track);
    }
  }
  return copy;
}

IHostAnimationNode* HostAnimated::GetAnimationNode() { return fNode.Get(); }

}  // namespace qvhost
