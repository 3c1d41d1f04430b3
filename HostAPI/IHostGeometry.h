// The line set a component draws its preview into.
#pragma once

#include "QVArray.h"
#include "HostServices.h"

struct QVPoint3 {
  float x, y, z;
};
struct QVIndexPair {
  int32_t first, second;
};

struct QVLineSet {
  int32_t reserved0;
  TQVArray<QVPoint3> points;
  int32_t reserved1;
  TQVArray<QVIndexPair> segments;
};
#if defined(__i386__)
static_assert(sizeof(QVLineSet) == 40, "line set layout");
#endif

struct IHostWireframe : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x190);
  virtual void Prepare(int32_t a, int32_t b) = 0;
  virtual QVLineSet* GetLineSet(int32_t index) = 0;  // borrowed
};
