// The comment value: text copies, the data stream and new values for the host's keys.
#include "CommentValue.h"

#include "IHostTokenStream.h"

namespace {

// Puts `made` (a new value or null) into `out`, then releases what `out` held: a value
// asked to replace itself is still alive while it is copied.
void StoreNew(IHostKeyframeItem** out, IHostKeyframeItem* made) {
  IHostKeyframeItem* previous = *out;
  *out = made;
  if (previous) previous->Release();
}

}  // namespace

QVResult TCommentValue::QueryInterface(const QVGUID& id, void** out) {
  return QueryInterfaces<IHostKeyframeItem>(this, id, out);
}

QVResult TCommentValue::GetValue(TQVString& target, uint32_t, bool* changed) {
  const bool differs = !target.Equals(fText);
  if (differs) target.Assign(fText);
  if (changed) *changed = differs;
  return kQVOk;
}

QVResult TCommentValue::SetValue(const TQVString& source, uint32_t) {
  fText.Assign(source);
  return kQVOk;
}

void TCommentValue::Clone(IHostKeyframeItem** out) {
  TQVCountedPtr<IHostKeyframeItem> made;
  made.AttachNew(QVNewObject<TCommentValue>(fText));
  StoreNew(out, made.Detach());
}

void TCommentValue::NewEmpty(IHostKeyframeItem** out) { StoreNew(out, QVNewObject<TCommentValue>()); }

// A stream failure is handed on, so a key value that was not saved or loaded is not
// reported as done.
QVResult TCommentValue::Write(IHostDataStream* stream) {
  if (!stream) return kQVErrNotSupported;
  return stream->WriteString(fText);
}

QVResult TCommentValue::Read(IHostDataStream* stream) {
  if (!stream) return kQVErrNotSupported;
  return stream->ReadString(fText);
}

// Any 'AStr' value gives its text through GetValue; values of other types are refused.
QVResult TCommentValue::CopyFrom(IHostKeyframeItem* other) {
  if (!other || other->GetValueType() != kCommentValueType) return kQVErrNotSupported;
  if (other == this) return kQVOk;
  bool changed = false;
  return other->GetValue(fText, kCommentValueType, &changed);
}

void TCommentValue::Reserved14() { QVThrow(kQVErrNotSupported, nullptr, 0); }
