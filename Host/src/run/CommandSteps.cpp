// A scene command's run: the tester, the dialog, Prepare, Do and the --then steps.
#include "KeyChanges.h"
#include "QVException.h"
#include "RunSteps.h"
#include "qvhost/CodePageText.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"
#include "qvhost/TreeChanges.h"

namespace qvhost {

namespace {

// The elements given replace the selected elements; keys and interpolators stay.
void Select(RunScene& run) {
  if (run.request.select.empty()) return;
  Selection& selection = run.document.GetScene().GetSelection();
  selection.RemoveFamily(QVFourCC("Tree"));
  const auto elements = run.document.GetScene().Root().PathIndex();
  for (const std::string& path : run.request.select) {
    auto found = elements.find(ToHostText(path, "--select " + path));
    if (found == elements.end()) throw HostError("--select " + path + ": no such element in " + run.request.scenePath);
    selection.Add(QVFourCC("Tree"), static_cast<IHostTreeElement*>(found->second));
  }
}

// Do, and the steps after it; a Do that throws is taken back with one Undo.
void DoAndThen(RunScene& run) {
  CommandSession& session = run.session;
  try {
    session.Do(run.request.refuseAllocationInDo);
  } catch (const TQVObject&) {
    run.report.RecordThrow();
    session.UndoAfterThrow();
    return;
  }
  for (const std::string& step : run.request.then) step == "undo" ? session.Undo() : session.Redo();
}

}  // namespace

void CheckCommandOptions(const RunRequest& request) {
  const std::string& name = request.component;
  for (const RunRound& round : request.rounds)
    if (round.hasTime) throw HostError("--time: " + name + " is a scene command; it runs at the file's time");
  if (!request.on.empty()) throw HostError("--on: " + name + " is a scene command; use --select");
}

void RunCommandSteps(RunScene& run) {
  Select(run);
  const RunRound& round = run.request.rounds.front();
  SetPickAnswer(run, round.pick);
  const TreeSnapshot before = TreeSnapshot::Of(run.document);
  const KeyChanges keys(run.document);
  CommandSession& session = run.session;
  std::vector<std::string> parameters;
  try {
    session.Create();
    session.SetContext();
    run.report.enabled = session.IsEnabled();
    if (run.report.enabled || run.request.force) {
      session.DialogRound(round.edits);
      parameters = session.ParameterValues();
      if (!QVFailed(session.Prepare())) {
        run.report.ran = true;
        DoAndThen(run);
      }
    }
  } catch (const TQVObject&) {
    run.report.RecordThrow();
  }
  const TreeSnapshot after = EndSteps(run);
  run.report.Section("parameters", "parameters") = parameters;
  run.report.Section("movedKeys", "moved keys", true) = keys.MovedKeys();
  run.report.Section("interpolations", "changed interpolations", true) = keys.Interpolations();
  // Keys are reported above, by identity.
  run.report.Section("changes", "changes", true) = TreeChanges(before, after, TreeChangeOptions::WithoutKeys());
}

}  // namespace qvhost
