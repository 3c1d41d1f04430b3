// qvhost demo: every module on the bundled example scenes, results saved in one folder.
#include <cstdio>
#include <filesystem>

#include "Verbs.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleLoader.h"

namespace fs = std::filesystem;

namespace qvtool {

const char kDemoUsage[] =
    "usage: qvhost demo [--out DIR] [--examples DIR] [--modules DIRS]\n"
    "\n"
    "Runs every module on the bundled example scenes, as 'qvhost run' does, and saves\n"
    "the resulting scenes and NoteSheet's page with its thumbnails in DIR; ends with a\n"
    "summary of what ran and what was written.\n"
    "  --out DIR       where the results go (default: out)\n"
    "  --examples DIR  the example scenes (default: the source tree's examples folder)\n"
    "  --modules DIRS  where to look for modules (DIR, or DIR:DIR... in order)\n";

int DemoVerb(const std::vector<std::string>& arguments) {
  std::string out = "out", examples = QV_EXAMPLES_DIR, modules = qvhost::DefaultModuleFolder();
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--out")
      out = OptionValue(arguments, i);
    else if (arguments[i] == "--examples")
      examples = OptionValue(arguments, i);
    else if (arguments[i] == "--modules")
      modules = OptionValue(arguments, i);
    else
      throw qvhost::HostError("qvhost demo: unknown option '" + arguments[i] + "' (see qvhost demo --help)");
  }
  std::error_code error;
  fs::create_directories(out, error);
  if (error) throw qvhost::HostError("--out " + out + ": cannot make the folder (" + error.message() + ")");
  const std::string in = examples + "/", to = out + "/";
  const std::vector<std::vector<std::string>> runs = {
      {"CropRevert", "--scene", in + "crop-revert.qvscene.json", "--save", to + "crop-revert.qvscene.json"},
      {"JitterKeys", "--scene", in + "jitter-keys.qvscene.json", "--set", "Seed=42", "--save",
       to + "jitter-keys.qvscene.json"},
      {"InterpolatorSweep", "--scene", in + "interpolator-sweep.qvscene.json", "--set",
       "ChosenInterpolator=constant", "--save", to + "interpolator-sweep.qvscene.json"},
      {"NoteSheet", "--scene", in + "note-sheet.qvscene.json", "--time", "540000", "--set",
       "EditText=Camera cuts to the crowd", "--control", "ADDK", "--save", to + "note-sheet.qvscene.json"},
      {"NoteSheet", "--scene", in + "note-sheet.qvscene.json", "--control", "BUTN", "--save-as", to + "notes.html"},
      {"FollowGain", "--scene", in + "target-following.qvscene.json", "--time", "0", "--time", "180000", "--time",
       "360000", "--save", to + "target-following.qvscene.json"},
      {"ExtentFollow", "--scene", in + "target-following.qvscene.json", "--on", "Marker", "--control", "obj1",
       "--pick", "Crate", "--time", "0", "--time", "360000", "--save", to + "extent-follow.qvscene.json"},
  };
  std::vector<std::string> summary;
  int status = 0;
  for (std::vector<std::string> run : runs) {
    run.insert(run.end(), {"--modules", modules});
    std::printf("== qvhost run %s\n", run[0].c_str());
    std::fflush(stdout);
    int answer = 2;
    try {
      answer = RunVerb(run);
    } catch (const qvhost::HostError& failure) {  // reported, and the next run goes on
      std::fprintf(stderr, "%s\n", failure.what());
    }
    if (answer > status) status = answer;
    summary.push_back(run[0] + ": " + (answer == 0 ? "ok" : "exit status " + std::to_string(answer)) + ", " +
                      run[run.size() - 3]);
    std::printf("\n");
  }
  std::printf("summary (results in %s):\n", out.c_str());
  for (const std::string& line : summary) std::printf("  %s\n", line.c_str());
  return status;
}

}  // namespace qvtool
