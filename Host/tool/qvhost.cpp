// qvhost: the reference host from the shell.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qvhost/HostError.h"
#include "qvhost/ModuleLoader.h"
#include "QVException.h"

using namespace qvhost;

namespace {

const char kUsage[] =
    "usage: qvhost <verb> [options]\n"
    "\n"
    "verbs:\n"
    "  list    the modules found and their components\n"
    "\n"
    "Run 'qvhost <verb> --help' for the options of a verb.\n";

const char kListUsage[] =
    "usage: qvhost list [--modules DIR] [--json]\n"
    "\n"
    "Loads every .qvx in DIR (default: $QV_MODULE_PATH, else the modules folder of the\n"
    "build), prints its components (family, class code, class identifier, name) and\n"
    "unloads it again.\n"
    "  --modules DIR  where to look for modules\n"
    "  --json         print one JSON object instead of text\n";

struct ListOptions {
  std::string folder = DefaultModuleFolder();
  bool json = false;
};

ListOptions ParseList(int argc, char** argv) {
  ListOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--modules" && i + 1 < argc) {
      options.folder = argv[++i];
    } else if (argument == "--json") {
      options.json = true;
    } else {
      throw HostError("qvhost list: unknown option '" + argument + "' (see qvhost list --help)");
    }
  }
  return options;
}

int List(const ListOptions& options) {
  const std::vector<std::string> paths = FindModules(options.folder);
  if (paths.empty()) throw HostError(options.folder + ": no modules (.qvx files) found");
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
      entry["error"] = "the module threw " + std::to_string(error.Code()) + " during initialisation";
    }
    if (entry.contains("error")) status = 1;
    report.push_back(entry);
  }
  if (options.json) {
    std::printf("%s\n", nlohmann::json({{"modules", report}}).dump(2).c_str());
    return status;
  }
  for (const auto& entry : report) {
    if (entry.contains("error") && !entry.contains("components")) {
      std::printf("%s: %s\n", entry["module"].get<std::string>().c_str(),
                  entry["error"].get<std::string>().c_str());
      continue;
    }
    std::printf("%s\n", entry["module"].get<std::string>().c_str());
    for (const auto& component : entry["components"]) {
      std::printf("  %-24s %s %-4s %s\n", component["name"].get<std::string>().c_str(),
                  component["family"].get<std::string>().c_str(),
                  component["class"].get<std::string>().c_str(),
                  component["classId"].get<std::string>().c_str());
    }
    if (entry.contains("error")) std::printf("  warning: %s\n", entry["error"].get<std::string>().c_str());
  }
  return status;
}

bool WantsHelp(int argc, char** argv) {
  for (int i = 2; i < argc; ++i)
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string verb = argv[1];
  try {
    if (verb == "list") {
      if (WantsHelp(argc, argv)) {
        std::fputs(kListUsage, stdout);
        return 0;
      }
      return List(ParseList(argc, argv));
    }
    throw HostError("qvhost: unknown verb '" + verb + "' (see qvhost --help)");
  } catch (const HostError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  } catch (const TQVException& error) {
    std::fprintf(stderr, "qvhost: module error 0x%08X at %s line %d\n", unsigned(error.Code()),
                 error.GetSource() ? error.GetSource() : "(no source)", error.Line());
    return 1;
  }
}
