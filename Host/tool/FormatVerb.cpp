// qvhost format: a scene file checked and written in its canonical form.
#include <cstdio>
#include <optional>

#include "Verbs.h"
#include "qvhost/AtomicFile.h"
#include "qvhost/Document.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleSet.h"
#include "qvhost/SceneFile.h"

using namespace qvhost;

namespace qvtool {

const char kFormatUsage[] =
    "usage: qvhost format FILE [--save OUT] [--modules DIRS] [--code-page N]\n"
    "\n"
    "Reads the scene file FILE (refusing it with one line when it is malformed) and prints\n"
    "its canonical form, or writes it to OUT. Saving a scene always writes this form.\n"
    "  --save OUT     write the canonical form to OUT (may be FILE itself)\n"
    "  --modules DIRS where to find the modules of the scene's attached components\n"
    "  --code-page N  the code page the modules see the scene's text in (1252, 932, 936,\n"
    "                 949 or 950; default: the scene's own \"codePage\", else 1252)\n";

int FormatVerb(const std::vector<std::string>& arguments) {
  std::string path, save, folder = DefaultModuleFolder();
  uint32_t codePage = 0;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--save") {
      save = OptionValue(arguments, i);
    } else if (arguments[i] == "--code-page") {
      codePage = CodePageOption(arguments, i);
    } else if (arguments[i] == "--modules") {
      folder = OptionValue(arguments, i);
    } else if (arguments[i].rfind("--", 0) == 0 || !path.empty()) {
      throw HostError("qvhost format: unknown option '" + arguments[i] + "' (see qvhost format --help)");
    } else {
      path = arguments[i];
    }
  }
  if (path.empty()) throw HostError("qvhost format: which scene file? (see qvhost format --help)");
  // Attached components are made, read and written back by their modules.
  auto shell = HostShell::Create();
  ModuleSet modules(folder, *shell);
  std::string text;
  // A save is written as the text is made, and put in place only once the modules have
  // gone without a leak.
  std::optional<AtomicFile> file;
  {
    auto document = modules.LoadScene(path, shell->SharedJournal(), codePage);
    if (save.empty()) {
      text = SceneText(*document);
    } else {
      file.emplace(save);
      WriteSceneText(*document, [&file](const std::string& piece) { file->Write(piece); });
    }
    document->DetachComponents();
  }
  if (const std::string leak = modules.UnloadAll(); !leak.empty()) throw HostError(leak);
  if (file)
    file->Commit();
  else
    std::fputs(text.c_str(), stdout);
  return 0;
}

}  // namespace qvtool
