// The InterpolatorSweep command and the module's creator.
#include "InterpolatorSweep.h"

#include "QVModule.h"
#include "QVServiceTable.h"
#include "SceneNodeWalk.h"
#include "SelectedItems.h"

namespace {

constexpr const char kSource[] = "Samples/SceneCommands/InterpolatorSweep/InterpolatorSweep";
constexpr QVGUID kInterpolatorSweepClassId = {0x54776565, 0x7377, 0x6565, {0x49, 0x6E, 0x74, 0x53, 0x77, 0x65, 0x65, 0x70}};

}  // namespace

void TInterpolatorSweepCommand::GetTester(ICommandTester** tester) {
  QVMakeSelectedItemTester<IHostInterpolator>(tester, QVFourCC("Twee"));
}

QVResult TInterpolatorSweepCommand::SetContext(IHostCommandContext* context) {
  fContext.Assign(context);
  fSelection.Release();
  fSnapshot.Release();
  if (fContext) fContext->GetSelection(fSelection.Put());
  if (fSelection) fSelection->GetSnapshot(fSnapshot.Put());
  return kQVOk;
}

QVResult TInterpolatorSweepCommand::Prepare() {
  if (!fContext) return kQVOk;
  fContext->GetScene(fScene.Put());
  fContext->GetChangeNotificationTarget(fTarget.Put());
  if (!fTarget) QVThrow(kQVErrObjectMissing, kSource, 195);
  QVFindSceneHierarchy(fContext.Get(), fScene.Get(), fHierarchy);
  return kQVOk;
}

QVResult TInterpolatorSweepCommand::ControlEvent(int32_t message, IUnknown* control, int32_t) {
  if (message != kQVMessageDialogReady || fDialog) return kQVOk;
  QVQuery(control, fDialog);
  if (fDialog) {
    TQVCountedPtr<IUnknown> part;
    fDialog->FindPart(QVFourCC("TWNR"), part.Put());
    TQVCountedPtr<IHostInterpolatorChooser> chooser;
    if (QVQuery(part.Get(), chooser) == kQVOk) chooser->Configure(QVFourCC("twee"), 0, 1, 0);
  }
  LinkChooserToPreview();
  return kQVOk;
}

void TInterpolatorSweepCommand::LinkChooserToPreview() {
  if (!fDialog) return;
  TQVCountedPtr<IUnknown> previewPart, chooserPart;
  fDialog->FindPart(QVFourCC("tprv"), previewPart.Put());
  fDialog->FindPart(QVFourCC("TWNR"), chooserPart.Put());
  TQVCountedPtr<IHostInterpolatorPreview> preview;
  QVQuery(previewPart.Get(), preview);
  TQVCountedPtr<IHostPreviewLink> link;
  if (QVQuery(chooserPart.Get(), link) == kQVOk) link->LinkToPreview(preview.Get());
}

QVResult TInterpolatorSweepCommand::ParametersChanged() {
  if (!fParameters.ChosenInterpolatorItem) {
    fChosenInterpolator.Release();
    return kQVOk;
  }
  const QVResult result = QVQuery(fParameters.ChosenInterpolatorItem, fChosenInterpolator);
  LinkChooserToPreview();
  return result;
}

bool TInterpolatorSweepCommand::Do() {
  fOldInterpolators.SetLength(0);
  fHolders.SetLength(0);
  QVForEachSelected<IHostInterpolator>(fSelection.Get(), QVFourCC("Twee"), [&](IHostInterpolator* old) {
    TQVCountedPtr<IHostInterpolatorHolder> holder;
    old->GetHolder(holder.Put());
    // Both entries are made before the install, so that a refused allocation leaves a
    // record of every holder changed so far and Undo can put them all back.
    const int32_t index = fHolders.Length();
    if (!fOldInterpolators.Append(old)) QVRaiseOutOfMemory();
    if (!fHolders.Append(holder.Get())) {
      fOldInterpolators.SetLength(index);
      QVRaiseOutOfMemory();
    }
    if (holder) holder->Install(fChosenInterpolator.Get());
    old->GetHolder(holder.Put());  // asked again, as the holder may have changed
    fHolders.Store(index, holder.Get());
    return true;
  });
  NotifyAndClearSelection();
  return true;
}

// An interpolator that had no holder was not replaced: it is skipped.
bool TInterpolatorSweepCommand::Restore(bool chosen) {
  for (int32_t i = 0; i < fHolders.Length(); ++i)
    if (fHolders[i]) fHolders[i]->Install(chosen ? fChosenInterpolator.Get() : fOldInterpolators[i]);
  TSceneNodeWalker walker(fScene.Get(), fHierarchy.Get(), kInterpolatorSweepHeaderSource, kInterpolatorSweepHeaderLine);
  while (IHostAnimationNode* node = walker.NextNode()) node->KeysChanged();
  NotifyAndClearSelection();
  return true;
}

void TInterpolatorSweepCommand::NotifyAndClearSelection() {
  if (HostNotificationServices* notifications = QVGetService<HostNotificationServices>())
    notifications->NotifyChange(fTarget.Get(), 0, fSnapshot.Get());
  if (fSelection) fSelection->Clear();
}

TQVComponent* CreateComponent(const QVGUID& classId) {
  if (!QVSameClass(classId, kInterpolatorSweepClassId)) return nullptr;
  return QVNewObject<TInterpolatorSweepCommand>();
}
