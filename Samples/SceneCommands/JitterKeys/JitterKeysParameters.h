// The block the JitterKeys dialog edits, apart from the command so that tests can check
// its layout against the resource file.
#pragma once

#include <cstddef>
#include <cstdint>

// The block the dialog edits, 12 bytes.
struct JitterKeysParameters {
  float MinOffset;
  float MaxOffset;
  int32_t Seed;
};
static_assert(sizeof(JitterKeysParameters) == 12, "JitterKeys parameter block");
static_assert(offsetof(JitterKeysParameters, Seed) == 8, "JitterKeys parameter block");
