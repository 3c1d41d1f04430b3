// A modal dialog made from a 'Dlog' resource (alerts).
#pragma once

#include "HostServices.h"

struct IHostModalDialog : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x131);
  // Shown by calling both, in this order.
  virtual QVResult Prepare() = 0;
  virtual QVResult Show() = 0;
};
