// The token reader over a text stream: words, quoted strings and braces, with "#" comment
// lines and "$"-framed binary blocks skipped; every text is localised.
#pragma once

#include <cstdint>

#include "QVString.h"

class TTextStream;

// The next token; throws the tokenizer's code with the reader's source and line 516.
TQVFixedString<255> ReadToken(TTextStream& stream);
// The text between the next two double quotes, of any length; 0x80010027 at the end,
// 0x80010002 when its buffer cannot grow.
TQVString& ReadQuotedText(TTextStream& stream, TQVString& target);
// Eight hexadecimal digits; 0x80010024 at a "$" (put back), 0x80010027 at the end.
uint32_t ReadHexLength(TTextStream& stream);
// Picks the Windows variant of "@M…@W…@…" texts and translates through the host's table 0
// under code page 1252.
void LocalizeFileText(TQVString& text);
// The translation with the host's tables of `table` (0 or 1), in place, for every string.
void TranslateCharacters(TQVString& text, int table);

// The tokenizer: the token into `buffer` (256 bytes); 0 or 0x80010027. A binary block's
// length is read with ReadHexLength, whose exceptions pass through.
QVResult QVReadTokenInto(TTextStream& stream, char buffer[256]);
