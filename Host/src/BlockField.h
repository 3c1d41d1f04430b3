// One field of a parameter block, as a module's resource file describes it: its value as
// text and back. The dialog, the scene files and the parameter lists share it.
#pragma once

#include <cstring>
#include <string>

#include "qvhost/ResourceFile.h"

namespace qvhost {

template <class T>
T GetField(const void* block, const DialogField& field) {
  T value;
  std::memcpy(&value, static_cast<const char*>(block) + field.offset, sizeof value);
  return value;
}

template <class T>
void PutField(void* block, const DialogField& field, T value) {
  std::memcpy(static_cast<char*>(block) + field.offset, &value, sizeof value);
}

inline bool IsStringField(const DialogField& field) { return field.type.rfind("string", 0) == 0; }

// The value of a number, bool, four-character code or string field (numbers in the
// shortest form that reads back the same); empty for an interpolator field.
std::string FieldText(const void* block, const DialogField& field);
// Writes `text` into such a field; false when it is no value of the field's type (then
// nothing is written). Bools are true, false, 1 or 0.
bool PutFieldText(void* block, const DialogField& field, const std::string& text);
// What a value of the field's type looks like, for messages.
std::string FieldExpectation(const DialogField& field);

}  // namespace qvhost
