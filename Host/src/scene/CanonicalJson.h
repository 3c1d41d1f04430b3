// The canonical text of a JSON document: two-space indentation, arrays of plain values on
// one line, numbers in their shortest form that reads back as the same float.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace qvhost {

std::string CanonicalJson(const nlohmann::ordered_json& value);
// The canonical text of `value` as it stands `indent` columns in (no line end after it),
// appended to `out`.
void AppendCanonicalJson(const nlohmann::ordered_json& value, int indent, std::string& out);
// A key as the canonical text writes it, quoted.
std::string CanonicalKey(const std::string& key);

}  // namespace qvhost
