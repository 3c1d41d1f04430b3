// A scene command's run: the tester, the dialog, Prepare, Do and the --then steps.
#include "KeyChanges.h"
#include "QVException.h"
#include "RunSteps.h"
#include "qvhost/CodePageText.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"

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
  const std::string before = SceneText(run.document);
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
  session.Release();
  run.after = SceneText(run.document);
  run.report.Section("parameters", "parameters") = parameters;
  run.report.Section("movedKeys", "moved keys", true) = keys.MovedKeys();
  run.report.Section("interpolations", "changed interpolations", true) = keys.Interpolations();
  std::vector<std::string>& changes = run.report.Section("changes", "changes", true);
  for (const std::string& change : SceneChanges(before, run.after))  // keys are reported above
    if (change.find(".track[") == std::string::npos) changes.push_back(change);
}

}  // namespace qvhost
