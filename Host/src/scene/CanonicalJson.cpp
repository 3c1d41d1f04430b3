// Canonical JSON text.
#include "CanonicalJson.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qvhost {

namespace {

std::string Number(const nlohmann::ordered_json& value) {
  if (value.is_number_integer() || value.is_number_unsigned()) return value.dump();
  const double number = value.get<double>();
  const float single = float(number);
  if (single == 0.0f) return "0";  // -0 would read back as the integer 0
  // The shortest text that reads back as the same float: "10", not "1e+01".
  std::string shortest;
  for (int precision = 1; precision <= 9; ++precision) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*g", precision, double(single));
    if (float(std::strtod(text, nullptr)) == single && (shortest.empty() || std::strlen(text) < shortest.size()))
      shortest = text;
  }
  return shortest;
}

// A plain value's JSON text; bytes that are not UTF-8 (a name a module set) are replaced.
std::string Text(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool IsPlain(const nlohmann::ordered_json& value) { return !value.is_object() && !value.is_array(); }

constexpr size_t kLineWidth = 100;

void Write(const nlohmann::ordered_json& value, int indent, std::string& out);

// The one-line form of a plain value, an array of plain values, or an object of those;
// empty when the value has deeper structure.
std::string Inline(const nlohmann::ordered_json& value) {
  std::string out;
  if (IsPlain(value)) {
    Write(value, 0, out);
    return out;
  }
  if (value.is_array()) {
    for (const auto& element : value)
      if (!IsPlain(element)) return "";
    Write(value, 0, out);
    return out;
  }
  out = "{";
  bool first = true;
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (it.value().is_object()) return "";
    const std::string part = Inline(it.value());
    if (part.empty()) return "";
    out += (first ? "" : ", ") + Text(nlohmann::ordered_json(it.key())) + ": " + part;
    first = false;
  }
  return out + "}";
}

void Write(const nlohmann::ordered_json& value, int indent, std::string& out) {
  const std::string inner(size_t(indent + 2), ' ');
  if (value.is_object() && !value.empty()) {
    // Small flat objects stay on one line.
    const std::string line = Inline(value);
    if (!line.empty() && size_t(indent) + line.size() + 24 <= kLineWidth) {
      out += line;
      return;
    }
  }
  if (value.is_object()) {
    if (value.empty()) {
      out += "{}";
      return;
    }
    out += "{\n";
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (!first) out += ",\n";
      first = false;
      out += inner + Text(nlohmann::ordered_json(it.key())) + ": ";
      Write(it.value(), indent + 2, out);
    }
    out += "\n" + std::string(size_t(indent), ' ') + "}";
  } else if (value.is_array()) {
    // Flat arrays that fit stay on one line; longer ones take a line per element.
    bool plain = true;
    for (const auto& element : value) plain = plain && IsPlain(element);
    if (plain) {
      std::string line = "[";
      for (size_t i = 0; i < value.size(); ++i) {
        if (i) line += ", ";
        Write(value[i], indent, line);
      }
      line += "]";
      if (size_t(indent) + line.size() + 24 <= kLineWidth) {
        out += line;
        return;
      }
    }
    out += "[\n";
    for (size_t i = 0; i < value.size(); ++i) {
      if (i) out += ",\n";
      out += inner;
      Write(value[i], indent + 2, out);
    }
    out += "\n" + std::string(size_t(indent), ' ') + "]";
  } else if (value.is_number()) {
    out += Number(value);
  } else {
    out += Text(value);
  }
}

}  // namespace

void AppendCanonicalJson(const nlohmann::ordered_json& value, int indent, std::string& out) { Write(value, indent, out); }

std::string CanonicalString(const std::string& text) { return Text(nlohmann::ordered_json(text)); }

std::string CanonicalFloat(float number) { return Number(nlohmann::ordered_json(double(number))); }

std::string CanonicalJson(const nlohmann::ordered_json& value) {
  std::string out;
  Write(value, 0, out);
  out += "\n";
  return out;
}

}  // namespace qvhost
