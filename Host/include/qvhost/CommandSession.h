// One component of a loaded module on one document, driven step by step the way the host
// drives it. A scene command: create, SetContext, the tester, a dialog round, Prepare, Do,
// Undo, Redo. A component attached to an element: attach, the scene's time, a dialog
// round, evaluation. Every step is recorded (what the host asked, what the module
// answered); the module's own exceptions go on to the caller, HostError says what the
// host could not do. A step tells what the module answered and what the host was asked
// since the step before; Snapshot gives the scene between steps.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Document.h"
#include "HostExport.h"
#include "ModuleInterfaces.h"
#include "ModuleLoader.h"
#include "ResourceFile.h"
#include "RunReport.h"

namespace qvhost {

class ComponentCarrier;
class SceneElement;

// The edits of one dialog round: fields written in order, then control events in order.
struct DialogEdits {
  std::vector<std::pair<std::string, std::string>> sets;  // field, value
  std::vector<std::string> controls;                      // four-character identifiers
  bool Empty() const { return sets.empty() && controls.empty(); }
};

class QVHOST_API CommandSession {
 public:
  // `component` is one of `module`'s.
  CommandSession(HostShell& shell, LoadedModule& module, const ComponentResource& component, Document& document);
  ~CommandSession();
  CommandSession(const CommandSession&) = delete;
  CommandSession& operator=(const CommandSession&) = delete;

  const ComponentResource& Component() const { return fComponent; }
  Document& GetDocument() { return *fDocument; }
  const std::vector<RunStep>& Steps() const { return fSteps; }
  // Told of each step as it ends.
  std::function<void(const RunStep&)> onStep;

  // ---- Scene commands
  // CreateInstance through the module's factory; HostError when it gives no command.
  ISceneCommand& Create();
  // A new context on the document, or `context` (null: none).
  QVResult SetContext();
  QVResult SetContext(IHostCommandContext* context);
  // The tester's answer; false without a tester.
  bool IsEnabled();
  QVResult Prepare();
  // Each settles and evaluates the document after the module answered, as the host does
  // after every command step. `refuse` > 0: the refuse-th allocation of the host's memory
  // made while the module's Do runs answers null.
  bool Do(int64_t refuse = 0);
  // Whether the last Do reached the allocation it was to refuse.
  bool RefusalReached() const { return fRefusalReached; }
  bool Undo();
  bool Redo();
  // What the host does when Do threw: Undo once (recorded in the journal). Its own
  // exception is recorded as the step's answer and goes no further.
  void UndoAfterThrow();

  // ---- Attached components
  // The component `element` carries; one is made and attached when it carries none.
  ComponentCarrier& Attach(SceneElement& element);
  // Moves the scene to `ticks`.
  void MoveTo(int32_t ticks);
  // What the views do after a change: a modifier's scene is evaluated, a primitive's box
  // asked for; renders the change started end.
  void Evaluate();
  // A primitive's wireframe preview, when it has one.
  void Preview();

  // ---- Both
  // The parameters interface of the command or the component; null when it has none.
  ICommandParameters* Parameters();
  // Dialog ready, the sets, the controls, ParametersChanged. HostError for edits the
  // dialog cannot take (no dialog, an unknown field or control, a bad value); without
  // edits and without a dialog nothing happens.
  void DialogRound(const DialogEdits& edits);
  // NAME=VALUE of every field of the dialog's block; empty without a dialog.
  std::vector<std::string> ParameterValues();
  // The scene's canonical text now.
  std::string Snapshot() const;
  // Lets go of the command, its context, the component and the document (before the
  // module goes); the session takes no more steps.
  void Release();

 private:
  void Record(std::string operation, std::string answer);
  void AfterStep();

  HostShell& fShell;
  LoadedModule& fModule;
  ComponentResource fComponent;
  TQVCountedPtr<Document> fDocument;
  std::vector<RunStep> fSteps;
  TQVCountedPtr<ISceneCommand> fCommand;
  TQVCountedPtr<IHostCommandContext> fContext;
  TQVCountedPtr<ComponentCarrier> fCarrier;
  bool fRefusalReached = false;
  size_t fJournalMark;  // the journal's entries before it are told by earlier steps
};

}  // namespace qvhost
