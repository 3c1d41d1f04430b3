// The command class this test binary's CreateComponent makes.
#pragma once

#include "QVSceneCommand.h"

extern const QVGUID kTestCommandClassId;

class TTestCommand final : public TQVSceneCommand {
 public:
  explicit TTestCommand(bool selectionRequired = false) { fSelectionRequired = selectionRequired; }
  int32_t Release() override { return QVReleaseComponent(this); }
  void* GetParameterBlock() override { return &fBlock; }
  int32_t fBlock = 0;
};
