// Value-by-value differences of two JSON values.
#include "JsonChanges.h"

#include "CanonicalJson.h"

namespace qvhost {

std::string OneLineJson(const nlohmann::ordered_json& value) {
  // Line breaks of the canonical text only ever stand between tokens (a string keeps
  // its line breaks escaped), so joining the lines keeps every value as it is.
  const std::string text = CanonicalJson(value);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') {
      out += text[i];
      continue;
    }
    while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
    const bool opened = !out.empty() && (out.back() == '{' || out.back() == '[');
    const bool closing = i + 1 < text.size() && (text[i + 1] == '}' || text[i + 1] == ']');
    if (i + 1 < text.size() && !opened && !closing) out += ' ';
  }
  return out;
}

void CompareJson(const nlohmann::ordered_json& before, const nlohmann::ordered_json& after,
                 const std::string& where, std::vector<ValueChange>& changes) {
  if (before.is_object() && after.is_object()) {
    for (auto it = before.begin(); it != before.end(); ++it) {
      const auto other = after.find(it.key());
      CompareJson(it.value(), other == after.end() ? nlohmann::ordered_json() : *other, where + "." + it.key(),
                  changes);
    }
    for (auto it = after.begin(); it != after.end(); ++it)
      if (!before.contains(it.key())) CompareJson(nlohmann::ordered_json(), it.value(), where + "." + it.key(), changes);
    return;
  }
  if (before.is_array() && after.is_array() && before.size() == after.size()) {
    bool nested = false;
    for (const auto& item : before) nested = nested || item.is_structured();
    if (nested) {
      for (size_t i = 0; i < before.size(); ++i)
        CompareJson(before[i], after[i], where + "[" + std::to_string(i) + "]", changes);
      return;
    }
  }
  const std::string a = before.is_null() ? "(none)" : OneLineJson(before);
  const std::string b = after.is_null() ? "(none)" : OneLineJson(after);
  if (a != b) changes.push_back({where, a, b});
}

}  // namespace qvhost
