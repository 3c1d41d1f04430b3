// One component driven step by step as the host drives it.
#include "qvhost/CommandSession.h"

#include <cstdio>

#include "QVException.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/HostError.h"
#include "qvhost/HostMemory.h"
#include "qvhost/SceneElement.h"
#include "qvhost/SceneFile.h"
#include "qvhost/Wireframe.h"

namespace qvhost {

namespace {

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string BoxText(const BoundingBox& box) {
  char text[160];
  std::snprintf(text, sizeof text, "(%g, %g, %g) - (%g, %g, %g)", double(box.minimum.x), double(box.minimum.y),
                double(box.minimum.z), double(box.maximum.x), double(box.maximum.y), double(box.maximum.z));
  return text;
}

// The codes of `texts`; HostError for one that is no four-character code or a control
// the dialog does not have (`dialog` may be null: the dialog has none).
std::vector<uint32_t> ControlCodes(const DialogResource* dialog, int32_t dialogId, const std::vector<std::string>& texts) {
  std::vector<uint32_t> codes;
  for (const std::string& text : texts) {
    uint32_t code = 0;
    if (!ParseFourCC(text, code)) throw HostError("--control " + text + ": expected a four-character code");
    bool known = false;
    std::string names;
    if (dialog) {
      for (uint32_t control : dialog->controls) {
        known = known || control == code;
        names += (names.empty() ? "" : ", ") + FormatFourCC(control);
      }
    }
    if (!known)
      throw HostError("--control " + text + ": dialog " + std::to_string(dialogId) + " has no such control (controls: " +
                      (names.empty() ? "none" : names) + ")");
    codes.push_back(code);
  }
  return codes;
}

// Refuses the n-th allocation from now while alive; on every way out it cancels what is
// left and tells whether the refusal was reached.
class AllocationRefusal {
 public:
  AllocationRefusal(int64_t n, bool& reached) : fArmed(n > 0), fReached(reached) {
    fReached = false;
    if (fArmed) HostMemory::Instance().RefuseAllocation(n);
  }
  ~AllocationRefusal() {
    if (!fArmed) return;
    fReached = !HostMemory::Instance().RefusalPending();
    HostMemory::Instance().RefuseAllocation(0);
  }
  AllocationRefusal(const AllocationRefusal&) = delete;
  AllocationRefusal& operator=(const AllocationRefusal&) = delete;

 private:
  bool fArmed;
  bool& fReached;
};

}  // namespace

CommandSession::CommandSession(HostShell& shell, LoadedModule& module, const ComponentResource& component,
                               Document& document)
    : fShell(shell), fModule(module), fComponent(component), fJournalMark(shell.GetJournal().Size()) {
  fDocument.Assign(&document);
}

CommandSession::~CommandSession() { Release(); }

void CommandSession::Release() {
  fCommand.Release();
  fContext.Release();
  fCarrier.Release();
  fDocument.Release();
}

void CommandSession::Record(std::string operation, std::string answer) {
  const Journal& journal = fShell.GetJournal();
  std::vector<JournalEntry> asked;
  for (JournalEntry& entry : journal.EntriesFrom(fJournalMark))
    if (entry.kind != "service") asked.push_back(std::move(entry));
  fJournalMark = journal.Size();
  fSteps.push_back({std::move(operation), std::move(answer), std::move(asked)});
  if (onStep) onStep(fSteps.back());
}

void CommandSession::AfterStep() {
  fDocument->Settle();
  fDocument->Evaluate();
}

ISceneCommand& CommandSession::Create() {
  TQVCountedPtr<IClassFactory> factory = fModule.Factory(fComponent.classId);
  if (!factory) throw HostError(fModule.Path() + ": the module gave no class factory for " + fComponent.name);
  fCommand.Release();
  const QVResult created = factory->CreateInstance(nullptr, ISceneCommand::kID, fCommand.PutVoid());
  Record("CreateInstance", FormatResult(created));
  if (!fCommand) throw HostError(fModule.Path() + ": the module could not create " + fComponent.name);
  return *fCommand;
}

QVResult CommandSession::SetContext() { return SetContext(Adopt<IHostCommandContext>(new CommandContext(*fDocument)).Get()); }

QVResult CommandSession::SetContext(IHostCommandContext* context) {
  fContext.Assign(context);
  const QVResult answer = fCommand->SetContext(fContext.Get());
  Record("SetContext", FormatResult(answer));
  return answer;
}

bool CommandSession::IsEnabled() {
  TQVCountedPtr<ICommandTester> tester;
  fCommand->GetTester(tester.AddressOf());
  const bool enabled = tester && tester->IsEnabled(fContext.Get());
  Record("IsEnabled", Bool(enabled));
  return enabled;
}

QVResult CommandSession::Prepare() {
  const QVResult answer = fCommand->Prepare();
  Record("Prepare", FormatResult(answer));
  return answer;
}

bool CommandSession::Do(int64_t refuse) {
  bool done = false;
  try {
    AllocationRefusal refusal(refuse, fRefusalReached);
    done = fCommand->Do();
  } catch (const TQVObject&) {
    Record("Do", "threw");
    throw;
  }
  Record("Do", Bool(done));
  AfterStep();
  return done;
}

bool CommandSession::Undo() {
  const bool done = fCommand->Undo();
  Record("Undo", Bool(done));
  AfterStep();
  return done;
}

bool CommandSession::Redo() {
  const bool done = fCommand->Redo();
  Record("Redo", Bool(done));
  AfterStep();
  return done;
}

void CommandSession::UndoAfterThrow() {
  fShell.GetJournal().Record("undo", "Do threw: the host calls Undo once");
  try {
    Record("Undo after the exception", Bool(fCommand->Undo()));
  } catch (const TQVObject&) {
    Record("Undo after the exception", "threw");
  }
  AfterStep();
}

ComponentCarrier& CommandSession::Attach(SceneElement& element) {
  fCarrier.Assign(element.FindComponent(fComponent.classCode));
  if (!fCarrier) {
    if (fComponent.family == QVFourCC("scmd"))
      throw HostError(fComponent.name + " is a scene command, not a component to attach");
    TQVCountedPtr<IClassFactory> factory = fModule.Factory(fComponent.classId);
    if (!factory) throw HostError(fModule.Path() + ": the module gave no class factory for " + fComponent.name);
    fCarrier = ComponentCarrier::Create(fDocument->GetScene(), factory.Get(), fComponent, fModule.Resources());
    element.AttachComponent(fCarrier.Get());
    Record("Attach", element.Path());
  }
  return *fCarrier;
}

void CommandSession::MoveTo(int32_t ticks) {
  fDocument->SetTime(ticks);
  Record("time", std::to_string(ticks));
}

void CommandSession::Evaluate() {
  if (fCarrier->Query<IObjectModifier>()) fDocument->Evaluate();  // the host evaluates after every change
  if (auto primitive = fCarrier->Query<IGeometryPrimitive>()) {  // the views redraw the object
    BoundingBox box;
    box.MakeEmpty();
    const QVResult answer = primitive->GetBoundingBox(box, 0, 0);
    Record("GetBoundingBox", FormatResult(answer) + " " + BoxText(box));
  }
  // Renders the change started (an export's thumbnails) end before the scene is read.
  fDocument->GetScene().GetHostRenderSetup().GetHostRenderer().WaitUntilIdle();
}

void CommandSession::Preview() {
  auto preview = fCarrier ? fCarrier->Query<IGeometryPrimitive2>() : TQVCountedPtr<IGeometryPrimitive2>();
  if (!preview) return;
  auto lines = Adopt<Wireframe>(new Wireframe());
  const QVResult answer = preview->Preview(lines.Get(), 0, 0);
  Record("Preview", FormatResult(answer) + " " + std::to_string(lines->Lines().segments.Length()) + " segments, " +
                        std::to_string(lines->Lines().points.Length()) + " points");
}

ICommandParameters* CommandSession::Parameters() {
  TQVCountedPtr<ICommandParameters> parameters;
  if (fCommand)
    QVQuery(fCommand.Get(), parameters);
  else if (fCarrier)
    parameters = fCarrier->Query<ICommandParameters>();
  return parameters.Get();  // borrowed: the command or the carrier holds it
}

void CommandSession::DialogRound(const DialogEdits& edits) {
  ICommandParameters* parameters = Parameters();
  const int16_t id = parameters ? parameters->GetDialogID() : 0;
  const DialogResource* dialog = id ? fModule.Resources().FindDialog(id) : nullptr;
  if (!dialog && !edits.sets.empty())
    throw HostError("--set " + edits.sets.front().first + ": " + fComponent.name +
                    (id ? " has no dialog " + std::to_string(id) + " in its resource file" : " has no dialog"));
  if (!id && !edits.controls.empty())
    throw HostError("--control " + edits.controls.front() + ": " + fComponent.name + " has no dialog");
  const std::vector<uint32_t> controls = ControlCodes(dialog, id, edits.controls);
  if (!parameters || !id) return;
  fShell.GetJournal().Record("dialog", "show " + std::to_string(id));
  HeadlessDialog window(dialog, id, fShell.SharedJournal());
  void* block = parameters->GetParameterBlock();
  Record("ControlEvent dialog ready", FormatResult(parameters->ControlEvent(kQVMessageDialogReady, window.Window(), 0)));
  for (const auto& [name, value] : edits.sets) {
    if (!block) throw HostError("--set " + name + ": " + fComponent.name + " gives no parameter block");
    window.Set(block, name, value);
  }
  for (uint32_t code : controls) {
    TQVCountedPtr<IUnknown> control = window.Control(code);
    Record("ControlEvent " + FormatFourCC(code),
           FormatResult(parameters->ControlEvent(kQVMessageControlChanged, control.Get(), 0)));
  }
  Record("ParametersChanged", FormatResult(parameters->ParametersChanged()));
}

std::string CommandSession::Snapshot() const { return SceneText(*fDocument); }

std::vector<std::string> CommandSession::ParameterValues() {
  ICommandParameters* parameters = Parameters();
  const int16_t id = parameters ? parameters->GetDialogID() : 0;
  const DialogResource* dialog = id ? fModule.Resources().FindDialog(id) : nullptr;
  if (!dialog) return {};
  return HeadlessDialog(dialog, id, fShell.SharedJournal()).Values(parameters->GetParameterBlock());
}

}  // namespace qvhost
