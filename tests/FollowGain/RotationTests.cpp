// Quaternions from and to matrices, and spherical interpolation.
#include <cmath>

#include <gtest/gtest.h>

#include "RotationConversions.h"

namespace {

void ExpectQuaternion(const Quaternion& q, float w, float x, float y, float z, float tolerance = 0.0f) {
  EXPECT_NEAR(q.w, w, tolerance);
  EXPECT_NEAR(q.x, x, tolerance);
  EXPECT_NEAR(q.y, y, tolerance);
  EXPECT_NEAR(q.z, z, tolerance);
}

TEST(RotationTest, QuaternionsOfTheIdentityAndTheZeroMatrix) {
  ExpectQuaternion(QuaternionFromMatrix(kQVIdentityMatrix33), 1, 0, 0, 0);
  ExpectQuaternion(QuaternionFromMatrix(kQVZeroMatrix33), 0.5f, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(ClampSqrt(-1.0f), 0.0f);
  EXPECT_EQ(ClampSqrt(4.0f), 1.0f);
  EXPECT_EQ(ClampSqrt(0.25f), 0.5f);
}

TEST(RotationTest, MatrixQuaternionMatrixRoundTripsProperRotations) {
  // Both conversions share one convention: the quaternion of a matrix gives it back, for
  // rotations whose largest component falls in each branch of the sign rules. The square
  // roots of components near 0 magnify float rounding, hence the tolerance.
  const float angles[][3] = {{0.3f, 0.2f, 0.1f}, {2.5f, -0.4f, 1.0f}, {-2.9f, 1.2f, -3.0f},
                             {1.5707964f, 0.0f, 0.0f}, {0.0f, 0.0f, 3.0f}, {3.1f, 0.1f, 3.1f}};
  for (const auto& a : angles) {
    TQVMatrix33 m;
    m.FromEuler(a[0], a[1], a[2], true);
    const Quaternion q = QuaternionFromMatrix(m);
    EXPECT_NEAR(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z, 1.0f, 1e-5f);
    const TQVMatrix33 back = MatrixFromQuaternion(q);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(back.m[i], m.m[i], 1e-3f) << a[0] << " " << a[1] << " " << a[2] << " [" << i << "]";
  }
}

TEST(RotationTest, SlerpEndsTheSignRuleAndEqualQuaternions) {
  const Quaternion a{0.8f, 0.6f, 0.0f, 0.0f};
  const Quaternion b{0.6f, 0.0f, 0.8f, 0.0f};
  const Quaternion minusB{-0.6f, 0.0f, -0.8f, 0.0f};
  ExpectQuaternion(Slerp(0.0f, a, b), a.w, a.x, a.y, a.z, 1e-6f);
  ExpectQuaternion(Slerp(1.0f, a, b), b.w, b.x, b.y, b.z, 1e-6f);
  // a·(−b) < 0: the far end is b again, the same rotation as −b.
  ExpectQuaternion(Slerp(1.0f, a, minusB), b.w, b.x, b.y, b.z, 1e-6f);
  const Quaternion half = Slerp(0.5f, a, b);
  EXPECT_NEAR(half.w * half.w + half.x * half.x + half.y * half.y + half.z * half.z, 1.0f, 1e-5f);
  const Quaternion same = Slerp(0.3f, a, a);
  EXPECT_EQ(same.w, a.w);
  EXPECT_EQ(same.x, a.x);
}

}  // namespace
