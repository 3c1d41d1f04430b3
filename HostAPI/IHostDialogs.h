// Dialog parts the host hands to a command's ControlEvent.
#pragma once

#include "HostServices.h"

// A control of a parameter dialog (or the dialog itself, with the dialog-ready message).
struct IHostDialogControl : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x130);
  // The control's four-character identifier.
  virtual uint32_t GetIdentifier() = 0;
};

// The dialog as a container of its parts (handed over with the dialog-ready message).
struct IHostDialogPartContainer : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x132);
  // The part whose identifier is `identifier`, or null.
  virtual QVResult FindPart(uint32_t identifier, IUnknown** part) = 0;
};

// A chooser of interpolator types ('TWNR').
struct IHostInterpolatorChooser : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x133);
  virtual QVResult Configure(uint32_t family, int32_t a, int32_t b, int32_t c) = 0;
};

// A part that can show its choice in a preview part.
struct IHostPreviewLink : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x134);
  virtual QVResult LinkToPreview(IUnknown* preview) = 0;
};

// The interpolation preview ('tprv').
struct IHostInterpolatorPreview : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x135);
};

// ControlEvent message for a control the user worked (a button pressed, a value set).
constexpr int32_t kQVMessageControlChanged = 5100;
