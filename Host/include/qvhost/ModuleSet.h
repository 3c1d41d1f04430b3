// The modules of a folder, indexed once and loaded when one of their components is first
// asked for. It makes the attached components scene files name.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "ModuleCatalogue.h"
#include "ModuleLoader.h"
#include "SceneFile.h"

namespace qvhost {

class QVHOST_API ModuleSet final : public ComponentMaker {
 public:
  ModuleSet(std::string folder, HostShell& shell);
  ~ModuleSet() override;
  ModuleSet(const ModuleSet&) = delete;
  ModuleSet& operator=(const ModuleSet&) = delete;

  const ModuleCatalogue& Catalogue() const { return fCatalogue; }

  // The module offering `component`, loaded on first use; HostError when none does.
  LoadedModule& ModuleOf(const std::string& component);
  const ComponentResource& ResourceOf(const std::string& component);
  TQVCountedPtr<ComponentCarrier> Make(Scene& scene, const std::string& component) override;
  void Reading(const std::string& where) override { fReading = where; }
  // Reads a scene file whose attached components this set makes. A module that throws
  // while one of them is made or reads its data gives HostError naming the file, the
  // JSON path and the exception: the data is what the module cannot take. `codePage` as
  // LoadSceneFile takes it (0: the file's own).
  TQVCountedPtr<Document> LoadScene(const std::string& path, std::shared_ptr<Journal> journal, uint32_t codePage = 0);
  // Unloads every module; empty, or what each module that could not go still holds.
  std::string UnloadAll();

 private:
  ModuleCatalogue fCatalogue;
  TQVCountedPtr<HostShell> fShell;
  std::map<std::string, std::unique_ptr<LoadedModule>> fModules;  // by path
  std::string fReading;  // the component a scene file being read makes now
};

// Lets a document and its attached components go before the modules that made them are
// unloaded, on every way out of a scope.
class QVHOST_API DocumentRelease {
 public:
  DocumentRelease(HostShell& shell, TQVCountedPtr<Document>& document) : fShell(shell), fDocument(document) {}
  ~DocumentRelease() { Now(); }
  void Now();
  DocumentRelease(const DocumentRelease&) = delete;
  DocumentRelease& operator=(const DocumentRelease&) = delete;

 private:
  HostShell& fShell;
  TQVCountedPtr<Document>& fDocument;
};

}  // namespace qvhost
