// Fixture for the target-following modifiers through the loader: scenes read from
// scene-file text with the loaded modules at hand, modifiers attached to elements as the
// host attaches them, their dialog's parts, the object picker and the host's evaluation.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"
#include "qvhost/TokenStream.h"

class ModifierTest : public ModuleTest, public qvhost::ComponentMaker {
 protected:
  // Loads `modules` with the user's decimal separator `separator`: the modules read it
  // once, on first use.
  void LoadModules(const std::vector<std::string>& modules, const char* separator = ".") {
    setenv("QV_PROFILE_INTL_SDECIMAL", separator, 1);
    for (const std::string& module : modules) Load(module);
  }
  void TearDown() override {
    fShell->Settings().currentDocument.Release();
    for (auto& document : fDocuments) document->DetachComponents();
    fDocuments.clear();
    unsetenv("QV_PROFILE_INTL_SDECIMAL");
    ModuleTest::TearDown();
  }

  // ComponentMaker: scene files name the components of the loaded modules.
  TQVCountedPtr<qvhost::ComponentCarrier> Make(qvhost::Scene& scene, const std::string& component) override {
    for (auto& module : fModules) {
      const qvhost::ComponentResource* resource = module->Resources().FindComponent(component);
      if (!resource) continue;
      TQVCountedPtr<IClassFactory> factory = module->Factory(resource->classId);
      return qvhost::ComponentCarrier::Create(scene, factory.Get(), *resource, module->Resources());
    }
    throw qvhost::HostError("no loaded module offers " + component);
  }

  // A document read from `text`, the current one from now on.
  qvhost::Document& Open(const std::string& text) {
    fDocuments.push_back(qvhost::ParseScene(text, "modifiers.json", fShell->SharedJournal(), this));
    fShell->Settings().currentDocument.Assign(fDocuments.back().Get());
    return *fDocuments.back();
  }
  qvhost::Document& Current() { return *fDocuments.back(); }
  qvhost::SceneElement& Element(const std::string& path) {
    qvhost::SceneElement* element = Current().GetScene().Root().Find(path);
    if (!element) throw qvhost::HostError("no element " + path);
    return *element;
  }
  // `component` attached to the element at `path` by a session, as the host attaches it.
  qvhost::ComponentCarrier& Attach(const std::string& component, const std::string& path) {
    for (auto& module : fModules) {
      const auto& components = module->Resources().components;
      for (size_t i = 0; i < components.size(); ++i)
        if (components[i].name == component) return StartSession(*module, Current(), i).Attach(Element(path));
    }
    throw qvhost::HostError("no loaded module offers " + component);
  }
  qvhost::ComponentCarrier& Carrier(const std::string& path, size_t index = 0) {
    return *Element(path).Components().at(index);
  }
  static TQVCountedPtr<ICommandParameters> Parameters(qvhost::ComponentCarrier& carrier) {
    return carrier.Query<ICommandParameters>();
  }
  template <class Block>
  static Block& BlockOf(qvhost::ComponentCarrier& carrier) {
    return *static_cast<Block*>(Parameters(carrier)->GetParameterBlock());
  }

  // A dialog event from the part `part`; 'obj1' picks `pick` (empty: the pick is cancelled).
  QVResult Control(qvhost::ComponentCarrier& carrier, const char* part, const std::string& pick = "") {
    fShell->Settings().pickAnswer = pick;
    qvhost::HeadlessDialog dialog(carrier.Dialog(), carrier.Dialog() ? carrier.Dialog()->id : 0,
                                  fShell->SharedJournal());
    uint32_t code = 0;
    EXPECT_TRUE(qvhost::ParseFourCC(part, code)) << part;
    TQVCountedPtr<IUnknown> control = dialog.Control(code);
    return Parameters(carrier)->ControlEvent(kQVMessageControlChanged, control.Get(), 0);
  }
  // Writes dialog fields by name, as the host's dialog does.
  static void Set(qvhost::ComponentCarrier& carrier, const std::vector<std::pair<std::string, std::string>>& values) {
    qvhost::HeadlessDialog dialog(carrier.Dialog(), carrier.Dialog()->id, nullptr);
    for (const auto& [name, value] : values) dialog.Set(Parameters(carrier)->GetParameterBlock(), name, value);
  }
  static std::string Field(qvhost::ComponentCarrier& carrier, const std::string& name) {
    qvhost::HeadlessDialog dialog(carrier.Dialog(), carrier.Dialog()->id, nullptr);
    for (const std::string& value : dialog.Values(Parameters(carrier)->GetParameterBlock()))
      if (value.rfind(name + "=", 0) == 0) return value.substr(name.size() + 1);
    return "(no field " + name + ")";
  }

  // What a modifier stores on the host's token stream, inside the component's block.
  static std::string Written(IUnknown* component) {
    TQVCountedPtr<ITokenPersistence> persistence;
    EXPECT_EQ(QVQuery(component, persistence), kQVOk);
    auto stream = qvhost::TokenStream::ForWriting();
    stream->OpenBlock("");
    EXPECT_EQ(persistence->Write(stream.Get()), kQVOk);
    return stream->Text();
  }
  static std::string Written(qvhost::ComponentCarrier& carrier) { return Written(carrier.Component()); }
  // Its target line without indentation and line end ("obj1 1,7"), or empty: no target.
  static std::string Stored(IUnknown* component) {
    std::string text = Written(component).substr(2);  // after "{\n"
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    text = text.substr(start);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    return text.substr(0, text.size() - 2);
  }
  static std::string Stored(qvhost::ComponentCarrier& carrier) { return Stored(carrier.Component()); }
  // The line of a target whose reference list is [identifier].
  static std::string TargetLine(const qvhost::SceneElement& target) {
    return "obj1 1," + std::to_string(target.Identifier());
  }

  std::vector<std::string> Journal(const char* kind) { return fShell->GetJournal().Texts(kind); }

  std::vector<TQVCountedPtr<qvhost::Document>> fDocuments;
};

inline void ExpectVector(const TQVVector3& v, float x, float y, float z, float tolerance = 1e-5f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
}
