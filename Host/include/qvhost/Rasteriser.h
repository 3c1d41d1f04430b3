// The host's software rasteriser: the scene's meshes seen from a fixed camera, drawn with
// a depth buffer and flat shading into an 8-bit RGB picture; and its JPEG writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HostExport.h"
#include "QVMath.h"

namespace qvhost {

class Scene;

// An 8-bit RGB picture: rows from the top, three bytes a pixel, no padding.
struct RgbImage {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;

  const uint8_t* At(uint32_t x, uint32_t y) const { return &pixels[(size_t(y) * width + x) * 3]; }
};

// A triangle in scene coordinates and its colour.
struct RenderTriangle {
  TQVVector3 corners[3];
  uint8_t colour[3];
};

// What one frame draws, copied out of the scene so that drawing needs no scene access.
struct RenderSnapshot {
  std::vector<RenderTriangle> triangles;
};

// Every element with mesh points as the 12 triangles of the box of its points, placed by
// its global matrix and coloured by its place in the tree. The caller keeps the scene
// from changing meanwhile.
QVHOST_API RenderSnapshot SnapshotScene(Scene& scene);
// Adds the 12 triangles of `box`, placed by `placement`, in `colour`.
QVHOST_API void AddBox(RenderSnapshot& snapshot, const BoundingBox& box, const Matrix34& placement,
                       const uint8_t colour[3]);

// The camera looks from (7, 6, 12) at (0, 1, 0), y up, 45 degrees from the bottom of the
// picture to its top; what is nearer than 0.1 is cut away.
QVHOST_API RgbImage Rasterise(const RenderSnapshot& snapshot, uint32_t width, uint32_t height);

// The colour of the background at row `y` of a picture `height` rows high.
QVHOST_API void BackgroundColour(uint32_t y, uint32_t height, uint8_t colour[3]);

// Writes `image` as a baseline JPEG of `quality` (1-100) to `path`, through a temporary
// file renamed into place. On failure nothing is left at `path`, and `error` says why.
[[nodiscard]] QVHOST_API bool WriteJpeg(const RgbImage& image, const std::string& path, int quality,
                                        std::string& error);

}  // namespace qvhost
