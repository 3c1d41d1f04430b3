// The driver of a component attached to a scene element: the host attaches it (when the
// element has none), then for each round moves the scene's time, runs the component's
// dialog and evaluates the object, as the host's views would.
#include <cstdio>

#include "QVException.h"
#include "RunChecks.h"
#include "files/HostFile.h"
#include "RunSettings.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/AttributeHolder.h"
#include "qvhost/CommandDriver.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleSet.h"
#include "qvhost/SceneFile.h"
#include "qvhost/Wireframe.h"

namespace qvhost {

namespace {

// A value as printed: -0 shows as 0.
double Shown(double value) { return value + 0.0; }

// "Follower at 90000: translation (...), rotation (...) degrees about x, y, z, ...".
std::string TransformText(const SceneElement& element, int32_t ticks) {
  const TQVTransform& t = element.Local();
  const TQVEulerAngles angles = t.rotation.ToEuler();
  const double degrees = 180.0 / 3.14159265358979323846;
  char text[320];
  std::snprintf(text, sizeof text,
                "%s at %d: translation (%g, %g, %g), rotation (%g, %g, %g) degrees about x, y, z, scale %g, "
                "axis scales (%g, %g, %g)",
                element.Path().c_str(), ticks, Shown(t.translation.x), Shown(t.translation.y), Shown(t.translation.z),
                Shown(angles.c * degrees), Shown(angles.b * degrees), Shown(angles.a * degrees), Shown(t.uniformScale),
                Shown(t.axisScale.x), Shown(t.axisScale.y), Shown(t.axisScale.z));
  return text;
}

std::string BoxText(const BoundingBox& box) {
  char text[160];
  std::snprintf(text, sizeof text, "(%g, %g, %g) - (%g, %g, %g)", double(box.minimum.x), double(box.minimum.y),
                double(box.minimum.z), double(box.maximum.x), double(box.maximum.y), double(box.maximum.z));
  return text;
}

SceneElement& CarrierElement(Document& document, const RunRequest& request, const ComponentResource& resource) {
  SceneElement& root = document.GetScene().Root();
  if (!request.on.empty()) {
    SceneElement* element = root.Find(request.on);
    if (!element) throw HostError("--on " + request.on + ": no such element in " + request.scenePath);
    return *element;
  }
  for (SceneElement* element : root.Descendants())
    if (element->FindComponent(resource.classCode)) return *element;
  throw HostError(request.scenePath + ": no element carries " + request.component +
                  "; --on ELEMENT attaches one to ELEMENT");
}

// "Text Entry at 6000: \"text\"" for every key of the element's attribute holders.
std::vector<std::string> KeyValues(SceneElement& element) {
  std::vector<std::string> values;
  for (AttributeHolder* holder : HoldersOf(element)) {
    for (const AttributeHolder::Attribute& attribute : holder->Attributes()) {
      for (const auto& key : attribute.channel->track->Keys()) {
        TQVFixedString<1023> text;
        bool changed = false;
        if (key->value) key->value->GetValue(text, attribute.valueType, &changed);
        values.push_back(attribute.name + " at " + std::to_string(key->Ticks()) + ": \"" + text.CStr() + "\"");
      }
    }
  }
  return values;
}

}  // namespace

namespace {

RunReport DriveAttached(const RunRequest& request, std::string& after) {
  RunReport report;
  report.component = request.component;
  report.scene = request.scenePath;
  report.enabled = true;
  report.observer = request.onStep;

  auto shell = HostShell::Create();
  ApplyRunSettings(request, shell->Settings());
  ForgetFileWrites(shell->Settings().saveAnswer);
  ModuleSet modules(request.moduleFolder, *shell);
  report.module = modules.ModuleOf(request.component).Name();
  const ComponentResource& resource = modules.ResourceOf(request.component);
  const ResourceFile& resources = modules.ModuleOf(request.component).Resources();
  {
    TQVCountedPtr<Document> document;
    DocumentRelease release(*shell, document);
    try {
      document = modules.LoadScene(request.scenePath, shell->SharedJournal());
      shell->Settings().currentDocument.Assign(document.Get());
      SceneElement& element = CarrierElement(*document, request, resource);
      const std::string before = SceneText(*document);

      ComponentCarrier* carrier = element.FindComponent(resource.classCode);
      if (!carrier) {
        TQVCountedPtr<ComponentCarrier> made = modules.Make(document->GetScene(), request.component);
        element.AttachComponent(made.Get());
        carrier = made.Get();
        report.Step("Attach", element.Path());
      }
      TQVCountedPtr<ICommandParameters> parameters = carrier->Query<ICommandParameters>();
      const int16_t dialogId = parameters ? parameters->GetDialogID() : 0;
      const DialogResource* dialog = dialogId ? resources.FindDialog(dialogId) : nullptr;
      auto primitive = carrier->Query<IGeometryPrimitive>();
      const bool modifier = static_cast<bool>(carrier->Query<IObjectModifier>());
      for (const RunRound& round : request.rounds) {
        if (!round.pick.empty()) {
          if (!document->GetScene().Root().Find(round.pick))
            throw HostError("--pick " + round.pick + ": no such element in " + request.scenePath);
          shell->Settings().pickAnswer = round.pick;
        }
        if (round.hasTime) {
          document->SetTime(round.time);
          report.Step("time", std::to_string(round.time));
        }
        if ((!round.sets.empty() || !round.controls.empty()) && !dialog)
          throw HostError(request.component + " has no dialog in its resource file for --set or --control");
        const std::vector<uint32_t> controls = DialogControls(dialog, dialogId, round.controls);
        if (parameters && dialog) {
          HeadlessDialog window(dialog, dialogId, shell->SharedJournal());
          void* block = parameters->GetParameterBlock();
          report.Step("ControlEvent dialog ready",
                                  FormatResult(parameters->ControlEvent(kQVMessageDialogReady, window.Window(), 0)));
          for (const auto& [name, value] : round.sets) window.Set(block, name, value);
          for (uint32_t code : controls) {
            TQVCountedPtr<IUnknown> control = window.Control(code);
            report.Step("ControlEvent " + FormatFourCC(code),
                        FormatResult(parameters->ControlEvent(kQVMessageControlChanged, control.Get(), 0)));
          }
          report.Step("ParametersChanged", FormatResult(parameters->ParametersChanged()));
        }
        if (modifier) {  // the host evaluates the scene after every change
          document->Evaluate();
          report.transforms.push_back(TransformText(element, document->GetScene().time));
        }
        if (primitive) {  // the views redraw the object after every change
          BoundingBox box;
          box.MakeEmpty();
          const QVResult answer = primitive->GetBoundingBox(box, 0, 0);
          report.Step("GetBoundingBox", FormatResult(answer) + " " + BoxText(box));
        }
        // Renders the round started (an export's thumbnails) end before the scene is read.
        document->GetScene().GetHostRenderSetup().GetHostRenderer().WaitUntilIdle();
        // The block as the object's evaluation left it.
        if (parameters && dialog)
          report.parameters = HeadlessDialog(dialog, dialogId, shell->SharedJournal()).Values(parameters->GetParameterBlock());
      }
      if (auto preview = carrier->Query<IGeometryPrimitive2>()) {
        auto lines = Adopt<Wireframe>(new Wireframe());
        const QVResult answer = preview->Preview(lines.Get(), 0, 0);
        report.Step("Preview", FormatResult(answer) + " " + std::to_string(lines->Lines().segments.Length()) +
                                               " segments, " + std::to_string(lines->Lines().points.Length()) + " points");
      }
      report.ran = true;
      report.keyValues = KeyValues(element);
      after = SceneText(*document);
      for (const std::string& change : SceneChanges(before, after)) report.changes.push_back(change);
    } catch (const TQVObject&) {
      report.RecordThrow();
    }
  }
  report.leak = modules.UnloadAll();
  for (const JournalEntry& entry : shell->GetJournal().Entries())
    if (entry.kind != "service") report.journal.push_back(entry);
  report.written = WrittenFiles(shell->Settings(), shell->GetJournal());
  return report;
}

}  // namespace

RunReport RunAttachedComponent(const RunRequest& request) {
  if (!request.then.empty()) throw HostError("--then: " + request.component + " is not a scene command; it has no undo");
  if (!request.select.empty()) throw HostError("--select: " + request.component + " is attached with --on ELEMENT");
  const HostCounters before = HostCounters::Now();
  std::string after;
  RunReport report = DriveAttached(request, after);
  FinishRun(request, before, after, report);
  return report;
}

}  // namespace qvhost
