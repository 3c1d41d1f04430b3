// Defaults of the scene command base and the default tester.
#include "QVSceneCommand.h"

#include "QVCountedPtr.h"

QVResult TQVSceneCommand::QueryInterface(const QVGUID& id, void** out) {
  return QueryInterfaces<ISceneCommand, ICommandParameters>(this, id, out);
}

void TQVSceneCommand::GetTester(ICommandTester** tester) {
  QVClearOut(reinterpret_cast<void**>(tester));
  TQVCountedPtr<ICommandTester> made;
  made.AttachNew(QVNewObject<TQVCommandTester>(fSelectionRequired), kQVCountedPtrRuntimeSource);
  *tester = made.Detach();
}

bool TQVCommandTester::IsEnabled(IHostCommandContext* context) {
  if (!fSelectionRequired) return true;
  if (!context) return false;
  TQVCountedPtr<IHostSelection> selection;
  context->GetSelection(selection.Put());
  return selection && !selection->IsEmpty();
}
