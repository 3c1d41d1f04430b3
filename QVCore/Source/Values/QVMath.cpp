// Euler-angle conversions and the decomposition of a matrix into rotation and scale.
#include "QVMath.h"

#include <cmath>

namespace {

// Below this, cos b is too small for atan2(m7, m8) to carry the roll reliably.
constexpr float kPitchPoleThreshold = 0.00390625f;  // 1/256

float WrapToPi(float angle) {
  while (angle > kQVPi) angle -= kQVTwoPi;
  while (angle < -kQVPi) angle += kQVTwoPi;
  return angle;
}

}  // namespace

void TQVMatrix33::FromEuler(float a, float b, float c, bool rightHanded) {
  const float sa = std::sin(a), ca = std::cos(a);
  const float sb = std::sin(b), cb = std::cos(b);
  const float sc = std::sin(c), cc = std::cos(c);
  SetColumn(0, {ca * cb, sa * cb, -sb});
  SetColumn(1, {ca * sb * sc - sa * cc, sa * sb * sc + ca * cc, cb * sc});
  SetColumn(2, {ca * sb * cc + sa * sc, sa * sb * cc - ca * sc, cb * cc});
  if (!rightHanded) {
    for (int i = 6; i < 9; ++i) m[i] = -m[i];
  }
}

TQVEulerAngles TQVMatrix33::ToEuler() const {
  TQVEulerAngles angles;
  angles.rightHanded = Determinant() > 0.0f;
  // A mirrored matrix has row 2 negated, so its -sin b appears with the opposite sign.
  const float sinPitch = angles.rightHanded ? -m[6] : m[6];
  const float cosPitch = std::sqrt(m[0] * m[0] + m[3] * m[3]);
  const bool atPole = cosPitch < kPitchPoleThreshold;

  angles.a = std::atan2(m[3], m[0]);
  angles.b = std::atan2(sinPitch, cosPitch);
  angles.c = angles.rightHanded ? std::atan2(m[7], m[8]) : std::atan2(-m[7], -m[8]);
  if (atPole) {
    // Rows 0 and 1 then hold a rotation by a - c (b > 0) or a + c (b < 0) only.
    const float combined = std::atan2(-m[1], m[4]);
    angles.c = sinPitch > 0.0f ? angles.a - combined : combined - angles.a;
  }

  angles.a = WrapToPi(angles.a);
  angles.c = WrapToPi(angles.c);
  if (angles.b > kQVPi) angles.b -= kQVTwoPi;
  if (angles.b < -kQVHalfPi) angles.b = -kQVHalfPi;
  if (angles.b > kQVHalfPi) angles.b = kQVHalfPi;
  return angles;
}

TQVDecomposition QVDecompose(const TQVMatrix33& matrix, const TQVVector3& translation) {
  TQVDecomposition result;
  result.rotation = matrix;
  result.translation = translation;
  float* scale[3] = {&result.scale.x, &result.scale.y, &result.scale.z};
  for (int c = 0; c < 3; ++c) {
    TQVVector3 column = matrix.GetColumn(c);
    const float length = std::sqrt(column.x * column.x + column.y * column.y + column.z * column.z);
    *scale[c] = length;
    if (length == 0.0f) continue;
    const float reciprocal = 1.0f / length;
    result.rotation.SetColumn(c, {column.x * reciprocal, column.y * reciprocal, column.z * reciprocal});
  }
  return result;
}
