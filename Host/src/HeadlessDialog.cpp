// Writing and reading parameter block fields by type.
#include "qvhost/HeadlessDialog.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "QVString.h"
#include "qvhost/HostError.h"

namespace qvhost {

namespace {

[[noreturn]] void Refuse(const DialogField& field, const std::string& value, const std::string& expected) {
  throw HostError("--set " + field.name + "=" + value + ": expected " + expected);
}

int64_t Integer(const DialogField& field, const std::string& value, int64_t low, int64_t high) {
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(value.c_str(), &end, 0);
  if (value.empty() || *end != 0 || errno != 0 || number < low || number > high)
    Refuse(field, value, "an integer from " + std::to_string(low) + " to " + std::to_string(high));
  return number;
}

template <class T>
void Put(void* block, const DialogField& field, T value) {
  std::memcpy(static_cast<char*>(block) + field.offset, &value, sizeof value);
}

template <class T>
T Get(const void* block, const DialogField& field) {
  T value;
  std::memcpy(&value, static_cast<const char*>(block) + field.offset, sizeof value);
  return value;
}

}  // namespace

const DialogField& FindField(const DialogResource& dialog, const std::string& name) {
  std::string names;
  for (const DialogField& field : dialog.fields) {
    if (field.name == name) return field;
    names += (names.empty() ? "" : ", ") + field.name;
  }
  throw HostError("--set " + name + ": dialog " + std::to_string(dialog.id) + " has no such field (fields: " +
                  (names.empty() ? "none" : names) + ")");
}

void WriteField(void* block, const DialogField& field, const std::string& value) {
  const std::string& type = field.type;
  if (type == "bool") {
    if (value != "true" && value != "false" && value != "1" && value != "0") Refuse(field, value, "true or false");
    Put<uint8_t>(block, field, value == "true" || value == "1");
  } else if (type == "int8") {
    Put<int8_t>(block, field, int8_t(Integer(field, value, INT8_MIN, INT8_MAX)));
  } else if (type == "uint8") {
    Put<uint8_t>(block, field, uint8_t(Integer(field, value, 0, UINT8_MAX)));
  } else if (type == "int16") {
    Put<int16_t>(block, field, int16_t(Integer(field, value, INT16_MIN, INT16_MAX)));
  } else if (type == "int32") {
    Put<int32_t>(block, field, int32_t(Integer(field, value, INT32_MIN, INT32_MAX)));
  } else if (type == "uint32") {
    Put<uint32_t>(block, field, uint32_t(Integer(field, value, 0, UINT32_MAX)));
  } else if (type == "float") {
    char* end = nullptr;
    const float number = std::strtof(value.c_str(), &end);
    if (value.empty() || *end != 0 || !std::isfinite(number)) Refuse(field, value, "a number");
    Put<float>(block, field, number);
  } else if (type == "fourcc") {
    uint32_t code = 0;
    if (!ParseFourCC(value, code)) Refuse(field, value, "a four-character code");
    Put<uint32_t>(block, field, code);
  } else {
    // A fixed string embedded in the block, written through the shared string code so
    // its capacity cut and counts hold.
    auto* text = reinterpret_cast<TQVString*>(static_cast<char*>(block) + field.offset);
    text->SetFrom(value.c_str(), int32_t(value.size()));
  }
}

std::string ReadField(const void* block, const DialogField& field) {
  const std::string& type = field.type;
  if (type == "bool") return Get<uint8_t>(block, field) ? "true" : "false";
  if (type == "int8") return std::to_string(Get<int8_t>(block, field));
  if (type == "uint8") return std::to_string(Get<uint8_t>(block, field));
  if (type == "int16") return std::to_string(Get<int16_t>(block, field));
  if (type == "int32") return std::to_string(Get<int32_t>(block, field));
  if (type == "uint32") return std::to_string(Get<uint32_t>(block, field));
  if (type == "float") {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(Get<float>(block, field)));
    return text;
  }
  if (type == "fourcc") return FormatFourCC(Get<uint32_t>(block, field));
  return reinterpret_cast<const TQVString*>(static_cast<const char*>(block) + field.offset)->CStr();
}

}  // namespace qvhost
