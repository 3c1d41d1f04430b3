// Dialog parts the host hands to a command's ControlEvent.
#pragma once

#include "HostServices.h"

// A control of a parameter dialog (or the dialog itself, with the dialog-ready message).
struct IHostDialogControl : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x130);
  // The control's four-character identifier.
  virtual uint32_t GetIdentifier() = 0;
};

// ControlEvent message for a control the user worked (a button pressed, a value set).
constexpr int32_t kQVMessageControlChanged = 5100;
