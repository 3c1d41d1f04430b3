// The host's attribute holder: animates the attributes a module binds to its own storage.
// Each attribute has a key track; a key's value is made from the value type's registered
// prototype. The value at a time is the last key's at or before it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Animation.h"
#include "HostObject.h"
#include "HostShell.h"
#include "IHostAttributes.h"

namespace qvhost {

class Document;
class TokenStream;

class QVHOST_API AttributeHolder final : public HostObject<IHostAttributeHolder> {
 public:
  AttributeHolder(std::shared_ptr<ShellSettings> settings, std::shared_ptr<Journal> journal);

  // IHostAnimationNode: one channel per attribute.
  IHostKeyTrack* GetOwnKeyTrack() override { return fOwnTrack.Get(); }
  int32_t GetChannelCount() override { return int32_t(fAttributes.size()); }
  IHostAnimationChannel* GetChannel(int32_t index) override;
  bool GetSuspendableState() override { return fSuspended; }
  void SetSuspendableState(bool state) override { fSuspended = state; }
  void KeysChanged() override {}
  void ChangedWithSource(IUnknown*) override {}
  QVResult AddAttributeGroup(IHostAnimated*, const TQVString&, uint32_t) override { return kQVErrNotSupported; }

  // IHostAttributeHolder
  void SetOwner(IUnknown* owner) override { fOwner = owner; }
  void Activate(bool active) override { fActive = active; }
  QVResult DefineAttribute(TQVString& storage, const TQVString& name, uint32_t trackType, uint32_t valueType,
                           int32_t index) override;
  void ValueChanged(int32_t reserved) override;
  QVResult CopyAnimationTo(IHostAttributeHolder* copy) override;
  QVResult GetAnimatedAttribute(uint32_t trackType, IHostAnimatedAttribute** attribute) override;
  int32_t Query() override { return fActive ? 1 : 0; }
  void Forward(int32_t) override {}

  struct Attribute {
    TQVString* storage;  // the module's, bound while the module's object lives
    std::string name;
    uint32_t trackType, valueType;
    TQVCountedPtr<AnimationChannel> channel;
  };
  const std::vector<Attribute>& Attributes() const { return fAttributes; }
  // Writes each attribute's value at `ticks` into its storage.
  void Evaluate(int32_t ticks);
  IUnknown* Owner() const { return fOwner; }
  bool Active() const { return fActive; }

  // The attribute group on a token stream: Attr "<name>" { Key <ticks> <value> … } per
  // attribute. Reading fills the attributes of the same name; unknown ones are skipped.
  void WriteGroup(TokenStream& stream, uint32_t code);
  QVResult ReadGroup(TokenStream& stream);

  // The holder behind a module's animation node, or null.
  static AttributeHolder* From(IUnknown* node);

 private:
  void* FindExtra(const QVGUID& id) override;
  int32_t CurrentTime() const;
  QVResult ReadAttributes(TokenStream& stream);
  TQVCountedPtr<IHostKeyframeItem> NewValue(uint32_t valueType) const;

  std::shared_ptr<ShellSettings> fSettings;
  std::shared_ptr<Journal> fJournal;
  IUnknown* fOwner = nullptr;  // not counted: the owner holds the holder
  bool fActive = false;
  bool fSuspended = false;
  TQVCountedPtr<KeyTrack> fOwnTrack;
  std::vector<Attribute> fAttributes;
};

// Every attribute holder of the document's attached components writes its value at the
// scene's current time.
QVHOST_API void EvaluateAttributes(Document& document);
// The holders of an element's attached components, through their attribute groups.
QVHOST_API std::vector<AttributeHolder*> HoldersOf(class SceneElement& element);

}  // namespace qvhost
