// Quaternion conversions and spherical interpolation.
#include "RotationConversions.h"

#include <cmath>

float ClampSqrt(float value) {
  if (value <= 0.0f) return 0.0f;
  if (value >= 1.0f) return 1.0f;
  return std::sqrt(value);
}

Quaternion QuaternionFromMatrix(const TQVMatrix33& matrix) {
  auto m = [&](int r, int c) { return matrix.m[3 * r + c]; };
  const float W = (m(0, 0) + m(1, 1) + m(2, 2) + 1.0f) * 0.25f;
  const float X = W - (m(1, 1) + m(2, 2)) * 0.5f;
  const float Y = W - (m(0, 0) + m(2, 2)) * 0.5f;
  const float Z = W - (m(0, 0) + m(1, 1)) * 0.5f;
  const bool xNeg = m(1, 2) - m(2, 1) < 0.0f;
  const bool yNeg = W > X ? m(2, 0) - m(0, 2) < 0.0f : (m(1, 0) + m(0, 1) < 0.0f) != xNeg;
  bool zNeg;
  if (W > X && W > Y)
    zNeg = m(0, 1) - m(1, 0) < 0.0f;
  else if (X > Y)
    zNeg = (m(2, 0) + m(0, 2) < 0.0f) != xNeg;
  else
    zNeg = (m(2, 1) + m(1, 2) < 0.0f) != yNeg;
  Quaternion q;
  q.w = ClampSqrt(W);
  q.x = xNeg ? -ClampSqrt(X) : ClampSqrt(X);
  q.y = yNeg ? -ClampSqrt(Y) : ClampSqrt(Y);
  q.z = zNeg ? -ClampSqrt(Z) : ClampSqrt(Z);
  return q;
}

TQVMatrix33 MatrixFromQuaternion(const Quaternion& q) {
  const float w = q.w, x = q.x, y = q.y, z = q.z;
  return TQVMatrix33{{1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + w * z), 2.0f * (x * z - w * y),
                      2.0f * (x * y - w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + w * x),
                      2.0f * (x * z + w * y), 2.0f * (y * z - w * x), 1.0f - 2.0f * (x * x + y * y)}};
}

Quaternion Slerp(float t, const Quaternion& a, const Quaternion& b) {
  const float d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  const float e = std::fabs(d);
  if (e >= 1.0f) return a;
  const float s = float(std::sqrt(1.0 - double(e) * double(e)));
  const double theta = std::atan2(double(s), double(e));
  const float ka = float(std::sin(theta * (1.0 - double(t))) / double(s));
  const float kb = float(std::sin(double(t) * theta) / double(s)) * (d >= 0.0f ? 1.0f : -1.0f);
  Quaternion q;
  q.w = ka * a.w + kb * b.w;
  q.x = ka * a.x + kb * b.x;
  q.y = ka * a.y + kb * b.y;
  q.z = ka * a.z + kb * b.z;
  return q;
}
