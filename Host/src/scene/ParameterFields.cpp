// Parameter block fields saved as items of a component's data.
#include "ParameterFields.h"

#include <cerrno>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "QVString.h"

namespace qvhost {

namespace {

template <class T>
T Get(const void* block, const DialogField& field) {
  T value;
  std::memcpy(&value, static_cast<const char*>(block) + field.offset, sizeof value);
  return value;
}

template <class T>
void Put(void* block, const DialogField& field, T value) {
  std::memcpy(static_cast<char*>(block) + field.offset, &value, sizeof value);
}

bool IsString(const std::string& type) { return type.rfind("string", 0) == 0; }

// The shortest text that reads back as `value`.
std::string FloatText(float value) {
  char text[32];
  for (int precision = 1; precision <= 9; ++precision) {
    std::snprintf(text, sizeof text, "%.*g", precision, double(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return text;
}

// The word for a numeric field; empty for the types written as strings or not at all.
std::string Word(const void* block, const DialogField& field) {
  const std::string& type = field.type;
  if (type == "bool") return Get<uint8_t>(block, field) ? "true" : "false";
  if (type == "int8") return std::to_string(Get<int8_t>(block, field));
  if (type == "uint8") return std::to_string(Get<uint8_t>(block, field));
  if (type == "int16") return std::to_string(Get<int16_t>(block, field));
  if (type == "int32") return std::to_string(Get<int32_t>(block, field));
  if (type == "uint32") return std::to_string(Get<uint32_t>(block, field));
  if (type == "float") return FloatText(Get<float>(block, field));
  return "";
}

bool Integer(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || errno != 0 || number < low || number > high) return false;
  value = number;
  return true;
}

// Writes `text` into the field; false when it is not a value of the field's type.
bool PutValue(void* block, const DialogField& field, const std::string& text, bool quoted) {
  const std::string& type = field.type;
  if (IsString(type) || type == "fourcc") {
    if (!quoted) return false;
    if (type == "fourcc") {
      uint32_t code = 0;
      if (!ParseFourCC(text, code)) return false;
      Put<uint32_t>(block, field, code);
      return true;
    }
    // Written through the shared string code, so the capacity cut and counts hold.
    reinterpret_cast<TQVString*>(static_cast<char*>(block) + field.offset)->SetFrom(text.c_str(), int32_t(text.size()));
    return true;
  }
  if (quoted) return false;
  int64_t number = 0;
  if (type == "bool") {
    if (text != "true" && text != "false") return false;
    Put<uint8_t>(block, field, text == "true");
  } else if (type == "float") {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != 0 || !std::isfinite(value)) return false;
    Put<float>(block, field, value);
  } else if (type == "int8" && Integer(text, INT8_MIN, INT8_MAX, number)) {
    Put<int8_t>(block, field, int8_t(number));
  } else if (type == "uint8" && Integer(text, 0, UINT8_MAX, number)) {
    Put<uint8_t>(block, field, uint8_t(number));
  } else if (type == "int16" && Integer(text, INT16_MIN, INT16_MAX, number)) {
    Put<int16_t>(block, field, int16_t(number));
  } else if (type == "int32" && Integer(text, INT32_MIN, INT32_MAX, number)) {
    Put<int32_t>(block, field, int32_t(number));
  } else if (type == "uint32" && Integer(text, 0, UINT32_MAX, number)) {
    Put<uint32_t>(block, field, uint32_t(number));
  } else {
    return false;
  }
  return true;
}

std::string Expected(const DialogField& field) {
  const std::string& type = field.type;
  if (type == "bool") return "true or false";
  if (type == "float") return "a number";
  if (IsString(type)) return "a quoted text";
  if (type == "fourcc") return "a quoted four-character code";
  return "an integer (" + type + ")";
}

}  // namespace

void WriteParameterFields(TokenStream& stream, const DialogResource& dialog, const void* block) {
  if (!block) return;
  for (const DialogField& field : dialog.fields) {
    if (field.type == "interpolator") continue;  // a pointer the dialog made: nothing to keep
    stream.WriteWord(field.name);
    if (IsString(field.type)) {
      stream.WriteQuoted(reinterpret_cast<const TQVString*>(static_cast<const char*>(block) + field.offset)->CStr());
    } else if (field.type == "fourcc") {
      stream.WriteQuoted(FormatFourCC(Get<uint32_t>(block, field)));
    } else {
      stream.WriteWord(Word(block, field));
      stream.FinishLine();
    }
  }
}

std::string ReadParameterField(TokenStream& stream, const DialogResource& dialog, void* block) {
  const std::string name = stream.Current();
  const DialogField* found = nullptr;
  std::string names;
  for (const DialogField& field : dialog.fields) {
    if (field.name == name && field.type != "interpolator") found = &field;
    names += (names.empty() ? "" : ", ") + field.name;
  }
  if (!found) {
    stream.SkipItem();
    return "'" + name + "': a field of dialog " + std::to_string(dialog.id) + " (" + names + ")";
  }
  if (!stream.Next() || (!stream.CurrentIsQuoted() && (stream.Current() == "{" || stream.Current() == "}")))
    return name + ": a value";
  if (!block || !PutValue(block, *found, stream.Current(), stream.CurrentIsQuoted()))
    return name + " " + stream.Current() + ": " + Expected(*found);
  return "";
}

}  // namespace qvhost
