// The headless dialog: its parts, and writing and reading parameter block fields by type.
#include "qvhost/HeadlessDialog.h"

#include "BlockField.h"
#include "QVString.h"
#include "qvhost/Animation.h"
#include "qvhost/CodePageText.h"
#include "qvhost/HostError.h"

namespace qvhost {

namespace {

// The interpolator chooser: records how the command configures and links it.
class ChooserPart final : public HostObject<IHostDialogControl, IHostInterpolatorChooser, IHostPreviewLink> {
 public:
  explicit ChooserPart(std::shared_ptr<Journal> journal) : fJournal(std::move(journal)) {}
  uint32_t GetIdentifier() override { return QVFourCC("TWNR"); }
  QVResult Configure(uint32_t family, int32_t a, int32_t b, int32_t c) override {
    fJournal->Record("dialog", "TWNR configure " + FormatFourCC(family) + " " + std::to_string(a) + " " +
                                   std::to_string(b) + " " + std::to_string(c));
    return kQVOk;
  }
  QVResult LinkToPreview(IUnknown* preview) override;

 private:
  std::shared_ptr<Journal> fJournal;
};

class PreviewPart final : public HostObject<IHostDialogControl, IHostInterpolatorPreview> {
 public:
  uint32_t GetIdentifier() override { return QVFourCC("tprv"); }
};

QVResult ChooserPart::LinkToPreview(IUnknown* preview) {
  TQVCountedPtr<IHostInterpolatorPreview> part;
  const bool ours = QVQuery(preview, part) == kQVOk;
  fJournal->Record("dialog", std::string("TWNR link ") + (ours ? "tprv" : "(no preview)"));
  return ours ? kQVOk : kQVErrNoInterface;
}

[[noreturn]] void Refuse(const DialogField& field, const std::string& value, const std::string& expected) {
  throw HostError("--set " + field.name + "=" + value + ": expected " + expected);
}

}  // namespace

// The dialog itself: a control ('Dlog') and the container of its parts.
class DialogWindow final : public HostObject<IHostDialogControl, IHostDialogPartContainer> {
 public:
  DialogWindow(const DialogResource* dialog, std::shared_ptr<Journal> journal) {
    if (!dialog) return;
    for (uint32_t identifier : dialog->controls) {
      if (identifier == QVFourCC("TWNR"))
        fParts.push_back(Adopt<IUnknown>(static_cast<IHostDialogControl*>(new ChooserPart(journal))));
      else if (identifier == QVFourCC("tprv"))
        fParts.push_back(Adopt<IUnknown>(static_cast<IHostDialogControl*>(new PreviewPart())));
      else
        fParts.push_back(Adopt<IUnknown>(static_cast<IHostDialogControl*>(new DialogControl(identifier))));
    }
  }
  uint32_t GetIdentifier() override { return QVFourCC("Dlog"); }
  QVResult FindPart(uint32_t identifier, IUnknown** part) override {
    QVClearOut(reinterpret_cast<void**>(part));
    for (const auto& candidate : fParts) {
      TQVCountedPtr<IHostDialogControl> control;
      if (QVQuery(candidate.Get(), control) == kQVOk && control->GetIdentifier() == identifier) {
        QVStoreOut(reinterpret_cast<void**>(part), candidate.Get());
        return kQVOk;
      }
    }
    return kQVOk;
  }

 private:
  std::vector<TQVCountedPtr<IUnknown>> fParts;
};

HeadlessDialog::HeadlessDialog(const DialogResource* dialog, int32_t id, std::shared_ptr<Journal> journal)
    : fDialog(dialog), fId(id), fWindow(Adopt<DialogWindow>(new DialogWindow(dialog, std::move(journal)))) {}

HeadlessDialog::~HeadlessDialog() = default;

IUnknown* HeadlessDialog::Window() const { return static_cast<IHostDialogControl*>(fWindow.Get()); }

TQVCountedPtr<IUnknown> HeadlessDialog::Control(uint32_t identifier) const {
  TQVCountedPtr<IUnknown> part;
  fWindow->FindPart(identifier, part.Put());
  if (!part) part = Adopt<IUnknown>(static_cast<IHostDialogControl*>(new DialogControl(identifier)));
  return part;
}

const DialogField& HeadlessDialog::Field(const std::string& name) const {
  std::string names;
  if (fDialog) {
    for (const DialogField& field : fDialog->fields) {
      if (field.name == name) return field;
      names += (names.empty() ? "" : ", ") + field.name;
    }
  }
  throw HostError("--set " + name + ": dialog " + std::to_string(fId) + " has no such field (fields: " +
                  (names.empty() ? "none" : names) + ")");
}

void HeadlessDialog::Set(void* block, const std::string& name, const std::string& value) {
  const DialogField& field = Field(name);
  if (field.type == "interpolator") {
    // The dialog's chooser puts an interpolator of the chosen type into the block (a
    // plain pointer); the dialog keeps it alive.
    if (value != "none" && !IsInterpolatorType(value))
      Refuse(field, value, std::string("an interpolator type (") + InterpolatorTypes() + ") or none");
    IHostInterpolator* chosen = nullptr;
    if (value != "none") {
      fMade.push_back(Adopt<IUnknown>(static_cast<IHostInterpolator*>(new Interpolator(value))));
      chosen = static_cast<IHostInterpolator*>(fMade.back().Get());
    }
    PutField<IHostInterpolator*>(block, field, chosen);
  } else if (IsStringField(field)) {
    // Typed in UTF-8; the module reads its own code page.
    PutFieldText(block, field, ToHostText(value, "--set " + field.name + "=" + value));
  } else if (!PutFieldText(block, field, value)) {
    Refuse(field, value, FieldExpectation(field));
  }
}

std::string HeadlessDialog::Read(const void* block, const DialogField& field) const {
  if (IsStringField(field)) return ShownText(FieldText(block, field));
  if (field.type != "interpolator") return FieldText(block, field);
  auto* chosen = GetField<IHostInterpolator*>(block, field);
  if (!chosen) return "none";
  for (const auto& made : fMade)
    if (made.Get() == static_cast<IUnknown*>(chosen)) return static_cast<Interpolator*>(chosen)->Type();
  return "(not the dialog's)";
}

std::vector<std::string> HeadlessDialog::Values(const void* block) const {
  std::vector<std::string> values;
  if (fDialog && block)
    for (const DialogField& field : fDialog->fields) values.push_back(field.name + "=" + Read(block, field));
  return values;
}

}  // namespace qvhost
