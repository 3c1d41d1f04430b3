// Reading a module's resource file.
#include "qvhost/ResourceFile.h"

#include <cstdio>
#include <iterator>
#include <map>

#include "JsonCheck.h"
#include "QVString.h"

namespace qvhost {

std::string FormatFourCC(uint32_t code) {
  return {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
}

bool ParseFourCC(const std::string& text, uint32_t& code) {
  if (text.size() != 4) return false;
  code = 0;
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
    code = (code << 8) | uint8_t(c);
  }
  return true;
}

std::string FormatGuid(const QVGUID& id) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.data1,
                id.data2, id.data3, id.data4[0], id.data4[1], id.data4[2], id.data4[3], id.data4[4],
                id.data4[5], id.data4[6], id.data4[7]);
  return text;
}

bool ParseGuid(const std::string& text, QVGUID& id) {
  unsigned d1, d2, d3, b[8];
  int used = 0;
  if (text.size() != 38 ||
      std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &d1, &d2, &d3, &b[0], &b[1],
                  &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &used) != 11 ||
      used != 38)
    return false;
  id.data1 = d1;
  id.data2 = uint16_t(d2);
  id.data3 = uint16_t(d3);
  for (int i = 0; i < 8; ++i) id.data4[i] = uint8_t(b[i]);
  return true;
}

uint32_t DialogFieldSize(const std::string& type) {
  if (type == "bool" || type == "int8" || type == "uint8") return 1;
  if (type == "int16") return 2;
  if (type == "int32" || type == "uint32" || type == "float" || type == "fourcc") return 4;
  if (type == "interpolator") return uint32_t(sizeof(void*));  // a plain pointer
  if (type == "string15") return uint32_t(sizeof(TQVFixedString<15>));
  if (type == "string31") return uint32_t(sizeof(TQVFixedString<31>));
  if (type == "string255") return uint32_t(sizeof(TQVFixedString<255>));
  if (type == "string1023") return uint32_t(sizeof(TQVFixedString<1023>));
  return 0;
}

uint32_t DialogFieldAlignment(const std::string& type) {
  if (type == "bool" || type == "int8" || type == "uint8") return 1;
  if (type == "int16") return 2;
  if (type == "int32" || type == "uint32" || type == "float" || type == "fourcc") return 4;
  if (type == "interpolator") return uint32_t(alignof(void*));
  if (type == "string15") return uint32_t(alignof(TQVFixedString<15>));
  if (type == "string31") return uint32_t(alignof(TQVFixedString<31>));
  if (type == "string255") return uint32_t(alignof(TQVFixedString<255>));
  if (type == "string1023") return uint32_t(alignof(TQVFixedString<1023>));
  return 0;
}

const DialogResource* ResourceFile::FindDialog(int32_t id) const {
  for (const DialogResource& dialog : dialogs)
    if (dialog.id == id) return &dialog;
  return nullptr;
}

std::string FormatResult(QVResult code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", unsigned(code));
  return text;
}

const DialogField* ResourceFile::FindParameter(uint32_t id) const {
  for (const DialogResource& dialog : dialogs)
    for (const DialogField& field : dialog.fields)
      if (id != 0 && field.id == id) return &field;
  return nullptr;
}

const ComponentResource* ResourceFile::FindComponent(const std::string& name) const {
  for (const ComponentResource& component : components)
    if (component.name == name) return &component;
  return nullptr;
}

namespace {

uint32_t ReadFourCC(const JsonCheck& check, const nlohmann::json& value, const std::string& where) {
  uint32_t code = 0;
  if (!ParseFourCC(check.String(value, where), code)) check.Fail(where, "a four-character code");
  return code;
}

// A field lies within the block, at an offset aligned for its type, over no other field.
void CheckPlace(const JsonCheck& check, const DialogResource& dialog, const DialogField& field,
                const std::string& where, std::map<uint32_t, DialogField>& placed) {
  const uint64_t size = DialogFieldSize(field.type), end = uint64_t(field.offset) + size;
  const std::string offset = JsonPath(where, "offset");
  if (field.offset % DialogFieldAlignment(field.type) != 0)
    check.Fail(offset, "an offset that is a multiple of " + std::to_string(DialogFieldAlignment(field.type)) +
                           " for a " + field.type + " field (not " + std::to_string(field.offset) + ")");
  if (end > dialog.blockSize)
    check.Fail(offset, "a field within the block of " + std::to_string(dialog.blockSize) + " bytes (a " + field.type +
                           " of " + std::to_string(size) + " bytes at " + std::to_string(field.offset) + " ends at " +
                           std::to_string(end) + ")");
  // Fields placed so far by offset: the one starting next after this one, and the one
  // before it, are the only ones it could overlap.
  auto next = placed.lower_bound(field.offset);
  const DialogField* over = next != placed.end() && next->first < end ? &next->second : nullptr;
  if (!over && next != placed.begin()) {
    const DialogField& before = std::prev(next)->second;
    if (before.offset + DialogFieldSize(before.type) > field.offset) over = &before;
  }
  if (over)
    check.Fail(offset, "a field over no other field (it overlaps " + over->name + ", bytes " +
                           std::to_string(over->offset) + " to " +
                           std::to_string(over->offset + DialogFieldSize(over->type)) + ")");
  placed.emplace(field.offset, field);
}

}  // namespace

ResourceFile LoadResourceFile(const std::string& path) {
  const nlohmann::json document = JsonCheck::ReadFile(path);
  const JsonCheck check(path);
  ResourceFile file;
  const std::string root = "$";
  check.Object(document, root, {"module", "components", "dialogs", "alerts", "strings"});
  file.module = check.String(check.Required(document, root, "module"), JsonPath(root, "module"));

  const std::string componentsPath = JsonPath(root, "components");
  const auto& components = check.Array(check.Required(document, root, "components"), componentsPath);
  for (size_t i = 0; i < components.size(); ++i) {
    const std::string where = JsonPath(componentsPath, i);
    const auto& entry = check.Object(components[i], where, {"family", "class", "classId", "name"});
    ComponentResource component;
    component.family = ReadFourCC(check, check.Required(entry, where, "family"), JsonPath(where, "family"));
    if (entry.contains("class"))
      component.classCode = ReadFourCC(check, entry["class"], JsonPath(where, "class"));
    const std::string idPath = JsonPath(where, "classId");
    if (!ParseGuid(check.String(check.Required(entry, where, "classId"), idPath), component.classId))
      check.Fail(idPath, "a class identifier {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    component.name = check.String(check.Required(entry, where, "name"), JsonPath(where, "name"));
    file.components.push_back(component);
  }

  if (document.contains("dialogs")) {
    const std::string dialogsPath = JsonPath(root, "dialogs");
    const auto& dialogs = check.Array(document["dialogs"], dialogsPath);
    for (size_t i = 0; i < dialogs.size(); ++i) {
      const std::string where = JsonPath(dialogsPath, i);
      const auto& entry = check.Object(dialogs[i], where, {"id", "title", "size", "fields", "controls"});
      DialogResource dialog;
      dialog.id = int32_t(check.Integer(check.Required(entry, where, "id"), JsonPath(where, "id"), 1, 32767));
      dialog.blockSize =
          uint32_t(check.Integer(check.Required(entry, where, "size"), JsonPath(where, "size"), 0, 1 << 20));
      if (entry.contains("title")) dialog.title = check.String(entry["title"], JsonPath(where, "title"));
      if (entry.contains("fields")) {
        const std::string fieldsPath = JsonPath(where, "fields");
        const auto& fields = check.Array(entry["fields"], fieldsPath);
        std::map<uint32_t, DialogField> placed;
        for (size_t f = 0; f < fields.size(); ++f) {
          const std::string at = JsonPath(fieldsPath, f);
          const auto& field = check.Object(fields[f], at, {"name", "type", "offset", "id"});
          DialogField parsed;
          parsed.name = check.String(check.Required(field, at, "name"), JsonPath(at, "name"));
          parsed.type = check.String(check.Required(field, at, "type"), JsonPath(at, "type"));
          if (DialogFieldSize(parsed.type) == 0)
            check.Fail(JsonPath(at, "type"),
                       "one of bool, int8, uint8, int16, int32, uint32, float, fourcc, interpolator, "
                       "string15, string31, string255, string1023");
          parsed.offset = uint32_t(check.Integer(check.Required(field, at, "offset"), JsonPath(at, "offset"),
                                                 0, 1 << 20));
          if (field.contains("id")) parsed.id = ReadFourCC(check, field["id"], JsonPath(at, "id"));
          CheckPlace(check, dialog, parsed, at, placed);
          dialog.fields.push_back(parsed);
        }
      }
      if (entry.contains("controls")) {
        const std::string controlsPath = JsonPath(where, "controls");
        const auto& controls = check.Array(entry["controls"], controlsPath);
        for (size_t c = 0; c < controls.size(); ++c)
          dialog.controls.push_back(ReadFourCC(check, controls[c], JsonPath(controlsPath, c)));
      }
      file.dialogs.push_back(dialog);
    }
  }

  if (document.contains("alerts")) {
    const std::string alertsPath = JsonPath(root, "alerts");
    const auto& alerts = check.Array(document["alerts"], alertsPath);
    for (size_t i = 0; i < alerts.size(); ++i) {
      const std::string where = JsonPath(alertsPath, i);
      const auto& entry = check.Object(alerts[i], where, {"id", "text"});
      file.alerts[int32_t(check.Integer(check.Required(entry, where, "id"), JsonPath(where, "id"), 1, 32767))] =
          check.String(check.Required(entry, where, "text"), JsonPath(where, "text"));
    }
  }

  if (document.contains("strings")) {
    const std::string listsPath = JsonPath(root, "strings");
    const auto& lists = check.Array(document["strings"], listsPath);
    for (size_t i = 0; i < lists.size(); ++i) {
      const std::string where = JsonPath(listsPath, i);
      const auto& entry = check.Object(lists[i], where, {"id", "entries"});
      const int32_t id =
          int32_t(check.Integer(check.Required(entry, where, "id"), JsonPath(where, "id"), 1, 32767));
      const std::string entriesPath = JsonPath(where, "entries");
      const auto& entries = check.Array(check.Required(entry, where, "entries"), entriesPath);
      for (size_t e = 0; e < entries.size(); ++e)
        file.stringLists[id].push_back(check.String(entries[e], JsonPath(entriesPath, e)));
    }
  }
  return file;
}

}  // namespace qvhost
