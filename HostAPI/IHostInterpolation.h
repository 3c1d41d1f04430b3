// Interpolators: what a key track uses between two keys, kept by a holder (the key the
// interpolation starts at).
#pragma once

#include "HostServices.h"

struct IHostInterpolatorHolder;

struct IHostInterpolator : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x150);
  // The holder the interpolator was installed in last (it may have been displaced since),
  // or null.
  virtual QVResult GetHolder(IHostInterpolatorHolder** holder) = 0;
};

struct IHostInterpolatorHolder : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x151);
  // Makes `interpolator` (null: none) the holder's interpolator.
  virtual QVResult Install(IHostInterpolator* interpolator) = 0;
};
