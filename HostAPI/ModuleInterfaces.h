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

// ---- Components attached to scene objects --------------------------------------------

struct IHostComponentOwner;
struct IHostTokenStream;
struct IHostWireframe;
struct BoundingBox;

// The primary interface of a component the host attaches to one of its objects.
struct IAttachedComponent : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x210);
  virtual QVResult Reserved3() = 0;                  // 3
  virtual bool Attach(IHostComponentOwner* owner) = 0;  // 4
  virtual void AttachedReserved5(void* value) = 0;   // 5
};

// Attributes a component animates through the host.
struct IAnimatedAttributes : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x211);
  virtual QVResult RegisterAttributes() = 0;        // 3
  virtual QVResult Reserved4(void* value) = 0;      // 4
  virtual QVResult Reserved5(void* value) = 0;      // 5
};

// What a keyword the object does not know is handed to while it reads its block.
typedef QVResult (*QVTokenFallback)(uint32_t keyword, IHostTokenStream* stream, void* userValue);

// Saving and loading through the scene file's token stream.
struct ITokenPersistence : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x212);
  virtual QVResult Read(IHostTokenStream* stream, QVTokenFallback fallback, void* userValue) = 0;  // 3
  virtual QVResult Write(IHostTokenStream* stream) = 0;                                            // 4
};

struct IHostTreeElement;

// The primary interface of an object modifier ('modi'). The host calls Apply each time it
// evaluates the object the modifier is attached to; what operations 5-11 and 13-15 mean
// is the host's.
struct IObjectModifier : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x215);
  virtual void GetFlags(uint32_t* flags) = 0;                  // 3: out
  virtual QVResult Apply(IHostTreeElement* object) = 0;        // 4
  virtual int32_t Reserved5(void* value) = 0;                  // 5
  virtual bool Reserved6() = 0;                                // 6
  virtual void Reserved7(void* value) = 0;                     // 7
  virtual QVResult Reserved8(void* a, void* b) = 0;            // 8
  virtual QVResult Reserved9(void* a, void* b) = 0;            // 9
  virtual QVResult Reserved10(void* a, void* b, void* c) = 0;  // 10
  virtual QVResult Reserved11(void* a, void* b) = 0;           // 11
  virtual QVResult PassValue(float value, float* out) = 0;     // 12
  virtual QVResult Reserved13(void* a, void* b) = 0;           // 13
  virtual void Reserved14() = 0;                               // 14
  virtual void Reserved15() = 0;                               // 15
};

struct IGeometryPrimitive2;

struct IGeometryPrimitive : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x213);
  virtual IGeometryPrimitive2* GetPrimitive2() = 0;                        // 3
  virtual QVResult Reserved4() = 0;                                        // 4
  virtual QVResult GetBoundingBox(BoundingBox& box, int32_t a, int32_t b) = 0;  // 5
  virtual void Reserved6(void* value) = 0;                                 // 6
  virtual bool Reserved7(void* value) = 0;                                 // 7
};

struct IGeometryPrimitive2 : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x214);
  virtual QVResult Reserved3(void*, void*, void*, void*, void*, void*, void*) = 0;  // 3
  virtual QVResult Preview(IHostWireframe* lines, int32_t a, int32_t b) = 0;       // 4
  virtual QVResult Reserved5(void*, void*, void*) = 0;                             // 5
  virtual QVResult GetBoundingBox(BoundingBox& box, int32_t a, int32_t b) = 0;     // 6
  virtual QVResult Reserved7() = 0;                                                // 7
  virtual void Reserved8() = 0;                                                    // 8
  virtual bool Reserved9() = 0;                                                    // 9
  virtual bool Reserved10() = 0;                                                   // 10
  virtual void Reserved11() = 0;                                                   // 11
};

// ---- Rendering -----------------------------------------------------------------------

// What a render reports to the module that started it. The host calls RenderStarting
// before the frame, Progress while it draws and RenderFinished when the picture is ready,
// on the renderer's thread; a failure code from any of them ends the render.
struct IRenderCallback : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x216);
  virtual QVResult Progress(float done, float total) = 0;    // 3
  virtual QVResult Reserved4(void* value) = 0;               // 4
  virtual QVResult Reserved5() = 0;                          // 5
  virtual QVResult Reserved6() = 0;                          // 6
  virtual QVResult Reserved7(void* value) = 0;               // 7
  virtual QVResult Reserved8(void* value) = 0;               // 8
  virtual QVResult RenderStarting() = 0;                     // 9
  virtual QVResult RenderFinished() = 0;                     // 10
  virtual void SetLinkedObject(IUnknown* object) = 0;        // 11: kept, counted
};

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
