// ExtentFollow through the loader: attached to scene elements, evaluated by the host.
#include <string>
#include <vector>

#include "DialogLayout.h"
#include "ExtentFollowParameters.h"
#include "ModifierFixture.h"

namespace {

class ExtentFollowTest : public ModifierTest {
 protected:
  void SetUp() override {
    ModifierTest::SetUp();
    LoadModules({"ExtentFollow"});
  }
  // Marker (rotated, scaled, at (0, 0, 9)) keeps to the target `pick`.
  qvhost::ComponentCarrier& Follow(const std::string& target, const std::string& pick,
                                   const std::vector<std::pair<std::string, std::string>>& fields = {}) {
    Open(R"({"qvscene": 1, "elements": [)" + target + R"(,
      {"name": "Marker", "transform": {"rotation": [0, -1, 0, 1, 0, 0, 0, 0, 1], "translation": [0, 0, 9],
                                       "scale": 2, "axisScale": [1, 2, 3]}}]})");
    qvhost::ComponentCarrier& carrier = Attach("ExtentFollow", "Marker");
    Set(carrier, fields);
    EXPECT_EQ(Control(carrier, "obj1", pick), kQVOk);
    Current().Evaluate();
    return carrier;
  }
  static ExtentFollowParameters& Block(qvhost::ComponentCarrier& carrier) {
    return BlockOf<ExtentFollowParameters>(carrier);
  }
  // Marker's rotation and scales are never touched.
  void ExpectMarkerShape() {
    const TQVTransform& marker = Element("Marker").Local();
    const float rotation[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(marker.rotation.m[i], rotation[i]) << i;
    EXPECT_EQ(marker.uniformScale, 2.0f);
    ExpectVector(marker.axisScale, 1, 2, 3, 0);
  }
};

TEST_F(ExtentFollowTest, MovesToTheTargetsBoxCentreThroughItsTranslationAndPivot) {
  const struct {
    const char* name;
    const char* target;
    TQVVector3 expected;
  } cases[] = {
      {"the box (0, 0, 0)-(2, 4, 6) at (10, 0, 0)",
       R"({"name": "Crate", "transform": {"translation": [10, 0, 0]}, "mesh": {"points": [0, 0, 0, 2, 4, 6, 1, 1, 1]}})",
       {11, 2, 3}},
      {"a pivot is taken off the translation",
       R"({"name": "Crate", "transform": {"translation": [10, 0, 0], "pivot": [1, 1, 1]}, "mesh": {"points": [0, 0, 0, 2, 4, 6]}})",
       {10, 1, 2}},
      {"no geometry: the untouched box has the centre (0, 0, 0)",
       R"({"name": "Crate", "transform": {"translation": [10, 5, 0], "pivot": [0, 1, 0]}})", {10, 4, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qvhost::ComponentCarrier& carrier = Follow(c.target, "Crate");
    ExpectVector(Element("Marker").Local().translation, c.expected.x, c.expected.y, c.expected.z, 0);
    ExpectMarkerShape();
    EXPECT_STREQ(Block(carrier).TargetName.CStr(), "Crate");
  }
  EXPECT_TRUE(Journal("display").empty()) << "the object is not asked to redraw";
}

TEST_F(ExtentFollowTest, FollowOffShowsTheTargetAndItselfAsTargetShowsChoose) {
  const char kCrate[] = R"({"name": "Crate", "mesh": {"points": [0, 0, 0, 2, 4, 6]}})";
  qvhost::ComponentCarrier& off = Follow(kCrate, "Crate", {{"FollowOn", "false"}});
  ExpectVector(Element("Marker").Local().translation, 0, 0, 9, 0);
  EXPECT_STREQ(Block(off).TargetName.CStr(), "Crate");

  qvhost::ComponentCarrier& itself = Follow(kCrate, "Marker", {{"TargetName", "Crate"}});
  ExpectVector(Element("Marker").Local().translation, 0, 0, 9, 0);
  ExpectMarkerShape();
  EXPECT_STREQ(Block(itself).TargetName.CStr(), "Choose");
}

TEST_F(ExtentFollowTest, CloneCopiesTheTargetOnly) {
  qvhost::ComponentCarrier& carrier =
      Follow(R"({"name": "Crate", "mesh": {"points": [0, 0, 0, 2, 4, 6]}})", "Crate", {{"FollowOn", "false"}});
  TQVCountedPtr<ICommandParameters> copy;
  Parameters(carrier)->Clone(copy.Put(), nullptr);
  ASSERT_TRUE(copy);
  const auto& block = *static_cast<ExtentFollowParameters*>(copy->GetParameterBlock());
  EXPECT_STREQ(block.TargetName.CStr(), "Choose");
  EXPECT_EQ(block.FollowOn, 1);
  EXPECT_EQ(Stored(copy.Get()), TargetLine(Element("Crate")));
  copy.Release();
  // The copy on Marker's twin moves it: it follows, as its block starts anew.
  TQVCountedPtr<IHostTreeElement> twin;
  ASSERT_EQ(Element("Marker").DeepCopy(1, twin.Put()), kQVOk);
  ASSERT_EQ(Element("Marker").InsertNextTo(twin.Get()), kQVOk);
  Current().Evaluate();
  ExpectVector(qvhost::AsSceneElement(twin.Get())->Local().translation, 1, 2, 3, 0);
  ExpectVector(Element("Marker").Local().translation, 0, 0, 9, 0);
}

// The resource file gives the module's own block: its size and each field's offset.
TEST_F(ExtentFollowTest, TheResourceFileDescribesTheBlockAtItsOffsets) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  ExpectDialogLayout(fModules.at(0)->Resources().FindDialog(142), sizeof(ExtentFollowParameters),
                     {{"TargetName", offsetof(ExtentFollowParameters, TargetName)},
                      {"FollowOn", offsetof(ExtentFollowParameters, FollowOn)}});
#pragma GCC diagnostic pop
}

}  // namespace
