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
// A text (a key or a string value) as the canonical text writes it, quoted.
std::string CanonicalString(const std::string& text);
// A number of a float as the canonical text writes it.
std::string CanonicalFloat(float number);

// Canonical text is at most this wide where it can be: a small flat object or array
// stands on one line when the column it starts at, its text and 24 more fit.
inline bool FitsOnOneLine(int indent, size_t length) { return size_t(indent) + length + 24 <= 100; }

}  // namespace qvhost
