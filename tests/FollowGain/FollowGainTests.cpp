// FollowGain through the loader: attached to scene elements, evaluated by the host.
#include <cmath>
#include <cstddef>
#include <functional>
#include <iterator>

#include "ExpectRaise.h"
#include "FollowGainParameters.h"
#include "ModifierFixture.h"

namespace {

// Leader moves from (1, 0, 0) at 0 to (5, 2, -4) at 180000 ticks.
const char kScene[] = R"({"qvscene": 1, "elements": [
  {"name": "Leader", "animation": {"track": [{"time": 0, "translation": [1, 0, 0]},
                                             {"time": 180000, "translation": [5, 2, -4]}]}},
  {"name": "Follower", "transform": {"translation": [0, 0, 9]}}]})";

class FollowGainTest : public ModifierTest {
 protected:
  void SetUp() override {
    ModifierTest::SetUp();
    LoadModules({"FollowGain"});
  }
  // A FollowGain on Follower, following Leader from the current time on.
  qvhost::ComponentCarrier& Follow(const std::vector<std::pair<std::string, std::string>>& fields = {}) {
    qvhost::ComponentCarrier& carrier = Attach("FollowGain", "Follower");
    Set(carrier, fields);
    EXPECT_EQ(Control(carrier, "obj1", "Leader"), kQVOk);
    Current().Evaluate();
    return carrier;
  }
  static FollowGainParameters& Block(qvhost::ComponentCarrier& carrier) { return BlockOf<FollowGainParameters>(carrier); }
  static TQVTransform Rotated(float a, float b, float c) {
    TQVTransform transform;
    transform.rotation.FromEuler(a, b, c, true);
    return transform;
  }
};

TEST_F(FollowGainTest, AllGainsOneTakeTheTargetsPlacement) {
  Open(kScene);
  TQVTransform leader = Rotated(0.3f, -0.2f, 0.5f);
  leader.translation = {1.5f, 2.0f, -3.0f};
  leader.uniformScale = 2.0f;
  leader.axisScale = {1.0f, 2.0f, 0.5f};
  Element("Leader").SetNode(nullptr);  // held where it is put
  Element("Leader").SetLocal(leader);
  qvhost::ComponentCarrier& carrier = Follow();

  const TQVTransform& follower = Element("Follower").Local();
  ExpectVector(follower.translation, 1.5f, 2.0f, -3.0f);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(follower.rotation.m[i], leader.rotation.m[i], 1e-5f) << i;
  EXPECT_EQ(follower.uniformScale, 2.0f);
  ExpectVector(follower.axisScale, 1.0f, 2.0f, 0.5f, 0.0f);

  const FollowGainParameters& block = Block(carrier);
  EXPECT_STREQ(block.TargetName.CStr(), "Leader");
  EXPECT_EQ(block.RefCaptured, 1);
  // The reference as shown: the position, then the angles about x, y and z.
  const char* shown[] = {"1.50", "2.00", "-3.00", "0.50", "-0.20", "0.30"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(block.RefPosText[i].CStr(), shown[i]);
    EXPECT_STREQ(block.RefRotText[i].CStr(), shown[3 + i]);
  }
  EXPECT_EQ(Journal("picker"), std::vector<std::string>{
                                   "\"Follow Gain: target\" \"Pick the object whose motion this object repeats.\": Leader"});
  EXPECT_EQ(Journal("resources"), (std::vector<std::string>{"begin modi FlGn", "end"}));
  EXPECT_EQ(Journal("display"), std::vector<std::string>{"invalidate Follower"});
}

TEST_F(FollowGainTest, PositionGainsScaleTheTargetsDisplacementFromTheReference) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> fields;
    TQVVector3 at90000;  // Leader is at (3, 1, -2) then; the reference is (1, 0, 0)
  } cases[] = {
      {"gain 0: stays at the reference", {{"PosGainX", "0"}, {"PosGainY", "0"}, {"PosGainZ", "0"}}, {1, 0, 0}},
      {"gain 0.5", {{"PosGainX", "0.5"}, {"PosGainY", "0.5"}, {"PosGainZ", "0.5"}}, {2, 0.5f, -1}},
      {"gain 2 on x", {{"PosGainX", "2"}}, {5, 1, -2}},
      {"z switched off: the object's own z", {{"PosZOn", "false"}}, {3, 1, 9}},
      {"the group off: the object stays", {{"PosOn", "false"}}, {0, 0, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(kScene);
    Follow(c.fields);
    Current().SetTime(90000);
    ExpectVector(Element("Follower").Local().translation, c.at90000.x, c.at90000.y, c.at90000.z);
  }
}

TEST_F(FollowGainTest, RotationBlendsFromTheReferenceByEachAxisGain) {
  Open(kScene);
  qvhost::SceneElement& follower = Element("Follower");
  follower.SetLocal(Rotated(0.0f, 0.0f, 0.3f));
  Follow({{"RotXOn", "false"}, {"RotGainZ", "0.5"}});  // captures Leader's identity rotation
  Element("Leader").SetLocal(Rotated(0.8f, 0.0f, 0.0f));
  Current().Evaluate();
  const TQVEulerAngles angles = follower.Local().rotation.ToEuler();
  EXPECT_NEAR(angles.a, 0.4f, 1e-4f) << "half of the target's turn about z";
  EXPECT_NEAR(angles.b, 0.0f, 1e-4f);
  EXPECT_NEAR(angles.c, 0.3f, 1e-4f) << "x switched off: the object's own angle";
  EXPECT_TRUE(angles.rightHanded);
}

TEST_F(FollowGainTest, ScaleGroupTakesTheTargetsScalesTimesTheGainAndOneWhereAnAxisIsOff) {
  Open(kScene);
  TQVTransform leader;
  leader.uniformScale = 0.5f;
  leader.axisScale = {2, 3, 4};
  Element("Leader").SetNode(nullptr);
  Element("Leader").SetLocal(leader);
  TQVTransform follower;
  follower.axisScale = {7, 7, 7};
  Element("Follower").SetLocal(follower);
  Follow({{"ScaleYOn", "false"}, {"ScaleGainX", "0.5"}});
  ExpectVector(Element("Follower").Local().axisScale, 1.0f, 1.0f, 4.0f, 0.0f);
  EXPECT_EQ(Element("Follower").Local().uniformScale, 0.5f);
}

TEST_F(FollowGainTest, ATargetFlattenedOnAnAxisGivesAPlacementWithoutNaN) {
  Open(kScene);
  Element("Leader").SetNode(nullptr);
  Matrix34 flat;  // no extent along y: its decomposition keeps that column as it is, zero
  flat.rotation = {{2, 0, 0, 0, 0, 0, 0, 0, 0.5f}};
  flat.translation = {1, 2, 3};
  Element("Leader").SetGlobalMatrix(flat, 0);
  Follow();
  const TQVTransform& follower = Element("Follower").Local();
  const float* values = &follower.rotation.m[0];
  for (size_t i = 0; i < sizeof(TQVTransform) / sizeof(float); ++i) EXPECT_TRUE(std::isfinite(values[i])) << i;
  ExpectVector(follower.translation, 1, 2, 3);
  ExpectVector(follower.axisScale, 2, 0, 0.5f);
}

TEST_F(FollowGainTest, SameGainLinksTheGainsOfAGroup) {
  Open(kScene);
  qvhost::ComponentCarrier& carrier = Attach("FollowGain", "Follower");
  const std::vector<std::pair<std::string, std::string>> gains = {
      {"PosGainX", "0.2"}, {"PosGainY", "0.7"}, {"PosGainZ", "0.9"},  {"RotGainX", "0.1"},
      {"RotGainY", "0.3"}, {"RotGainZ", "0.9"}, {"ScaleGainX", "3"}, {"ScaleGainY", "4"}};
  Set(carrier, gains);
  EXPECT_EQ(Control(carrier, "ROym"), kQVOk);
  ExpectVector(Block(carrier).Rotation.Gain, 0.1f, 0.3f, 0.9f, 0.0f);  // without SameGain nothing is linked

  Set(carrier, {{"SameGain", "true"}});
  EXPECT_EQ(Control(carrier, "ROym"), kQVOk);
  ExpectVector(Block(carrier).Rotation.Gain, 0.3f, 0.3f, 0.3f, 0.0f);
  ExpectVector(Block(carrier).Position.Gain, 0.2f, 0.7f, 0.9f, 0.0f);  // another group's part
  EXPECT_EQ(Control(carrier, "obj1", "Leader"), kQVOk);
  Current().Evaluate();  // each group's x gain goes to y and z
  ExpectVector(Block(carrier).Position.Gain, 0.2f, 0.2f, 0.2f, 0.0f);
  ExpectVector(Block(carrier).Scale.Gain, 3.0f, 3.0f, 3.0f, 0.0f);
}

TEST_F(FollowGainTest, WithoutATargetTheReferenceIsForgottenAndTheObjectStays) {
  struct Case {
    const char* name;
    std::function<void(qvhost::ComponentCarrier&)> lose;
  } cases[] = {
      {"the object picked as its own target",
       [this](qvhost::ComponentCarrier& carrier) { Control(carrier, "obj1", "Follower"); }},
      {"the target taken out of the scene",
       [this](qvhost::ComponentCarrier&) {
         RemovalRecord record;
         TQVCountedPtr<IUnknown> token;
         ASSERT_EQ(Element("Leader").Remove(token.Put(), &record), kQVOk);
         record.Discard();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(kScene);
    qvhost::ComponentCarrier& carrier = Follow();
    ASSERT_EQ(Block(carrier).RefCaptured, 1);
    c.lose(carrier);
    Current().SetTime(90000);
    ExpectVector(Element("Follower").Local().translation, 1, 0, 0);  // where the last Apply put it
    const FollowGainParameters& block = Block(carrier);
    EXPECT_STREQ(block.TargetName.CStr(), "Choose");
    EXPECT_EQ(block.RefCaptured, 0);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(block.RefPosText[i].IsEmpty() && block.RefRotText[i].IsEmpty());
  }
  EXPECT_EQ(Journal("display").size(), 2u) << "only the Applies that had a target invalidated";
}

TEST_F(FollowGainTest, OutsideASceneApplyChangesNothingAndAResetAllStaysPending) {
  Open(kScene);
  qvhost::ComponentCarrier& carrier = Follow();
  EXPECT_EQ(Control(carrier, "RESA"), kQVOk);
  TQVCountedPtr<qvhost::SceneElement> follower;
  follower.Assign(&Element("Follower"));
  RemovalRecord record;
  TQVCountedPtr<IUnknown> token;
  ASSERT_EQ(follower->Remove(token.Put(), &record), kQVOk);
  record.Discard();
  const TQVTransform before = follower->Local();
  EXPECT_EQ(carrier.Query<IObjectModifier>()->Apply(follower.Get()), kQVOk);
  EXPECT_EQ(Block(carrier).ResetAllPending, 1);
  EXPECT_EQ(Block(carrier).RefCaptured, 1);
  ExpectVector(follower->Local().translation, before.translation.x, before.translation.y, before.translation.z, 0);
  follower->DetachComponents();
}

TEST_F(FollowGainTest, ResetAllRecapturesEveryFollowGainOfTheSceneAndResetOnlyItsOwn) {
  Open(R"({"qvscene": 1, "elements": [
    {"name": "T", "animation": {"track": [{"time": 0, "translation": [1, 0, 0]}, {"time": 180000, "translation": [5, 2, -4]}]}},
    {"name": "A"}, {"name": "B"}]})");
  for (const char* name : {"A", "B"}) {
    qvhost::ComponentCarrier& carrier = Attach("FollowGain", name);
    Set(carrier, {{"PosGainX", "0.5"}, {"PosGainY", "0.5"}, {"PosGainZ", "0.5"}});
    Control(carrier, "obj1", "T");
  }
  Current().Evaluate();  // both capture (1, 0, 0)
  Current().SetTime(180000);
  ExpectVector(Element("B").Local().translation, 3, 1, -2);
  EXPECT_EQ(Control(Carrier("A"), "RESA"), kQVOk);
  EXPECT_EQ(Block(Carrier("B")).ResetAllPending, 0) << "only the one asked";
  fShell->GetJournal().Clear();
  Current().Evaluate();
  for (const char* name : {"A", "B"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Block(Carrier(name)).RefCaptured, 1);
    ExpectVector(Block(Carrier(name)).RefPos, 5, 2, -4);
    ExpectVector(Element(name).Local().translation, 5, 2, -4);
    EXPECT_EQ(Block(Carrier(name)).ResetAllPending, 0);
  }
  // The reset touches A and B, then each Apply has its own object redrawn.
  EXPECT_EQ(Journal("display"),
            (std::vector<std::string>{"invalidate A", "invalidate B", "invalidate A", "invalidate B"}));

  EXPECT_EQ(Control(Carrier("B"), "REST"), kQVOk);
  Current().SetTime(0);
  ExpectVector(Element("A").Local().translation, 3, 1, -2);
  ExpectVector(Element("B").Local().translation, 1, 0, 0);  // B recaptured where T is now
}

// The reset walks every component of every element: another module's parameter list is
// passed over (neither set nor its element redrawn for it), and a FollowGain after it on
// the same element is still reset.
TEST_F(FollowGainTest, ResetAllPassesOverOtherComponentsBesideAFollowGain) {
  Load("ExtentFollow");
  Load("NoteSheet");
  Open(R"({"qvscene": 1, "elements": [
    {"name": "T", "animation": {"track": [{"time": 0, "translation": [1, 0, 0]}, {"time": 180000, "translation": [5, 2, -4]}]}},
    {"name": "A"}, {"name": "B"}, {"name": "C"}]})");
  const std::pair<const char*, const char*> others[] = {{"ExtentFollow", "A"}, {"NoteSheet", "B"}, {"ExtentFollow", "C"}};
  for (const auto& [component, element] : others) Attach(component, element);
  for (const char* name : {"A", "B"}) Control(Attach("FollowGain", name), "obj1", "T");
  Current().Evaluate();  // both FollowGains capture (1, 0, 0)
  Current().SetTime(180000);
  const auto values = [](qvhost::ComponentCarrier& carrier) {
    return qvhost::HeadlessDialog(carrier.Dialog(), carrier.Dialog()->id, nullptr)
        .Values(Parameters(carrier)->GetParameterBlock());
  };
  std::vector<std::vector<std::string>> before;
  for (const auto& [component, element] : others) before.push_back(values(Carrier(element)));

  EXPECT_EQ(Control(Carrier("A", 1), "RESA"), kQVOk);
  fShell->GetJournal().Clear();
  EXPECT_EQ(Carrier("A", 1).Query<IObjectModifier>()->Apply(&Element("A")), kQVOk);
  EXPECT_EQ(Journal("display"), (std::vector<std::string>{"invalidate A", "invalidate B", "invalidate A"}))
      << "one redraw per FollowGain reset, then A's Apply";
  EXPECT_EQ(Block(Carrier("B", 1)).RefCaptured, 0) << "reset behind B's NoteSheet, captured at its next Apply";
  EXPECT_EQ(Block(Carrier("A", 1)).RefCaptured, 1);
  ExpectVector(Block(Carrier("A", 1)).RefPos, 5, 2, -4);
  for (size_t i = 0; i < std::size(others); ++i)
    EXPECT_EQ(values(Carrier(others[i].second)), before[i]) << others[i].first << " on " << others[i].second;
}

TEST_F(FollowGainTest, ACommaSeparatorIsShownInTheReference) {
  for (auto& module : fModules) EXPECT_EQ(module->Unload(), "");
  fModules.clear();
  LoadModules({"FollowGain"}, ",");
  Open(R"({"qvscene": 1, "elements": [{"name": "Leader", "transform": {"translation": [1.5, 0, -2.25]}},
                                      {"name": "Follower"}]})");
  const FollowGainParameters& block = Block(Follow());
  EXPECT_STREQ(block.RefPosText[0].CStr(), "1,50");
  EXPECT_STREQ(block.RefPosText[1].CStr(), "0,00");
  EXPECT_STREQ(block.RefPosText[2].CStr(), "-2,25");
}

TEST_F(FollowGainTest, CloneCopiesTheBlockAndTheTargetAndSoDoesTheHostsCopyOfTheElement) {
  Open(kScene);
  qvhost::ComponentCarrier& carrier = Follow({{"PosGainX", "0.5"}, {"ScaleOn", "false"}});
  TQVCountedPtr<ICommandParameters> copy;
  Parameters(carrier)->Clone(copy.Put(), nullptr);
  ASSERT_TRUE(copy);
  const auto& original = Block(carrier);
  const auto& copied = *static_cast<FollowGainParameters*>(copy->GetParameterBlock());
  EXPECT_STREQ(copied.TargetName.CStr(), "Leader");
  EXPECT_EQ(copied.Position.Gain.x, 0.5f);
  EXPECT_EQ(copied.Scale.On, 0);
  EXPECT_EQ(copied.RefCaptured, 1);
  EXPECT_STREQ(copied.RefPosText[0].CStr(), original.RefPosText[0].CStr());
  EXPECT_EQ(Stored(copy.Get()), TargetLine(Element("Leader")));
  copy.Release();

  // The host's deep copy of the element clones its modifier: the copy follows Leader too.
  TQVCountedPtr<IHostTreeElement> twin;
  ASSERT_EQ(Element("Follower").DeepCopy(1, twin.Put()), kQVOk);
  ASSERT_EQ(Element("Follower").InsertNextTo(twin.Get()), kQVOk);
  qvhost::SceneElement& copyElement = *qvhost::AsSceneElement(twin.Get());
  copyElement.SetLocal(TQVTransform{});
  Current().SetTime(180000);
  ExpectVector(copyElement.Local().translation, 3, 2, -4);
  ExpectVector(Element("Follower").Local().translation, 3, 2, -4);

  qvhost::HostMemory::Instance().RefuseAllocation(1);
  ICommandParameters* refused = nullptr;
  EXPECT_RAISES(Parameters(carrier)->Clone(&refused, nullptr), kQVErrOutOfMemory, kQVCountedPtrModuleSource, 166);
  EXPECT_EQ(refused, nullptr);
}

TEST_F(FollowGainTest, TheResourceFileDescribesTheBlockAtItsOffsets) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  const size_t position = offsetof(FollowGainParameters, Position), rotation = offsetof(FollowGainParameters, Rotation),
               scale = offsetof(FollowGainParameters, Scale), gain = offsetof(FollowGainGroup, Gain);
  const struct {
    const char* name;
    size_t offset;
  } fields[] = {
      {"TargetName", offsetof(FollowGainParameters, TargetName)},
      {"PosOn", position}, {"PosXOn", position + 1}, {"PosZOn", position + 3}, {"PosGainX", position + gain},
      {"PosGainZ", position + gain + 8}, {"RotOn", rotation}, {"RotYOn", rotation + 2},
      {"RotGainY", rotation + gain + 4}, {"ScaleOn", scale}, {"ScaleZOn", scale + 3},
      {"ScaleGainZ", scale + gain + 8}, {"SameGain", offsetof(FollowGainParameters, SameGain)},
      {"RefPosXText", offsetof(FollowGainParameters, RefPosText)},
      {"RefPosZText", offsetof(FollowGainParameters, RefPosText) + 2 * sizeof(TQVFixedString<255>)},
      {"RefRotXText", offsetof(FollowGainParameters, RefRotText)},
      {"RefRotZText", offsetof(FollowGainParameters, RefRotText) + 2 * sizeof(TQVFixedString<255>)},
      {"RefCaptured", offsetof(FollowGainParameters, RefCaptured)},
      {"RefPosY", offsetof(FollowGainParameters, RefPos) + 4},
      {"RefRotation0", offsetof(FollowGainParameters, RefRotation)},
      {"RefRotation8", offsetof(FollowGainParameters, RefRotation) + 32},
      {"ResetAllPending", offsetof(FollowGainParameters, ResetAllPending)},
  };
#pragma GCC diagnostic pop
  const qvhost::DialogResource* dialog = fModules.at(0)->Resources().FindDialog(kFollowGainDialog);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->blockSize, sizeof(FollowGainParameters));
  EXPECT_EQ(dialog->fields.size(), 43u);
  for (const auto& expected : fields) {
    const qvhost::DialogField* found = nullptr;
    for (const qvhost::DialogField& field : dialog->fields)
      if (field.name == expected.name) found = &field;
    ASSERT_NE(found, nullptr) << expected.name;
    EXPECT_EQ(found->offset, expected.offset) << expected.name;
  }
  EXPECT_EQ(fModules.at(0)->Resources().FindParameter(kReferenceCapturedParameter)->name, "RefCaptured");
}

}  // namespace
