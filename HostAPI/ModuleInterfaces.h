// Interfaces the modules implement for the host, in their fixed slot order, and the
// six entry points every module exports.
#pragma once

#include "HostServices.h"
#include "IHostSelection.h"

// Decides whether the host offers a command.
struct ICommandTester : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x200);
  virtual bool IsEnabled(IHostCommandContext* context) = 0;  // 3
};

// A scene command. The host calls SetContext, Prepare, Do, then Undo and Redo in turn.
struct ISceneCommand : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x201);
  virtual void GetTester(ICommandTester** tester) = 0;            // 3: out, old one released
  virtual QVResult SetContext(IHostCommandContext* context) = 0;  // 4
  virtual QVResult Prepare() = 0;                                 // 5: after SetContext
  virtual bool AvailabilityQueryA() = 0;                          // 6: meaning the host's
  virtual bool Do() = 0;                                          // 7: true: changed, undoable
  virtual bool Undo() = 0;                                        // 8
  virtual bool Redo() = 0;                                        // 9
  virtual bool AvailabilityQueryB() = 0;                          // 10: meaning the host's
};

// The parameter block a dialog edits in place, and the dialog's hooks.
struct ICommandParameters : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x202);
  virtual void Clone(ICommandParameters** out, IUnknown* outer) = 0;         // 3
  virtual bool AcceptsValue(void* value) = 0;                                 // 4
  virtual QVResult Operation5(void* first, void* second) = 0;                 // 5
  virtual QVResult Operation6(void* first, void* second) = 0;                 // 6
  virtual void* GetParameterBlock() = 0;                                      // 7: null: none
  virtual QVResult ParametersChanged() = 0;                                   // 8
  virtual QVResult ControlEvent(int32_t message, IUnknown* control, int32_t value) = 0;  // 9
  virtual int16_t GetDialogID() = 0;                                          // 10: 0: none
  virtual QVResult Operation11() = 0;                                         // 11
  virtual QVResult CopyTargetTo(IUnknown* other) = 0;                         // 12
};

// Control event message sent when a dialog is ready; the control is the dialog.
constexpr int32_t kQVMessageDialogReady = 5110;

// ---- Module exports ------------------------------------------------------------------

extern "C" {
typedef QVResult (*QVDllInitFunction)(IHostShell* shell);
typedef QVResult (*QVDllGetClassObjectFunction)(const QVGUID& classId, const QVGUID& interfaceId,
                                                void** out);
typedef QVResult (*QVDllCanUnloadNowFunction)();
typedef QVResult (*QVDllCleanUpFunction)();
typedef QVResult (*QVDllInitExceptionTranslatorFunction)();
typedef QVResult (*QVDllCleanUpExceptionTranslatorFunction)();
}
