// Value-by-value differences of two JSON values, for change reports.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace qvhost {

// One value that differs: where it is and its one-line canonical text on each side
// ("(none)" where it is missing).
struct ValueChange {
  std::string where;
  std::string before;
  std::string after;
};

// Appends a change for every value that differs between `before` and `after`, found at
// `where`. Objects compare key by key (the keys of `before` first, in its order, then the
// new ones); arrays of the same length holding objects or arrays compare item by item;
// anything else compares as a whole.
void CompareJson(const nlohmann::ordered_json& before, const nlohmann::ordered_json& after,
                 const std::string& where, std::vector<ValueChange>& changes);

// The canonical text of a value on one line.
std::string OneLineJson(const nlohmann::ordered_json& value);

}  // namespace qvhost
