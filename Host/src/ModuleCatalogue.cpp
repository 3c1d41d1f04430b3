// The modules folder, indexed once.
#include "qvhost/ModuleCatalogue.h"

#include <filesystem>

#include "qvhost/HostError.h"
#include "qvhost/ModuleLoader.h"

namespace fs = std::filesystem;

namespace qvhost {

ModuleCatalogue::ModuleCatalogue(std::string folders) : fFolder(std::move(folders)) {
  for (const std::string& path : FindModules(fFolder)) {
    const fs::path resourcePath = fs::path(path).replace_extension(".qvr.json");
    std::error_code error;
    if (!fs::exists(resourcePath, error)) continue;
    Entry entry{path, {}, {}};
    try {
      entry.resources = LoadResourceFile(resourcePath.string());
    } catch (const HostError& failure) {  // another module's broken resource file
      entry.unreadable = failure.what();
    }
    fEntries.push_back(std::move(entry));
  }
}

const ModuleCatalogue::Entry& ModuleCatalogue::EntryOf(const std::string& component) const {
  std::string known, unreadable;
  for (const Entry& entry : fEntries) {
    if (!entry.unreadable.empty()) {
      unreadable += (unreadable.empty() ? "" : ", ") + fs::path(entry.path).replace_extension(".qvr.json").filename().string();
      continue;
    }
    for (const ComponentResource& offered : entry.resources.components) {
      if (offered.name == component) return entry;
      known += (known.empty() ? "" : ", ") + offered.name;
    }
  }
  throw HostError("unknown component '" + component + "' in " + fFolder + " (components: " +
                  (known.empty() ? "none" : known) + (unreadable.empty() ? "" : "; unreadable: " + unreadable) + ")");
}

const ComponentResource& ModuleCatalogue::ComponentOf(const std::string& component) const {
  return *EntryOf(component).resources.FindComponent(component);
}

}  // namespace qvhost
