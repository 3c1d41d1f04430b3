// The NoteSheet's preview: a small glyph of line segments in two planes.
#pragma once

#include "IHostGeometry.h"

constexpr int32_t kNoteSheetGlyphSegments = 36;

// Appends the glyph's 36 segments to `lines`: two points each, and the index pair of
// those points. Raises 0x80010002 when the line set cannot grow.
void AddNoteSheetGlyph(QVLineSet& lines);
