// Parameter block fields as text.
#include "BlockField.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "QVString.h"

namespace qvhost {

namespace {

// The shortest text that reads back as `value`.
std::string FloatText(float value) {
  char text[32];
  for (int precision = 1; precision <= 9; ++precision) {
    std::snprintf(text, sizeof text, "%.*g", precision, double(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return text;
}

bool Integer(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || errno != 0 || number < low || number > high) return false;
  value = number;
  return true;
}

}  // namespace

std::string FieldText(const void* block, const DialogField& field) {
  const std::string& type = field.type;
  if (type == "bool") return GetField<uint8_t>(block, field) ? "true" : "false";
  if (type == "int8") return std::to_string(GetField<int8_t>(block, field));
  if (type == "uint8") return std::to_string(GetField<uint8_t>(block, field));
  if (type == "int16") return std::to_string(GetField<int16_t>(block, field));
  if (type == "int32") return std::to_string(GetField<int32_t>(block, field));
  if (type == "uint32") return std::to_string(GetField<uint32_t>(block, field));
  if (type == "float") return FloatText(GetField<float>(block, field));
  if (type == "fourcc") return FormatFourCC(GetField<uint32_t>(block, field));
  if (IsStringField(field))
    return reinterpret_cast<const TQVString*>(static_cast<const char*>(block) + field.offset)->CStr();
  return "";
}

bool PutFieldText(void* block, const DialogField& field, const std::string& text) {
  const std::string& type = field.type;
  int64_t number = 0;
  if (type == "bool") {
    if (text != "true" && text != "false" && text != "1" && text != "0") return false;
    PutField<uint8_t>(block, field, text == "true" || text == "1");
  } else if (type == "float") {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != 0 || !std::isfinite(value)) return false;
    PutField<float>(block, field, value);
  } else if (type == "fourcc") {
    uint32_t code = 0;
    if (!ParseFourCC(text, code)) return false;
    PutField<uint32_t>(block, field, code);
  } else if (IsStringField(field)) {
    // Through the shared string code, so the capacity cut and counts hold.
    reinterpret_cast<TQVString*>(static_cast<char*>(block) + field.offset)->SetFrom(text.c_str(), int32_t(text.size()));
  } else if (type == "int8" && Integer(text, INT8_MIN, INT8_MAX, number)) {
    PutField<int8_t>(block, field, int8_t(number));
  } else if (type == "uint8" && Integer(text, 0, UINT8_MAX, number)) {
    PutField<uint8_t>(block, field, uint8_t(number));
  } else if (type == "int16" && Integer(text, INT16_MIN, INT16_MAX, number)) {
    PutField<int16_t>(block, field, int16_t(number));
  } else if (type == "int32" && Integer(text, INT32_MIN, INT32_MAX, number)) {
    PutField<int32_t>(block, field, int32_t(number));
  } else if (type == "uint32" && Integer(text, 0, UINT32_MAX, number)) {
    PutField<uint32_t>(block, field, uint32_t(number));
  } else {
    return false;
  }
  return true;
}

std::string FieldExpectation(const DialogField& field) {
  const std::string& type = field.type;
  if (type == "bool") return "true or false";
  if (type == "float") return "a number";
  if (IsStringField(field)) return "a text";
  if (type == "fourcc") return "a four-character code";
  if (type == "int8") return "an integer from -128 to 127";
  if (type == "uint8") return "an integer from 0 to 255";
  if (type == "int16") return "an integer from -32768 to 32767";
  if (type == "int32") return "an integer from -2147483648 to 2147483647";
  if (type == "uint32") return "an integer from 0 to 4294967295";
  return "a value of type " + type;
}

}  // namespace qvhost
