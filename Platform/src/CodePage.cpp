// ANSI code page, lead bytes, character stepping and case-insensitive comparison.
#include "qvplatform/Platform.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<uint32_t> gCodePage{1252};
bool gLeadBytes[256];

struct BuiltInTable {
  uint32_t codePage;
  uint8_t ranges[6];
};
const BuiltInTable kBuiltInTables[] = {
    {932, {0x81, 0x9F, 0xE0, 0xFC, 0, 0}},
    {936, {0x81, 0xFE, 0, 0, 0, 0}},
    {949, {0x81, 0xFE, 0, 0, 0, 0}},
    {950, {0x81, 0xFE, 0, 0, 0, 0}},
};

// Lower-case form of a code page 1252 byte.
uint8_t Fold1252(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<uint8_t>(c + 32);
  switch (c) {
    case 0x8A: return 0x9A;  // S caron
    case 0x8C: return 0x9C;  // OE
    case 0x8E: return 0x9E;  // Z caron
    case 0x9F: return 0xFF;  // Y diaeresis
    default: return c;
  }
}

uint8_t FoldAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c; }

}  // namespace

uint32_t QVPlatform_GetACP() { return gCodePage.load(std::memory_order_relaxed); }

void QVPlatform_SetACP(uint32_t codePage, const uint8_t* leadByteRanges) {
  std::memset(gLeadBytes, 0, sizeof gLeadBytes);
  if (!leadByteRanges) {
    for (const BuiltInTable& table : kBuiltInTables)
      if (table.codePage == codePage) leadByteRanges = table.ranges;
  }
  if (codePage != 1252 && leadByteRanges) {
    for (const uint8_t* r = leadByteRanges; r[0] != 0 || r[1] != 0; r += 2)
      for (unsigned b = r[0]; b <= r[1]; ++b) gLeadBytes[b] = true;
  }
  gCodePage.store(codePage, std::memory_order_relaxed);
}

bool QVPlatform_IsDBCSLeadByte(uint8_t byte) { return gLeadBytes[byte]; }

const char* QVPlatform_CharNext(const char* p) {
  if (*p == 0) return p;
  if (gLeadBytes[static_cast<uint8_t>(*p)] && p[1] != 0) return p + 2;
  return p + 1;
}

int32_t QVPlatform_CompareTextNoCase(const char* a, const char* b) {
  const bool singleByte = QVPlatform_GetACP() == 1252;
  const auto* x = reinterpret_cast<const uint8_t*>(a);
  const auto* y = reinterpret_cast<const uint8_t*>(b);
  for (;;) {
    uint8_t cx = *x, cy = *y;
    if (singleByte) {
      cx = Fold1252(cx);
      cy = Fold1252(cy);
    } else if (!gLeadBytes[cx] && !gLeadBytes[cy]) {
      cx = FoldAscii(cx);
      cy = FoldAscii(cy);
    }
    if (cx != cy) return cx < cy ? -1 : 1;
    if (cx == 0) return 0;
    // A double-byte character compares its trail byte exactly.
    if (!singleByte && gLeadBytes[*x] && x[1] != 0 && y[1] != 0) {
      if (x[1] != y[1]) return x[1] < y[1] ? -1 : 1;
      ++x;
      ++y;
    }
    ++x;
    ++y;
  }
}
