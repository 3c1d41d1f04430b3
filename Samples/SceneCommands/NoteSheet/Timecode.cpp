// Timecodes and decimal numbers.
#include "Timecode.h"

#include "IHostAnimation.h"

void AppendDecimal(TQVString& text, int32_t value) {
  char digits[12];
  char* const end = digits + sizeof digits;
  char* first = end;
  uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
  do {
    *--first = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--first = '-';
  const TQVFixedString<15> piece(first, int32_t(end - first));
  text.Append(piece);
}

namespace {

void AppendTwoDigits(TQVString& text, uint32_t value) {
  text.AppendChar(uint16_t('0' + value / 10));
  text.AppendChar(uint16_t('0' + value % 10));
}

}  // namespace

void FormatTimecode(int32_t ticks, int32_t fps, TQVString& out) {
  // A time before zero is the timecode of its magnitude after a '-'; the magnitude of the
  // smallest time does not fit a signed count.
  const uint32_t magnitude = ticks < 0 ? 0u - uint32_t(ticks) : uint32_t(ticks);
  constexpr uint32_t kTicks = uint32_t(kQVTicksPerSecond);
  // A rate above the tick rate has no whole ticks per frame: no frames, as for 0.
  const uint32_t ticksPerFrame = fps > 0 && uint32_t(fps) <= kTicks ? kTicks / uint32_t(fps) : 0;
  const uint32_t frame = ticksPerFrame ? (magnitude % kTicks) / ticksPerFrame : 0;
  const uint32_t seconds = magnitude / kTicks;
  const uint32_t minutes = seconds / 60;
  const uint32_t hours = minutes / 60;
  out.SetFrom("");
  if (ticks < 0) out.AppendChar('-');
  if (hours != 0) {
    out.AppendChar(uint16_t('0' + hours % 10));
    out.AppendChar(':');
  }
  AppendTwoDigits(out, minutes % 60);
  out.AppendChar(':');
  AppendTwoDigits(out, seconds % 60);
  out.AppendChar(':');
  AppendTwoDigits(out, frame);
}
