// The outline of the preview glyph and how it goes into the host's line set.
#include "NoteSheetGlyph.h"

#include "QVCountedPtr.h"
#include "QVException.h"

namespace {

// One segment in the plane of the glyph: (x, z) of its two ends.
struct TGlyphSegment {
  float fromX, fromZ, toX, toZ;
};

// Drawn at y = 0.25 and again at y = -0.25.
constexpr TGlyphSegment kOutline[kNoteSheetGlyphSegments / 2] = {
    {0.35f, 0.4f, 0.25f, 0.5f},     {0.25f, 0.5f, -0.25f, 0.5f},    {-0.25f, 0.5f, -0.25f, 0.3f},
    {-0.25f, 0.3f, -0.8f, 0.3f},    {-0.8f, 0.3f, -0.8f, 0.65f},    {-0.8f, 0.65f, -0.5f, 1.0f},
    {-0.5f, 1.0f, 0.5f, 1.0f},      {0.5f, 1.0f, 0.8f, 0.75f},      {0.35f, 0.4f, 0.35f, -0.4f},
    {0.8f, -0.75f, 0.8f, 0.75f},    {0.35f, -0.4f, 0.25f, -0.5f},   {0.25f, -0.5f, -0.25f, -0.5f},
    {-0.25f, -0.5f, -0.25f, -0.3f}, {-0.25f, -0.3f, -0.8f, -0.3f},  {-0.8f, -0.3f, -0.8f, -0.65f},
    {-0.8f, -0.65f, -0.5f, -1.0f},  {-0.5f, -1.0f, 0.5f, -1.0f},    {0.5f, -1.0f, 0.8f, -0.75f},
};
constexpr float kPlanes[2] = {0.25f, -0.25f};

}  // namespace

void AddNoteSheetGlyph(QVLineSet& lines) {
  for (float y : kPlanes) {
    for (const TGlyphSegment& segment : kOutline) {
      const int32_t first = lines.points.Length();
      if (!lines.points.Append({segment.fromX, y, segment.fromZ}) ||
          !lines.points.Append({segment.toX, y, segment.toZ}) || !lines.segments.Append({first, first + 1}))
        QVRaiseOutOfMemory();
    }
  }
}
