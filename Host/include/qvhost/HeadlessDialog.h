// The host's dialog without a window: the dialog object handed over with the
// dialog-ready message (a container of its parts), NAME=VALUE written into the parameter
// block through the field offsets of the module's resource file, and the controls that
// report events.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostObject.h"
#include "IHostDialogs.h"
#include "Journal.h"
#include "ResourceFile.h"

namespace qvhost {

// A control, reporting its identifier.
class QVHOST_API DialogControl : public HostObject<IHostDialogControl> {
 public:
  explicit DialogControl(uint32_t identifier) : fIdentifier(identifier) {}
  uint32_t GetIdentifier() override { return fIdentifier; }

 private:
  uint32_t fIdentifier;
};

class DialogWindow;

class QVHOST_API HeadlessDialog {
 public:
  // `dialog` may be null (a dialog the resource file does not describe).
  HeadlessDialog(const DialogResource* dialog, int32_t id, std::shared_ptr<Journal> journal);
  ~HeadlessDialog();
  HeadlessDialog(const HeadlessDialog&) = delete;
  HeadlessDialog& operator=(const HeadlessDialog&) = delete;

  // The dialog object that goes with the dialog-ready message.
  IUnknown* Window() const;
  // A control of the dialog (its part when the dialog has one of that identifier).
  TQVCountedPtr<IUnknown> Control(uint32_t identifier) const;
  // Writes `value` into the field `name`; HostError for an unknown field or a value that
  // does not parse as the field's type.
  void Set(void* block, const std::string& name, const std::string& value);
  // NAME=VALUE for every field.
  std::vector<std::string> Values(const void* block) const;

 private:
  const DialogField& Field(const std::string& name) const;
  std::string Read(const void* block, const DialogField& field) const;

  const DialogResource* fDialog;
  int32_t fId;
  TQVCountedPtr<DialogWindow> fWindow;
  std::vector<TQVCountedPtr<IUnknown>> fMade;  // objects the dialog put into the block
};

}  // namespace qvhost
