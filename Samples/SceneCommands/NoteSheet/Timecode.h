// Timecodes of host times and decimal numbers in strings.
#pragma once

#include <cstdint>

#include "QVString.h"

// Appends the decimal form of `value` ("-" before negative values) to `text`.
void AppendDecimal(TQVString& text, int32_t value);

// "[-][h:]mm:ss:ff" of `ticks` at `fps` frames per second, into `out`: a negative time is
// a '-' and the timecode of its magnitude. Only the last digit of the hours is shown, and
// only when they are not 0. A frame rate of 0 or below, or above 180000, has no frames:
// the frame part is "00".
void FormatTimecode(int32_t ticks, int32_t fps, TQVString& out);
