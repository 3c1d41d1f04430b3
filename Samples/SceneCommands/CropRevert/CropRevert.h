// CropRevert: resets the output frame of the 3D view's active pane to offset (0, 0) and
// scale 1.0, and swaps it back on Undo and Redo.
#pragma once

#include "IHostViews.h"
#include "QVCountedPtr.h"
#include "QVSceneCommand.h"

class TCropRevertCommand final : public TQVSceneCommand {
 public:
  TCropRevertCommand() = default;

  int32_t Release() override { return QVReleaseComponent(this); }
  bool AvailabilityQueryA() override { return true; }
  bool Do() override;
  bool Undo() override { return Swap(); }
  bool Redo() override { return Swap(); }

 private:
  // Exchanges the saved frame with the target's current one.
  bool Swap();

  int32_t fSavedOffset[2] = {0, 0};
  float fSavedScale = 0.0f;
  TQVCountedPtr<IHostPaneView> fTarget;
};

#if defined(__i386__)
static_assert(sizeof(TCropRevertCommand) == 40, "TCropRevertCommand layout");
#endif
