// Modules loaded on demand.
#include "qvhost/ModuleSet.h"

#include "qvhost/AttachedComponent.h"
#include "qvhost/CommandDriver.h"
#include "qvhost/Document.h"
#include "qvhost/HostError.h"

namespace qvhost {

ModuleSet::ModuleSet(std::string folder, HostShell& shell) : fFolder(std::move(folder)) { fShell.Assign(&shell); }

ModuleSet::~ModuleSet() { UnloadAll(); }

LoadedModule& ModuleSet::ModuleOf(const std::string& component) {
  const std::string path = FindComponentModule(fFolder, component);
  auto& module = fModules[path];
  if (!module) {
    module = LoadedModule::Load(path, fShell.Get());
    fShell->Settings().resources.push_back(module->Resources());
  }
  return *module;
}

const ComponentResource& ModuleSet::ResourceOf(const std::string& component) {
  return *ModuleOf(component).Resources().FindComponent(component);
}

TQVCountedPtr<ComponentCarrier> ModuleSet::Make(Scene& scene, const std::string& component) {
  LoadedModule& module = ModuleOf(component);
  const ComponentResource& resource = *module.Resources().FindComponent(component);
  if (resource.family == QVFourCC("scmd"))
    throw HostError(component + " is a scene command, not a component to attach");
  TQVCountedPtr<IClassFactory> factory = module.Factory(resource.classId);
  // The document a component is made for is the one the host works on: its attributes
  // take their values at that document's time, also while a scene file is read.
  if (Document* document = scene.GetDocument()) fShell->Settings().currentDocument.Assign(document);
  return ComponentCarrier::Create(scene, factory.Get(), resource, module.Resources());
}

void DocumentRelease::Now() {
  fShell.Settings().currentDocument.Release();
  if (fDocument) fDocument->DetachComponents();
  fDocument.Release();
}

std::string ModuleSet::UnloadAll() {
  std::string leaks;
  for (auto& [path, module] : fModules) {
    const std::string leak = module->Unload();
    if (!leak.empty()) leaks += (leaks.empty() ? "" : "; ") + leak;
  }
  fModules.clear();
  return leaks;
}

}  // namespace qvhost
