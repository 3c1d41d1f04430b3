// FollowGain's parameter block, the block its dialog edits in place, and its codes.
#pragma once

#include <cstddef>

#include "QVMath.h"
#include "QVString.h"

constexpr uint32_t kFollowGainClassCode = QVFourCC("FlGn");
constexpr int16_t kFollowGainDialog = 150;
constexpr uint32_t kReferenceCapturedParameter = QVFourCC("REFD");

// Position, rotation or scale: the group's switch, the x, y, z switches and gains.
// Switches are bytes, 0 or 1.
struct FollowGainGroup {
  uint8_t On = 1;
  uint8_t AxisOn[3] = {1, 1, 1};
  TQVVector3 Gain{1.0f, 1.0f, 1.0f};
};

// The block the dialog edits in place.
struct FollowGainParameters {
  TQVFixedString<255> TargetName{"Choose"};
  FollowGainGroup Position;  // gains 'OFxm', 'OFym', 'OFzm'
  FollowGainGroup Rotation;  // gains 'ROxm', 'ROym', 'ROzm'
  FollowGainGroup Scale;     // gains 'SIxm', 'SIym', 'SIzm'
  uint8_t SameGain = 0;      // the y and z gains follow the x gain
  // The captured reference as shown: the position, and the angles in radians about x, y, z.
  TQVFixedString<255> RefPosText[3];
  TQVFixedString<255> RefRotText[3];
  uint8_t RefCaptured = 0;  // the parameter 'REFD'
  TQVVector3 RefPos;
  TQVMatrix33 RefRotation;      // all zeros until captured
  uint8_t ResetAllPending = 0;  // 'RESA': every FollowGain of the scene recaptures
};

#if defined(__i386__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(FollowGainGroup, AxisOn) == 1 && offsetof(FollowGainGroup, Gain) == 4, "FollowGain group");
static_assert(offsetof(FollowGainParameters, Position) == 272, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, Rotation) == 288, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, Scale) == 304, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, SameGain) == 320, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, RefPosText) == 324, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, RefRotText) == 1140, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, RefCaptured) == 1956, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, RefPos) == 1960, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, RefRotation) == 1972, "FollowGain parameter block");
static_assert(offsetof(FollowGainParameters, ResetAllPending) == 2008, "FollowGain parameter block");
#pragma GCC diagnostic pop
#endif
