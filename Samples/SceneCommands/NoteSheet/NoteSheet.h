// NoteSheet: an object that keeps timed comments in a scene. Its dialog's text is the
// comment at the current time; the comments are the keys of the animated "Text Entry"
// attribute, and a button exports them as an HTML page.
#pragma once

#include "IHostAttributes.h"
#include "IHostScene.h"
#include "ModuleInterfaces.h"
#include "NoteSheetText.h"
#include "QVComponent.h"
#include "QVCountedPtr.h"
#include "QVMath.h"
#include "QVString.h"

// Raising sites of the module's own checks.
inline constexpr const char kNoteSheetSource[] = "Samples/SceneCommands/NoteSheet/NoteSheet";
constexpr int32_t kNoteSheetNoAnimatedOnRegisterLine = 345;
constexpr int32_t kNoteSheetNoAnimatedOnReadLine = 446;
constexpr int32_t kNoteSheetNoParameterListLine = 571;
constexpr int32_t kNoteSheetNoRequestingElementLine = 582;
constexpr int32_t kNoteSheetNoTextTrackLine = 895;
constexpr int32_t kNoteSheetNoPageStreamLine = 981;

constexpr uint32_t kNoteSheetClassCode = QVFourCC("NtSh");
constexpr uint32_t kNoteSheetExportParameter = QVFourCC("EXPO");
constexpr int16_t kNoteSheetDialog = 1200;

// The block the dialog edits in place; its layout is shared with the dialog description
// (597 bytes in the 32-bit layout, no padding after the last field).
#pragma pack(push, 1)
struct NoteSheetParameters {
  TQVFixedString<255> EditText;       // the dialog's text field
  TQVFixedString<255> CommittedText;  // the text last handed to the attribute
  float TextColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};        // page text, R G B A
  float BackgroundColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};  // page background
  bool ShowThumbnails = true;
  bool ShowTimecode = true;
  bool ShowFrameNumbers = false;
  bool TableBorder = false;
  int32_t ThumbnailSize = 1;  // 0-3: the render size divided by 8, 4, 2, 1
  int32_t Columns = 6;        // comments per table row
  int32_t CellPadding = 10;
  uint32_t CommentAlignment = QVFourCC("CENT");  // 'CENT', 'LEFT' or 'RIGT'
  bool ExportRequested = false;                  // the export button; parameter 'EXPO'
};
#pragma pack(pop)

class TNoteSheetComponent final : public IAttachedComponent,
                                  public TQVComponent,
                                  public ICommandParameters,
                                  public IAnimatedAttributes,
                                  public ITokenPersistence,
                                  public IGeometryPrimitive,
                                  public IGeometryPrimitive2 {
 public:
  TNoteSheetComponent();

  // IGeometryPrimitive2, IGeometryPrimitive, IAnimatedAttributes, ITokenPersistence,
  // IAttachedComponent, ICommandParameters, then the TQVComponent rules.
  QVResult QueryInterface(const QVGUID& id, void** out) override;
  int32_t AddRef() override { return TQVComponent::AddRef(); }
  int32_t Release() override { return QVReleaseComponent(this); }

  // IAttachedComponent
  QVResult Reserved3() override { return kQVErrNotImplemented; }
  bool Attach(IHostComponentOwner* owner) override;
  void AttachedReserved5(void*) override {}

  // ICommandParameters
  void Clone(ICommandParameters** out, IUnknown* outer) override;
  bool AcceptsValue(void*) override { return true; }
  QVResult Operation5(void*, void*) override { return kQVErrNotImplemented; }
  QVResult Operation6(void*, void*) override { return kQVErrNotImplemented; }
  void* GetParameterBlock() override { return &fParameters; }
  QVResult ParametersChanged() override;
  QVResult ControlEvent(int32_t message, IUnknown* control, int32_t value) override;
  int16_t GetDialogID() override { return kNoteSheetDialog; }
  QVResult Operation11() override { return kQVErrNotSupported; }
  QVResult CopyTargetTo(IUnknown*) override { return kQVErrNotSupported; }

  // IAnimatedAttributes
  QVResult RegisterAttributes() override;
  QVResult Reserved4(void*) override { return kQVOk; }
  QVResult Reserved5(void*) override { return kQVErrNotImplemented; }

  // ITokenPersistence
  QVResult Read(IHostTokenStream* stream, QVTokenFallback, void*) override;
  QVResult Write(IHostTokenStream* stream) override;

  // IGeometryPrimitive
  IGeometryPrimitive2* GetPrimitive2() override { return this; }
  QVResult Reserved4() override { return kQVOk; }
  QVResult GetBoundingBox(BoundingBox& box, int32_t, int32_t) override;
  void Reserved6(void*) override {}
  bool Reserved7(void*) override { return false; }

  // IGeometryPrimitive2
  QVResult Reserved3(void*, void*, void*, void*, void*, void*, void*) override { return kQVOk; }
  QVResult Preview(IHostWireframe* lines, int32_t, int32_t) override;
  QVResult Reserved5(void*, void*, void*) override { return kQVOk; }
  QVResult Reserved7() override { return kQVErrNotImplemented; }
  void Reserved8() override {}
  bool Reserved9() override { return false; }
  bool Reserved10() override { return false; }
  void Reserved11() override {}

  NoteSheetParameters& Parameters() { return fParameters; }
  TNoteSheetText& Text() { return *fText; }
  IHostScene* Scene() const { return fScene.Get(); }
  TQVCountedPtr<IUnknown>& Progress() { return fProgress; }

 private:
  // The export the button asked for, when this component's element is found.
  void RunRequestedExport();
  QVResult ReadParameterBlock(IHostTokenStream* stream);
  // The outer object's IHostAnimated; raises 0x80010005 at `line` when it has none.
  TQVCountedPtr<IHostAnimated> OuterAnimated(int32_t line);

  TQVCountedPtr<TNoteSheetText> fText;
  NoteSheetParameters fParameters;
  TQVCountedPtr<IHostScene> fScene;
  TQVCountedPtr<IUnknown> fProgress;  // the last thumbnail export's progress display
};

#if defined(__i386__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(NoteSheetParameters) == 597, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, CommittedText) == 272, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, TextColor) == 544, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, BackgroundColor) == 560, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, ShowThumbnails) == 576, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, ShowTimecode) == 577, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, ShowFrameNumbers) == 578, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, TableBorder) == 579, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, ThumbnailSize) == 580, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, Columns) == 584, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, CellPadding) == 588, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, CommentAlignment) == 592, "NoteSheet parameter block");
static_assert(offsetof(NoteSheetParameters, ExportRequested) == 596, "NoteSheet parameter block");
#pragma GCC diagnostic pop
static_assert(sizeof(TNoteSheetComponent) == 648, "TNoteSheetComponent layout");
#endif
