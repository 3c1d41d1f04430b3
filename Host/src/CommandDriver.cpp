// The generic driver of a scene command.
#include "qvhost/CommandDriver.h"

#include <cstdio>
#include <filesystem>

#include "QVException.h"
#include "RunSettings.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/HostError.h"
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

}  // namespace

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
  for (const std::string& step : request.then)
    if (step != "undo" && step != "redo") throw HostError("--then " + step + ": expected undo or redo");
  std::vector<uint32_t> controls;
  for (const std::string& text : request.controls) {
    uint32_t code = 0;
    if (!ParseFourCC(text, code)) throw HostError("--control " + text + ": expected a four-character code");
    controls.push_back(code);
  }

  const std::string modulePath = FindComponentModule(request.moduleFolder, request.component);
  if (LoadResourceFile(fs::path(modulePath).replace_extension(".qvr.json").string())
          .FindComponent(request.component)->family != QVFourCC("scmd"))
    return RunAttachedComponent(request);
  for (const RunRound& round : request.rounds)
    if (round.hasTime) throw HostError("--time: " + request.component + " is a scene command; it runs at the file's time");
  if (!request.on.empty()) throw HostError("--on: " + request.component + " is a scene command; use --select");

  RunReport report;
  report.component = request.component;
  report.scene = request.scenePath;

  auto shell = HostShell::Create();
  ApplyRunSettings(request, shell->Settings());
  // The command's module, and those of the scene's attached components.
  ModuleSet modules(request.moduleFolder, *shell);
  LoadedModule* module = &modules.ModuleOf(request.component);
  TQVCountedPtr<Document> document;
  DocumentRelease release(*shell, document);
  document = LoadSceneFile(request.scenePath, shell->SharedJournal(), &modules);
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

  report.module = module->Name();
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
      report.steps.push_back({"CreateInstance", FormatResult(created)});
      if (!command) throw HostError(modulePath + ": the module could not create " + request.component);

      report.steps.push_back({"SetContext", FormatResult(command->SetContext(context.Get()))});
      TQVCountedPtr<ICommandTester> tester;
      command->GetTester(tester.AddressOf());
      report.enabled = tester && tester->IsEnabled(context.Get());
      report.steps.push_back({"IsEnabled", Bool(report.enabled)});
      tester.Release();

      if (report.enabled || request.force) {
        TQVCountedPtr<ICommandParameters> parameters;
        QVQuery(command.Get(), parameters);
        const int16_t dialogId = parameters ? parameters->GetDialogID() : 0;
        const DialogResource* dialog = DialogOf(module->Resources(), dialogId, request);
        if (parameters && dialogId) {
          shell->GetJournal().Record("dialog", "show " + std::to_string(dialogId));
          HeadlessDialog window(dialog, dialogId, shell->SharedJournal());
          void* block = parameters->GetParameterBlock();
          report.steps.push_back({"ControlEvent dialog ready",
                                  FormatResult(parameters->ControlEvent(kQVMessageDialogReady, window.Window(), 0))});
          for (const auto& [name, value] : request.sets) {
            if (!block) throw HostError("--set " + name + ": " + request.component + " gives no parameter block");
            window.Set(block, name, value);
          }
          for (uint32_t code : controls) {
            TQVCountedPtr<IUnknown> control = window.Control(code);
            report.steps.push_back({"ControlEvent " + FormatFourCC(code),
                                    FormatResult(parameters->ControlEvent(kQVMessageControlChanged, control.Get(), 0))});
          }
          report.steps.push_back({"ParametersChanged", FormatResult(parameters->ParametersChanged())});
          report.parameters = window.Values(block);
        }
        const QVResult prepared = command->Prepare();
        report.steps.push_back({"Prepare", FormatResult(prepared)});
        if (!QVFailed(prepared)) {
          report.ran = true;
          report.steps.push_back({"Do", Bool(command->Do())});
          document->Settle();
          document->Evaluate();
          for (const std::string& step : request.then) {
            report.steps.push_back({step == "undo" ? "Undo" : "Redo",
                                    Bool(step == "undo" ? command->Undo() : command->Redo())});
            document->Settle();
            document->Evaluate();
          }
        }
      }
    } catch (const TQVObject&) {
      report.RecordThrow();
    }
  }
  context.Release();
  const std::string after = SceneText(*document);
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
  if (!request.savePath.empty() && !report.threw) {
    WriteFileAtomically(request.savePath, after);
    report.saved = request.savePath;
  }
  return report;
}

}  // namespace qvhost
