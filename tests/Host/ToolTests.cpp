// qvhost from the shell: exit statuses, one-line errors and what list prints.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TestFiles.h"
#include "ToolRun.h"

namespace {

// The shipped modules and the probe modules: a search path of two folders.
const std::string kSearchPath = std::string(QV_MODULE_DIR) + ":" + QV_PROBE_DIR;

TEST(ToolTest, ListShowsTheModulesAndTheirComponents) {
  const ToolRun run = RunQvhost("list", "QV_MODULE_PATH=" + kSearchPath);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("ProbeModule\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("ProbeModule command"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("{50524F31-7072-6F62-656D-6F64756C6531}"), std::string::npos) << run.out;

  EXPECT_NE(run.out.find("CropRevert\n"), std::string::npos) << run.out;

  const ToolRun json = RunQvhost("list --json --modules " + kSearchPath);
  ASSERT_EQ(json.status, 0) << json.err;
  const auto report = nlohmann::json::parse(json.out);
  bool found = false;
  for (const auto& module : report.at("modules"))
    if (module.at("module") == "ProbeTwo") found = module.at("components").at(0).at("family") == "scmd";
  EXPECT_TRUE(found) << json.out;

  const ToolRun shipped = RunQvhost(std::string("list --modules ") + QV_MODULE_DIR);
  ASSERT_EQ(shipped.status, 0) << shipped.err;
  EXPECT_EQ(shipped.out.find("Probe"), std::string::npos) << "test modules are not shipped:\n" << shipped.out;
}

TEST(ToolTest, BadInputGivesOneLineAndStatusTwo) {
  struct Case {
    const char* arguments;
    const char* expected;
  };
  const Case cases[] = {
      {"frobnicate", "unknown verb 'frobnicate'"},
      {"list --colour", "unknown option '--colour'"},
      {"list --modules /nonexistent-folder", "/nonexistent-folder: no modules"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunQvhost(c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
}

TEST(ToolTest, HelpOnTheToolAndOnEachVerb) {
  EXPECT_EQ(RunQvhost("--help").status, 0);
  const ToolRun list = RunQvhost("list --help");
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("usage: qvhost list"), std::string::npos);
}

}  // namespace

namespace {

const std::string kExample = std::string(QV_EXAMPLES) + "/crop-revert.qvscene.json";
const std::string kModules = " --modules " + kSearchPath;

TEST(RunToolTest, CropRevertResetsTheExampleAndUndoRestoresIt) {
  const std::string saved = testing::TempDir() + "reset.json";
  std::remove(saved.c_str());
  const ToolRun run = RunQvhost("run CropRevert --scene " + kExample + " --save " + saved + kModules);
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* expected : {"Do                         true", "display   update Camera",
                               "$.view.panes[1].offset: [120, -48] -> [0, 0]", "$.view.panes[1].scale: 1.5 -> 1",
                               "saved: "})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  const auto scene = nlohmann::json::parse(ReadFile(saved));
  EXPECT_EQ(scene["view"]["panes"][1]["offset"], nlohmann::json::array({0, 0}));
  EXPECT_EQ(scene["view"]["panes"][0]["offset"], nlohmann::json::array({0, 0}));

  const std::string undone = testing::TempDir() + "undone.json";
  const ToolRun undo = RunQvhost("run CropRevert --scene " + kExample + " --then undo --then redo --then undo --save " +
                              undone + kModules);
  ASSERT_EQ(undo.status, 0) << undo.err;
  EXPECT_NE(undo.out.find("changes: none"), std::string::npos) << undo.out;
  EXPECT_EQ(ReadFile(undone), ReadFile(kExample));
}

// A command that replaces an element by a copy: the report reads as that, not as renamings
// of the siblings, and a scene saved with the original out of the tree loads again.
TEST(RunToolTest, AnElementReplacedByACopyReadsAsRemovedAndInserted) {
  const std::string scene = WriteTempFile("replaced-tree.json", R"({"qvscene": 1, "elements": [
      {"name": "Stage", "children": [{"name": "Lamp"}, {"name": "Box", "transform": {"translation": [1, 2, 3]}},
      {"name": "Crate"}]}, {"name": "Floor"}]})");
  const std::string replaced = "  removed Stage/Box\n  inserted Stage/Box after Stage/Lamp\n";
  const struct {
    const char* then;
    const char* changes;
  } cases[] = {{"", "changes:\n"}, {" --then undo", "changes: none\n"}, {" --then undo --then redo", "changes:\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.then);
    const std::string saved = testing::TempDir() + std::to_string(getpid()) + "-replaced.json";
    const ToolRun run = RunQvhost("run " + std::string("\"ProbeModule command\"") + " --scene " + scene +
                                  " --select Stage/Box --set Mode=10" + c.then + " --save " + saved + kModules);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(c.changes), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(replaced) != std::string::npos, std::string(c.changes) == "changes:\n") << run.out;
    EXPECT_EQ(run.out.find("Crate"), std::string::npos) << "the siblings did not change:\n" << run.out;
    const ToolRun reload = RunQvhost("format " + saved);
    EXPECT_EQ(reload.status, 0) << reload.err;
  }
}

TEST(RunToolTest, BadInputIsRefusedWithStatusTwoAndWritesNothing) {
  const std::string malformed = WriteTempFile("malformed.json", "{\"qvscene\": 1, \"elements\": [");
  const std::string unknownKey = WriteTempFile("unknown-key.json", "{\"qvscene\": 1, \"colour\": 1}");
  struct Case {
    std::string arguments;
    std::string expected;
  };
  const Case cases[] = {
      {"run CropRevert --scene /nonexistent/scene.json", "/nonexistent/scene.json: cannot open the file"},
      {"run CropRevert --scene " + malformed, malformed + ": malformed JSON"},
      {"run CropRevert --scene " + unknownKey, unknownKey + ": $.colour: expected no such key"},
      {"run CropRevert --scene " + kExample + " --set Size=3", "--set Size: CropRevert has no dialog"},
      {"run \"ProbeModule command\" --scene " + kExample + " --set Nope=1",
       "--set Nope: dialog 150 has no such field (fields: Mode, Changes"},
      {"run \"ProbeModule command\" --scene " + kExample + " --set Mode=lots", "--set Mode=lots: expected an integer"},
      {"run Nothing --scene " + kExample, "unknown component 'Nothing'"},
      {"run CropRevert --scene " + kExample + " --then sideways", "--then sideways: expected undo or redo"},
      {"run CropRevert", "--scene FILE is required"},
  };
  const std::string saved = testing::TempDir() + "never.json";
  for (const Case& c : cases) {
    std::remove(saved.c_str());
    const ToolRun run = RunQvhost(c.arguments + " --save " + saved + kModules);
    EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.err;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_EQ(ReadFile(saved), "") << c.arguments;
  }
}

TEST(RunToolTest, ModuleExceptionsGiveStatusOneWithCodeSourceAndLine) {
  const std::string noView = WriteTempFile("no-view.json", "{\"qvscene\": 1}\n");
  const std::string saved = testing::TempDir() + "thrown.json";
  struct Case {
    std::string arguments;
    std::string expected;
  };
  const Case cases[] = {
      {"run CropRevert --scene " + noView,
       "CropRevert threw 0x80010005 at Samples/SceneCommands/CropRevert/CropRevert line 126"},
      {"run \"ProbeModule command\" --scene " + kExample + " --set Mode=4",
       "threw 0x80010005 at tests/Probe/ProbeModule line 60"},
      {"run \"ProbeModule command\" --scene " + kExample + " --set Mode=1",
       "threw 0x80010004 at (no source) line 0"},
  };
  for (const Case& c : cases) {
    std::remove(saved.c_str());
    const ToolRun run = RunQvhost(c.arguments + " --save " + saved + kModules);
    EXPECT_EQ(run.status, 1) << c.arguments << "\n" << run.err;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(saved), "") << "nothing saved after a throw";
  }
}

TEST(RunToolTest, DisabledCommandsRunOnlyWhenForcedAndTheDialogReachesTheBlock) {
  const std::string empty = WriteTempFile("no-selection.json", "{\"qvscene\": 1, \"elements\": [{\"name\": \"A\"}]}\n");
  const ToolRun refused = RunQvhost("run \"ProbeModule command\" --scene " + empty + kModules);
  EXPECT_EQ(refused.status, 0) << refused.err;
  EXPECT_NE(refused.out.find("not enabled: not run"), std::string::npos) << refused.out;
  EXPECT_EQ(refused.out.find("Do "), std::string::npos) << refused.out;

  const ToolRun forced = RunQvhost("run \"ProbeModule command\" --scene " + empty +
                                " --force --set Factor=2.5 --control PING --control PING --json" + kModules);
  ASSERT_EQ(forced.status, 0) << forced.err;
  const auto report = nlohmann::json::parse(forced.out);
  EXPECT_TRUE(report["ran"]);
  const auto& parameters = report["parameters"];
  EXPECT_NE(std::find(parameters.begin(), parameters.end(), "Factor=2.5"), parameters.end()) << parameters;
  EXPECT_NE(std::find(parameters.begin(), parameters.end(), "ControlEvents=3"), parameters.end())
      << "dialog ready and two PINGs: " << parameters;
}

}  // namespace

namespace {

TEST(RunToolTest, JitterKeysMovesTheSelectedKeysAndUndoPutsThemBack) {
  const std::string scene = std::string(QV_EXAMPLES) + "/jitter-keys.qvscene.json";
  const ToolRun first = RunQvhost("run JitterKeys --scene " + scene + " --set Seed=42 --json" + kModules);
  ASSERT_EQ(first.status, 0) << first.err;
  const auto report = nlohmann::json::parse(first.out);
  EXPECT_FALSE(report["movedKeys"].empty());
  for (const auto& moved : report["movedKeys"]) EXPECT_NE(moved.get<std::string>().find(" -> "), std::string::npos);
  const ToolRun second = RunQvhost("run JitterKeys --scene " + scene + " --set Seed=42 --json" + kModules);
  EXPECT_EQ(nlohmann::json::parse(second.out)["movedKeys"], report["movedKeys"]) << "same seed, same times";

  const std::string undone = testing::TempDir() + "jitter-undone.json";
  const ToolRun undo = RunQvhost("run JitterKeys --scene " + scene + " --set Seed=42 --then undo --save " + undone + kModules);
  ASSERT_EQ(undo.status, 0) << undo.err;
  EXPECT_EQ(ReadFile(undone), ReadFile(scene));
}

TEST(RunToolTest, JitterKeysRefusesAMinimumAboveTheMaximumWithItsAlert) {
  const std::string scene = std::string(QV_EXAMPLES) + "/jitter-keys.qvscene.json";
  const ToolRun run = RunQvhost("run JitterKeys --scene " + scene + " --set MinOffset=2 --set MaxOffset=1 --then undo" + kModules);
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* expected : {"Do                         false", "Undo                       false",
                               "alert     The minimum offset is larger than the maximum offset", "changes: none"})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
}

}  // namespace

namespace {

TEST(RunToolTest, InterpolatorSweepReportsTheChangedHoldersAndUndoPutsTheOldTypesBack) {
  const std::string scene = std::string(QV_EXAMPLES) + "/interpolator-sweep.qvscene.json";
  const ToolRun run = RunQvhost("run InterpolatorSweep --scene " + scene + " --set ChosenInterpolator=constant --json" + kModules);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["interpolations"],
            nlohmann::json({"Ball at 0: linear -> constant", "Ball at 90000: smooth -> constant",
                            "Ball:Bounce at 45000: linear -> constant", "Lamp at 0: smooth -> constant"}));
  const ToolRun undo = RunQvhost("run InterpolatorSweep --scene " + scene + " --set ChosenInterpolator=constant --then undo --json" + kModules);
  ASSERT_EQ(undo.status, 0) << undo.err;
  EXPECT_TRUE(nlohmann::json::parse(undo.out)["interpolations"].empty());
  const ToolRun bad = RunQvhost("run InterpolatorSweep --scene " + scene + " --set ChosenInterpolator=cubic" + kModules);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--set ChosenInterpolator=cubic: expected an interpolator type"), std::string::npos) << bad.err;
}

TEST(RunToolTest, SelectingElementsKeepsTheKeysAndIntegersAreDecimal) {
  const std::string scene = std::string(QV_EXAMPLES) + "/jitter-keys.qvscene.json";
  const ToolRun run = RunQvhost("run JitterKeys --scene " + scene + " --select Floor --set Seed=010 --json" + kModules);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_TRUE(report["enabled"]) << "the selected keys stay selected";
  const auto& parameters = report["parameters"];
  EXPECT_NE(std::find(parameters.begin(), parameters.end(), "Seed=10"), parameters.end()) << parameters;
}

TEST(RunToolTest, AnotherModulesBrokenResourceFileDoesNotBlockARun) {
  const std::string folder = testing::TempDir() + std::to_string(getpid()) + "-modules/";
  std::system(("mkdir -p " + folder).c_str());
  for (const char* file : {"CropRevert.qvx", "CropRevert.qvr.json"})
    std::system(("cp " + std::string(QV_MODULE_DIR) + "/" + file + " " + folder).c_str());
  std::system(("cp " + std::string(QV_MODULE_DIR) + "/CropRevert.qvx " + folder + "Abc.qvx").c_str());
  FILE* broken = fopen((folder + "Abc.qvr.json").c_str(), "w");
  fputs("{ not json", broken);
  fclose(broken);
  const ToolRun run = RunQvhost("run CropRevert --scene " + kExample + " --modules " + folder);
  EXPECT_EQ(run.status, 0) << run.err;
  const ToolRun unknown = RunQvhost("run Nothing --scene " + kExample + " --modules " + folder);
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unreadable: Abc.qvr.json"), std::string::npos) << unknown.err;
  std::system(("rm -rf " + folder).c_str());
}

const std::string kNotes = std::string(QV_EXAMPLES) + "/note-sheet.qvscene.json";

TEST(NoteSheetToolTest, CommentsAddedAtTimesSurviveSaveAndLoad) {
  const std::string saved = testing::TempDir() + "notes.json";
  std::remove(saved.c_str());
  const ToolRun run = RunQvhost("run NoteSheet --scene " + kNotes +
                             " --time 540000 --set \"EditText=Crowd, \\\"cheering\\\"\" --control ADDK"
                             " --time 0 --set EditText=Changed --save " + saved + kModules);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  const char* keys =
      "keys:\n"
      "  Text Entry at 0: \"Changed\"\n"
      "  Text Entry at 180000: \"Ball leaves the ground\"\n"
      "  Text Entry at 360000: \"Landing, hold for two seconds\"\n"
      "  Text Entry at 540000: \"Crowd, \"cheering\"\"\n";
  EXPECT_NE(run.out.find(keys), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Preview                    0x00000000 36 segments, 72 points"), std::string::npos) << run.out;

  // Loading the saved scene gives the same comments, and saving it again the same bytes.
  const std::string again = testing::TempDir() + "notes-again.json";
  const ToolRun reload = RunQvhost("run NoteSheet --scene " + saved + " --save " + again + kModules);
  ASSERT_EQ(reload.status, 0) << reload.err;
  EXPECT_NE(reload.out.find(keys), std::string::npos) << reload.out;
  EXPECT_NE(reload.out.find("changes: none"), std::string::npos) << reload.out;
  EXPECT_EQ(ReadFile(again), ReadFile(saved));
  EXPECT_EQ(RunQvhost("format " + saved + kModules).out, ReadFile(saved));
}

TEST(NoteSheetToolTest, AttachesToTheElementGivenAndShowsTheCommentAtEachTime) {
  const std::string scene = WriteTempFile("stage.json", "{\"qvscene\": 1, \"elements\": [{\"name\": \"Stage\"}]}");
  const ToolRun run = RunQvhost("run NoteSheet --scene " + scene + " --on Stage" +
                             " --time 6000 --set EditText=first --time 9000 --control ADDK --time 3000" + kModules);
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* expected : {"Attach                     Stage", "Text Entry at 6000: \"first\"",
                               "Text Entry at 9000: \"first\"", "EditText=", "ExportRequested=false"})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  // At 3000 no comment is shown yet.
  EXPECT_NE(run.out.find("EditText=\n"), std::string::npos) << run.out;
}

TEST(NoteSheetToolTest, BadInputIsRefusedWithOneLine) {
  const std::string bare = WriteTempFile("bare.json", "{\"qvscene\": 1, \"elements\": [{\"name\": \"Stage\"}]}");
  const std::string unknown = WriteTempFile(
      "unknown-component.json",
      "{\"qvscene\": 1, \"elements\": [{\"name\": \"A\", \"components\": [{\"component\": \"Nope\"}]}]}");
  struct Case {
    std::string arguments, expected;
  } cases[] = {
      {"run NoteSheet --scene " + bare, "no element carries NoteSheet; --on ELEMENT attaches one"},
      {"run NoteSheet --scene " + bare + " --on Missing", "--on Missing: no such element"},
      {"run NoteSheet --scene " + kNotes + " --time soon", "--time soon: expected a whole number of ticks"},
      {"run NoteSheet --scene " + kNotes + " --then undo", "--then: NoteSheet is not a scene command"},
      {"run NoteSheet --scene " + kNotes + " --set Colour=red", "--set Colour: dialog 1200 has no such field"},
      {"run NoteSheet --scene " + unknown, "unknown component 'Nope'"},
      {"run CropRevert --scene " + kNotes + " --time 5", "--time: CropRevert is a scene command"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunQvhost(c.arguments + kModules);
    EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.err << run.out;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
}

TEST(DemoToolTest, RunsEveryModuleAndWritesEachResult) {
  const std::string out = testing::TempDir() + "qvhost-demo-" + std::to_string(getpid());
  const ToolRun run = RunQvhost("demo --out " + out + kModules);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  for (const char* file : {"crop-revert.qvscene.json", "jitter-keys.qvscene.json", "interpolator-sweep.qvscene.json",
                           "note-sheet.qvscene.json", "notes.html", "notes_images/180000.jpg",
                           "target-following.qvscene.json", "extent-follow.qvscene.json"})
    EXPECT_NE(ReadFile(out + "/" + file), "") << file;
  EXPECT_NE(run.out.find("summary (results in " + out + "):"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("exit status"), std::string::npos) << run.out;
}

TEST(FormatToolTest, WritesTheCanonicalFormAndRefusesBadScenes) {
  const std::string loose = WriteTempFile("loose.json", "{ \"qvscene\" : 1, \"elements\" : [ {\"name\":\"A\", \"transform\": {\"scale\": 1}} ] }");
  const ToolRun run = RunQvhost("format " + loose);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "{\n  \"qvscene\": 1,\n  \"elements\": [\n    {\"name\": \"A\"}\n  ]\n}\n");
  for (const char* example : {"/crop-revert.qvscene.json", "/jitter-keys.qvscene.json",
                              "/interpolator-sweep.qvscene.json", "/note-sheet.qvscene.json"}) {
    const std::string path = std::string(QV_EXAMPLES) + example;
    EXPECT_EQ(RunQvhost("format " + path).out, ReadFile(path)) << example << " is not canonical";
  }
  const ToolRun bad = RunQvhost("format " + WriteTempFile("bad.json", "{\"qvscene\": 1, \"elements\": [{}]}"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("$.elements[0].name: expected this key"), std::string::npos) << bad.err;
}

}  // namespace

namespace {

const std::string kCrop = std::string(QV_EXAMPLES) + "/crop-revert.qvscene.json";
const std::string kProbe = "\"ProbeModule command\"";
const std::string kAll = " --modules " + kSearchPath;

// A module folder beside the real CropRevert: `name`.qvx holds `bytes` and its resource
// file offers the component X (a scene command) and Xa (an attached component).
std::string BrokenModuleFolder(const std::string& tag, const std::string& name, const std::string& bytes) {
  const std::string folder = testing::TempDir() + std::to_string(getpid()) + "-broken-" + tag + "/";
  std::system(("rm -rf " + folder + " && mkdir -p " + folder).c_str());
  for (const char* file : {"CropRevert.qvx", "CropRevert.qvr.json"})
    std::system(("cp " + std::string(QV_MODULE_DIR) + "/" + file + " " + folder).c_str());
  std::ofstream(folder + name + ".qvx", std::ios::binary) << bytes;
  std::ofstream(folder + name + ".qvr.json")
      << R"({"module": ")" << name << R"(", "components": [)"
      << R"({"family": "scmd", "class": "Xcmd", "classId": "{11111111-2222-3333-4444-555555555555}", "name": "X"},)"
      << R"({"family": "data", "class": "Xdat", "classId": "{11111111-2222-3333-4444-666666666666}", "name": "Xa"}]})";
  return folder;
}

TEST(BrokenModuleToolTest, AModuleThatCannotBeLoadedIsOneLineAndStatusOne) {
  const std::string real = ReadFile(std::string(QV_MODULE_DIR) + "/CropRevert.qvx");
  const std::string attached =
      WriteTempFile("with-xa.json", "{\"qvscene\": 1, \"elements\": [{\"name\": \"A\", \"components\": [{\"component\": \"Xa\"}]}]}");
  struct Case {
    std::string tag, name, bytes, expected;
  };
  const Case cases[] = {
      {"text", "X", "not a library\n", "X.qvx: cannot load the module: not a module: 14 bytes, too short"},
      {"noentry", "NoEntryModule", ReadFile(std::string(QV_FIXTURE_DIR) + "/NoEntryModule.qvx"), "the entry point QVDllGetClassObject is missing"},
      {"cut", "Cut", real.substr(0, 4096), "Cut.qvx: cannot load the module: not a module: the file is cut short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    const std::string folder = BrokenModuleFolder(c.tag, c.name, c.bytes);
    const std::string path = folder + c.name + ".qvx";
    for (const std::string& arguments : {"run X --scene " + kCrop, "format " + attached}) {
      const ToolRun run = RunQvhost(arguments + " --modules " + folder);
      EXPECT_EQ(run.status, 1) << arguments << "\n" << run.err;
      EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
      EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    }
    // list: the other modules on stdout, the broken one on stderr, its path once.
    const ToolRun list = RunQvhost("list --modules " + folder);
    EXPECT_EQ(list.status, 1) << list.err;
    EXPECT_NE(list.out.find("CropRevert\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find(c.name + ".qvx"), std::string::npos) << "errors are not on stdout: " << list.out;
    EXPECT_NE(list.err.find(c.expected), std::string::npos) << list.err;
    EXPECT_EQ(list.err.find('\n'), list.err.size() - 1) << "one line: " << list.err;
    EXPECT_EQ(list.err.find(path, 1), std::string::npos) << "the path once: " << list.err;
    // A run that needs only the good module is not held up.
    EXPECT_EQ(RunQvhost("run CropRevert --scene " + kCrop + " --modules " + folder).status, 0);
    std::system(("rm -rf " + folder).c_str());
  }
}

TEST(RunToolTest, OptionsTheRunCannotHonourAreRefusedBeforeAnythingRuns) {
  const std::string notes = std::string(QV_EXAMPLES) + "/note-sheet.qvscene.json";
  const std::string jitter = std::string(QV_EXAMPLES) + "/jitter-keys.qvscene.json";
  const std::string saved = testing::TempDir() + std::to_string(getpid()) + "-refused.json";
  struct Case {
    std::string arguments, expected;
  } cases[] = {
      // Undo and Redo alternate after Do, starting with undo.
      {"run CropRevert --scene " + kCrop + " --then redo", "--then redo (step 1): expected undo"},
      {"run CropRevert --scene " + kCrop + " --then undo --then undo", "--then undo (step 2): expected redo"},
      {"run CropRevert --scene " + kCrop + " --then undo --then redo --then redo", "--then redo (step 3): expected undo"},
      // Empty values are not taken for options left out.
      {"run CropRevert --scene " + kCrop + " --save \"\"", "--save \"\": expected a value, not an empty text"},
      {"run NoteSheet --scene " + notes + " --control BUTN --save-as \"\"", "--save-as \"\": expected a value"},
      {"format " + kCrop + " --save \"\"", "--save \"\": expected a value"},
      // Controls the dialog does not have, for scene commands and attached components alike.
      {"run JitterKeys --scene " + jitter + " --control NOPE", "--control NOPE: dialog 150 has no such control (controls: SHUF)"},
      {"run NoteSheet --scene " + notes + " --control NOPE",
       "--control NOPE: dialog 1200 has no such control (controls: ADDK, CLER, BUTN)"},
      {"run NoteSheet --scene " + notes + " --time 0 --control ADDK --time 5 --control PING",
       "--control PING: dialog 1200 has no such control"},
  };
  for (const Case& c : cases) {
    std::remove(saved.c_str());
    const std::string save = c.arguments.find("--save") == std::string::npos ? " --save " + saved : "";
    const ToolRun run = RunQvhost(c.arguments + save + kAll);
    EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.err;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.arguments << "\n" << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_EQ(ReadFile(saved), "") << c.arguments;
    EXPECT_EQ(run.out.find("  Do "), std::string::npos) << "nothing ran: " << run.out;
  }
}

TEST(FormatToolTest, AModuleThatThrowsOnItsDataNamesTheFileAndThePath) {
  const std::string scene = WriteTempFile(
      "throwing-data.json",
      "{\"qvscene\": 1, \"elements\": [{\"name\": \"F\"}, {\"name\": \"G\", \"components\": "
      "[{\"component\": \"FollowGain\", \"data\": [\"{\", \"  obj1 1,\", \"}\"]}]}]}");
  for (const std::string& arguments : {"format " + scene, "run FollowGain --scene " + scene}) {
    const ToolRun run = RunQvhost(arguments + kAll);
    EXPECT_EQ(run.status, 2) << arguments << "\n" << run.err;
    EXPECT_EQ(run.err.find(scene + ": $.elements[1].components[0].data: the module threw 0x"), 0u) << run.err;
    EXPECT_NE(run.err.find("Samples/SceneCommands/FollowGain/"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
}

TEST(RunToolTest, WhenDoThrowsTheHostCallsUndoOnceAndTheSceneIsAsBefore) {
  const ToolRun run = RunQvhost("run " + kProbe + " --scene " + kCrop + " --set Mode=6 --json" + kAll);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("threw 0x80010005 at tests/Probe/ProbeModule line 130"), std::string::npos) << run.err;
  const auto report = nlohmann::json::parse(run.out);
  const auto& steps = report["steps"];
  ASSERT_GE(steps.size(), 2u) << steps;
  EXPECT_EQ(steps[steps.size() - 2], nlohmann::json({{"operation", "Do"}, {"answer", "threw"}}));
  EXPECT_EQ(steps.back(), nlohmann::json({{"operation", "Undo after the exception"}, {"answer", "true"}}));
  EXPECT_NE(std::find(report["journal"].begin(), report["journal"].end(),
                      nlohmann::json({{"kind", "undo"}, {"text", "Do threw: the host calls Undo once"}})),
            report["journal"].end())
      << report["journal"];
  EXPECT_TRUE(report["changes"].empty()) << "the pane's offset is back: " << report["changes"];
}

TEST(RunToolTest, WhatAModuleStillHoldsIsReportedAndNoSceneIsSaved) {
  const std::string saved = testing::TempDir() + std::to_string(getpid()) + "-leaked.json";
  struct Case {
    const char* mode;
    const char* expected;
  } cases[] = {
      {"7", "ProbeModule command still holds "},
      {"8", "ProbeModule command still holds 1 memory block, 100 bytes of memory after release and clean-up"},
  };
  for (const Case& c : cases) {
    std::remove(saved.c_str());
    const ToolRun run = RunQvhost("run " + kProbe + " --scene " + kCrop + " --set Mode=" + c.mode + " --save " + saved + kAll);
    EXPECT_EQ(run.status, 1) << c.mode << "\n" << run.err;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(saved), "") << "no scene saved after a leak";
    EXPECT_EQ(run.out.find("saved:"), std::string::npos) << run.out;
  }
  // The objects are named by kind.
  const ToolRun kept = RunQvhost("run " + kProbe + " --scene " + kCrop + " --set Mode=7 --json" + kAll);
  const std::string leak = nlohmann::json::parse(kept.out).value("leak", "");
  for (const char* kind : {"IHostCommandContext", "IHostDocument", "IHostTreeElement x5"})
    EXPECT_NE(leak.find(kind), std::string::npos) << kind << ": " << leak;
  // A module that gives everything back saves its scene.
  const ToolRun clean = RunQvhost("run " + kProbe + " --scene " + kCrop + " --save " + saved + kAll);
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_NE(ReadFile(saved), "");
  std::remove(saved.c_str());
}

TEST(RunToolTest, ARunThatEndsTheHostStillShowsTheStepsThatRan) {
  // The probe releases the context once too often: the host's own release then ends it.
  const ToolRun run = RunQvhost("run " + kProbe + " --scene " + kCrop + " --set Mode=9" + kAll);
  EXPECT_NE(run.status, 0) << run.out;
  for (const char* expected : {"ProbeModule command (ProbeModule) on ", "  Prepare                    0x00000000\n",
                               "  Do                         true\n"})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
}

TEST(NoteSheetToolTest, APageWhoseWriteFailedIsNotListedAsWritten) {
  const std::string folder = testing::TempDir() + std::to_string(getpid()) + "-page/";
  std::system(("rm -rf " + folder + " && mkdir -p " + folder).c_str());
  const std::string page = folder + "notes.html";
  const std::string command = "run NoteSheet --scene " + std::string(QV_EXAMPLES) +
                              "/note-sheet.qvscene.json --control BUTN --save-as " + page + kAll;
  // Files may grow to 1 KiB: the page (about 1.2 KiB) is cut short, and its write fails.
  const ToolRun cut = RunQvhost(command, "trap '' XFSZ; ulimit -f 1;");
  EXPECT_NE(cut.out.find("alert     The page could not be written"), std::string::npos) << cut.out;
  EXPECT_EQ(cut.out.find("\nwritten:"), std::string::npos) << cut.out;
  // Written completely, it is listed.
  const ToolRun whole = RunQvhost(command);
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(whole.out.find("written:\n  " + page + "\n"), std::string::npos) << whole.out;
  std::system(("rm -rf " + folder).c_str());
}

}  // namespace
