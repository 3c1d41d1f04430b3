// InterpolatorSweep: installs the interpolator chosen in the dialog in the holder of every
// selected interpolator; Undo puts the displaced ones back, Redo the chosen one again.
#pragma once

#include "IHostDialogs.h"
#include "IHostInterpolation.h"
#include "IHostScene.h"
#include "InterpolatorSweepParameters.h"
#include "QVArray.h"
#include "QVCountedPtr.h"
#include "QVSceneCommand.h"

// The walk's raise when the hierarchy has no tree, at this module's header.
inline constexpr const char kInterpolatorSweepHeaderSource[] = "Samples/SceneCommands/InterpolatorSweep/InterpolatorSweep";
constexpr int32_t kInterpolatorSweepHeaderLine = 145;

class TInterpolatorSweepCommand final : public TQVSceneCommand {
 public:
  TInterpolatorSweepCommand() = default;

  int32_t Release() override { return QVReleaseComponent(this); }
  void GetTester(ICommandTester** tester) override;
  QVResult SetContext(IHostCommandContext* context) override;
  QVResult Prepare() override;
  bool AvailabilityQueryA() override { return true; }
  bool Do() override;
  bool Undo() override { return Restore(false); }
  bool Redo() override { return Restore(true); }

  void* GetParameterBlock() override { return &fParameters; }
  QVResult ParametersChanged() override;
  QVResult ControlEvent(int32_t message, IUnknown* control, int32_t value) override;
  int16_t GetDialogID() override { return 160; }

 private:
  // Links the chooser 'TWNR' to the preview 'tprv' through the dialog's parts.
  void LinkChooserToPreview();
  // Undo (the displaced interpolators) and Redo (the chosen one).
  bool Restore(bool chosen);
  void NotifyAndClearSelection();

  InterpolatorSweepParameters fParameters = {nullptr};
  TQVCountedPtr<IHostCommandContext> fContext;
  TQVCountedPtr<IHostScene> fScene;
  TQVCountedPtr<IHostSceneHierarchy> fHierarchy;
  TQVCountedPtr<IHostSelection> fSelection;
  TQVCountedPtr<IHostSelection> fSnapshot;
  TQVCountedPtr<IUnknown> fTarget;
  TQVArray<IHostInterpolatorHolder*> fHolders;
  TQVArray<IHostInterpolator*> fOldInterpolators;
  TQVCountedPtr<IHostInterpolator> fChosenInterpolator;
  TQVCountedPtr<IHostDialogPartContainer> fDialog;
};

#if defined(__i386__)
static_assert(sizeof(InterpolatorSweepParameters) == 4, "InterpolatorSweep parameter block");
#endif
