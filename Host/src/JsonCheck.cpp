// Strict JSON reading with precise refusals.
#include "JsonCheck.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qvhost {

nlohmann::json JsonCheck::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw HostError(path + ": cannot open the file (" + std::strerror(errno) + ")");
  std::stringstream text;
  text << in.rdbuf();
  try {
    return nlohmann::json::parse(text.str());
  } catch (const nlohmann::json::parse_error& error) {
    throw HostError(path + ": malformed JSON at byte " + std::to_string(error.byte) +
                    ": expected a JSON document");
  } catch (const nlohmann::json::exception& error) {  // a number out of range, say
    throw HostError(path + ": malformed JSON (" + error.what() + "): expected a JSON document");
  }
}

void JsonCheck::Fail(const std::string& where, const std::string& expected) const {
  throw HostError(fFile + ": " + where + ": expected " + expected);
}

const nlohmann::json& JsonCheck::Object(const nlohmann::json& value, const std::string& where,
                                        std::initializer_list<const char*> allowedKeys) const {
  if (!value.is_object()) Fail(where, "an object");
  for (auto it = value.begin(); it != value.end(); ++it) {
    bool known = false;
    for (const char* key : allowedKeys) known = known || it.key() == key;
    if (!known) {
      std::string keys;
      for (const char* key : allowedKeys) keys += std::string(keys.empty() ? "" : ", ") + key;
      Fail(JsonPath(where, it.key()), "no such key (known keys: " + keys + ")");
    }
  }
  return value;
}

const nlohmann::json& JsonCheck::Array(const nlohmann::json& value, const std::string& where) const {
  if (!value.is_array()) Fail(where, "an array");
  return value;
}

std::string JsonCheck::String(const nlohmann::json& value, const std::string& where) const {
  if (!value.is_string()) Fail(where, "a string");
  return value.get<std::string>();
}

int64_t JsonCheck::Integer(const nlohmann::json& value, const std::string& where, int64_t low,
                           int64_t high) const {
  if (!value.is_number_integer()) Fail(where, "an integer");
  const bool tooLarge = value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX);
  const int64_t number = tooLarge ? INT64_MAX : value.get<int64_t>();
  if (number < low || number > high)
    Fail(where, "an integer from " + std::to_string(low) + " to " + std::to_string(high));
  return number;
}

double JsonCheck::Number(const nlohmann::json& value, const std::string& where) const {
  if (!value.is_number()) Fail(where, "a number");
  return value.get<double>();
}

bool JsonCheck::Boolean(const nlohmann::json& value, const std::string& where) const {
  if (!value.is_boolean()) Fail(where, "true or false");
  return value.get<bool>();
}

const nlohmann::json& JsonCheck::Required(const nlohmann::json& object, const std::string& where,
                                          const char* key) const {
  auto it = object.find(key);
  if (it == object.end()) Fail(JsonPath(where, key), "this key (it is required)");
  return *it;
}

}  // namespace qvhost
