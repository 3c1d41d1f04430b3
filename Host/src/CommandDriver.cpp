// The generic driver of a scene command.
#include "qvhost/CommandDriver.h"

#include <cstdio>
#include <filesystem>

#include "QVException.h"
#include "RunChecks.h"
#include "files/HostFile.h"
#include "RunSettings.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/HostError.h"
#include "qvhost/HostMemory.h"
#include "qvhost/ModuleLoader.h"
#include "qvhost/ModuleSet.h"
#include "qvhost/SceneFile.h"

namespace fs = std::filesystem;

namespace qvhost {

namespace {

std::string Bool(bool value) { return value ? "true" : "false"; }

// The dialog resource of the command, refused when --set or --control need one.
const DialogResource* DialogOf(const ResourceFile& resources, int16_t id, const RunRequest& request) {
  const DialogResource* dialog = id ? resources.FindDialog(id) : nullptr;
  if (!dialog && !request.sets.empty())
    throw HostError("--set " + request.sets.front().first + ": " + request.component +
                    (id ? " has no dialog " + std::to_string(id) + " in its resource file" : " has no dialog"));
  if (!dialog && !request.controls.empty())
    throw HostError("--control " + request.controls.front() + ": " + request.component + " has no dialog");
  return dialog;
}

// Refuses the n-th allocation from now while alive; cancels what is left on every way out.
class AllocationRefusal {
 public:
  explicit AllocationRefusal(int64_t n) : fArmed(n > 0) {
    if (fArmed) HostMemory::Instance().RefuseAllocation(n);
  }
  ~AllocationRefusal() {
    if (fArmed) HostMemory::Instance().RefuseAllocation(0);
  }
  AllocationRefusal(const AllocationRefusal&) = delete;
  AllocationRefusal& operator=(const AllocationRefusal&) = delete;

 private:
  bool fArmed;
};

RunReport DriveCommand(const RunRequest& request, const std::string& modulePath, std::string& after);

}  // namespace

void RunReport::Step(std::string operation, std::string answer) {
  steps.push_back({std::move(operation), std::move(answer)});
  if (observer) observer(*this, steps.back());
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

std::string FindComponentModule(const std::string& folder, const std::string& component) {
  std::string known, unreadable;
  for (const std::string& path : FindModules(folder)) {
    const fs::path resourcePath = fs::path(path).replace_extension(".qvr.json");
    std::error_code error;
    if (!fs::exists(resourcePath, error)) continue;
    ResourceFile resources;
    try {
      resources = LoadResourceFile(resourcePath.string());
    } catch (const HostError&) {  // another module's broken resource file: skipped
      unreadable += (unreadable.empty() ? "" : ", ") + resourcePath.filename().string();
      continue;
    }
    for (const ComponentResource& entry : resources.components) {
      if (entry.name == component) return path;
      known += (known.empty() ? "" : ", ") + entry.name;
    }
  }
  throw HostError("unknown component '" + component + "' in " + folder + " (components: " +
                  (known.empty() ? "none" : known) + (unreadable.empty() ? "" : "; unreadable: " + unreadable) + ")");
}

RunReport RunCommand(const RunRequest& request) {
  CheckThenSteps(request.then);
  // Malformed codes are refused before anything loads; the dialog's own controls are
  // checked once it is known (DialogControls).
  for (const std::string& text : request.controls) {
    uint32_t code = 0;
    if (!ParseFourCC(text, code)) throw HostError("--control " + text + ": expected a four-character code");
  }

  const std::string modulePath = FindComponentModule(request.moduleFolder, request.component);
  if (LoadResourceFile(fs::path(modulePath).replace_extension(".qvr.json").string())
          .FindComponent(request.component)->family != QVFourCC("scmd"))
    return RunAttachedComponent(request);
  for (const RunRound& round : request.rounds)
    if (round.hasTime) throw HostError("--time: " + request.component + " is a scene command; it runs at the file's time");
  if (!request.on.empty()) throw HostError("--on: " + request.component + " is a scene command; use --select");

  const HostCounters before = HostCounters::Now();
  std::string after;
  RunReport report = DriveCommand(request, modulePath, after);
  FinishRun(request, before, after, report);
  return report;
}

namespace {

RunReport DriveCommand(const RunRequest& request, const std::string& modulePath, std::string& after) {
  RunReport report;
  report.component = request.component;
  report.scene = request.scenePath;
  report.observer = request.onStep;

  auto shell = HostShell::Create();
  ApplyRunSettings(request, shell->Settings());
  ForgetFileWrites(shell->Settings().saveAnswer);
  // The command's module, and those of the scene's attached components.
  ModuleSet modules(request.moduleFolder, *shell);
  LoadedModule* module = &modules.ModuleOf(request.component);
  report.module = module->Name();
  TQVCountedPtr<Document> document;
  DocumentRelease release(*shell, document);
  document = modules.LoadScene(request.scenePath, shell->SharedJournal());
  if (!request.select.empty()) {
    // The elements given replace the selected elements; keys and interpolators stay.
    Selection& selection = document->GetScene().GetSelection();
    selection.RemoveFamily(QVFourCC("Tree"));
    const auto elements = document->GetScene().Root().PathIndex();
    for (const std::string& path : request.select) {
      auto found = elements.find(path);
      if (found == elements.end()) throw HostError("--select " + path + ": no such element in " + request.scenePath);
      selection.Add(QVFourCC("Tree"), static_cast<IHostTreeElement*>(found->second));
    }
  }
  const std::string before = SceneText(*document);
  // Keys are reported by identity: tracks put their keys back in time order after edits.
  struct KeyState {
    KeyInTrack key;
    int32_t ticks;
    std::string interpolator;
  };
  auto interpolatorOf = [](const Key& key) { return key.GetInterpolator() ? key.GetInterpolator()->Type() : "none"; };
  std::vector<KeyState> keysBefore;
  for (KeyInTrack& entry : document->AllKeys())
    keysBefore.push_back({entry, entry.key->Ticks(), interpolatorOf(*entry.key)});
  shell->Settings().currentDocument.Assign(document.Get());
  if (!request.pick.empty() && !document->GetScene().Root().Find(request.pick))
    throw HostError("--pick " + request.pick + ": no such element in " + request.scenePath);
  shell->Settings().pickAnswer = request.pick;

  const ComponentResource* component = nullptr;
  for (const ComponentResource& entry : module->Resources().components)
    if (entry.name == request.component) component = &entry;

  auto context = Adopt<IHostCommandContext>(new CommandContext(*document));
  {
    TQVCountedPtr<ISceneCommand> command;
    try {
      TQVCountedPtr<IClassFactory> factory = module->Factory(component->classId);
      if (!factory) throw HostError(modulePath + ": the module gave no class factory for " + request.component);
      const QVResult created = factory->CreateInstance(nullptr, ISceneCommand::kID, command.PutVoid());
      report.Step("CreateInstance", FormatResult(created));
      if (!command) throw HostError(modulePath + ": the module could not create " + request.component);

      report.Step("SetContext", FormatResult(command->SetContext(context.Get())));
      TQVCountedPtr<ICommandTester> tester;
      command->GetTester(tester.AddressOf());
      report.enabled = tester && tester->IsEnabled(context.Get());
      report.Step("IsEnabled", Bool(report.enabled));
      tester.Release();

      if (report.enabled || request.force) {
        TQVCountedPtr<ICommandParameters> parameters;
        QVQuery(command.Get(), parameters);
        const int16_t dialogId = parameters ? parameters->GetDialogID() : 0;
        const DialogResource* dialog = DialogOf(module->Resources(), dialogId, request);
        if (parameters && dialogId) {
          const std::vector<uint32_t> controls = DialogControls(dialog, dialogId, request.controls);
          shell->GetJournal().Record("dialog", "show " + std::to_string(dialogId));
          HeadlessDialog window(dialog, dialogId, shell->SharedJournal());
          void* block = parameters->GetParameterBlock();
          report.Step("ControlEvent dialog ready",
                      FormatResult(parameters->ControlEvent(kQVMessageDialogReady, window.Window(), 0)));
          for (const auto& [name, value] : request.sets) {
            if (!block) throw HostError("--set " + name + ": " + request.component + " gives no parameter block");
            window.Set(block, name, value);
          }
          for (uint32_t code : controls) {
            TQVCountedPtr<IUnknown> control = window.Control(code);
            report.Step("ControlEvent " + FormatFourCC(code),
                        FormatResult(parameters->ControlEvent(kQVMessageControlChanged, control.Get(), 0)));
          }
          report.Step("ParametersChanged", FormatResult(parameters->ParametersChanged()));
          report.parameters = window.Values(block);
        }
        const QVResult prepared = command->Prepare();
        report.Step("Prepare", FormatResult(prepared));
        if (!QVFailed(prepared)) {
          report.ran = true;
          bool done = false;
          try {
            AllocationRefusal refusal(request.refuseAllocationInDo);
            done = command->Do();
          } catch (const TQVObject&) {
            report.RecordThrow();
            report.Step("Do", "threw");
            // The host takes back what a Do that was cut short did: its Undo, once.
            shell->GetJournal().Record("undo", "Do threw: the host calls Undo once");
            try {
              report.Step("Undo after the exception", Bool(command->Undo()));
            } catch (const TQVObject&) {
              report.Step("Undo after the exception", "threw");
            }
            document->Settle();
            document->Evaluate();
            throw;
          }
          report.Step("Do", Bool(done));
          document->Settle();
          document->Evaluate();
          for (const std::string& step : request.then) {
            report.Step(step == "undo" ? "Undo" : "Redo", Bool(step == "undo" ? command->Undo() : command->Redo()));
            document->Settle();
            document->Evaluate();
          }
        }
      }
    } catch (const TQVObject&) {
      if (!report.threw) report.RecordThrow();
    }
  }
  context.Release();
  after = SceneText(*document);
  release.Now();
  report.leak = modules.UnloadAll();

  for (const JournalEntry& entry : shell->GetJournal().Entries())
    if (entry.kind != "service") report.journal.push_back(entry);
  report.written = WrittenFiles(shell->Settings(), shell->GetJournal());
  for (const KeyState& before : keysBefore) {
    const Key& key = *before.key.key;
    if (key.Ticks() != before.ticks)
      report.movedKeys.push_back(before.key.track + ": " + std::to_string(before.ticks) + " -> " +
                                 std::to_string(key.Ticks()));
    if (interpolatorOf(key) != before.interpolator)
      report.interpolations.push_back(before.key.track + " at " + std::to_string(before.ticks) + ": " +
                                      before.interpolator + " -> " + interpolatorOf(key));
  }
  for (const std::string& change : SceneChanges(before, after))
    if (change.find(".track[") == std::string::npos) report.changes.push_back(change);
  return report;
}

}  // namespace

}  // namespace qvhost
