// The host's dialog without a window: writes NAME=VALUE into a parameter block through
// the field offsets of the module's resource file, and makes the controls it reports.
#pragma once

#include <string>

#include "HostObject.h"
#include "IHostDialogs.h"
#include "ResourceFile.h"

namespace qvhost {

class QVHOST_API DialogControl final : public HostObject<IHostDialogControl> {
 public:
  explicit DialogControl(uint32_t identifier) : fIdentifier(identifier) {}
  uint32_t GetIdentifier() override { return fIdentifier; }

 private:
  uint32_t fIdentifier;
};

// The field `name` of `dialog`, or HostError listing the dialog's fields.
QVHOST_API const DialogField& FindField(const DialogResource& dialog, const std::string& name);
// Writes `value` (text) into the field of the block; HostError when it does not parse as
// the field's type.
QVHOST_API void WriteField(void* block, const DialogField& field, const std::string& value);
// The field's value as text.
QVHOST_API std::string ReadField(const void* block, const DialogField& field);

}  // namespace qvhost
