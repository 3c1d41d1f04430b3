// The run of a component attached to an element: attach it when the element has none,
// then for each round move the scene's time, run the dialog and evaluate the object, as
// the host's views would.
#include <cstdio>

#include "QVException.h"
#include "RunSteps.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/AttributeHolder.h"
#include "qvhost/CodePageText.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneElement.h"
#include "qvhost/SceneFile.h"
#include "qvhost/TreeChanges.h"

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

// "Text Entry at 6000: \"text\"" for every key of the element's attribute holders.
std::vector<std::string> KeyValues(SceneElement& element) {
  std::vector<std::string> values;
  for (AttributeHolder* holder : HoldersOf(element)) {
    for (const AttributeHolder::Attribute& attribute : holder->Attributes()) {
      for (const auto& key : attribute.channel->track->Keys()) {
        TQVFixedString<1023> text;
        bool changed = false;
        if (key->value) key->value->GetValue(text, attribute.valueType, &changed);
        values.push_back(ShownText(attribute.name) + " at " + std::to_string(key->Ticks()) + ": \"" +
                         ShownText(text.CStr()) + "\"");
      }
    }
  }
  return values;
}

SceneElement& CarrierElement(RunScene& run) {
  const RunRequest& request = run.request;
  SceneElement& root = run.document.GetScene().Root();
  if (!request.on.empty()) {
    SceneElement* element = FindElement(run, "--on", request.on);
    if (!element) throw HostError("--on " + request.on + ": no such element in " + request.scenePath);
    return *element;
  }
  for (SceneElement* element : root.Descendants())
    if (element->FindComponent(run.session.Component().classCode)) return *element;
  throw HostError(request.scenePath + ": no element carries " + request.component +
                  "; --on ELEMENT attaches one to ELEMENT");
}

}  // namespace

void CheckAttachedOptions(const RunRequest& request) {
  const std::string& name = request.component;
  if (!request.then.empty()) throw HostError("--then: " + name + " is not a scene command; it has no undo");
  if (!request.select.empty()) throw HostError("--select: " + name + " is attached with --on ELEMENT");
}

void RunAttachedSteps(RunScene& run) {
  CommandSession& session = run.session;
  SceneElement& element = CarrierElement(run);
  const TreeSnapshot before = TreeSnapshot::Of(run.document);
  std::vector<std::string> parameters, transforms, keys;
  try {
    ComponentCarrier& carrier = session.Attach(element);
    const bool modifier = static_cast<bool>(carrier.Query<IObjectModifier>());
    for (const RunRound& round : run.request.rounds) {
      if (!round.pick.empty()) SetPickAnswer(run, round.pick);
      if (round.hasTime) session.MoveTo(round.time);
      session.DialogRound(round.edits);
      session.Evaluate();
      if (modifier) transforms.push_back(TransformText(element, run.document.GetScene().time));
      parameters = session.ParameterValues();  // the block as the evaluation left it
    }
    session.Preview();
    run.report.ran = true;
    keys = KeyValues(element);
  } catch (const TQVObject&) {
    run.report.RecordThrow();
  }
  const TreeSnapshot after = EndSteps(run);
  run.report.Section("parameters", "parameters") = parameters;
  run.report.Section("keys", "keys") = keys;
  run.report.Section("transforms", "transforms") = transforms;
  run.report.Section("changes", "changes", true) = TreeChanges(before, after);
}

}  // namespace qvhost
