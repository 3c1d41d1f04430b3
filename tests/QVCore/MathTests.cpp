// Tests of the math value types: matrix access, Euler conversions, decomposition, boxes, constants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "QVMath.h"

namespace {

constexpr float kAngleTolerance = 2e-5f;
constexpr double kExactPi = 3.14159265358979323846;

void ExpectVectorNear(const TQVVector3& actual, const TQVVector3& expected, float tolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void ExpectMatrixNear(const TQVMatrix33& actual, const TQVMatrix33& expected, float tolerance) {
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(testing::Message() << "element " << i);
    EXPECT_NEAR(actual.m[i], expected.m[i], tolerance);
  }
}

// Angles compared modulo 2 pi: the difference brought into [-pi, pi].
double AngleGap(double a, double b) { return std::remainder(a - b, 2.0 * kExactPi); }

void Multiply(const double (&x)[9], const double (&y)[9], double (&product)[9]) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      product[3 * r + c] = 0;
      for (int k = 0; k < 3; ++k) product[3 * r + c] += x[3 * r + k] * y[3 * k + c];
    }
  }
}

// Rz(a)·Ry(b)·Rx(c) multiplied out in double, independently of the closed form under test.
TQVMatrix33 ReferenceRotation(double a, double b, double c) {
  const double rz[9] = {std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1};
  const double ry[9] = {std::cos(b), 0, std::sin(b), 0, 1, 0, -std::sin(b), 0, std::cos(b)};
  const double rx[9] = {1, 0, 0, 0, std::cos(c), -std::sin(c), 0, std::sin(c), std::cos(c)};
  double zy[9], zyx[9];
  Multiply(rz, ry, zy);
  Multiply(zy, rx, zyx);
  TQVMatrix33 result;
  for (int i = 0; i < 9; ++i) result.m[i] = static_cast<float>(zyx[i]);
  return result;
}

struct EulerCase {
  float a, b, c;
};

// a and c in (-pi, pi], |b| < pi/2, away from the pole unless noted.
const EulerCase kRoundTripCases[] = {
    {0.3f, -0.7f, 1.2f},
    {-2.5f, 1.4f, -3.0f},
    {3.1f, -1.5f, 0.1f},
    {-0.05f, 0.02f, 2.9f},
    {1.0f, 0.0f, -1.0f},
    {kQVPi, 0.5f, kQVPi},
    // cos b below 1/256: c is derived from a and the combined angle, and must be wrapped.
    {3.0f, kQVHalfPi - 0.002f, -3.0f},
    {3.0f, -kQVHalfPi + 0.002f, 3.0f},
};

}  // namespace

TEST(QVMatrix33, RowsAndColumnsAreRowMajor) {
  TQVMatrix33 matrix;
  matrix.SetRow(0, {1, 2, 3});
  matrix.SetRow(1, {4, 5, 6});
  matrix.SetRow(2, {7, 8, 9});
  for (int i = 0; i < 9; ++i) EXPECT_EQ(matrix.m[i], float(i + 1)) << "index " << i;
  EXPECT_EQ(matrix.At(1, 2), 6.0f);
  ExpectVectorNear(matrix.GetColumn(1), {2, 5, 8}, 0);

  matrix.SetColumn(2, {-1, -2, -3});
  const float expected[9] = {1, 2, -1, 4, 5, -2, 7, 8, -3};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(matrix.m[i], expected[i]) << "index " << i;
}

TEST(QVMatrix33, DeterminantExpandsAlongRowZero) {
  struct Case {
    TQVMatrix33 matrix;
    float determinant;
  };
  const Case cases[] = {
      {kQVIdentityMatrix33, 1.0f},
      {{{2, -3, 1, 4, 5, -6, 7, -8, 9}}, 161.0f},
      {{{4, 5, -6, 2, -3, 1, 7, -8, 9}}, -161.0f},  // rows 0 and 1 swapped
      {{{1, 2, 3, 2, 4, 6, 0, 1, 5}}, 0.0f},        // row 1 = 2 × row 0
  };
  for (const Case& c : cases) EXPECT_EQ(c.matrix.Determinant(), c.determinant);
}

TEST(QVMatrix33, FromEulerComposesZThenYThenX) {
  const EulerCase cases[] = {{0.7f, 0, 0}, {0, 0.7f, 0}, {0, 0, 0.7f}, {0.3f, -0.7f, 1.2f}, {-2.5f, 1.4f, -3.0f}};
  for (const EulerCase& e : cases) {
    SCOPED_TRACE(testing::Message() << "angles " << e.a << ", " << e.b << ", " << e.c);
    const TQVMatrix33 expected = ReferenceRotation(e.a, e.b, e.c);
    TQVMatrix33 matrix;
    matrix.FromEuler(e.a, e.b, e.c, true);
    ExpectMatrixNear(matrix, expected, 1e-6f);

    TQVMatrix33 mirrored = expected;
    mirrored.SetRow(2, {-expected.m[6], -expected.m[7], -expected.m[8]});
    matrix.FromEuler(e.a, e.b, e.c, false);
    ExpectMatrixNear(matrix, mirrored, 1e-6f);
  }
}

TEST(QVMatrix33, ZeroAnglesGiveTheIdentityOrItsMirror) {
  TQVMatrix33 matrix;
  matrix.FromEuler(0, 0, 0, true);
  ExpectMatrixNear(matrix, kQVIdentityMatrix33, 0);

  matrix.FromEuler(0, 0, 0, false);
  ExpectMatrixNear(matrix, {{1, 0, 0, 0, 1, 0, 0, 0, -1}}, 0);
  const TQVEulerAngles angles = matrix.ToEuler();
  EXPECT_FALSE(angles.rightHanded);
  EXPECT_EQ(angles.a, 0.0f);
  EXPECT_EQ(angles.b, 0.0f);
  EXPECT_EQ(angles.c, 0.0f);
}

TEST(QVMatrix33, ToEulerInvertsFromEuler) {
  for (bool rightHanded : {true, false}) {
    for (const EulerCase& e : kRoundTripCases) {
      SCOPED_TRACE(testing::Message() << "angles " << e.a << ", " << e.b << ", " << e.c
                                      << (rightHanded ? " right" : " left") << "-handed");
      TQVMatrix33 matrix;
      matrix.FromEuler(e.a, e.b, e.c, rightHanded);
      const TQVEulerAngles angles = matrix.ToEuler();
      EXPECT_EQ(angles.rightHanded, rightHanded);
      EXPECT_NEAR(angles.b, e.b, kAngleTolerance);
      // pi and -pi name the same angle; the result may give either.
      EXPECT_NEAR(AngleGap(angles.a, e.a), 0.0, kAngleTolerance);
      EXPECT_NEAR(AngleGap(angles.c, e.c), 0.0, kAngleTolerance);
      EXPECT_LE(std::fabs(angles.a), kQVPi);
      EXPECT_LE(std::fabs(angles.c), kQVPi);
    }
  }
}

// At the pole cos b is exactly 0, so rows 0 and 1 only carry a - c (b > 0) or a + c (b < 0).
TEST(QVMatrix33, ToEulerAtThePoleKeepsTheCombinedAngle) {
  struct Case {
    float a, b, c;
    bool rightHanded;
  };
  const Case cases[] = {
      {0.4f, kQVHalfPi, -1.1f, true},
      {-2.8f, kQVHalfPi, 2.9f, true},
      {0.4f, -kQVHalfPi, 1.3f, true},
      {-2.0f, -kQVHalfPi, -2.5f, true},
      {0.4f, kQVHalfPi, -1.1f, false},
      {0.4f, -kQVHalfPi, 1.3f, false},
  };
  for (const Case& e : cases) {
    SCOPED_TRACE(testing::Message() << "angles " << e.a << ", " << e.b << ", " << e.c
                                    << (e.rightHanded ? " right" : " left") << "-handed");
    TQVMatrix33 matrix;
    matrix.FromEuler(e.a, e.b, e.c, e.rightHanded);
    for (int i : {0, 3, 7, 8}) matrix.m[i] = 0.0f;  // the cos b terms

    const TQVEulerAngles angles = matrix.ToEuler();
    EXPECT_EQ(angles.rightHanded, e.rightHanded);
    EXPECT_FLOAT_EQ(angles.b, e.b);
    const double sign = e.b > 0 ? -1.0 : 1.0;
    EXPECT_NEAR(AngleGap(angles.a + sign * angles.c, e.a + sign * e.c), 0.0, kAngleTolerance);
    EXPECT_LE(std::fabs(angles.a), kQVPi);
    EXPECT_LE(std::fabs(angles.c), kQVPi);

    TQVMatrix33 rebuilt;
    rebuilt.FromEuler(angles.a, angles.b, angles.c, angles.rightHanded);
    ExpectMatrixNear(rebuilt, matrix, kAngleTolerance);
  }
}

// The pole test is cos b < 1/256, exactly. In this matrix the two ways of finding c disagree:
// atan2(m7, m8) = pi/2, while a - atan2(-m1, m4) = 0.
TEST(QVMatrix33, ToEulerPoleThresholdIsOne256th) {
  struct Case {
    float cosPitch;
    float c;
  };
  const Case cases[] = {
      {0.00390625f, kQVHalfPi},
      {std::nextafter(0.00390625f, 0.0f), 0.0f},
  };
  for (const Case& e : cases) {
    SCOPED_TRACE(testing::Message() << "cos b " << e.cosPitch);
    const TQVMatrix33 matrix{{e.cosPitch, 0, 1, 0, 1, 0, -1, 1, 0}};
    const TQVEulerAngles angles = matrix.ToEuler();
    EXPECT_TRUE(angles.rightHanded);
    EXPECT_EQ(angles.a, 0.0f);
    EXPECT_FLOAT_EQ(angles.c, e.c);
  }
}

TEST(QVTransform, IdentityDefaults) {
  const float identity[19] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1};
  auto expectIdentity = [&](const TQVTransform& transform) {
    float floats[19];
    std::memcpy(floats, &transform, sizeof floats);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(floats[i], identity[i]) << "float " << i;
  };
  expectIdentity(kQVIdentityTransform);
  expectIdentity(TQVTransform{});
  float garbage[19];
  for (float& f : garbage) f = 7.0f;
  TQVTransform scribbled;
  std::memcpy(&scribbled, garbage, sizeof scribbled);
  scribbled.SetIdentity();
  expectIdentity(scribbled);

  float floats[12];
  Matrix34 matrix;
  std::memcpy(floats, &matrix, sizeof floats);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(floats[i], identity[i]) << "float " << i;
}

TEST(QVTransform, DecomposeSplitsColumnLengthsFromDirections) {
  TQVMatrix33 rotation;
  rotation.FromEuler(0.4f, -0.6f, 1.1f, true);
  const float lengths[3] = {2, 3, 4};
  TQVTransform transform;
  for (int c = 0; c < 3; ++c) {
    const TQVVector3 axis = rotation.GetColumn(c);
    transform.rotation.SetColumn(c, {axis.x * lengths[c], axis.y * lengths[c], axis.z * lengths[c]});
  }
  transform.translation = {5, -6, 7};
  Matrix34 matrix;
  matrix.rotation = transform.rotation;
  matrix.translation = transform.translation;

  for (const TQVDecomposition& parts : {transform.Decompose(), matrix.Decompose()}) {
    ExpectVectorNear(parts.scale, {2, 3, 4}, 1e-5f);
    ExpectMatrixNear(parts.rotation, rotation, 1e-6f);
    ExpectVectorNear(parts.translation, {5, -6, 7}, 0);
  }
}

TEST(QVTransform, DecomposeLeavesAZeroColumnAsItIs) {
  Matrix34 matrix;
  matrix.rotation = {{3, 0, 0, 0, 0, 0, 0, 0, 0.5f}};
  const TQVDecomposition parts = matrix.Decompose();
  ExpectVectorNear(parts.scale, {3, 0, 0.5f}, 0);
  ExpectMatrixNear(parts.rotation, {{1, 0, 0, 0, 0, 0, 0, 0, 1}}, 0);
}

TEST(QVBoundingBox, StartsEmptyAndFindsItsCentre) {
  BoundingBox box;
  ExpectVectorNear(box.minimum, {32767, 32767, 32767}, 0);
  ExpectVectorNear(box.maximum, {-32767, -32767, -32767}, 0);

  box.minimum = {-2, 1, 4};
  box.maximum = {6, 10, -4};
  ExpectVectorNear(box.Centre(), {2, 5.5f, 0}, 0);

  box.MakeEmpty();
  ExpectVectorNear(box.minimum, {32767, 32767, 32767}, 0);
  ExpectVectorNear(box.maximum, {-32767, -32767, -32767}, 0);
}

TEST(QVMathConstants, PowersOfTwoRunFromMinus32To32) {
  EXPECT_EQ(kQVPowersOfTwo[0], 1.0f / 4294967296.0f);
  EXPECT_EQ(kQVPowersOfTwo[32], 1.0f);
  EXPECT_EQ(kQVPowersOfTwo[64], 4294967296.0f);
  for (int i = 0; i < 65; ++i) EXPECT_EQ(kQVPowersOfTwo[i], std::ldexp(1.0f, i - 32)) << "index " << i;
}
