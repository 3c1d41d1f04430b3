// One run of a component: the shell, the modules folder indexed once, the scene, one
// command session, the steps of the component's kind, and what the run left behind.
#include "qvhost/ComponentRun.h"

#include "QVException.h"
#include "RunChecks.h"
#include "RunSettings.h"
#include "RunSteps.h"
#include "files/HostFile.h"
#include "qvhost/CodePageText.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleSet.h"
#include "qvhost/SceneElement.h"
#include "qvhost/SceneFile.h"

namespace qvhost {

namespace {

// What can be refused before anything loads.
void CheckRequest(const RunRequest& request) {
  CheckThenSteps(request.then);
  for (const RunRound& round : request.rounds) {
    for (const std::string& text : round.edits.controls) {
      uint32_t code = 0;  // the dialog's own controls are checked once it is known
      if (!ParseFourCC(text, code)) throw HostError("--control " + text + ": expected a four-character code");
    }
  }
}

}  // namespace

SceneElement* FindElement(RunScene& run, const std::string& option, const std::string& path) {
  return run.document.GetScene().Root().Find(ToHostText(path, option + " " + path));
}

TreeSnapshot EndSteps(RunScene& run) {
  run.session.Release();
  run.after = SceneText(run.document);
  return TreeSnapshot::Of(run.document);
}

void SetPickAnswer(RunScene& run, const std::string& path) {
  if (!path.empty() && !FindElement(run, "--pick", path))
    throw HostError("--pick " + path + ": no such element in " + run.request.scenePath);
  run.shell.Settings().pickAnswer = path;
}

RunReport RunComponent(const RunRequest& request) {
  CheckRequest(request);
  const HostCounters before = HostCounters::Now();
  RunReport report;
  report.component = request.component;
  report.scene = request.scenePath;
  std::string after;
  {
    auto shell = HostShell::Create();
    ModuleSet modules(request.moduleFolder, *shell);
    const ComponentResource& component = modules.Catalogue().ComponentOf(request.component);
    const bool command = component.family == QVFourCC("scmd");
    command ? CheckCommandOptions(request) : CheckAttachedOptions(request);
    ApplyRunSettings(request, shell->Settings());
    ForgetFileWrites(shell->Settings().saveAnswer);

    // The scene first: it sets the code page the modules see before the first of them loads.
    TQVCountedPtr<Document> document;
    DocumentRelease release(*shell, document);
    document = modules.LoadScene(request.scenePath, shell->SharedJournal(), request.codePage);
    shell->Settings().currentDocument.Assign(document.Get());
    LoadedModule& module = modules.ModuleOf(request.component);
    report.module = module.Name();
    CommandSession session(*shell, module, component, *document);
    session.onStep = [&](const RunStep& step) {
      report.steps.push_back(step);
      if (request.onStep) request.onStep(report, step);
    };
    RunScene run{request, *shell, *document, session, report, {}};
    command ? RunCommandSteps(run) : RunAttachedSteps(run);
    after = std::move(run.after);
    release.Now();
    report.leak = modules.UnloadAll();

    for (const JournalEntry& entry : shell->GetJournal().Entries())
      if (entry.kind != "service") report.journal.push_back(entry);
    const std::vector<std::string> written = WrittenFiles(shell->Settings(), shell->GetJournal());
    if (!written.empty()) report.Section("written", "written") = written;
  }
  FinishRun(request, before, after, report);
  return report;
}

void RunReport::RecordThrow() {
  threw = true;
  try {
    throw;
  } catch (const TQVException& error) {
    code = error.Code();
    source = error.GetSource() ? error.GetSource() : "";
    line = error.Line();
  } catch (const TQVObject&) {
  }
}

std::vector<std::string>& RunReport::Section(std::string key, std::string title, bool isChange) {
  sections.push_back({std::move(key), std::move(title), {}, isChange});
  return sections.back().lines;
}

}  // namespace qvhost
