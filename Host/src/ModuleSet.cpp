// Modules loaded on demand.
#include "qvhost/ModuleSet.h"

#include "qvhost/AttachedComponent.h"
#include "qvhost/Document.h"
#include "qvhost/HostError.h"

#include <cstdio>

#include "QVException.h"

namespace qvhost {

ModuleSet::ModuleSet(std::string folder, HostShell& shell) : fCatalogue(std::move(folder)) { fShell.Assign(&shell); }

ModuleSet::~ModuleSet() { UnloadAll(); }

LoadedModule& ModuleSet::ModuleOf(const std::string& component) {
  const std::string& path = fCatalogue.EntryOf(component).path;
  auto found = fModules.find(path);
  if (found != fModules.end()) return *found->second;
  // Entered only once loaded: a module that fails to load leaves no entry behind.
  std::unique_ptr<LoadedModule> module = LoadedModule::Load(path, fShell.Get());
  fShell->Settings().resources.push_back(module->Resources());
  return *fModules.emplace(path, std::move(module)).first->second;
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

TQVCountedPtr<Document> ModuleSet::LoadScene(const std::string& path, std::shared_ptr<Journal> journal,
                                             uint32_t codePage) {
  fReading.clear();
  try {
    return LoadSceneFile(path, std::move(journal), this, codePage);
  } catch (const TQVObject&) {
    std::string what = "an exception of its own kind";
    try {
      throw;
    } catch (const TQVException& error) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", unsigned(error.Code()));
      what = std::string(code) + " at " + (error.GetSource() ? error.GetSource() : "(no source)") + " line " +
             std::to_string(error.Line());
    } catch (const TQVObject&) {
    }
    throw HostError(path + ": " + (fReading.empty() ? "$" : fReading) + ": the module threw " + what +
                    " on reading it: expected data the component can read");
  }
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
