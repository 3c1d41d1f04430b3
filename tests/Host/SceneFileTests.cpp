// Scene files: canonical round trips, refusals with file, path and expectation, and
// atomic writes.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LeakCheck.h"
#include "TestFiles.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"

namespace fs = std::filesystem;

namespace {


using SceneFileTest = LeakCheckedTest;

TEST_F(SceneFileTest, LoadingThenSavingGivesTheSameFile) {
  auto journal = std::make_shared<qvhost::Journal>();
  for (const std::string& path : {std::string(QV_TEST_DATA) + "/every-section.qvscene.json",
                                 std::string(QV_EXAMPLES) + "/crop-revert.qvscene.json"}) {
    auto document = qvhost::LoadSceneFile(path, journal);
    EXPECT_EQ(qvhost::SceneText(*document), ReadFile(path)) << path;
  }
  // Saved text reads back to itself, numbers at their edges included.
  auto edges = qvhost::ParseScene(R"({"qvscene": 1, "elements": [{"name": "A", "transform":
      {"translation": [-0.0, 16777217, 3.4028235e38], "scale": 1.4e-45}}],
      "view": {"panes": [{"name": "P", "scale": -0.0, "offset": [-2147483648, 2147483647]}]}})", "edges.json", journal);
  const std::string saved = qvhost::SceneText(*edges);
  auto reread = qvhost::ParseScene(saved, "saved.json", journal);
  EXPECT_EQ(qvhost::SceneText(*reread), saved);

  auto document = qvhost::LoadSceneFile(std::string(QV_TEST_DATA) + "/every-section.qvscene.json", journal);
  qvhost::Scene& scene = document->GetScene();
  EXPECT_EQ(scene.GetSelection().GetItemCount(), 2);
  ASSERT_NE(scene.Root().Find("Rig/Arm/Hand"), nullptr);
  EXPECT_EQ(scene.Root().Find("Rig")->Local().pivot.x, 0.5f);
  EXPECT_TRUE(document->View()->Panes().at(0)->View().locked);
  EXPECT_EQ(document->View()->Panes().at(0)->View().GetScale(), 0.1f);
}

TEST_F(SceneFileTest, RefusesBadScenesWithWhereAndWhat) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"{\"qvscene\": 1,", "malformed JSON at byte"},
      {"{\"qvscene\": 6e77795}", "malformed JSON (" /* a number out of range */},
      {R"({"elements": []})", "$.qvscene: expected this key"},
      {R"({"qvscene": 2})", "$.qvscene: expected an integer from 1 to 1"},
      {R"({"qvscene": 1, "cameras": []})", "$.cameras: expected no such key"},
      {R"({"qvscene": 1, "elements": [{"name": 5}]})", "$.elements[0].name: expected a string"},
      {R"({"qvscene": 1, "elements": [{"name": "a/b"}]})", "$.elements[0].name: expected a non-empty name"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "transform": {"translation": [1, 2]}}]})",
       "$.elements[0].transform.translation: expected an array of 3 numbers"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "transform": {"scale": "big"}}]})",
       "$.elements[0].transform.scale: expected a number"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "children": [{"name": "B", "colour": 1}]}]})",
       "$.elements[0].children[0].colour: expected no such key"},
      {R"({"qvscene": 1, "selection": ["Nobody"]})", "$.selection[0]: expected the path of an element"},
      {R"({"qvscene": 1, "view": {"panes": [{"name": "P", "offset": [1.5, 0]}]}})",
       "$.view.panes[0].offset[0]: expected an integer"},
      {R"({"qvscene": 1, "view": {"panes": [{"name": "P", "active": 1}]}})",
       "$.view.panes[0].active: expected true or false"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "transform": {"scale": 1e39}}]})",
       "$.elements[0].transform.scale: expected a number within the range of a float"},
  };
  // Nesting deeper than a scene needs is refused, not recursed into.
  std::string deep = R"({"qvscene": 1, "elements": [)";
  for (int i = 0; i < 300; ++i) deep += R"({"name": "E", "children": [)";
  for (int i = 0; i < 300; ++i) deep += "]}";
  deep += "]}";
  std::string deepNodes = R"({"qvscene": 1, "elements": [{"name": "A", "animation": )";
  for (int i = 0; i < 300; ++i) deepNodes += R"({"channels": [{"name": "c", "node": )";
  deepNodes += "{}";
  for (int i = 0; i < 300; ++i) deepNodes += "}]}";
  deepNodes += "}]}";
  const Case more[] = {
      {deep.c_str(), "expected at most 256 levels of children"},
      {deepNodes.c_str(), "expected at most 256 levels of sub-nodes"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [{"time": 18446744073709551615}]}}]})",
       "time: expected an integer from -2147483648 to 2147483647"},
  };
  auto journal = std::make_shared<qvhost::Journal>();
  for (const Case& c : more) {
    try {
      qvhost::ParseScene(c.text, "scene.json", journal);
      ADD_FAILURE() << "accepted: " << std::string(c.text).substr(0, 80);
    } catch (const qvhost::HostError& error) {
      EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos) << error.what();
    }
  }
  for (const Case& c : cases) {
    try {
      qvhost::ParseScene(c.text, "scene.json", journal);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const qvhost::HostError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("scene.json: ", 0), 0u) << message;
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    }
  }
}

TEST_F(SceneFileTest, FailedWritesLeaveNothingBehind) {
  const fs::path folder = fs::temp_directory_path() / ("qvscene-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string target = (folder / "scene.json").string();
  qvhost::WriteFileAtomically(target, "first\n");
  EXPECT_EQ(ReadFile(target), "first\n");
  // A rewrite keeps the file's mode, and a link stays a link to the rewritten file.
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  const std::string link = (folder / "link.json").string();
  fs::create_symlink(target, link);
  qvhost::WriteFileAtomically(link, "second\n");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "second\n");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_THROW(qvhost::WriteFileAtomically((folder / "missing" / "scene.json").string(), "x"), qvhost::HostError);
  // Renaming onto a folder fails; the old file and the folder are as they were.
  fs::create_directories(folder / "taken");
  EXPECT_THROW(qvhost::WriteFileAtomically((folder / "taken").string(), "x"), qvhost::HostError);
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder)) entries += entry.exists();
  EXPECT_EQ(entries, 3u) << "no temporary file left";
  fs::remove_all(folder);
}

TEST_F(SceneFileTest, TheLiveSelectionDecidesWhichKeysAreSelected) {
  auto document = qvhost::ParseScene(R"({"qvscene": 1, "elements": [{"name": "A", "animation":
      {"track": [{"time": 0, "selected": true}, {"time": 5}]}}], "selection": ["A"]})", "keys.json",
                                     std::make_shared<qvhost::Journal>());
  qvhost::Selection& selection = document->GetScene().GetSelection();
  qvhost::Key& key = *document->AllKeys().at(0).key;
  ASSERT_EQ(selection.GetItemCount(), 2);  // the element, then the key
  TQVCountedPtr<IHostSelection> snapshot;
  selection.GetSnapshot(snapshot.Put());
  snapshot->Clear();
  EXPECT_TRUE(key.IsSelected()) << "clearing a snapshot deselects nothing";
  selection.RemoveFamily(QVFourCC("Tree"));
  EXPECT_TRUE(key.IsSelected());
  selection.Clear();
  EXPECT_FALSE(key.IsSelected());
  EXPECT_EQ(qvhost::SceneText(*document).find("\"selected\""), std::string::npos);
}

TEST_F(SceneFileTest, ChangesNameEveryDifferingValue) {
  const std::string before = R"({"qvscene": 1, "view": {"panes": [{"name": "P", "offset": [1, 2], "scale": 2}]}})";
  const std::string after = R"({"qvscene": 1, "view": {"panes": [{"name": "P", "offset": [0, 0], "scale": 1}]}})";
  EXPECT_EQ(qvhost::SceneChanges(before, after),
            (std::vector<std::string>{"$.view.panes[0].offset: [1, 2] -> [0, 0]", "$.view.panes[0].scale: 2 -> 1"}));
  EXPECT_TRUE(qvhost::SceneChanges(before, before).empty());
}

}  // namespace
