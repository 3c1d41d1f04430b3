// The pieces of the HTML page of a NoteSheet's comments. Nothing is escaped: titles and
// comments are written as they are.
#pragma once

#include <cstdint>

#include "QVString.h"
#include "QVTextStream.h"

// R, G, B, A clamped to 0..1 (not-a-number as 0), times 255, truncated: B in bits 0-7,
// G in 8-15, R in 16-23, A in 24-31.
uint32_t PackColor(const float color[4]);

// The text of a comment alignment code: "center", "left", "right", or empty.
const char* AlignmentText(uint32_t code);

void WritePageHeader(TTextStream& stream, const TQVString& title, int32_t cellPadding, bool border,
                     uint32_t textColor, uint32_t backgroundColor);
// `count` empty cells of width `width`; nothing when count <= 0.
void WriteWidthRow(TTextStream& stream, const TQVString& width, int32_t count);
void WriteFrameCell(TTextStream& stream, const TQVString& text);
// An image cell linking `source` followed by ".jpg".
void WriteImageCell(TTextStream& stream, const TQVString& source);
void WriteTimecodeCell(TTextStream& stream, const TQVString& text);
// The comment with every CR and every LF written as "<BR>".
void WriteCommentCell(TTextStream& stream, const TQVString& text, const char* alignment);
void WriteRowBreak(TTextStream& stream);
// Closes the last row, the table and the page.
void WritePageFooter(TTextStream& stream);
