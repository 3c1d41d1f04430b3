// Strict reading of JSON documents: every refusal names the file, the JSON path and
// what was expected there.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

#include "qvhost/HostError.h"

namespace qvhost {

class JsonCheck {
 public:
  // The largest file read: 2 GiB.
  static constexpr uint64_t kMaxFileBytes = uint64_t(2) << 30;

  // Told of each entry of the array under one key of the top-level object as soon as it
  // is read (the top-level object as read so far, the entry, its index); the entry is then
  // left out of the document, so that a large array is never held whole.
  struct Entries {
    std::string key;
    std::function<void(const nlohmann::json& top, nlohmann::json& entry, size_t index)> take;
  };

  // Parses `path`, a regular file of at most kMaxFileBytes. Reading stops at the first
  // byte that cannot start or continue the document (a NUL byte, invalid UTF-8, a syntax
  // error); a missing, non-regular, malformed or too large file is refused, and so is an
  // object with a key twice, with the JSON path of the second one.
  static nlohmann::json ReadFile(const std::string& path, const Entries* entries = nullptr);
  // The same over text; `name` stands for the file in messages.
  static nlohmann::json Parse(const std::string& text, const std::string& name, const Entries* entries = nullptr);

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

// A path as messages show it: at most 200 bytes, a longer one as "..." and its end.
std::string ShownPath(const std::string& path);
// A value's text as messages show it: at most 40 bytes, a longer one cut with "...".
std::string ShownValue(const std::string& text);

inline std::string JsonPath(const std::string& parent, const std::string& key) { return parent + "." + key; }
inline std::string JsonPath(const std::string& parent, size_t index) {
  return parent + "[" + std::to_string(index) + "]";
}

}  // namespace qvhost
