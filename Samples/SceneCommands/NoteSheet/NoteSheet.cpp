// The NoteSheet component: its dialog, its attribute, its persistence, its preview and
// the export trigger, and the module's creator.
#include "NoteSheet.h"

#include "IHostDialogs.h"
#include "IHostGeometry.h"
#include "IHostTokenStream.h"
#include "NoteSheetExport.h"
#include "NoteSheetGlyph.h"
#include "QVModule.h"
#include "QVServiceTable.h"
#include "SceneNodeWalk.h"

namespace {

constexpr QVGUID kNoteSheetClassId = {0x4E745368, 0x6461, 0x7461, {0x4E, 0x6F, 0x74, 0x65, 0x53, 0x68, 0x65, 0x65}};

constexpr uint32_t kGroupCode = QVFourCC("AGRP");
constexpr uint32_t kParameterBlock = QVFourCC("PARM");
constexpr uint32_t kValueKeyword = QVFourCC("Valu");
constexpr float kBoxExtent = 1.5f;

}  // namespace

TNoteSheetComponent::TNoteSheetComponent() {
  fText.AttachNew(QVNewObject<TNoteSheetText>());
  fText->Entry().Assign(fParameters.EditText);
}

QVResult TNoteSheetComponent::QueryInterface(const QVGUID& id, void** out) {
  return QueryInterfaces<IGeometryPrimitive2, IGeometryPrimitive, IAnimatedAttributes, ITokenPersistence,
                         IAttachedComponent, ICommandParameters>(this, id, out);
}

bool TNoteSheetComponent::Attach(IHostComponentOwner* owner) {
  if (owner)
    owner->GetScene(fScene.Put());
  else
    fScene.Release();
  return true;
}

// ---- Dialog ------------------------------------------------------------------------

// The copy's count of 1 becomes the out-parameter's reference. What the out-parameter
// held is released last, as it may be this component's last reference.
void TNoteSheetComponent::Clone(ICommandParameters** out, IUnknown* outer) {
  TQVCountedPtr<TNoteSheetComponent> copy;
  copy.AttachNew(QVNewObject<TNoteSheetComponent>());
  copy->fParameters = fParameters;
  copy->fScene = fScene;
  fText->CloneInto(*copy->fText);
  // Set last: until then a failure destroys the copy without involving the outer.
  copy->SetOuter(outer);
  ICommandParameters* previous = *out;
  *out = copy.Detach();
  if (previous) previous->Release();
}

QVResult TNoteSheetComponent::ParametersChanged() {
  if (!fParameters.EditText.Equals(fParameters.CommittedText)) {
    fText->Entry().Assign(fParameters.EditText);
    fText->EntryChanged();
  }
  // The dialog shows the attribute's value at the current time.
  fParameters.EditText.Assign(fText->Entry());
  fParameters.CommittedText.Assign(fParameters.EditText);
  return kQVOk;
}

QVResult TNoteSheetComponent::ControlEvent(int32_t, IUnknown* control, int32_t) {
  TQVCountedPtr<IHostDialogControl> part;
  if (QVQuery(control, part) != kQVOk) return kQVOk;
  switch (part->GetIdentifier()) {
    case QVFourCC("ADDK"):
      // Makes the two texts differ, so the next commit records EditText even unchanged.
      fParameters.CommittedText = fParameters.EditText.IsEmpty() ? "change" : "";
      break;
    case QVFourCC("CLER"):
      fParameters.EditText = "";
      break;
    case QVFourCC("BUTN"):
      fParameters.ExportRequested = true;  // run by the next bounding-box query
      break;
    default:
      break;
  }
  return kQVOk;
}

// ---- Attributes --------------------------------------------------------------------

TQVCountedPtr<IHostAnimated> TNoteSheetComponent::OuterAnimated(int32_t line) {
  TQVCountedPtr<IHostAnimated> animated;
  QueryInterface(IHostAnimated::kID, animated.PutVoid());
  if (!animated) QVThrow(kQVErrObjectMissing, kNoteSheetSource, line);
  return animated;
}

QVResult TNoteSheetComponent::RegisterAttributes() {
  TQVCountedPtr<IHostAnimated> animated = OuterAnimated(kNoteSheetNoAnimatedOnRegisterLine);
  if (!animated->GetAnimationNode()) return kQVOk;
  fText->Activate(1);
  if (IHostAnimationNode* node = animated->GetAnimationNode()) {
    const TQVFixedString<31> name("Added Comments");
    node->AddAttributeGroup(fText.Get(), name, kGroupCode);
  }
  return kQVOk;
}

// ---- Persistence -------------------------------------------------------------------

// A failure of the host's attribute group is returned like a stream failure: the
// comments were not saved.
QVResult TNoteSheetComponent::Write(IHostTokenStream* stream) {
  if (!stream) return kQVErrNotSupported;
  QVResult result = stream->BeginBlock(kParameterBlock);
  if (result == kQVOk) result = stream->WriteKeyword(kValueKeyword);
  if (result == kQVOk) result = stream->WriteStringValue(fText->Entry());
  if (result == kQVOk) result = stream->EndBlock();
  if (result != kQVOk) return result;
  if (HostApplicationServices* application = QVGetService<HostApplicationServices>())
    return application->WriteAttributeGroup(stream, kGroupCode, fText.Get());
  return kQVOk;
}

QVResult TNoteSheetComponent::Read(IHostTokenStream* stream, QVTokenFallback, void*) {
  if (!stream) return kQVErrNotSupported;
  char token[256];
  for (int opening = 0; opening < 2; ++opening)
    if (const QVResult result = stream->ReadNextToken(token)) return result;
  fText->Entry() = "";
  while (!stream->IsEndOfBlock()) {
    const uint32_t keyword = stream->GetKeyword();
    if (keyword == kGroupCode) {
      TQVCountedPtr<IHostAnimated> animated = OuterAnimated(kNoteSheetNoAnimatedOnReadLine);
      animated->Activate(1);
      HostApplicationServices* application = QVGetService<HostApplicationServices>();
      if (!application)
        stream->SkipItem();
      else if (const QVResult result = application->ReadAttributeGroup(stream, fText.Get()))
        return result;
    } else if (keyword == kParameterBlock) {
      if (const QVResult result = ReadParameterBlock(stream)) return result;
    } else {
      stream->SkipItem();
    }
    if (const QVResult result = stream->ReadNextToken(token)) return result;
  }
  return kQVOk;
}

// The text read is the attribute's, so a saved comment survives even when the host does
// not restore the parameter record.
QVResult TNoteSheetComponent::ReadParameterBlock(IHostTokenStream* stream) {
  char token[256];
  for (int opening = 0; opening < 2; ++opening)
    if (const QVResult result = stream->ReadNextToken(token)) return result;
  TQVFixedString<255> text;
  while (!stream->IsEndOfBlock()) {
    if (stream->GetKeyword() == kValueKeyword) {
      if (const QVResult result = stream->ReadStringValue(text)) return result;
    } else {
      stream->SkipItem();
    }
    if (const QVResult result = stream->ReadNextToken(token)) return result;
  }
  fText->Entry().Assign(text);
  fText->EntryChanged();
  return kQVOk;
}

// ---- Geometry ----------------------------------------------------------------------

QVResult TNoteSheetComponent::GetBoundingBox(BoundingBox& box, int32_t, int32_t) {
  if (fParameters.ExportRequested) RunRequestedExport();
  box.minimum = {-kBoxExtent, -kBoxExtent, -kBoxExtent};
  box.maximum = {kBoxExtent, kBoxExtent, kBoxExtent};
  return kQVOk;
}

// The element whose NoteSheet asked for the export: the first whose 'EXPO' is set. Its
// search raises, and leaves the request standing, when no element asked.
void TNoteSheetComponent::RunRequestedExport() {
  TQVCountedPtr<IHostCommandContext> context;
  if (fScene) fScene->GetCommandContext(context.Put());
  TQVCountedPtr<IHostSceneHierarchy> hierarchy;
  QVFindSceneHierarchy(context.Get(), fScene.Get(), hierarchy);
  TQVCountedPtr<IHostTreeElement> requesting;
  for (int32_t i = 0; hierarchy && i < hierarchy->GetElementCount(); ++i) {
    IHostTreeElement* element = hierarchy->GetElement(i);
    TQVCountedPtr<IUnknown> component;
    if (element) element->GetComponent(kNoteSheetClassCode, component.Put());
    if (!component) continue;
    TQVCountedPtr<IHostParameterList> parameters;
    if (QVQuery(component.Get(), parameters) != kQVOk)
      QVThrow(kQVErrObjectMissing, kNoteSheetSource, kNoteSheetNoParameterListLine);
    if (parameters->GetBoolParameter(kNoteSheetExportParameter)) {
      fParameters.ExportRequested = false;
      requesting.Assign(element);
      break;
    }
  }
  if (!requesting) QVThrow(kQVErrObjectMissing, kNoteSheetSource, kNoteSheetNoRequestingElementLine);
  ExportHtml(*this, requesting.Get(), hierarchy.Get());
}

QVResult TNoteSheetComponent::Preview(IHostWireframe* lines, int32_t, int32_t) {
  if (!lines) return kQVOk;
  lines->Prepare(0, 40);
  if (QVLineSet* set = lines->GetLineSet(0)) AddNoteSheetGlyph(*set);
  return kQVOk;
}

TQVComponent* CreateComponent(const QVGUID& classId) {
  if (!QVSameClass(classId, kNoteSheetClassId)) return nullptr;
  return QVNewObject<TNoteSheetComponent>();
}
