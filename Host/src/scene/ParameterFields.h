// The fields of a module's parameter block on the host's token stream: what the host
// saves of an attached modifier besides what the modifier writes itself.
#pragma once

#include <string>

#include "qvhost/ResourceFile.h"
#include "qvhost/TokenStream.h"

namespace qvhost {

// Writes every field of `dialog` in `block` as an item of the open block: its name, then
// a word (numbers, true or false) or a quoted string (texts, four-character codes).
// Floats are written so that they read back as the same value.
void WriteParameterFields(TokenStream& stream, const DialogResource& dialog, const void* block);

// Reads the value of the item whose name is the stream's current token into that field
// of `block`; empty, or what was wrong.
std::string ReadParameterField(TokenStream& stream, const DialogResource& dialog, void* block);

}  // namespace qvhost
