// Selected items of one kind: those whose class path ends in a family and whose object
// answers an interface. Shared by the commands that act on selected keys or interpolators.
#pragma once

#include "IHostSelection.h"
#include "ModuleInterfaces.h"
#include "QVComponent.h"
#include "QVCountedPtr.h"

// Calls `visit(I*)` for each such item in index order (items without an object are
// skipped) until it answers false.
template <class I, class Visit>
void QVForEachSelected(IHostSelection* selection, uint32_t family, Visit visit) {
  if (!selection) return;
  const int32_t count = selection->GetItemCount();
  for (int32_t i = 0; i < count; ++i) {
    if (selection->GetItemClassPath(i).LastFamily() != family) continue;
    IUnknown* object = selection->GetItemObject(i);
    TQVCountedPtr<I> item;
    if (!object || QVQuery(object, item) != kQVOk) continue;
    if (!visit(item.Get())) return;
  }
}

// A tester enabled while the context's selection holds at least one such item.
template <class I>
class TSelectedItemTester final : public TQVRefObject, public ICommandTester {
 public:
  explicit TSelectedItemTester(uint32_t family) : fFamily(family) {}
  QVResult QueryInterface(const QVGUID& id, void** out) override { return TQVRefObject::QueryInterface(id, out); }
  int32_t AddRef() override { return TQVRefObject::AddRef(); }
  int32_t Release() override { return TQVRefObject::Release(); }
  void DeleteThis(uint32_t flags) override { QVDeleteRefObject(this, flags); }
  bool IsEnabled(IHostCommandContext* context) override {
    if (!context) return false;
    TQVCountedPtr<IHostSelection> selection;
    context->GetSelection(selection.Put());
    bool found = false;
    QVForEachSelected<I>(selection.Get(), fFamily, [&](I*) { return !(found = true); });
    return found;
  }

 private:
  uint32_t fFamily;
};

// Stores a new tester in `out` (releasing what it held); refused memory raises.
template <class I>
void QVMakeSelectedItemTester(ICommandTester** out, uint32_t family) {
  QVClearOut(reinterpret_cast<void**>(out));
  TQVCountedPtr<ICommandTester> made;
  made.AttachNew(QVNewObject<TSelectedItemTester<I>>(family));
  *out = made.Detach();
}
