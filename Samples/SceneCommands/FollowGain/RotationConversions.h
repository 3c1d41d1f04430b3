// Rotation conversions the target-following modifiers blend with: unit quaternions from
// and to rotation matrices, and spherical interpolation, in 32-bit floats.
#pragma once

#include "QVMath.h"

struct Quaternion {
  float w = 1.0f;
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

// 0 at or below 0, 1 at or above 1, else the square root.
float ClampSqrt(float value);

Quaternion QuaternionFromMatrix(const TQVMatrix33& m);
TQVMatrix33 MatrixFromQuaternion(const Quaternion& q);

// From `a` (t = 0) to `b` (t = 1) along the shorter arc; not renormalised.
Quaternion Slerp(float t, const Quaternion& a, const Quaternion& b);
