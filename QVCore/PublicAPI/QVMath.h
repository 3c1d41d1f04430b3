// Vectors, rotation matrices, transforms and boxes exchanged with the host, and the math constants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// The host passes these values by address, so each is a plain run of 32-bit floats.

struct TQVVector3 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

// Angles about z (a), y (b) and x (c), in radians; rightHanded is false for a reflection.
struct TQVEulerAngles {
  float a;
  float b;
  float c;
  bool rightHanded;
};

// Row-major: element (row, column) is m[3 * row + column].
struct TQVMatrix33 {
  float m[9] = {};

  float& At(int row, int column) { return m[3 * row + column]; }
  float At(int row, int column) const { return m[3 * row + column]; }

  TQVVector3 GetRow(int row) const { return {m[3 * row], m[3 * row + 1], m[3 * row + 2]}; }
  void SetRow(int row, const TQVVector3& v) {
    m[3 * row] = v.x;
    m[3 * row + 1] = v.y;
    m[3 * row + 2] = v.z;
  }
  TQVVector3 GetColumn(int column) const { return {m[column], m[3 + column], m[6 + column]}; }
  void SetColumn(int column, const TQVVector3& v) {
    m[column] = v.x;
    m[3 + column] = v.y;
    m[6 + column] = v.z;
  }

  // The term order is fixed so that nearly singular matrices get the same sign everywhere.
  float Determinant() const {
    return m[0] * (m[4] * m[8] - m[7] * m[5]) - m[1] * (m[3] * m[8] - m[6] * m[5]) +
           m[2] * (m[7] * m[3] - m[6] * m[4]);
  }

  void Assign(const TQVMatrix33& other) {
    if (&other == this) return;
    for (int i = 0; i < 9; ++i) m[i] = other.m[i];
  }

  // Rz(a)·Ry(b)·Rx(c); with rightHanded false, row 2 is negated (a mirror through z = 0).
  void FromEuler(float a, float b, float c, bool rightHanded);
  // Inverse of FromEuler for |b| < pi/2. Near the pitch pole (cos b below 1/256) only
  // a - c (b > 0) or a + c (b < 0) is determined, and that is what the result keeps.
  TQVEulerAngles ToEuler() const;
};

inline constexpr TQVMatrix33 kQVZeroMatrix33{};
inline constexpr TQVMatrix33 kQVIdentityMatrix33{{1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f}};

// Column c of `rotation` is the unit direction of local axis c; scale.c its length.
struct TQVDecomposition {
  TQVMatrix33 rotation;
  TQVVector3 translation;
  TQVVector3 scale;
};

// A zero-length column has no direction: it is left as it is, with scale 0.
TQVDecomposition QVDecompose(const TQVMatrix33& matrix, const TQVVector3& translation);

// The value of the host's global-matrix operations; the first 12 floats of TQVTransform.
struct Matrix34 {
  TQVMatrix33 rotation = kQVIdentityMatrix33;
  TQVVector3 translation;

  void SetIdentity() {
    rotation = kQVIdentityMatrix33;
    translation = TQVVector3{};
  }
  TQVDecomposition Decompose() const { return QVDecompose(rotation, translation); }
};

// The value of the host's transform operations; defaults to the identity transform.
struct TQVTransform {
  TQVMatrix33 rotation = kQVIdentityMatrix33;  // column c: direction of local axis c
  TQVVector3 translation;
  float uniformScale = 1.0f;
  TQVVector3 pivot;
  TQVVector3 axisScale{1.0f, 1.0f, 1.0f};

  void SetIdentity() { *this = TQVTransform{}; }
  TQVDecomposition Decompose() const { return QVDecompose(rotation, translation); }
};

// The host only ever widens a box, so an empty one starts inverted far outside any scene.
struct BoundingBox {
  static constexpr float kEmptyExtent = 32767.0f;

  TQVVector3 minimum{kEmptyExtent, kEmptyExtent, kEmptyExtent};
  TQVVector3 maximum{-kEmptyExtent, -kEmptyExtent, -kEmptyExtent};

  void MakeEmpty() { *this = BoundingBox{}; }
  TQVVector3 Centre() const {
    return {(minimum.x + maximum.x) * 0.5f, (minimum.y + maximum.y) * 0.5f,
            (minimum.z + maximum.z) * 0.5f};
  }
};

static_assert(std::is_trivially_copyable_v<TQVVector3> && std::is_standard_layout_v<TQVVector3>);
static_assert(std::is_trivially_copyable_v<TQVMatrix33> && std::is_standard_layout_v<TQVMatrix33>);
static_assert(std::is_trivially_copyable_v<Matrix34> && std::is_standard_layout_v<Matrix34>);
static_assert(std::is_trivially_copyable_v<TQVTransform> && std::is_standard_layout_v<TQVTransform>);
static_assert(std::is_trivially_copyable_v<BoundingBox> && std::is_standard_layout_v<BoundingBox>);
static_assert(offsetof(TQVVector3, z) == 8, "TQVVector3 layout");
static_assert(offsetof(Matrix34, translation) == 36, "Matrix34 layout");
static_assert(offsetof(TQVTransform, translation) == offsetof(Matrix34, translation),
              "Matrix34 is the head of TQVTransform");
static_assert(offsetof(TQVTransform, uniformScale) == 12 * 4, "TQVTransform layout");
static_assert(offsetof(TQVTransform, pivot) == 13 * 4, "TQVTransform layout");
static_assert(offsetof(TQVTransform, axisScale) == 16 * 4, "TQVTransform layout");
static_assert(offsetof(BoundingBox, maximum) == 12, "BoundingBox layout");

#if defined(__i386__)
static_assert(sizeof(TQVVector3) == 12, "TQVVector3 layout");
static_assert(sizeof(TQVMatrix33) == 36, "TQVMatrix33 layout");
static_assert(sizeof(Matrix34) == 48, "Matrix34 layout");
static_assert(sizeof(TQVTransform) == 76, "TQVTransform layout");
static_assert(sizeof(BoundingBox) == 24, "BoundingBox layout");
#endif

// ---- Constants every module carries ----------------------------------------------

// The float nearest each value; ToEuler normalises with exactly these.
inline constexpr float kQVPi = 3.1415927f;
inline constexpr float kQVTwoPi = 6.2831855f;
inline constexpr float kQVHalfPi = 1.5707964f;
inline constexpr float kQVQuarterPi = 0.7853982f;

// Sixteen floats, row-major.
inline constexpr float kQVZeroMatrix44[16] = {};
inline constexpr float kQVIdentityMatrix44[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                                  0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

inline constexpr TQVTransform kQVIdentityTransform{};

inline constexpr TQVVector3 kQVZeroVector{0.0f, 0.0f, 0.0f};
inline constexpr TQVVector3 kQVUnitX{1.0f, 0.0f, 0.0f};
inline constexpr TQVVector3 kQVUnitY{0.0f, 1.0f, 0.0f};
inline constexpr TQVVector3 kQVUnitZ{0.0f, 0.0f, 1.0f};
inline constexpr TQVVector3 kQVNegativeUnitX{-1.0f, 0.0f, 0.0f};
inline constexpr TQVVector3 kQVNegativeUnitY{0.0f, -1.0f, 0.0f};
inline constexpr TQVVector3 kQVNegativeUnitZ{0.0f, 0.0f, -1.0f};

// Colours: four channels, alpha last.
inline constexpr float kQVWhiteColour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
inline constexpr uint8_t kQVOpaqueWhiteBytes[4] = {255, 255, 255, 255};
inline constexpr uint8_t kQVClearWhiteBytes[4] = {255, 255, 255, 0};
inline constexpr uint8_t kQVOpaqueBlackBytes[4] = {0, 0, 0, 255};

// Integer rectangles: the two low coordinates, then the two high ones. The empty one is
// inverted so that a union with it yields the other rectangle.
inline constexpr int32_t kQVEmptyRect[4] = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
inline constexpr int32_t kQVUnboundedRect[4] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

// 16.16 fixed point.
inline constexpr int32_t kQVFixedOne = 65536;
inline constexpr float kQVFixedOneReciprocal = 1.0f / 65536.0f;

// kQVPowersOfTwo[i] = 2^(i - 32), i = 0 ... 64; every entry is exact in a float.
struct TQVPowersOfTwoTable {
  float value[65];
};
constexpr TQVPowersOfTwoTable QVMakePowersOfTwo() {
  TQVPowersOfTwoTable table{};
  float power = 1.0f / 4294967296.0f;
  for (int i = 0; i < 65; ++i) {
    table.value[i] = power;
    power *= 2.0f;
  }
  return table;
}
inline constexpr TQVPowersOfTwoTable kQVPowersOfTwoTable = QVMakePowersOfTwo();
inline constexpr const float (&kQVPowersOfTwo)[65] = kQVPowersOfTwoTable.value;
