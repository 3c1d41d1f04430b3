// The text attribute and its host attribute holder.
#include "NoteSheetText.h"

#include "QVServiceTable.h"

namespace {

constexpr uint32_t kTextTrackType = QVFourCC("ASTR");
constexpr uint32_t kTextValueType = QVFourCC("AStr");

}  // namespace

QVResult TNoteSheetText::QueryInterface(const QVGUID& id, void** out) {
  return QueryInterfaces<IHostAnimated>(this, id, out);
}

// A refused holder leaves fHolder null; every use of the holder is then skipped.
void TNoteSheetText::CreateHolder() {
  if (fHolder) return;
  if (HostComponentServices* components = QVGetService<HostComponentServices>())
    components->CreateComponent(kQVAttributeHolderClass, Identity(), 1, IHostAttributeHolder::kID,
                                fHolder.PutVoid());
}

QVResult TNoteSheetText::Activate(int32_t flag) {
  if (flag && !fHolder) {
    CreateHolder();
    if (fHolder) fHolder->SetOwner(Identity());
  }
  if (fHolder) fHolder->Activate(flag != 0);
  if (flag && !fDefined) DefineAttributes();
  return kQVOk;
}

// Without a holder nothing is defined and the attribute stays undefined, so a holder made
// by a later Activate still receives it.
QVResult TNoteSheetText::DefineAttributes() {
  CreateHolder();
  if (!fHolder) return kQVOk;
  fDefined = true;
  Activate(1);
  const TQVFixedString<31> name("Text Entry");
  fHolder->DefineAttribute(fEntry, name, kTextTrackType, kTextValueType, -1);
  return kQVOk;
}

void TNoteSheetText::CloneInto(TNoteSheetText& copy) {
  copy.fEntry.Assign(fEntry);
  copy.Activate(Query());
  if (!fHolder) return;
  if (!copy.fHolder) {
    copy.CreateHolder();
    if (copy.fHolder) copy.fHolder->SetOwner(copy.Identity());
  }
  // The copy's Activate may have defined the attribute already; a second definition would
  // bind the storage to two attributes.
  if (!copy.fDefined) copy.DefineAttributes();
  if (copy.fHolder) fHolder->CopyAnimationTo(copy.fHolder.Get());
}
