// qvhost list: the modules of a folder and their components.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "QVException.h"
#include "Verbs.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleLoader.h"

using namespace qvhost;

namespace qvtool {

const char kListUsage[] =
    "usage: qvhost list [--modules DIRS] [--json]\n"
    "\n"
    "Loads every .qvx in DIR (default: $QV_MODULE_PATH, else the modules folder of the\n"
    "build), prints its components (name, family, class code, class identifier) and\n"
    "unloads it again. A module that cannot be loaded is one line on stderr (exit 1);\n"
    "the others are listed all the same.\n"
    "  --modules DIRS where to look for modules (DIR, or DIR:DIR... in order)\n"
    "  --json         print one JSON object instead of text\n";

int ListVerb(const std::vector<std::string>& arguments) {
  std::string folder = DefaultModuleFolder();
  bool json = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--modules") {
      folder = OptionValue(arguments, i);
    } else if (arguments[i] == "--json") {
      json = true;
    } else {
      throw HostError("qvhost list: unknown option '" + arguments[i] + "' (see qvhost list --help)");
    }
  }
  const std::vector<std::string> paths = FindModules(folder);
  if (paths.empty()) throw HostError(folder + ": no modules (.qvx files) found");
  nlohmann::json report = nlohmann::json::array();
  int status = 0;
  for (const std::string& path : paths) {
    auto shell = HostShell::Create();
    nlohmann::json entry = {{"module", path}};
    try {
      auto module = LoadedModule::Load(path, shell.Get());
      entry["module"] = module->Name();
      entry["components"] = nlohmann::json::array();
      for (const ComponentResource& component : module->Resources().components) {
        entry["components"].push_back({{"name", component.name},
                                       {"family", FormatFourCC(component.family)},
                                       {"class", component.classCode ? FormatFourCC(component.classCode) : ""},
                                       {"classId", FormatGuid(component.classId)}});
      }
      const std::string unload = module->Unload();
      if (!unload.empty()) entry["error"] = unload;
    } catch (const HostError& error) {
      entry["error"] = error.what();
    } catch (const TQVException& error) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", unsigned(error.Code()));
      entry["error"] = path + ": the module threw " + code + " during initialisation";
    }
    if (entry.contains("error")) status = 1;
    report.push_back(entry);
  }
  if (json) {
    std::printf("%s\n", nlohmann::json({{"modules", report}}).dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return status;
  }
  // Modules on stdout; what went wrong on stderr, one line each (the message names the file).
  for (const auto& entry : report) {
    if (entry.contains("components")) {
      std::printf("%s\n", entry["module"].get<std::string>().c_str());
      for (const auto& component : entry["components"]) {
        std::printf("  %-24s %s %-4s %s\n", component["name"].get<std::string>().c_str(),
                    component["family"].get<std::string>().c_str(), component["class"].get<std::string>().c_str(),
                    component["classId"].get<std::string>().c_str());
      }
    }
    if (entry.contains("error")) std::fprintf(stderr, "%s\n", entry["error"].get<std::string>().c_str());
  }
  return status;
}

}  // namespace qvtool
