// qvhost run with the modifiers: attached, picked, evaluated at each time, saved and
// loaded again; the example scene; bad input.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TestFiles.h"
#include "ToolRun.h"

namespace {

const std::string kModules = std::string(" --modules ") + QV_MODULE_DIR;
const std::string kExample = std::string(QV_EXAMPLES) + "/target-following.qvscene.json";

// Leader moves from (1, 0, 0) at 0 to (5, 2, -4) at 180000 ticks.
const char kPlain[] = R"({"qvscene": 1, "elements": [
  {"name": "Leader", "animation": {"track": [{"time": 0, "translation": [1, 0, 0]}, {"time": 180000, "translation": [5, 2, -4]}]}},
  {"name": "Follower", "transform": {"translation": [0, 0, 9]}}]})";

std::string At(const char* element, int ticks, const char* translation) {
  return std::string(element) + " at " + std::to_string(ticks) + ": translation " + translation +
         ", rotation (0, 0, 0) degrees about x, y, z, scale 1, axis scales (1, 1, 1)";
}

nlohmann::json Report(const ToolRun& run) {
  EXPECT_EQ(run.status, 0) << run.err << run.out;
  return run.status == 0 ? nlohmann::json::parse(run.out) : nlohmann::json::object();
}

TEST(ModifierToolTest, FollowGainFollowsThePickedTargetOverTimesAndKeepsItThroughSaveAndLoad) {
  const std::string scene = WriteTempFile("follow.json", kPlain);
  const std::string saved = testing::TempDir() + "follow-saved.json";
  std::remove(saved.c_str());
  const nlohmann::json report = Report(RunQvhost("run FollowGain --scene " + scene + " --on Follower --control obj1 " +
                                                 "--pick Leader --set PosGainX=0.5 --time 90000 --time 180000 " +
                                                 "--json --save " + saved + kModules));
  EXPECT_EQ(report["transforms"], (nlohmann::json{At("Follower", 0, "(1, 0, 0)"), At("Follower", 90000, "(2, 1, -2)"),
                                                  At("Follower", 180000, "(3, 2, -4)")}));
  EXPECT_EQ(report["steps"][0]["operation"], "Attach");
  bool picked = false;
  for (const auto& entry : report["journal"])
    picked = picked || entry["text"] == "\"Follow Gain: target\" \"Pick the object whose motion this object repeats.\": Leader";
  EXPECT_TRUE(picked) << report["journal"];

  // The saved scene keeps the target and the captured reference: evaluated at 90000 the
  // follower is where it was then, with no dialog or pick.
  const nlohmann::json reloaded = Report(RunQvhost("run FollowGain --scene " + saved + " --time 90000 --json" + kModules));
  EXPECT_EQ(reloaded["transforms"], nlohmann::json{At("Follower", 90000, "(2, 1, -2)")});
  const auto data = nlohmann::json::parse(ReadFile(saved))["elements"][1]["components"][0]["data"];
  EXPECT_EQ(data[1], "  obj1 1," + std::to_string(nlohmann::json::parse(ReadFile(saved))["elements"][0]["id"].get<int>()));
}

TEST(ModifierToolTest, TheExampleSceneFollowsBothTargetsAndIsCanonical) {
  const nlohmann::json follow = Report(RunQvhost("run FollowGain --scene " + kExample + " --time 0 --time 180000 " +
                                                 "--time 360000 --json" + kModules));
  // Gains x 0.5 and y 2 from the reference (0, 0, 0); z switched off keeps the follower's -3.
  EXPECT_EQ(follow["transforms"], (nlohmann::json{At("Follower", 0, "(0, 0, -3)"), At("Follower", 180000, "(2, 0, -3)"),
                                                  At("Follower", 360000, "(2, 6, -3)")}));
  const nlohmann::json extent = Report(RunQvhost("run ExtentFollow --scene " + kExample + " --time 0 --time 360000 " +
                                                 "--json" + kModules));
  // Crate's box (0, 0, 0)-(2, 1, 3) has the centre (1, 0.5, 1.5); Crate moves to (6, 0, -6).
  EXPECT_EQ(extent["transforms"], (nlohmann::json{At("Marker", 0, "(7, 0.5, 1.5)"), At("Marker", 360000, "(7, 0.5, -4.5)")}));
  EXPECT_EQ(RunQvhost("format " + kExample + kModules).out, ReadFile(kExample)) << "the example is not canonical";
}

TEST(ModifierToolTest, BadInputAndUnreadableTargetsAreRefused) {
  const std::string scene = WriteTempFile("follow-bad.json", kPlain);
  const std::string negative = WriteTempFile(
      "follow-negative.json", R"({"qvscene": 1, "elements": [{"name": "F", "components": [
        {"component": "FollowGain", "data": ["{", "  obj1 -5,1", "}"]}]}]})");
  const std::string badField = WriteTempFile(
      "follow-field.json", R"({"qvscene": 1, "elements": [{"name": "F", "components": [
        {"component": "ExtentFollow", "data": ["{", "  FollowOn maybe", "}"]}]}]})");
  const struct {
    std::string arguments;
    int status;
    std::string expected;
  } cases[] = {
      {"run FollowGain --scene " + scene + " --on Follower --control obj1 --pick Nobody",
       2, "--pick Nobody: no such element in " + scene},
      {"run FollowGain --scene " + negative, 2,
       negative + ": $.elements[0].components[0].data: the module threw 0x80010024 at "
                  "Samples/SceneCommands/FollowGain/TargetReference line 74"},
      {"run ExtentFollow --scene " + badField, 2, "$.elements[0].components[0].data: expected FollowOn maybe: true or false"},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunQvhost(c.arguments + kModules);
    EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.out;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
}

}  // namespace
