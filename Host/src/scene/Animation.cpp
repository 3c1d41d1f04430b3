// Animation nodes, channels, key tracks and keys.
#include "qvhost/Animation.h"
#include "qvhost/CodePageText.h"

#include <algorithm>

namespace qvhost {

namespace {

struct TimedIndex {
  int32_t ticks;
  uint32_t index;  // position in the track before sorting
};

// Sorts by time, keeping the given order among equal times: insertion for a few items,
// otherwise a radix sort of the times' distance from the earliest (linear in the count).
void SortByTime(std::vector<TimedIndex>& items) {
  const size_t count = items.size();
  if (count < 32) {
    for (size_t i = 1; i < count; ++i) {
      const TimedIndex item = items[i];
      size_t j = i;
      for (; j > 0 && items[j - 1].ticks > item.ticks; --j) items[j] = items[j - 1];
      items[j] = item;
    }
    return;
  }
  int32_t low = items[0].ticks, high = items[0].ticks;
  for (const TimedIndex& item : items) {
    low = std::min(low, item.ticks);
    high = std::max(high, item.ticks);
  }
  const uint32_t range = uint32_t(int64_t(high) - int64_t(low));
  if (range == 0) return;
  const int rangeBits = 32 - __builtin_clz(range);
  const int digitBits = count < 2048 ? 8 : 11;
  const uint32_t mask = (1u << digitBits) - 1;
  std::vector<TimedIndex> spare(count);
  std::vector<size_t> starts(mask + 2);
  for (int shift = 0; shift < rangeBits; shift += digitBits) {
    auto digit = [low, shift, mask](const TimedIndex& item) {
      return (uint32_t(int64_t(item.ticks) - int64_t(low)) >> shift) & mask;
    };
    std::fill(starts.begin(), starts.end(), 0);
    for (const TimedIndex& item : items) ++starts[digit(item) + 1];
    for (uint32_t d = 0; d <= mask; ++d) starts[d + 1] += starts[d];
    for (const TimedIndex& item : items) spare[starts[digit(item)]++] = item;
    items.swap(spare);
  }
}

}  // namespace

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
  if (!fTrack) return;
  fTrack->fUnordered = true;
  fMoved = true;
}

KeyTrack::~KeyTrack() { Clear(); }

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
  const size_t count = fKeys.size();
  // The keys whose time stayed are still in time order (unless keys were added out of
  // order): only the moved ones need sorting, and then the two runs are merged.
  std::vector<TimedIndex> kept(count), moved(count);
  size_t keptCount = 0, movedCount = 0;
  bool keptInOrder = true;
  for (size_t i = 0; i < count; ++i) {
    Key& key = *fKeys[i];
    const TimedIndex item{key.fTicks, uint32_t(i)};
    if (key.fMoved) {
      key.fMoved = false;
      moved[movedCount++] = item;
    } else {
      if (keptCount > 0 && item.ticks < kept[keptCount - 1].ticks) keptInOrder = false;
      kept[keptCount++] = item;
    }
  }
  kept.resize(keptCount);
  moved.resize(movedCount);
  if (moved.empty() && keptInOrder) return;
  if (!keptInOrder) {
    // Order the whole track, as one run in position order.
    moved.clear();
    kept.clear();
    for (size_t i = 0; i < count; ++i) kept.push_back({fKeys[i]->fTicks, uint32_t(i)});
    SortByTime(kept);
  } else {
    SortByTime(moved);
  }

  // Merge; of keys at equal times the one that was earlier in the track comes first.
  std::vector<TQVCountedPtr<Key>> keys(count);
  size_t k = 0, m = 0;
  for (size_t out = 0; out < count; ++out) {
    const bool takeMoved = m < moved.size() && (k == kept.size() || moved[m].ticks < kept[k].ticks ||
                                                (moved[m].ticks == kept[k].ticks && moved[m].index < kept[k].index));
    keys[out] = std::move(fKeys[takeMoved ? moved[m++].index : kept[k++].index]);
    keys[out]->fIndex = out;
  }
  fKeys.swap(keys);
}

Key& KeyTrack::Add(int32_t ticks, bool selected) {
  fKeys.push_back(Adopt<Key>(new Key(ticks, selected)));
  Key& key = *fKeys.back();
  key.fTrack = this;
  key.fIndex = fKeys.size() - 1;
  return key;
}

void KeyTrack::Clear() {
  for (const auto& key : fKeys) {
    key->fTrack = nullptr;
    key->fMoved = false;
  }
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
