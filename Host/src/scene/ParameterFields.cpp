// Parameter block fields saved as items of a component's data.
#include "ParameterFields.h"

#include "../BlockField.h"

namespace qvhost {

namespace {

// Strings and four-character codes are quoted, the other values are words.
bool Quoted(const DialogField& field) { return IsStringField(field) || field.type == "fourcc"; }

}  // namespace

void WriteParameterFields(TokenStream& stream, const DialogResource& dialog, const void* block) {
  if (!block) return;
  for (const DialogField& field : dialog.fields) {
    if (field.type == "interpolator") continue;  // a pointer the dialog made: nothing to keep
    stream.WriteWord(field.name);
    if (Quoted(field)) {
      stream.WriteQuoted(FieldText(block, field));
    } else {
      stream.WriteWord(FieldText(block, field));
      stream.FinishLine();
    }
  }
}

std::string ReadParameterField(TokenStream& stream, const DialogResource& dialog, void* block) {
  const std::string name = stream.Current();
  const DialogField* found = nullptr;
  std::string names;
  for (const DialogField& field : dialog.fields) {
    if (field.name == name && field.type != "interpolator") found = &field;
    names += (names.empty() ? "" : ", ") + field.name;
  }
  if (!found) {
    stream.SkipItem();
    return "'" + name + "': a field of dialog " + std::to_string(dialog.id) + " (" + names + ")";
  }
  if (!stream.Next() || (!stream.CurrentIsQuoted() && (stream.Current() == "{" || stream.Current() == "}")))
    return name + ": a value";
  if (!block || stream.CurrentIsQuoted() != Quoted(*found) || !PutFieldText(block, *found, stream.Current()))
    return name + " " + stream.Current() + ": " + (Quoted(*found) ? "a quoted " + FieldExpectation(*found).substr(2) : FieldExpectation(*found));
  return "";
}

}  // namespace qvhost
