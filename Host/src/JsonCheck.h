// Strict reading of JSON documents: every refusal names the file, the JSON path and
// what was expected there.
#pragma once

#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

#include "qvhost/HostError.h"

namespace qvhost {

class JsonCheck {
 public:
  // Parses `path`; a missing or malformed file is refused.
  static nlohmann::json ReadFile(const std::string& path);

  explicit JsonCheck(std::string file) : fFile(std::move(file)) {}

  [[noreturn]] void Fail(const std::string& where, const std::string& expected) const;

  const nlohmann::json& Object(const nlohmann::json& value, const std::string& where,
                               std::initializer_list<const char*> allowedKeys) const;
  const nlohmann::json& Array(const nlohmann::json& value, const std::string& where) const;
  std::string String(const nlohmann::json& value, const std::string& where) const;
  int64_t Integer(const nlohmann::json& value, const std::string& where, int64_t low, int64_t high) const;
  double Number(const nlohmann::json& value, const std::string& where) const;
  bool Boolean(const nlohmann::json& value, const std::string& where) const;
  // The member `key` of an object, refused when missing.
  const nlohmann::json& Required(const nlohmann::json& object, const std::string& where,
                                 const char* key) const;

 private:
  std::string fFile;
};

inline std::string JsonPath(const std::string& parent, const std::string& key) { return parent + "." + key; }
inline std::string JsonPath(const std::string& parent, size_t index) {
  return parent + "[" + std::to_string(index) + "]";
}

}  // namespace qvhost
