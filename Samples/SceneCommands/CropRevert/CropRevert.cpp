// CropRevert command and the module's creator.
#include "CropRevert.h"

#include "IHostScene.h"
#include "QVArray.h"
#include "QVModule.h"
#include "QVServiceTable.h"

namespace {

constexpr const char kSource[] = "Samples/SceneCommands/CropRevert/CropRevert";
constexpr QVGUID kCropRevertClassId = {0x43525256, 0x7276, 0x4372, {0x6F, 0x70, 0x52, 0x65, 0x76, 0x65, 0x72, 0x74}};

void Redraw(IHostPaneView* view) {
  TQVCountedPtr<IHostPaneDisplay> display;
  view->GetDisplay(display.Put());
  if (display) display->Update(0);
}

}  // namespace

bool TCropRevertCommand::Do() {
  HostApplicationServices* application = QVGetService<HostApplicationServices>();
  TQVCountedPtr<IUnknown> document;
  if (application) application->GetCurrentDocument(document.Put());
  if (!document) QVThrow(kQVErrObjectMissing, kSource, 122);
  TQVCountedPtr<IUnknown> component;
  application->GetDocumentComponent(document.Get(), QVFourCC("3Dvw"), component.Put());
  // A component that is no 3D view, or gives no pane list, counts as missing.
  TQVCountedPtr<IHost3DView> view;
  TQVCountedPtr<IHostViewPanes> panes;
  if (component && QVQuery(component.Get(), view) == kQVOk) view->GetPanes(panes.Put());
  if (!panes) QVThrow(kQVErrObjectMissing, kSource, 126);

  TQVArray<IHostViewPane*> list;
  list.Construct(0, 0, 1);
  list.UseStandardGrowth();
  panes->FillPanes(list);

  IHostViewPane* active = nullptr;
  for (IHostViewPane* pane : list) {
    if (pane && pane->IsActive()) {
      active = pane;
      break;
    }
  }
  if (!active) return false;
  TQVCountedPtr<IHostPaneView> paneView;
  active->GetView(paneView.Put());
  if (!paneView || panes->RefusesView(paneView.Get())) return false;

  paneView->GetOffset(&fSavedOffset[0], &fSavedOffset[1]);
  fSavedScale = paneView->GetScale();
  paneView->SetOffset(0, 0);
  paneView->SetScale(1.0f);
  fTarget.Assign(paneView.Get());
  Redraw(paneView.Get());
  return true;
}

bool TCropRevertCommand::Swap() {
  if (!fTarget) return false;
  const int32_t keptX = fSavedOffset[0], keptY = fSavedOffset[1];
  const float keptScale = fSavedScale;
  fTarget->GetOffset(&fSavedOffset[0], &fSavedOffset[1]);
  fSavedScale = fTarget->GetScale();
  fTarget->SetOffset(keptX, keptY);
  fTarget->SetScale(keptScale);
  Redraw(fTarget.Get());
  return true;
}

TQVComponent* CreateComponent(const QVGUID& classId) {
  if (!QVSameClass(classId, kCropRevertClassId)) return nullptr;
  return QVNewObject<TCropRevertCommand>();
}
