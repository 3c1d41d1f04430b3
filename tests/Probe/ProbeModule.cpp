// A probe module on the runtime: one trivial scene command whose Do can also fault,
// throw or trap, so that the host can test the entry points and fault translation.
#include <csignal>

#include "qvplatform/Platform.h"

#include "IHostScene.h"
#include "IHostSelection.h"
#include "IHostViews.h"
#include "QVArray.h"
#include "QVCountedPtr.h"
#include "QVModule.h"
#include "QVSceneCommand.h"
#include "QVServiceTable.h"

#ifndef PROBE_CLASS_WORD
#define PROBE_CLASS_WORD 0x50524F31u
#endif

namespace {

constexpr const char kSource[] = "tests/Probe/ProbeModule";
constexpr QVGUID kProbeClassId = {PROBE_CLASS_WORD, 0x7072, 0x6F62, {0x65, 0x6D, 0x6F, 0x64, 0x75, 0x6C, 0x65, 0x31}};

enum ProbeMode : int32_t {
  kProbeChange = 0,        // adds one to fChanges
  kProbeDivideByZero = 1,  // integer division by zero
  kProbeNullAccess = 2,    // reads through a null pointer
  kProbeBreakpoint = 3,    // executes a breakpoint instruction
  kProbeThrow = 4,         // raises 0x80010005 from this file, line 60
  kProbeTerminate = 5,     // calls the terminate handler installed on the thread
  kProbeMoveThenThrow = 6,  // moves the active pane's offset, then raises; Undo moves it back
  kProbeKeepObject = 7,     // takes a reference to the context and never gives it back
  kProbeBlockThenThrow = 8,  // allocates a 100-byte block, then raises without freeing it
  kProbeReleaseTwice = 9,   // releases the context it holds once too often
  kProbeReplaceByCopy = 10,  // replaces the first selected element by a copy of it
};

// The view of the active pane of the current document's 3D view, or null.
TQVCountedPtr<IHostPaneView> ActivePaneView() {
  TQVCountedPtr<IHostPaneView> found;
  HostApplicationServices* application = QVGetService<HostApplicationServices>();
  TQVCountedPtr<IUnknown> document, component;
  if (application) application->GetCurrentDocument(document.Put());
  if (!document) return found;
  application->GetDocumentComponent(document.Get(), QVFourCC("3Dvw"), component.Put());
  TQVCountedPtr<IHost3DView> view;
  TQVCountedPtr<IHostViewPanes> panes;
  if (component && QVQuery(component.Get(), view) == kQVOk) view->GetPanes(panes.Put());
  if (!panes) return found;
  TQVArray<IHostViewPane*> list;
  list.Construct(0, 0, 1);
  list.UseStandardGrowth();
  panes->FillPanes(list);
  for (IHostViewPane* pane : list)
    if (pane && pane->IsActive()) pane->GetView(found.Put());
  return found;
}

// The block the dialog edits: offsets are in ProbeModule.qvr.json.
struct ProbeParameters {
  int32_t mode;
  int32_t changes;      // Do adds one, Undo takes it back
  int32_t unwound;      // local destructors that ran on the way out of Do
  int32_t controlEvents;
  float factor;
};

// Counts its own destruction, to show that unwinding ran through module frames.
struct UnwindWitness {
  int32_t* counter;
  ~UnwindWitness() { ++*counter; }
};

__attribute__((noinline, no_sanitize("undefined"))) int32_t Divide(int32_t a, int32_t b) { return a / b; }

__attribute__((noinline, no_sanitize("address", "undefined"))) int32_t ReadThrough(const int32_t* p) {
  return *p;
}

class TProbeCommand final : public TQVSceneCommand {
 public:
  TProbeCommand() {
    fSelectionRequired = true;
    fParameters = {};
    fParameters.factor = 1.0f;
  }

  ~TProbeCommand() {
    fOriginalRecord.Discard();
    fCopyRecord.Discard();
  }
  int32_t Release() override { return QVReleaseComponent(this); }

  bool AvailabilityQueryA() override { return true; }
  QVResult SetContext(IHostCommandContext* context) override {
    fContext.Assign(context);
    return kQVOk;
  }
  void* GetParameterBlock() override { return &fParameters; }
  int16_t GetDialogID() override { return 150; }
  QVResult ControlEvent(int32_t, IUnknown*, int32_t) override {
    ++fParameters.controlEvents;
    return kQVOk;
  }

  bool Do() override {
    UnwindWitness witness{&fParameters.unwound};
    volatile int32_t zero = 0;
    switch (fParameters.mode) {
      case kProbeDivideByZero:
        fParameters.changes = Divide(7, zero);
        break;
      case kProbeNullAccess:
        fParameters.changes = ReadThrough(reinterpret_cast<const int32_t*>(uintptr_t(zero)));
        break;
      case kProbeBreakpoint:
        __asm__ volatile("int3");
        break;
      case kProbeThrow:
        QVThrow(kQVErrObjectMissing, kSource, 60);
      case kProbeTerminate:
        if (QVTerminateFunction handler = QVPlatform_GetTerminateHandler()) handler();
        break;
      case kProbeMoveThenThrow:
        fMoved = ActivePaneView();
        if (fMoved) {
          fMoved->GetOffset(&fOffset[0], &fOffset[1]);
          fMoved->SetOffset(fOffset[0] + 7, fOffset[1] - 7);
        }
        QVThrow(kQVErrObjectMissing, kSource, 130);
      case kProbeKeepObject:
        if (fContext) fContext->AddRef();
        break;
      case kProbeBlockThenThrow:
        QVAllocateBlock(100);
        QVThrow(kQVErrObjectMissing, kSource, 136);
      case kProbeReleaseTwice:
        if (fContext) fContext->Release();
        break;
      case kProbeReplaceByCopy:
        ReplaceSelectedByCopy();
        break;
      default:
        break;
    }
    ++fParameters.changes;
    fDone = true;
    return true;
  }
  bool Undo() override { return Swap(); }
  bool Redo() override { return Swap(); }

 private:
  // The copy goes in right after the element, which then leaves the tree.
  void ReplaceSelectedByCopy() {
    TQVCountedPtr<IHostSelection> selection;
    if (!fContext || fContext->GetSelection(selection.Put()) != kQVOk || !selection) return;
    for (int32_t i = 0; i < selection->GetItemCount() && !fOriginal; ++i)
      if (selection->GetItemClassPath(i).LastFamily() == QVFourCC("Tree")) QVQuery(selection->GetItemObject(i), fOriginal);
    if (!fOriginal || fOriginal->DeepCopy(1, fCopy.Put()) != kQVOk || !fCopy) return;
    fOriginal->InsertNextTo(fCopy.Get());
    Take(fOriginal.Get(), fOriginalRecord);
  }
  static void Take(IHostTreeElement* element, RemovalRecord& record) {
    TQVCountedPtr<IUnknown> token;
    element->Remove(token.Put(), &record);
  }
  static void PutBack(RemovalRecord& record) {
    if (IHostTreeElement* element = static_cast<IHostTreeElement*>(record.references[0])) element->ReInsert(&record);
    record.Discard();
  }
  // Undo takes the copy out and puts the element back; Redo the other way round.
  void SwapCopy() {
    if (!fUndone) {
      Take(fCopy.Get(), fCopyRecord);
      PutBack(fOriginalRecord);
    } else {
      PutBack(fCopyRecord);
      Take(fOriginal.Get(), fOriginalRecord);
    }
  }

  // Undo and Redo are one exchange.
  bool Swap() {
    if (fMoved) {  // the Do that was cut short, taken back
      fMoved->SetOffset(fOffset[0], fOffset[1]);
      fMoved.Release();
      return true;
    }
    if (!fDone) return false;
    if (fCopy) SwapCopy();
    fParameters.changes += fUndone ? 1 : -1;
    fUndone = !fUndone;
    return true;
  }

  ProbeParameters fParameters;
  TQVCountedPtr<IHostCommandContext> fContext;
  TQVCountedPtr<IHostPaneView> fMoved;
  TQVCountedPtr<IHostTreeElement> fOriginal, fCopy;  // the replaced element and its copy
  RemovalRecord fOriginalRecord, fCopyRecord;        // of the one out of the tree
  int32_t fOffset[2] = {0, 0};
  bool fDone = false;
  bool fUndone = false;
};

}  // namespace

TQVComponent* CreateComponent(const QVGUID& classId) {
  if (!QVSameClass(classId, kProbeClassId)) return nullptr;
  return QVNewObject<TProbeCommand>();
}
