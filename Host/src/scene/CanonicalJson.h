// The canonical text of a JSON document: two-space indentation, arrays of plain values on
// one line, numbers in their shortest form that reads back as the same float.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace qvhost {

std::string CanonicalJson(const nlohmann::ordered_json& value);

}  // namespace qvhost
