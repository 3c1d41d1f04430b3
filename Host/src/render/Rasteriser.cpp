// The software rasteriser: boxes of mesh points, a fixed perspective camera, a depth
// buffer of inverse camera depths and one shade per triangle.
#include "qvhost/Rasteriser.h"

#include <algorithm>
#include <cmath>

#include "qvhost/Document.h"

namespace qvhost {

namespace {

struct Vec {
  double x, y, z;
};
Vec operator-(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(const Vec& a, const Vec& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(const Vec& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec Normalised(const Vec& a) {
  const double length = std::sqrt(Dot(a, a));
  return length > 0.0 ? a * (1.0 / length) : a;
}
Vec FromQV(const TQVVector3& v) { return {v.x, v.y, v.z}; }

constexpr double kNear = 0.1;
constexpr double kFieldOfView = 45.0 * 3.14159265358979323846 / 180.0;
const Vec kEye{7.0, 6.0, 12.0};
const Vec kTarget{0.0, 1.0, 0.0};
const Vec kLight = Normalised({0.4, 1.0, 0.7});

// The camera's axes: right, up and forward (depth grows forward).
struct Camera {
  Vec right, up, forward;
  Camera() {
    forward = Normalised(kTarget - kEye);
    right = Normalised(Cross(forward, {0.0, 1.0, 0.0}));
    up = Cross(right, forward);
  }
  Vec ToCamera(const Vec& p) const {
    const Vec d = p - kEye;
    return {Dot(d, right), Dot(d, up), Dot(d, forward)};
  }
};

const uint8_t kPalette[][3] = {{214, 88, 62}, {66, 133, 204}, {236, 186, 52}, {86, 170, 98},
                               {156, 96, 190}, {46, 170, 170}, {226, 120, 170}, {140, 140, 140}};

TQVVector3 Place(const Matrix34& m, const TQVVector3& p) {
  const TQVMatrix33& r = m.rotation;
  return {r.m[0] * p.x + r.m[1] * p.y + r.m[2] * p.z + m.translation.x,
          r.m[3] * p.x + r.m[4] * p.y + r.m[5] * p.z + m.translation.y,
          r.m[6] * p.x + r.m[7] * p.y + r.m[8] * p.z + m.translation.z};
}

// A corner on the screen: pixel coordinates and the inverse of its camera depth.
struct ScreenPoint {
  double x, y, inverseDepth;
};

class Frame {
 public:
  Frame(uint32_t width, uint32_t height)
      : fWidth(width), fHeight(height), fDepth(size_t(width) * height, 0.0),
        fFocal(0.5 * height / std::tan(kFieldOfView / 2.0)) {
    fImage.width = width;
    fImage.height = height;
    fImage.pixels.resize(size_t(width) * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
      uint8_t colour[3];
      BackgroundColour(y, height, colour);
      for (uint32_t x = 0; x < width; ++x) std::copy(colour, colour + 3, &fImage.pixels[(size_t(y) * width + x) * 3]);
    }
  }

  void Draw(const RenderTriangle& triangle) {
    for (const TQVVector3& corner : triangle.corners)
      if (!std::isfinite(corner.x) || !std::isfinite(corner.y) || !std::isfinite(corner.z)) return;
    const Vec a = FromQV(triangle.corners[0]), b = FromQV(triangle.corners[1]), c = FromQV(triangle.corners[2]);
    Vec normal = Normalised(Cross(b - a, c - a));
    if (Dot(normal, normal) == 0.0) return;
    if (Dot(normal, kEye - a) < 0.0) normal = normal * -1.0;  // both sides are lit alike
    const double shade = 0.35 + 0.65 * std::max(0.0, Dot(normal, kLight));
    uint8_t colour[3];
    for (int i = 0; i < 3; ++i) colour[i] = uint8_t(std::lround(triangle.colour[i] * shade));

    // Cut the triangle at the near plane: what is left has up to four corners.
    const Vec in[3] = {fCamera.ToCamera(a), fCamera.ToCamera(b), fCamera.ToCamera(c)};
    Vec kept[4];
    int count = 0;
    for (int i = 0; i < 3; ++i) {
      const Vec& p = in[i];
      const Vec& q = in[(i + 1) % 3];
      const bool pIn = p.z >= kNear, qIn = q.z >= kNear;
      if (pIn) kept[count++] = p;
      if (pIn != qIn) kept[count++] = p + (q - p) * ((kNear - p.z) / (q.z - p.z));
    }
    if (count < 3) return;
    ScreenPoint screen[4];
    for (int i = 0; i < count; ++i) screen[i] = Project(kept[i]);
    for (int i = 1; i + 1 < count; ++i) Fill(screen[0], screen[i], screen[i + 1], colour);
  }

  RgbImage Take() { return std::move(fImage); }

 private:
  ScreenPoint Project(const Vec& p) const {
    return {0.5 * fWidth + p.x / p.z * fFocal, 0.5 * fHeight - p.y / p.z * fFocal, 1.0 / p.z};
  }

  // Pixels whose centres lie inside the triangle (or on its edges) and nearer than what
  // was drawn there before.
  void Fill(const ScreenPoint& p0, const ScreenPoint& p1, const ScreenPoint& p2, const uint8_t colour[3]) {
    const double area = (p1.x - p0.x) * (p2.y - p0.y) - (p1.y - p0.y) * (p2.x - p0.x);
    if (std::fabs(area) < 1e-12) return;
    const double minX = std::max(0.0, std::floor(std::min({p0.x, p1.x, p2.x})));
    const double maxX = std::min(double(fWidth) - 1.0, std::ceil(std::max({p0.x, p1.x, p2.x})));
    const double minY = std::max(0.0, std::floor(std::min({p0.y, p1.y, p2.y})));
    const double maxY = std::min(double(fHeight) - 1.0, std::ceil(std::max({p0.y, p1.y, p2.y})));
    if (!(minX <= maxX && minY <= maxY)) return;
    const double scale = 1.0 / area;
    for (uint32_t y = uint32_t(minY); y <= uint32_t(maxY); ++y) {
      const double cy = y + 0.5;
      for (uint32_t x = uint32_t(minX); x <= uint32_t(maxX); ++x) {
        const double cx = x + 0.5;
        const double w0 = ((p1.x - cx) * (p2.y - cy) - (p1.y - cy) * (p2.x - cx)) * scale;
        const double w1 = ((p2.x - cx) * (p0.y - cy) - (p2.y - cy) * (p0.x - cx)) * scale;
        const double w2 = 1.0 - w0 - w1;
        if (w0 < 0.0 || w1 < 0.0 || w2 < 0.0) continue;
        const double inverseDepth = w0 * p0.inverseDepth + w1 * p1.inverseDepth + w2 * p2.inverseDepth;
        const size_t at = size_t(y) * fWidth + x;
        if (inverseDepth <= fDepth[at]) continue;
        fDepth[at] = inverseDepth;
        std::copy(colour, colour + 3, &fImage.pixels[at * 3]);
      }
    }
  }

  uint32_t fWidth, fHeight;
  std::vector<double> fDepth;  // inverse camera depth; 0 is the background, infinitely far
  double fFocal;
  Camera fCamera;
  RgbImage fImage;
};

}  // namespace

void BackgroundColour(uint32_t y, uint32_t height, uint8_t colour[3]) {
  static const uint8_t top[3] = {206, 220, 236}, bottom[3] = {112, 122, 138};
  const double t = height > 1 ? double(y) / (height - 1) : 0.0;
  for (int i = 0; i < 3; ++i) colour[i] = uint8_t(std::lround(top[i] + (bottom[i] - top[i]) * t));
}

void AddBox(RenderSnapshot& snapshot, const BoundingBox& box, const Matrix34& placement, const uint8_t colour[3]) {
  TQVVector3 corner[8];
  for (int i = 0; i < 8; ++i)
    corner[i] = Place(placement, {(i & 1) ? box.maximum.x : box.minimum.x, (i & 2) ? box.maximum.y : box.minimum.y,
                                  (i & 4) ? box.maximum.z : box.minimum.z});
  // Two triangles for each face, by the corners' bit patterns.
  static const int kFaces[6][4] = {{0, 2, 6, 4}, {1, 5, 7, 3}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 6, 7, 5}};
  for (const auto& face : kFaces) {
    RenderTriangle first{{corner[face[0]], corner[face[1]], corner[face[2]]}, {colour[0], colour[1], colour[2]}};
    RenderTriangle second{{corner[face[0]], corner[face[2]], corner[face[3]]}, {colour[0], colour[1], colour[2]}};
    snapshot.triangles.push_back(first);
    snapshot.triangles.push_back(second);
  }
}

RenderSnapshot SnapshotScene(Scene& scene) {
  RenderSnapshot snapshot;
  size_t index = 0;
  for (SceneElement* element : scene.Root().Descendants()) {
    const std::vector<TQVVector3>& points = element->MeshPoints();
    if (points.empty()) continue;
    BoundingBox box;
    for (const TQVVector3& p : points) {
      box.minimum = {std::min(box.minimum.x, p.x), std::min(box.minimum.y, p.y), std::min(box.minimum.z, p.z)};
      box.maximum = {std::max(box.maximum.x, p.x), std::max(box.maximum.y, p.y), std::max(box.maximum.z, p.z)};
    }
    AddBox(snapshot, box, element->GlobalMatrix(), kPalette[index++ % (sizeof kPalette / sizeof kPalette[0])]);
  }
  return snapshot;
}

RgbImage Rasterise(const RenderSnapshot& snapshot, uint32_t width, uint32_t height) {
  Frame frame(width, height);
  for (const RenderTriangle& triangle : snapshot.triangles) frame.Draw(triangle);
  return frame.Take();
}

}  // namespace qvhost
