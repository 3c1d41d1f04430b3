// The file type record the module hands to the file dialogs: its extensions are dynamic
// strings kept in place in the record's array.
#include <new>

#include "IHostFiles.h"
#include "qvplatform/Platform.h"

TFileTypeRecord::TFileTypeRecord() = default;

TFileTypeRecord::~TFileTypeRecord() {
  for (QVExtensionSlot& slot : extensions) slot.Text().~TQVDynamicString();
}

// Answers false only when memory was refused; the record is then unchanged.
bool TFileTypeRecord::AddExtension(const char* extension) {
  if (!extension) return false;
  for (const QVExtensionSlot& slot : extensions)
    if (QVPlatform_CompareTextNoCase(slot.Text().CStr(), extension) == 0) return true;
  const int32_t index = extensions.Length();
  if (!extensions.Append(QVExtensionSlot{})) return false;
  TQVDynamicString* text = new (extensions[index].bytes) TQVDynamicString(extension);
  if (!text->Characters()) {  // the string's block was refused
    text->~TQVDynamicString();
    extensions.SetLength(index);
    return false;
  }
  return true;
}

bool TFileTypeRecord::AddTypeCode(uint32_t code) {
  for (uint32_t present : typeCodes)
    if (present == code) return true;
  return typeCodes.Append(code);
}
