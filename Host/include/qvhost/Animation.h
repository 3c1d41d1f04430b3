// The reference host's animation model: nodes with their own key track and channels
// (a sub-node or a key track), keys with a time and a selected state, and the animated
// objects of the scene's object lists.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostObject.h"
#include "IHostAnimation.h"
#include "IHostInterpolation.h"
#include "Journal.h"
#include "QVMath.h"

namespace qvhost {

class KeyTrack;
class Key;

// Interpolator types the host offers; "linear" is what a new key starts with.
QVHOST_API bool IsInterpolatorType(const std::string& type);
QVHOST_API const char* InterpolatorTypes();  // "linear, constant, smooth"

// How a track goes from one key to the next.
class QVHOST_API Interpolator final : public HostObject<IHostInterpolator> {
 public:
  explicit Interpolator(std::string type) : fType(std::move(type)) {}
  QVResult GetHolder(IHostInterpolatorHolder** holder) override;

  const std::string& Type() const { return fType; }

 private:
  friend class Key;
  std::string fType;
  // The key it was installed in last; cleared when that key goes (no reference held).
  std::shared_ptr<Key*> fHolder;
};

// A keyframe item that gives the answers of the value object it forwards to, or neutral
// ones without one. The selection's 'KeyF' items are of this kind; value types of tests
// build on it.
class QVHOST_API KeyValueItem : public IHostKeyframeItem {
 public:
  int32_t Reserved3() override { return 0; }
  QVResult GetValue(TQVString& target, uint32_t type, bool* changed) override;
  QVResult SetValue(const TQVString& source, uint32_t type) override;
  uint32_t GetValueType() override { return Forwarded() ? Forwarded()->GetValueType() : 0; }
  void Clone(IHostKeyframeItem** out) override;
  QVResult Write(IHostDataStream* stream) override { return Forwarded() ? Forwarded()->Write(stream) : kQVErrNotSupported; }
  QVResult Read(IHostDataStream* stream) override { return Forwarded() ? Forwarded()->Read(stream) : kQVErrNotSupported; }
  QVResult CopyFrom(IHostKeyframeItem* other) override { return Forwarded() ? Forwarded()->CopyFrom(other) : kQVErrNotSupported; }
  QVResult CopyFromSecond(void*, IHostKeyframeItem* other, void*) override { return CopyFrom(other); }
  void NewEmpty(IHostKeyframeItem** out) override;
  QVResult Reserved13() override { return kQVOk; }
  void Reserved14() override {}
  void SetOwner(IUnknown*) override {}
  IUnknown* GetOwner() override { return nullptr; }
  bool Reserved17() override { return false; }
  int32_t Reserved18() override { return 0; }
  void Reserved19() override {}
  void Reserved20() override {}
  void Reserved21() override {}
  void Reserved22() override {}
  bool Reserved23() override { return false; }
  int32_t Reserved24() override { return 0; }
  void Reserved25() override {}
  bool Reserved26() override { return false; }
  void Reserved27() override {}

  // The value object forwarded to: `value` unless a derived item names another.
  virtual IHostKeyframeItem* Forwarded() { return value.Get(); }
  TQVCountedPtr<IHostKeyframeItem> value;
};

// A key answers for its value through GetValue only: it is not a keyframe item itself.
class QVHOST_API Key final : public HostObject<IHostKeyframe, IHostInterpolatorHolder> {
 public:
  Key(int32_t ticks, bool selected);
  ~Key() override;
  QVKeyTimeRecord GetTimeRecord() override { return {fTicks, 0}; }
  IHostKeyframeItem* GetValue() override { return value.Get(); }
  void SetTime(int32_t ticks) override;
  bool IsSelected() override { return fSelected; }
  IHostKeyframe* GetPreviousKey() override;
  IHostKeyframe* GetNextKey() override;
  QVResult Install(IHostInterpolator* interpolator) override;

  int32_t Ticks() const { return fTicks; }
  // The interpolation from this key to the next; null when none was installed.
  Interpolator* GetInterpolator() const { return fInterpolator.Get(); }
  KeyTrack* Track() const { return fTrack; }
  // The live selection keeps this in step with its 'KeyF' items.
  void SetSelected(bool selected) { fSelected = selected; }
  // The translation the key gives its element (a key of an element's own track), or null.
  const TQVVector3* Translation() const { return fHasTranslation ? &fTranslation : nullptr; }
  void SetTranslation(const TQVVector3& translation) {
    fTranslation = translation;
    fHasTranslation = true;
  }

  // The key's value (a module's value object, keys of attribute tracks), or null.
  TQVCountedPtr<IHostKeyframeItem> value;

 private:
  friend class KeyTrack;
  int32_t fTicks;
  bool fSelected;
  KeyTrack* fTrack = nullptr;  // not counted: the track owns its keys
  size_t fIndex = 0;
  bool fMoved = false;  // its time changed since the track was last put in order
  TQVCountedPtr<Interpolator> fInterpolator;
  std::shared_ptr<Key*> fSelf;  // what interpolators installed here point back through
  bool fHasTranslation = false;
  TQVVector3 fTranslation;
};

// The selection's item for a selected key ('KeyF'): a keyframe item giving the answers
// of the key's value.
class QVHOST_API SelectedKeyItem final : public HostObject<KeyValueItem> {
 public:
  explicit SelectedKeyItem(Key& key) { fKey.Assign(&key); }
  IHostKeyframeItem* Forwarded() override { return fKey->value.Get(); }
  Key& GetKey() const { return *fKey; }

 private:
  TQVCountedPtr<Key> fKey;
};

class QVHOST_API KeyTrack final : public HostObject<IHostKeyTrack> {
 public:
  int32_t GetKeyCount() override { return int32_t(fKeys.size()); }
  IHostKeyframe* GetKey(int32_t index) override;
  bool HasSelectedKey() override;
  void AfterEdit() override;

  Key& Add(int32_t ticks, bool selected);
  void Clear();
  // The key at exactly `ticks`, or null.
  Key* Find(int32_t ticks) const;
  // The last key at or before `ticks` in time order, or null.
  Key* Latest(int32_t ticks) const;
  // Puts the keys in time order if a key's time changed since (the host does this after
  // each command step; AfterEdit does it at once).
  void Settle();
  const std::vector<TQVCountedPtr<Key>>& Keys() const { return fKeys; }
  int32_t AfterEditCount() const { return fAfterEdits; }

 private:
  friend class Key;
  ~KeyTrack() override;
  // Puts the keys in time order, keeping the order they had among keys of equal time.
  void Sort();
  std::vector<TQVCountedPtr<Key>> fKeys;
  int32_t fAfterEdits = 0;
  bool fUnordered = false;
};

class AnimationNode;

class QVHOST_API AnimationChannel final : public HostObject<IHostAnimationChannel> {
 public:
  explicit AnimationChannel(std::string name) : fName(std::move(name)) {}
  bool GetEligibilityFlag1() override { return eligible[0]; }
  bool GetEligibilityFlag2() override { return eligible[1]; }
  bool IsSubNodeChannel() override { return static_cast<bool>(subNode); }
  IHostAnimationNode* GetSubNode() override;
  IHostKeyTrack* GetKeyTrack() override { return track.Get(); }

  const std::string& Name() const { return fName; }
  bool eligible[2] = {true, true};
  TQVCountedPtr<AnimationNode> subNode;  // a sub-node channel, or
  TQVCountedPtr<KeyTrack> track;         // a key-track channel

 private:
  std::string fName;
};

class QVHOST_API AnimationNode final : public HostObject<IHostAnimationNode> {
 public:
  AnimationNode(std::string owner, std::shared_ptr<Journal> journal);
  IHostKeyTrack* GetOwnKeyTrack() override { return fTrack.Get(); }
  int32_t GetChannelCount() override { return int32_t(fChannels.size()); }
  IHostAnimationChannel* GetChannel(int32_t index) override;
  bool GetSuspendableState() override { return suspended; }
  void SetSuspendableState(bool state) override { suspended = state; }
  void KeysChanged() override;
  void ChangedWithSource(IUnknown* source) override;
  QVResult AddAttributeGroup(IHostAnimated* group, const TQVString& name, uint32_t code) override;

  struct AttributeGroup {
    TQVCountedPtr<IHostAnimated> group;
    std::string name;
    uint32_t code;
  };
  const std::vector<AttributeGroup>& AttributeGroups() const { return fGroups; }

  const std::string& Owner() const { return fOwner; }
  KeyTrack& Track() { return *fTrack; }
  AnimationChannel& AddChannel(std::string name);
  // A copy of the node with its tracks, keys and channels.
  TQVCountedPtr<AnimationNode> Clone(std::string owner) const;
  const std::vector<TQVCountedPtr<AnimationChannel>>& Channels() const { return fChannels; }
  bool suspended = false;

 private:
  std::string fOwner;
  std::shared_ptr<Journal> fJournal;
  TQVCountedPtr<KeyTrack> fTrack;
  std::vector<TQVCountedPtr<AnimationChannel>> fChannels;
  std::vector<AttributeGroup> fGroups;
};

// IHostAnimated for host objects: the object's animation node, or none.
class QVHOST_API HostAnimated : public IHostAnimated {
 public:
  int32_t Query() override { return 0; }
  QVResult Activate(int32_t) override { return kQVOk; }
  IHostAnimationNode* GetAnimationNode() override;
  void Reserved6() override {}
  void Forward(int32_t) override {}
  void DeleteThis(uint32_t) override {}  // host objects go with their last Release
  QVResult DefineAttributes() override { return kQVOk; }
  void Reserved10() override {}

  AnimationNode* Node() const { return fNode.Get(); }
  void SetNode(AnimationNode* node) { fNode.Assign(node); }

 private:
  TQVCountedPtr<AnimationNode> fNode;
};

// An entry of the scene's first object list, or its extra object.
class QVHOST_API AnimatedObject final : public HostObject<HostAnimated> {
 public:
  explicit AnimatedObject(std::string name) : fName(std::move(name)) {}
  const std::string& Name() const { return fName; }

 private:
  std::string fName;
};

// An entry of the scene's second object list: owns an object, or nothing.
class QVHOST_API ObjectOwner final : public HostObject<IHostObjectOwner> {
 public:
  explicit ObjectOwner(std::string name) : fName(std::move(name)) {}
  IUnknown* GetOwnedObject() override { return owned ? static_cast<IHostAnimated*>(owned.Get()) : nullptr; }
  const std::string& Name() const { return fName; }
  TQVCountedPtr<AnimatedObject> owned;

 private:
  std::string fName;
};

}  // namespace qvhost
