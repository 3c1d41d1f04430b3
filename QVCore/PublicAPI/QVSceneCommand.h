// The scene command base with a default for every operation, and the default tester.
#pragma once

#include "ModuleInterfaces.h"
#include "QVComponent.h"

class TQVSceneCommand : public ISceneCommand, public TQVComponent, public ICommandParameters {
 public:
  // ISceneCommand, then ICommandParameters, then the TQVComponent rules.
  QVResult QueryInterface(const QVGUID& id, void** out) override;
  int32_t AddRef() override { return TQVComponent::AddRef(); }
  int32_t Release() override { return TQVComponent::Release(); }

  // ISceneCommand
  void GetTester(ICommandTester** tester) override;
  QVResult SetContext(IHostCommandContext*) override { return kQVOk; }
  QVResult Prepare() override { return kQVOk; }
  bool AvailabilityQueryA() override { return false; }
  bool Do() override { return false; }
  bool Undo() override { return false; }
  bool Redo() override { return false; }
  bool AvailabilityQueryB() override { return true; }

  // ICommandParameters
  void Clone(ICommandParameters** out, IUnknown*) override { QVClearOut(reinterpret_cast<void**>(out)); }
  bool AcceptsValue(void*) override { return true; }
  QVResult Operation5(void*, void*) override { return kQVErrNotImplemented; }
  QVResult Operation6(void*, void*) override { return kQVErrNotImplemented; }
  void* GetParameterBlock() override { return nullptr; }
  QVResult ParametersChanged() override { return kQVOk; }
  QVResult ControlEvent(int32_t, IUnknown*, int32_t) override { return kQVOk; }
  int16_t GetDialogID() override { return 0; }
  QVResult Operation11() override { return kQVErrNotSupported; }
  QVResult CopyTargetTo(IUnknown*) override { return kQVErrNotSupported; }

 protected:
  TQVSceneCommand() = default;
  ~TQVSceneCommand() = default;

  bool fSelectionRequired = false;
};

// The default availability tester: always enabled, or, with the selection-required flag,
// enabled exactly when the context's selection is not empty.
class TQVCommandTester final : public TQVRefObject, public ICommandTester {
 public:
  explicit TQVCommandTester(bool selectionRequired) : fSelectionRequired(selectionRequired) {}

  QVResult QueryInterface(const QVGUID& id, void** out) override {
    return TQVRefObject::QueryInterface(id, out);
  }
  int32_t AddRef() override { return TQVRefObject::AddRef(); }
  int32_t Release() override { return TQVRefObject::Release(); }
  void DeleteThis(uint32_t flags) override { QVDeleteRefObject(this, flags); }
  bool IsEnabled(IHostCommandContext* context) override;

 private:
  bool fSelectionRequired;
};

#if defined(__i386__)
static_assert(sizeof(TQVSceneCommand) == 24, "TQVSceneCommand layout");
static_assert(sizeof(TQVCommandTester) == 16, "TQVCommandTester layout");
#endif
