// A module's resource file (<Module>.qvr.json): its components, dialogs, alerts and
// string lists.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "HostExport.h"
#include "QVBase.h"

namespace qvhost {

struct ComponentResource {
  uint32_t family = 0;     // 'scmd', 'modi', 'data'
  uint32_t classCode = 0;  // 0 when the module gives none
  QVGUID classId{};
  std::string name;
};

// One field of a parameter block the dialog edits in place.
struct DialogField {
  std::string name;
  std::string type;  // bool, int8, uint8, int16, int32, uint32, float, fourcc, interpolator,
                     // string15/31/255/1023
  uint32_t offset = 0;
  uint32_t id = 0;  // the parameter identifier the host's parameter list answers it by, or 0
};

struct DialogResource {
  int32_t id = 0;
  std::string title;
  uint32_t blockSize = 0;  // the parameter block's size in bytes; every field lies within it
  std::vector<DialogField> fields;
  std::vector<uint32_t> controls;  // four-character control identifiers
};

struct QVHOST_API ResourceFile {
  std::string module;
  std::vector<ComponentResource> components;
  std::vector<DialogResource> dialogs;
  std::map<int32_t, std::string> alerts;                    // 'Dlog' id -> text
  std::map<int32_t, std::vector<std::string>> stringLists;  // list id -> entries from 1

  const DialogResource* FindDialog(int32_t id) const;
  // The field with parameter identifier `id` in any dialog, or null.
  const DialogField* FindParameter(uint32_t id) const;
  const ComponentResource* FindComponent(const std::string& name) const;
};

// Reads and checks a resource file; throws HostError naming the file, the JSON path and
// what was expected. Each dialog gives its block's size; fields that overlap, are not
// aligned for their type or do not fit in the block are refused.
QVHOST_API ResourceFile LoadResourceFile(const std::string& path);

// Byte size of a dialog field type, or 0 when the type is unknown.
QVHOST_API uint32_t DialogFieldSize(const std::string& type);
// The alignment a field of the type needs in the block, or 0 when the type is unknown.
QVHOST_API uint32_t DialogFieldAlignment(const std::string& type);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" <-> identifier.
QVHOST_API std::string FormatGuid(const QVGUID& id);
QVHOST_API bool ParseGuid(const std::string& text, QVGUID& id);
// 'scmd' <-> "scmd"; a code of four printable characters.
QVHOST_API std::string FormatFourCC(uint32_t code);
QVHOST_API bool ParseFourCC(const std::string& text, uint32_t& code);
// "0x80010005".
QVHOST_API std::string FormatResult(QVResult code);

}  // namespace qvhost
