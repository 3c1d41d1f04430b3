// JitterKeys through the loader on scenes read from scene-file text.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "DialogLayout.h"
#include "ExpectRaise.h"
#include "JitterKeysParameters.h"
#include "ModuleFixture.h"
#include "RefusedAllocations.h"
#include "QVException.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/HostMemory.h"
#include "qvhost/SceneFile.h"

namespace {

// The command's parameter block as the dialog edits it (fields at 0, 4 and 8).
struct Block {
  float minOffset;
  float maxOffset;
  int32_t seed;
};
static_assert(sizeof(Block) == 12, "JitterKeys parameter block");

constexpr int32_t kTime32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kTime32Min = std::numeric_limits<int32_t>::min();

// A value in the 32-bit time range, saturated.
int64_t Saturate(double value) {
  if (value >= double(kTime32Max)) return kTime32Max;
  if (value <= double(kTime32Min)) return kTime32Min;
  return int64_t(value);
}

// The module's generator, written out.
struct Lcg {
  uint32_t state;
  int32_t Draw() {
    state = state * 214013u + 2531011u;
    return int32_t((state >> 16) & 0x7FFF);
  }
};

// A dialog offset in host ticks, truncated in float as the command does.
int64_t TicksOf(float offset) { return Saturate(double(std::trunc(offset * 180000.0f))); }

// The offsets a Do with `seed` draws, in order: a sign draw, then a magnitude draw.
struct OffsetOracle {
  OffsetOracle(uint32_t seed, float minOffset, float maxOffset)
      : lcg{seed}, lo(TicksOf(minOffset)), hi(TicksOf(maxOffset)) {
    if (lo > hi) std::swap(lo, hi);
  }
  int64_t Next() {
    const int32_t r1 = lcg.Draw(), r2 = lcg.Draw();
    const int64_t magnitude = int64_t(std::trunc(double(r2) * double(hi - lo + 1) / 32768.0 + double(lo)));
    return r1 >= 16384 ? magnitude : -magnitude;
  }
  std::vector<int64_t> Take(size_t count) {
    std::vector<int64_t> offsets;
    for (size_t i = 0; i < count; ++i) offsets.push_back(Next());
    return offsets;
  }

  Lcg lcg;
  int64_t lo, hi;
};

// Where a key at `ticks` lands with an offset kept in the time-offset table (as a float),
// when no neighbour collides.
int32_t Moved(int32_t ticks, int64_t offset) {
  const int64_t moved = Saturate(double(ticks) + double(float(offset)));
  return int32_t(std::max<int64_t>(moved, 0));
}

// The first seed whose draws satisfy `wanted`.
uint32_t SeedWhere(const std::function<bool(Lcg&)>& wanted) {
  for (uint32_t seed = 1;; ++seed) {
    Lcg lcg{seed};
    if (wanted(lcg)) return seed;
  }
}

// The first seed whose offset draws have these signs (true: forward), in order.
uint32_t SeedWithSigns(const std::vector<bool>& forward) {
  return SeedWhere([&](Lcg& lcg) {
    for (bool sign : forward) {
      if ((lcg.Draw() >= 16384) != sign) return false;
      lcg.Draw();
    }
    return true;
  });
}

// A key track's scene-file text; `selected(i)` tells whether key i is selected.
std::string KeysJson(const std::vector<int32_t>& times, const std::function<bool(size_t)>& selected) {
  std::string out = "[";
  for (size_t i = 0; i < times.size(); ++i) {
    out += std::string(i ? ", " : "") + "{\"time\": " + std::to_string(times[i]);
    out += selected(i) ? ", \"selected\": true}" : "}";
  }
  return out + "]";
}
bool All(size_t) { return true; }

// A ball with a channel, an ineligible channel, a sub-node and an unselected key; a lamp
// with no selected key; a floor without animation.
const char kBallScene[] = R"({
  "qvscene": 1,
  "elements": [
    {"name": "Ball", "animation": {
      "track": [{"time": 0}, {"time": 90000, "selected": true}, {"time": 180000, "selected": true}, {"time": 360000}],
      "channels": [
        {"name": "Bounce", "track": [{"time": 90000, "selected": true}, {"time": 270000, "selected": true}]},
        {"name": "Spin", "eligible": [true, false], "track": [{"time": 90000, "selected": true}]},
        {"name": "Squash", "node": {"track": [{"time": 180000, "selected": true}, {"time": 200000, "selected": true}]}}
      ]}},
    {"name": "Lamp", "animation": {"suspended": true, "track": [{"time": 45000}, {"time": 135000}]}},
    {"name": "Floor"}
  ],
  "objects": [{"name": "Sun", "animation": {"track": [{"time": 36000, "selected": true}]}}],
  "extra": {"name": "Environment", "animation": {"track": [{"time": 10000, "selected": true}, {"time": 20000}]}}
})";

class JitterKeysTest : public ModuleTest {
 protected:
  // One document with a context and a prepared command.
  struct Session {
    TQVCountedPtr<qvhost::Document> document;
    qvhost::CommandSession* host = nullptr;  // held by the fixture
    ISceneCommand* command = nullptr;        // the session's
    std::vector<qvhost::KeyInTrack> keys;  // every key, in file order, held from the start

    std::vector<int32_t> Times() const {
      std::vector<int32_t> times;
      for (const auto& entry : keys) times.push_back(entry.key->Ticks());
      return times;
    }
    std::vector<int32_t> References() const {
      std::vector<int32_t> references;
      for (const auto& entry : keys) references.push_back(entry.key->References());
      return references;
    }
  };

  void SetUp() override {
    ModuleTest::SetUp();
    fModule = &Load("JitterKeys");
  }
  void TearDown() override {
    fSessions.clear();
    fDocuments.clear();
    ModuleTest::TearDown();
  }

  TQVCountedPtr<qvhost::Document> Parse(const std::string& text) {
    return qvhost::ParseScene(text, "scene", fShell->SharedJournal());
  }
  // A command on a document of its own, as the host makes one before it has a context.
  TQVCountedPtr<ISceneCommand> Create() {
    fDocuments.push_back(qvhost::Adopt<qvhost::Document>(new qvhost::Document(fShell->SharedJournal())));
    return CreateCommand(*fModule, *fDocuments.back());
  }
  static Block& BlockOf(ISceneCommand* command) {
    TQVCountedPtr<ICommandParameters> parameters;
    EXPECT_EQ(QVQuery(command, parameters), kQVOk);
    return *static_cast<Block*>(parameters->GetParameterBlock());
  }
  Session Start(const std::string& scene, const Block& parameters) {
    Session session;
    session.document = Parse(scene);
    session.host = &StartSession(*fModule, *session.document);
    session.command = &session.host->Create();
    EXPECT_EQ(session.host->SetContext(), kQVOk);
    EXPECT_EQ(session.host->Prepare(), kQVOk);
    BlockOf(session.command) = parameters;
    session.keys = session.document->AllKeys();
    return session;
  }

  qvhost::Journal& Log() { return fShell->GetJournal(); }
  // The journal's "keys", "notify", "alert" and "resources" entries as "kind: text".
  std::vector<std::string> Reported() {
    std::vector<std::string> out;
    for (const auto& entry : Log().Entries())
      if (entry.kind == "keys" || entry.kind == "notify" || entry.kind == "alert" || entry.kind == "resources")
        out.push_back(entry.kind + ": " + entry.text);
    return out;
  }

  qvhost::LoadedModule* fModule = nullptr;
  std::vector<TQVCountedPtr<qvhost::Document>> fDocuments;
};

TEST_F(JitterKeysTest, SameSceneSelectionAndSeedGiveTheSameTimes) {
  for (int32_t seed : {8000, 1, 65534, -7}) {
    Session first = Start(kBallScene, {0.0f, 1.0f, seed});
    Session second = Start(kBallScene, {0.0f, 1.0f, seed});
    const std::vector<int32_t> original = first.Times();
    ASSERT_TRUE(first.command->Do());
    ASSERT_TRUE(second.command->Do());
    EXPECT_EQ(first.Times(), second.Times()) << "seed " << seed;
    EXPECT_NE(first.Times(), original) << "seed " << seed;
    for (size_t i = 0; i < first.keys.size(); ++i) {
      if (!first.keys[i].key->IsSelected()) {
        EXPECT_EQ(first.keys[i].key->Ticks(), original[i]) << first.keys[i].track << " seed " << seed;
      }
    }
  }
}

TEST_F(JitterKeysTest, MovesStopAtZeroAndStepOffTheNeighbourTheyWouldHit) {
  // Magnitude fixed at 500 ticks; the sign is chosen through the seed.
  const float offset = 500.0f / 180000.0f;
  ASSERT_EQ(TicksOf(offset), 500);
  struct Case {
    const char* what;
    std::vector<int32_t> times;
    size_t selected;  // index of the one selected key
    bool forward;
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {"back past zero", {100}, 0, false, {0}},
      {"back onto a previous key at zero", {0, 100}, 1, false, {0, 1}},
      {"forward onto the next key", {100, 600}, 0, true, {599, 600}},
      {"off the previous key, then off the next", {0, 100, 1}, 1, false, {0, 0, 1}},
      {"forward", {1000}, 0, true, {1500}},
      {"back", {1000}, 0, false, {500}},
  };
  for (const Case& c : cases) {
    const std::string track = KeysJson(c.times, [&](size_t i) { return i == c.selected; });
    const std::string scene = R"({"qvscene": 1, "elements": [{"name": "Box", "animation": {"track": )" + track + "}}]}";
    Session session = Start(scene, {offset, offset, int32_t(SeedWithSigns({c.forward}))});
    ASSERT_TRUE(session.command->Do()) << c.what;
    EXPECT_EQ(session.Times(), c.expected) << c.what;
  }
}

TEST_F(JitterKeysTest, KeysAtOneTimeShareAnOffsetAndSubNodesKeepTheirOwnTable) {
  const char scene[] = R"({
    "qvscene": 1,
    "elements": [
      {"name": "Ball", "animation": {
        "track": [{"time": 1000000, "selected": true}, {"time": 2000000, "selected": true}, {"time": 5000000}],
        "channels": [
          {"name": "Bounce", "track": [{"time": 1000000, "selected": true}, {"time": 3000000, "selected": true}]},
          {"name": "Spin", "eligible": [true, false], "track": [{"time": 1000000, "selected": true}]},
          {"name": "Roll", "eligible": [false, true], "track": [{"time": 2000000, "selected": true}]},
          {"name": "Squash", "node": {"track": [{"time": 2000000, "selected": true}, {"time": 4000000, "selected": true}]}},
          {"name": "Stretch", "track": [{"time": 4000000, "selected": true}, {"time": 2000000, "selected": true}]}
        ]}},
      {"name": "Cart", "animation": {"track": [{"time": 1000000, "selected": true}]}}
    ]
  })";
  // Draws in order: Ball's own 1e6 and 2e6 (0, 1), Bounce's 3e6 (2), Squash's 4e6 into its
  // own copy of the table (3), Stretch's 4e6 afresh (4), Cart's 1e6 in a new table (5).
  struct Expected {
    const char* track;
    int32_t time;
    int draw;  // -1: stays
  };
  const Expected expected[] = {
      {"Ball", 1000000, 0},         {"Ball", 2000000, 1},         {"Ball", 5000000, -1},
      {"Ball:Bounce", 1000000, 0},  {"Ball:Bounce", 3000000, 2},  {"Ball:Spin", 1000000, -1},
      {"Ball:Roll", 2000000, -1},   {"Ball:Squash", 2000000, 1},  {"Ball:Squash", 4000000, 3},
      {"Ball:Stretch", 4000000, 4}, {"Ball:Stretch", 2000000, 1}, {"Cart", 1000000, 5},
  };
  // A seed whose six offsets differ, so that a borrowed offset shows.
  uint32_t seed = 1;
  std::vector<int64_t> offsets;
  for (;; ++seed) {
    offsets = OffsetOracle(seed, 0.0f, 1.0f).Take(6);
    if (std::set<int64_t>(offsets.begin(), offsets.end()).size() == offsets.size()) break;
  }
  Session session = Start(scene, {0.0f, 1.0f, int32_t(seed)});
  ASSERT_EQ(session.keys.size(), std::size(expected));
  ASSERT_TRUE(session.command->Do());
  for (size_t i = 0; i < session.keys.size(); ++i) {
    const Expected& e = expected[i];
    ASSERT_EQ(session.keys[i].track, e.track);
    const int32_t want = e.draw < 0 ? e.time : Moved(e.time, offsets[size_t(e.draw)]);
    EXPECT_EQ(session.keys[i].key->Ticks(), want) << e.track << " at " << e.time;
  }
  // Exactly twelve draws were made: the next one is the shuffle's.
  Lcg after{seed};
  for (int i = 0; i < 12; ++i) after.Draw();
  auto shuffle = qvhost::Adopt<qvhost::DialogControl>(new qvhost::DialogControl(QVFourCC("SHUF")));
  TQVCountedPtr<ICommandParameters> parameters;
  ASSERT_EQ(QVQuery(session.command, parameters), kQVOk);
  EXPECT_EQ(parameters->ControlEvent(0, static_cast<IHostDialogControl*>(shuffle.Get()), 0), kQVOk);
  EXPECT_EQ(BlockOf(session.command).seed, 2 * after.Draw());
}

TEST_F(JitterKeysTest, MagnitudesStayInTheRange) {
  struct Case {
    float minOffset, maxOffset;
    int64_t lo, hi;
    int64_t top;  // trunc(32767 * (hi - lo + 1) / 32768) + lo
  };
  // The defaults, and ranges wider than 65536 ticks.
  const Case cases[] = {
      {0.0f, 1.0f, 0, 180000, 179995}, {0.5f, 2.0f, 90000, 360000, 359992}, {0.0f, 5.0f, 0, 900000, 899973}};
  constexpr size_t kKeys = 400;
  std::vector<int32_t> times;
  for (size_t i = 0; i < kKeys; ++i) times.push_back(int32_t(1000000 + 2000000 * i));
  const std::string scene =
      R"({"qvscene": 1, "elements": [{"name": "Box", "animation": {"track": )" + KeysJson(times, All) + "}}]}";
  for (const Case& c : cases) {
    // A seed that reaches the largest magnitude among the keys.
    uint32_t seed = 1;
    for (;; ++seed) {
      const std::vector<int64_t> offsets = OffsetOracle(seed, c.minOffset, c.maxOffset).Take(kKeys);
      if (std::any_of(offsets.begin(), offsets.end(), [&](int64_t o) { return std::abs(o) == c.top; })) break;
    }
    Session session = Start(scene, {c.minOffset, c.maxOffset, int32_t(seed)});
    ASSERT_TRUE(session.command->Do());
    OffsetOracle oracle(seed, c.minOffset, c.maxOffset);
    int64_t largest = 0, smallest = INT64_MAX;
    bool back = false, forward = false;
    for (size_t i = 0; i < kKeys; ++i) {
      const int64_t moved = int64_t(session.keys[i].key->Ticks()) - times[i];
      EXPECT_EQ(moved, oracle.Next()) << c.maxOffset << ", key " << i;
      EXPECT_LE(std::abs(moved), c.hi) << "key " << i;
      largest = std::max(largest, std::abs(moved));
      smallest = std::min(smallest, std::abs(moved));
      (moved < 0 ? back : forward) = true;
    }
    EXPECT_EQ(largest, c.top) << c.minOffset << ".." << c.maxOffset;
    EXPECT_GE(smallest, c.lo) << c.minOffset << ".." << c.maxOffset;
    EXPECT_TRUE(back && forward) << c.minOffset << ".." << c.maxOffset;
  }
}

TEST_F(JitterKeysTest, UndoAndRedoSwapTheTimesAndKeepTheMovedKeysAlive) {
  Session session = Start(kBallScene, {0.0f, 1.0f, 8000});
  const std::vector<int32_t> original = session.Times();
  const std::vector<int32_t> references = session.References();
  ASSERT_TRUE(session.command->Do());
  const std::vector<int32_t> moved = session.Times();
  ASSERT_NE(moved, original);
  qvhost::AnimationNode* ball = session.document->GetScene().Root().Find("Ball")->Node();
  EXPECT_EQ(ball->Track().AfterEditCount(), 1);
  EXPECT_EQ(ball->Channels().at(0)->track->AfterEditCount(), 1) << "Bounce";
  EXPECT_EQ(ball->Channels().at(1)->track->AfterEditCount(), 0) << "Spin is not eligible";
  // The action holds every moved key once: the selected keys of eligible tracks.
  for (size_t i = 0; i < session.keys.size(); ++i) {
    const bool recorded = session.keys[i].key->IsSelected() && session.keys[i].track != "Ball:Spin";
    EXPECT_EQ(session.keys[i].key->References(), references[i] + (recorded ? 1 : 0)) << session.keys[i].track;
  }

  struct Step {
    bool (ISceneCommand::*operation)();
    const std::vector<int32_t>* expected;
  };
  const Step steps[] = {{&ISceneCommand::Undo, &original},
                        {&ISceneCommand::Redo, &moved},
                        {&ISceneCommand::Undo, &original},
                        {&ISceneCommand::Undo, &moved},
                        {&ISceneCommand::Redo, &original}};
  for (const Step& step : steps) {
    EXPECT_TRUE((session.command->*step.operation)());
    EXPECT_EQ(session.Times(), *step.expected);
  }
  EXPECT_EQ(ball->Track().AfterEditCount(), 1) << "Undo and Redo leave the tracks unsorted";

  // A later Do replaces the action: Undo then returns to the times before that Do.
  BlockOf(session.command).seed = 1234;
  ASSERT_TRUE(session.command->Do());
  const std::vector<int32_t> again = session.Times();
  BlockOf(session.command).seed = 777;
  ASSERT_TRUE(session.command->Do());
  EXPECT_NE(session.Times(), again);
  EXPECT_TRUE(session.command->Undo());
  EXPECT_EQ(session.Times(), again);
  for (size_t i = 0; i < session.keys.size(); ++i) {
    const bool recorded = session.keys[i].key->IsSelected() && session.keys[i].track != "Ball:Spin";
    EXPECT_EQ(session.keys[i].key->References(), references[i] + (recorded ? 1 : 0)) << session.keys[i].track;
  }
  // The command's selection snapshot shares the selection's items, which hold the keys:
  // with the command gone the keys have their counts from before Do.
  session.host->Release();
  for (size_t i = 0; i < session.keys.size(); ++i)
    EXPECT_EQ(session.keys[i].key->References(), references[i]) << session.keys[i].track;
}

TEST_F(JitterKeysTest, ShuffleDrawsAnEvenSeedAndChangesNothingElse) {
  // No selected key: Do reseeds the generator and draws nothing.
  const std::string scene = R"({"qvscene": 1, "elements": [{"name": "Box", "animation": {"track": [{"time": 5}]}}]})";
  Session session = Start(scene, {0.25f, 0.75f, 4321});
  ASSERT_TRUE(session.command->Do());
  TQVCountedPtr<ICommandParameters> parameters;
  ASSERT_EQ(QVQuery(session.command, parameters), kQVOk);
  Block& block = BlockOf(session.command);
  auto shuffle = qvhost::Adopt<qvhost::DialogControl>(new qvhost::DialogControl(QVFourCC("SHUF")));
  auto other = qvhost::Adopt<qvhost::DialogControl>(new qvhost::DialogControl(QVFourCC("OKAY")));
  Lcg oracle{4321};
  for (int32_t message : {0, kQVMessageDialogReady, -1, 77}) {
    for (int i = 0; i < 25; ++i) {
      EXPECT_EQ(parameters->ControlEvent(message, static_cast<IHostDialogControl*>(shuffle.Get()), i), kQVOk);
      const int32_t seed = block.seed;
      EXPECT_EQ(seed, 2 * oracle.Draw()) << "message " << message;
      EXPECT_EQ(seed % 2, 0);
      EXPECT_EQ(block.minOffset, 0.25f);
      EXPECT_EQ(block.maxOffset, 0.75f);
    }
  }
  const int32_t seed = block.seed;
  EXPECT_EQ(parameters->ControlEvent(0, static_cast<IHostDialogControl*>(other.Get()), 0), kQVOk);
  EXPECT_EQ(parameters->ControlEvent(0, nullptr, 0), kQVOk);
  EXPECT_EQ(block.seed, seed) << "only the 'SHUF' part shuffles";
  EXPECT_EQ(parameters->ControlEvent(0, static_cast<IHostDialogControl*>(shuffle.Get()), 0), kQVOk);
  EXPECT_EQ(block.seed, 2 * oracle.Draw()) << "the other parts drew nothing";
}

TEST_F(JitterKeysTest, MinimumAboveMaximumShowsTheAlertAndDisablesUndo) {
  const std::string alert = fModule->Resources().alerts.at(300);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float minOffset, maxOffset;
    bool refused;
  };
  const Case cases[] = {{2.0f, 1.0f, true},  {-1.0f, -2.0f, true}, {0.0f, -FLT_MIN, true},
                        {1.0f, 1.0f, false}, {nan, 1.0f, false},   {1.0f, nan, false}};
  for (const Case& c : cases) {
    Session session = Start(kBallScene, {c.minOffset, c.maxOffset, 8000});
    const std::vector<int32_t> original = session.Times();
    Log().Clear();
    if (!c.refused) {
      EXPECT_TRUE(session.command->Do()) << c.minOffset << " " << c.maxOffset;
      EXPECT_EQ(Log().Texts("alert"), std::vector<std::string>()) << c.minOffset << " " << c.maxOffset;
      EXPECT_TRUE(session.command->Undo()) << c.minOffset << " " << c.maxOffset;
      EXPECT_EQ(session.Times(), original) << c.minOffset << " " << c.maxOffset;
      continue;
    }
    EXPECT_FALSE(session.command->Do()) << c.minOffset << " " << c.maxOffset;
    EXPECT_EQ(Reported(),
              (std::vector<std::string>{"resources: begin scmd JtKy", "alert: " + alert, "resources: end"}));
    EXPECT_TRUE(fShell->Settings().selectedResources.empty()) << "the resource selection is restored";
    EXPECT_EQ(session.Times(), original);
    EXPECT_FALSE(session.command->Undo());
    EXPECT_FALSE(session.command->Redo());
    // The refusal lasts for the command's life, even once the values are in order.
    BlockOf(session.command) = {0.0f, 1.0f, 8000};
    EXPECT_TRUE(session.command->Do());
    const std::vector<int32_t> moved = session.Times();
    EXPECT_NE(moved, original);
    EXPECT_FALSE(session.command->Undo());
    EXPECT_FALSE(session.command->Redo());
    EXPECT_EQ(session.Times(), moved);
  }
}

TEST_F(JitterKeysTest, PrepareNeedsAContextWithANotificationTarget) {
  TQVCountedPtr<ISceneCommand> command = Create();
  EXPECT_EQ(command->Prepare(), QVResult(0x80014004u));
  EXPECT_EQ(command->SetContext(nullptr), kQVOk);
  EXPECT_EQ(command->Prepare(), QVResult(0x80014004u));

  TQVCountedPtr<qvhost::Document> document = Parse(kBallScene);
  auto context = qvhost::Adopt<qvhost::CommandContext>(new qvhost::CommandContext(*document));
  context->RemoveNotificationTarget();
  EXPECT_EQ(command->SetContext(context.Get()), kQVOk);
  EXPECT_RAISES(command->Prepare(), QVResult(0x80010005u), "Samples/SceneCommands/JitterKeys/JitterKeys", 124);
  // Without Prepare the walk has no hierarchy: it raises at the module header's site.
  TQVCountedPtr<ISceneCommand> unprepared = Create();
  EXPECT_RAISES(unprepared->Do(), QVResult(0x80010005u), "Samples/SceneCommands/JitterKeys/JitterKeys", 163);
  EXPECT_FALSE(unprepared->Undo());
  // The context is given back with the command.
  const int32_t references = context->References();
  EXPECT_EQ(command->SetContext(nullptr), kQVOk);
  EXPECT_EQ(context->References(), references - 1);
}

TEST_F(JitterKeysTest, ParametersChangedSetsTheDefaultsOfTheNextCommand) {
  TQVCountedPtr<ISceneCommand> first = Create();
  const Block initial = BlockOf(first.Get());
  EXPECT_EQ(initial.minOffset, 0.0f);
  EXPECT_EQ(initial.maxOffset, 1.0f);
  EXPECT_EQ(initial.seed, 8000);

  TQVCountedPtr<ISceneCommand> before = Create();
  BlockOf(first.Get()) = {0.25f, 0.75f, 1234};
  TQVCountedPtr<ICommandParameters> parameters;
  ASSERT_EQ(QVQuery(first.Get(), parameters), kQVOk);
  EXPECT_EQ(parameters->ParametersChanged(), kQVOk);
  BlockOf(first.Get()).seed = 99;  // later edits stay in the first command's block

  TQVCountedPtr<ISceneCommand> next = Create();
  const Block copied = BlockOf(next.Get());
  EXPECT_EQ(copied.minOffset, 0.25f);
  EXPECT_EQ(copied.maxOffset, 0.75f);
  EXPECT_EQ(copied.seed, 1234);
  EXPECT_NE(&BlockOf(next.Get()), &BlockOf(first.Get()));
  EXPECT_EQ(BlockOf(before.Get()).seed, 8000) << "a command made earlier keeps its block";

  // Leave the module's defaults as loaded.
  BlockOf(first.Get()) = initial;
  EXPECT_EQ(parameters->ParametersChanged(), kQVOk);
}

TEST_F(JitterKeysTest, NotifiesTheMovedNodesOnDoAndEveryWalkedNodeOnUndoAndRedo) {
  const char scene[] = R"({
    "qvscene": 1,
    "elements": [
      {"name": "Ball",
       "animation": {"track": [{"time": 1000000, "selected": true}, {"time": 2000000}],
         "channels": [
           {"name": "Bounce", "track": [{"time": 1000000, "selected": true}, {"time": 3000000, "selected": true}]},
           {"name": "Squash", "node": {"track": [{"time": 4000000, "selected": true}]}}]},
       "children": [{"name": "Lamp", "animation": {"suspended": true, "track": [{"time": 1000000}]}}]},
      {"name": "Floor"},
      {"name": "Cart", "animation": {"channels": [{"name": "Wheel", "node": {"track": [{"time": 5000000, "selected": true}]}}]}},
      {"name": "Crate", "animation": {"suspended": true, "track": [{"time": 1000000, "selected": true}]}}
    ],
    "objects": [{"name": "Sun", "animation": {"track": [{"time": 1000000, "selected": true}]}}, {"name": "Moon"}],
    "owners": [
      {"name": "Rig", "owned": {"name": "Rig controls", "animation": {"track": [{"time": 1000000, "selected": true}]}}},
      {"name": "Empty owner"}],
    "extra": {"name": "Environment", "animation": {"track": [{"time": 1000000, "selected": true}]}}
  })";
  Session session = Start(scene, {0.0f, 1.0f, 8000});
  Log().Clear();
  ASSERT_TRUE(session.command->Do());
  // The walk: the root has no node, so the first list gives Sun first; Floor has none,
  // so the owners give Rig's object; Environment comes once the tree is done.
  EXPECT_EQ(Reported(),
            (std::vector<std::string>{"keys: changed Sun", "keys: changed Ball", "keys: changed Rig controls",
                                      "keys: changed Cart", "keys: changed Crate", "keys: changed Environment",
                                      "notify: change"}));
  qvhost::Scene& sceneObjects = session.document->GetScene();
  EXPECT_TRUE(sceneObjects.Root().Find("Ball/Lamp")->Node()->suspended);
  EXPECT_TRUE(sceneObjects.Root().Find("Crate")->Node()->suspended);
  EXPECT_EQ(sceneObjects.prepared, 1);

  // Per record in the order the keys moved, then every walked node with the action.
  const std::vector<std::string> swap = {"keys: changed Sun",
                                         "keys: changed Ball",
                                         "keys: changed Ball",
                                         "keys: changed Ball",
                                         "keys: changed Ball:Squash",
                                         "keys: changed Rig controls",
                                         "keys: changed Cart:Wheel",
                                         "keys: changed Crate",
                                         "keys: changed Environment",
                                         "keys: changed Sun (with source)",
                                         "keys: changed Ball (with source)",
                                         "keys: changed Ball/Lamp (with source)",
                                         "keys: changed Rig controls (with source)",
                                         "keys: changed Cart (with source)",
                                         "keys: changed Crate (with source)",
                                         "keys: changed Environment (with source)",
                                         "notify: change"};
  for (bool (ISceneCommand::*operation)() : {&ISceneCommand::Undo, &ISceneCommand::Redo, &ISceneCommand::Undo}) {
    Log().Clear();
    EXPECT_TRUE((session.command->*operation)());
    EXPECT_EQ(Reported(), swap);
  }
  EXPECT_EQ(sceneObjects.prepared, 4) << "each pass prepares the hierarchy";
}

TEST_F(JitterKeysTest, HugeOffsetsSaturateInsteadOfWrapping) {
  const std::vector<int32_t> times = {kTime32Min, -1, 0, 1, 1000000, kTime32Max - 1, kTime32Max};
  std::string elements;
  for (size_t i = 0; i < times.size(); ++i)
    elements += std::string(i ? ", " : "") + "{\"name\": \"E" + std::to_string(i) +
                "\", \"animation\": {\"track\": " + KeysJson({times[i]}, All) + "}}";
  const std::string scene = R"({"qvscene": 1, "elements": [)" + elements + "]}";
  struct Case {
    float minOffset, maxOffset;
  };
  const Case cases[] = {{1e9f, 1e9f}, {FLT_MAX, FLT_MAX}, {-1e9f, -1e9f}, {-1e9f, 1e9f}, {-FLT_MAX, FLT_MAX}};
  std::vector<bool> alternate;
  for (size_t i = 0; i < times.size(); ++i) alternate.push_back(i % 2 == 0);
  std::vector<bool> inverse(alternate.size());
  std::transform(alternate.begin(), alternate.end(), inverse.begin(), [](bool b) { return !b; });
  // Every key seen moving both ways, and the key at 0 drawing the lowest magnitude
  // backwards (a magnitude of INT32_MIN, negated, when the range starts there).
  const uint32_t seeds[] = {SeedWithSigns(alternate), SeedWithSigns(inverse), SeedWhere([](Lcg& lcg) {
                              for (int i = 0; i < 4; ++i) lcg.Draw();
                              return lcg.Draw() < 16384 && lcg.Draw() == 0;
                            })};
  for (const Case& c : cases) {
    for (const uint32_t seed : seeds) {
      Session session = Start(scene, {c.minOffset, c.maxOffset, int32_t(seed)});
      ASSERT_TRUE(session.command->Do());
      OffsetOracle oracle(seed, c.minOffset, c.maxOffset);
      for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(session.keys[i].key->Ticks(), Moved(times[i], oracle.Next()))
            << c.minOffset << ".." << c.maxOffset << " from " << times[i];
      }
      if (c.minOffset == c.maxOffset && c.minOffset > 0) {
        for (size_t i = 0; i < times.size(); ++i) {
          const int32_t ticks = session.keys[i].key->Ticks();
          EXPECT_TRUE(ticks == 0 || ticks == kTime32Max) << times[i] << " -> " << ticks;
        }
      }
      EXPECT_TRUE(session.command->Undo());
      EXPECT_EQ(session.Times(), times);
    }
  }
}

TEST_F(JitterKeysTest, TesterIsEnabledByASelectedKeyframeItem) {
  const char scene[] = R"({"qvscene": 1,
    "elements": [{"name": "Box", "animation": {"track": [{"time": 5}, {"time": 9}]}}],
    "selection": ["Box"]})";
  struct Case {
    const char* what;
    // Adds items to the selection, given the scene's Box and its first key.
    std::function<void(qvhost::Selection&, IHostTreeElement*, IHostKeyframe*)> select;
    bool enabled;
  };
  const Case cases[] = {
      {"an element only", [](qvhost::Selection&, IHostTreeElement*, IHostKeyframe*) {}, false},
      {"a key", [](qvhost::Selection& s, IHostTreeElement*, IHostKeyframe* k) { s.Add(QVFourCC("KeyF"), k); }, true},
      {"a key under another family",
       [](qvhost::Selection& s, IHostTreeElement*, IHostKeyframe* k) { s.Add(QVFourCC("Tree"), k); }, false},
      {"a 'KeyF' item that is not a key",
       [](qvhost::Selection& s, IHostTreeElement* e, IHostKeyframe*) { s.Add(QVFourCC("KeyF"), e); }, false},
      {"an empty 'KeyF' item, then a key",
       [](qvhost::Selection& s, IHostTreeElement*, IHostKeyframe* k) {
         s.Add(QVFourCC("KeyF"), nullptr);
         s.Add(QVFourCC("KeyF"), k);
       },
       true},
  };
  for (const Case& c : cases) {
    TQVCountedPtr<qvhost::Document> document = Parse(scene);
    qvhost::Scene& sceneObjects = document->GetScene();
    qvhost::SceneElement* box = sceneObjects.Root().Find("Box");
    c.select(sceneObjects.GetSelection(), box, box->Node()->Track().GetKey(0));
    auto context = qvhost::Adopt<qvhost::CommandContext>(new qvhost::CommandContext(*document));
    TQVCountedPtr<ISceneCommand> command = Create();
    TQVCountedPtr<ICommandTester> tester;
    command->GetTester(tester.Put());
    ASSERT_TRUE(tester);
    EXPECT_EQ(tester->IsEnabled(context.Get()), c.enabled) << c.what;
    EXPECT_FALSE(tester->IsEnabled(nullptr));
  }
}

TEST_F(JitterKeysTest, AnswersItsInterfacesAndDialog) {
  TQVCountedPtr<ISceneCommand> command = Create();
  TQVCountedPtr<ICommandParameters> parameters;
  ASSERT_EQ(QVQuery(command.Get(), parameters), kQVOk);
  TQVCountedPtr<ISceneCommand> back;
  EXPECT_EQ(QVQuery(parameters.Get(), back), kQVOk);
  EXPECT_EQ(back.Get(), command.Get());
  EXPECT_TRUE(command->AvailabilityQueryA());
  EXPECT_TRUE(command->AvailabilityQueryB());
  EXPECT_EQ(parameters->GetDialogID(), 150);
  EXPECT_TRUE(parameters->AcceptsValue(nullptr));
  EXPECT_EQ(parameters->Operation5(nullptr, nullptr), QVResult(0x80014001u));
  EXPECT_EQ(parameters->Operation6(nullptr, nullptr), QVResult(0x80014001u));
  EXPECT_EQ(parameters->Operation11(), QVResult(0x80010006u));
  EXPECT_EQ(parameters->CopyTargetTo(nullptr), QVResult(0x80010006u));
  // The dialog's fields land in the block the command reads.
  const qvhost::DialogResource& dialog = fModule->Resources().dialogs.at(0);
  void* block = parameters->GetParameterBlock();
  qvhost::HeadlessDialog window(&dialog, dialog.id, fShell->SharedJournal());
  window.Set(block, "MinOffset", "0.5");
  window.Set(block, "MaxOffset", "1.5");
  window.Set(block, "Seed", "-3");
  const Block written = BlockOf(command.Get());
  EXPECT_EQ(written.minOffset, 0.5f);
  EXPECT_EQ(written.maxOffset, 1.5f);
  EXPECT_EQ(written.seed, -3);
  // GetTester gives back the tester the out-parameter held (the fixture sees a leak).
  TQVCountedPtr<ICommandTester> tester;
  command->GetTester(tester.AddressOf());
  command->GetTester(tester.AddressOf());
  ASSERT_TRUE(tester);
  TQVCountedPtr<ISceneCommand> notACommand;
  EXPECT_NE(QVQuery(tester.Get(), notACommand), kQVOk) << "the tester answers only the base interface";
}

TEST_F(JitterKeysTest, RefusedAllocationsRaiseOutOfMemoryAndLeakNothing) {
  auto& memory = qvhost::HostMemory::Instance();
  {
    TQVCountedPtr<ISceneCommand> command = Create();
    TQVCountedPtr<ICommandTester> tester;
    memory.RefuseAllocation(1);
    EXPECT_RAISES(command->GetTester(tester.Put()), QVResult(0x80010002u), "../../../Include/Common/QVCountedPtrHelper", 166);
    memory.RefuseAllocation(0);
    EXPECT_FALSE(tester);
  }
  // Each allocation a Do makes, refused in turn, raises out of memory.
  int64_t allocations = 0;
  {
    Session session = Start(kBallScene, {0.0f, 1.0f, 8000});
    const int64_t before = memory.Allocations();
    ASSERT_TRUE(session.command->Do());
    allocations = memory.Allocations() - before;
  }
  ASSERT_GT(allocations, 0);
  for (int64_t n = 1; n <= allocations; ++n) {
    Session session = Start(kBallScene, {0.0f, 1.0f, 8000});
    memory.RefuseAllocation(n);
    try {
      session.command->Do();
      ADD_FAILURE() << "allocation " << n << " refused without an exception";
    } catch (const TQVException& error) {
      EXPECT_EQ(error.Code(), QVResult(0x80010002u)) << "allocation " << n;
    }
    memory.RefuseAllocation(0);
  }
}

// Keys moved before the refusal must be swapped back by the one Undo the host calls.
TEST_F(JitterKeysTest, OneUndoAfterADoCutShortByARefusedAllocationRestoresTheScene) {
  const int64_t allocations = ExpectUndoRepairsEachRefusedDo([&]() -> qvhost::CommandSession& {
    return *Start(kBallScene, {0.5f, 1.0f, 8000}).host;
  });
  EXPECT_GT(allocations, 11);
}

// The resource file gives the module's own block: its size and each field's offset.
TEST_F(JitterKeysTest, TheResourceFileDescribesTheBlockAtItsOffsets) {
  ExpectDialogLayout(fModule->Resources().FindDialog(150), sizeof(JitterKeysParameters),
                     {{"MinOffset", offsetof(JitterKeysParameters, MinOffset)},
                      {"MaxOffset", offsetof(JitterKeysParameters, MaxOffset)},
                      {"Seed", offsetof(JitterKeysParameters, Seed)}});
}

}  // namespace
