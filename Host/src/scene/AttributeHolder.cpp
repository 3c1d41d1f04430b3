// The attribute holder and the attribute groups of attached components.
#include "qvhost/AttributeHolder.h"
#include "qvhost/CodePageText.h"

#include <string>

#include "qvhost/AttachedComponent.h"
#include "qvhost/Document.h"
#include "qvhost/TokenStream.h"

namespace qvhost {

namespace {

constexpr QVGUID kAttributeHolderSelf = QV_HOST_ID(0x8011);

class AnimatedAttribute final : public HostObject<IHostAnimatedAttribute> {
 public:
  explicit AnimatedAttribute(KeyTrack* track) { fTrack.Assign(track); }
  IHostKeyTrack* GetKeyTrack() override { return fTrack.Get(); }

 private:
  TQVCountedPtr<KeyTrack> fTrack;
};

// Key values on the token stream: each string is one quoted token.
class TokenDataStream final : public HostObject<IHostDataStream> {
 public:
  explicit TokenDataStream(TokenStream& stream) : fStream(stream) {}
  QVResult WriteString(const TQVString& text) override {
    fStream.WriteQuoted(std::string(text.CStr(), size_t(text.ByteLength())));
    return kQVOk;
  }
  QVResult ReadString(TQVString& text) override {
    if (!fStream.Next() || !fStream.CurrentIsQuoted()) return kQVErrMalformedData;
    text.SetFrom(fStream.Current().c_str(), int32_t(fStream.Current().size()));
    return kQVOk;
  }

 private:
  TokenStream& fStream;
};

bool ParseTicks(const std::string& text, int32_t& ticks) {
  if (text.empty() || text.size() > 11) return false;
  size_t used = 0;
  long long value = 0;
  try {
    value = std::stoll(text, &used);
  } catch (const std::exception&) {
    return false;
  }
  if (used != text.size() || value < INT32_MIN || value > INT32_MAX) return false;
  ticks = int32_t(value);
  return true;
}

}  // namespace

AttributeHolder::AttributeHolder(std::shared_ptr<ShellSettings> settings, std::shared_ptr<Journal> journal)
    : fSettings(std::move(settings)), fJournal(std::move(journal)), fOwnTrack(Adopt<KeyTrack>(new KeyTrack())) {}

void* AttributeHolder::FindExtra(const QVGUID& id) {
  if (id == kAttributeHolderSelf || id == IHostAnimationNode::kID) return static_cast<IHostAttributeHolder*>(this);
  return nullptr;
}

AttributeHolder* AttributeHolder::From(IUnknown* node) {
  return HostObjectBehind<AttributeHolder, IHostAttributeHolder>(node, kAttributeHolderSelf);
}

IHostAnimationChannel* AttributeHolder::GetChannel(int32_t index) {
  if (index < 0 || index >= int32_t(fAttributes.size())) return nullptr;
  return fAttributes[size_t(index)].channel.Get();
}

int32_t AttributeHolder::CurrentTime() const {
  auto* document = dynamic_cast<Document*>(fSettings->currentDocument.Get());
  return document ? document->GetScene().time : 0;
}

TQVCountedPtr<IHostKeyframeItem> AttributeHolder::NewValue(uint32_t valueType) const {
  TQVCountedPtr<IHostKeyframeItem> value;
  auto prototype = fSettings->valuePrototypes.find(valueType);
  if (prototype != fSettings->valuePrototypes.end()) prototype->second->NewEmpty(value.AddressOf());
  return value;
}

QVResult AttributeHolder::DefineAttribute(TQVString& storage, const TQVString& name, uint32_t trackType,
                                          uint32_t valueType, int32_t) {
  for (Attribute& defined : fAttributes) {
    if (defined.name != name.CStr() || defined.trackType != trackType) continue;
    defined.storage = &storage;  // defined again: the same attribute, bound anew
    Evaluate(CurrentTime());
    return kQVOk;
  }
  Attribute attribute{&storage, name.CStr(), trackType, valueType,
                      Adopt<AnimationChannel>(new AnimationChannel(name.CStr()))};
  attribute.channel->track = Adopt<KeyTrack>(new KeyTrack());
  fAttributes.push_back(std::move(attribute));
  fJournal->Record("animation", "attribute \"" + ShownText(fAttributes.back().name) + "\" " + FormatFourCC(trackType));
  Evaluate(CurrentTime());
  return kQVOk;
}

void AttributeHolder::ValueChanged(int32_t) {
  const int32_t now = CurrentTime();
  for (Attribute& attribute : fAttributes) {
    KeyTrack& track = *attribute.channel->track;
    Key* key = track.Find(now);
    if (!key) {
      TQVCountedPtr<IHostKeyframeItem> value = NewValue(attribute.valueType);
      if (!value) continue;  // no prototype of that value type: nothing to record
      key = &track.Add(now, false);
      key->value = std::move(value);
      track.AfterEdit();
    }
    if (key->value) key->value->SetValue(*attribute.storage, attribute.valueType);
    fJournal->Record("animation", "\"" + ShownText(attribute.name) + "\" at " + std::to_string(now) + ": \"" +
                                      ShownText(attribute.storage->CStr()) + "\"");
  }
}

void AttributeHolder::Evaluate(int32_t ticks) {
  for (Attribute& attribute : fAttributes) {
    Key* key = attribute.channel->track->Latest(ticks);
    bool changed = false;
    if (key && key->value)
      key->value->GetValue(*attribute.storage, attribute.valueType, &changed);
    else
      attribute.storage->SetFrom("");
  }
}

QVResult AttributeHolder::CopyAnimationTo(IHostAttributeHolder* copy) {
  AttributeHolder* target = From(copy);
  if (!target) return kQVErrNotSupported;
  for (const Attribute& from : fAttributes) {
    for (Attribute& to : target->fAttributes) {
      if (to.name != from.name || to.trackType != from.trackType) continue;
      for (const auto& key : from.channel->track->Keys()) {
        TQVCountedPtr<IHostKeyframeItem> value;
        if (key->value) key->value->Clone(value.AddressOf());
        to.channel->track->Add(key->Ticks(), false).value = std::move(value);
      }
      to.channel->track->AfterEdit();
    }
  }
  target->Evaluate(CurrentTime());
  return kQVOk;
}

QVResult AttributeHolder::GetAnimatedAttribute(uint32_t trackType, IHostAnimatedAttribute** attribute) {
  QVClearOut(reinterpret_cast<void**>(attribute));
  for (const Attribute& entry : fAttributes) {
    if (entry.trackType != trackType) continue;
    *attribute = new AnimatedAttribute(entry.channel->track.Get());
    return kQVOk;
  }
  return kQVErrNotSupported;
}

void AttributeHolder::WriteGroup(TokenStream& stream, uint32_t code) {
  auto data = Adopt<IHostDataStream>(new TokenDataStream(stream));
  stream.OpenBlock(KeywordText(code));
  for (const Attribute& attribute : fAttributes) {
    stream.WriteWord("Attr");
    stream.WriteWord(TokenStream::Quote(attribute.name));
    stream.OpenBlock("");
    for (const auto& key : attribute.channel->track->Keys()) {
      stream.WriteWord("Key");
      stream.WriteWord(std::to_string(key->Ticks()));
      if (key->value) key->value->Write(data.Get());
      stream.FinishLine();
    }
    stream.CloseBlock();
  }
  stream.CloseBlock();
}

QVResult AttributeHolder::ReadGroup(TokenStream& stream) {
  const QVResult result = ReadAttributes(stream);
  // What was read stays, also when the group breaks off: in time order, and shown.
  for (Attribute& attribute : fAttributes) attribute.channel->track->AfterEdit();
  Evaluate(CurrentTime());
  return result;
}

QVResult AttributeHolder::ReadAttributes(TokenStream& stream) {
  auto data = Adopt<IHostDataStream>(new TokenDataStream(stream));
  // The current token is the group's keyword.
  if (!stream.Next() || stream.Current() != "{") return kQVErrMalformedData;
  while (stream.Next() && !stream.IsEndOfBlock()) {
    if (stream.Current() != "Attr" || !stream.Next()) return kQVErrMalformedData;
    Attribute* attribute = nullptr;
    for (Attribute& entry : fAttributes)
      if (entry.name == stream.Current()) attribute = &entry;
    if (!stream.Next() || stream.Current() != "{") return kQVErrMalformedData;
    // The group restores the attribute's animation as it was saved: keys recorded
    // before it was read (such as the one a component's own text makes) go.
    if (attribute) attribute->channel->track->Clear();
    while (stream.Next() && !stream.IsEndOfBlock()) {
      int32_t ticks = 0;
      if (stream.Current() != "Key" || !stream.Next() || !ParseTicks(stream.Current(), ticks))
        return kQVErrMalformedData;
      TQVCountedPtr<IHostKeyframeItem> value;
      if (attribute) value = NewValue(attribute->valueType);
      if (!value) {  // an attribute this holder does not have: the value is skipped
        stream.Next();
        continue;
      }
      if (value->Read(data.Get()) != kQVOk) return kQVErrMalformedData;
      KeyTrack& track = *attribute->channel->track;
      if (Key* existing = track.Find(ticks))
        existing->value = std::move(value);
      else
        track.Add(ticks, false).value = std::move(value);
    }
    if (stream.Ended()) return kQVErrMalformedData;
  }
  return stream.Ended() ? kQVErrMalformedData : kQVOk;
}

std::vector<AttributeHolder*> HoldersOf(SceneElement& element) {
  std::vector<AttributeHolder*> holders;
  for (const auto& carrier : element.Components()) {
    AnimationNode* node = carrier->Node();
    if (!node) continue;
    for (const auto& group : node->AttributeGroups())
      if (AttributeHolder* holder = AttributeHolder::From(group.group ? group.group->GetAnimationNode() : nullptr))
        holders.push_back(holder);
  }
  return holders;
}

void EvaluateAttributes(Document& document) {
  const int32_t now = document.GetScene().time;
  for (SceneElement* element : document.GetScene().Root().Descendants())
    for (AttributeHolder* holder : HoldersOf(*element)) holder->Evaluate(now);
}

}  // namespace qvhost
