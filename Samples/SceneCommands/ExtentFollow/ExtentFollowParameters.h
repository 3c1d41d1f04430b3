// ExtentFollow's parameter block, the block its dialog edits in place, and its codes.
#pragma once

#include <cstddef>

#include "QVString.h"

constexpr uint32_t kExtentFollowClassCode = QVFourCC("ExFw");
constexpr int16_t kExtentFollowDialog = 142;

// The block the dialog edits in place.
struct ExtentFollowParameters {
  TQVFixedString<255> TargetName{"Choose"};
  uint8_t FollowOn = 1;  // 0: the target's name is shown, the object stays
};

#if defined(__i386__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(ExtentFollowParameters, FollowOn) == 272, "ExtentFollow parameter block");
#pragma GCC diagnostic pop
#endif
