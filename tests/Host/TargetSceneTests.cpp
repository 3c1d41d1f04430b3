// What the scene model gives the target-following modifiers: element identifiers behind
// reference lists and their resolution, meshes and their boxes, key-framed translations,
// and the object picker; in memory and through scene files.
#include <string>
#include <vector>

#include "HostServices.h"
#include "LeakCheck.h"
#include "qvhost/Document.h"
#include "qvhost/HostError.h"
#include "qvhost/HostShell.h"
#include "qvhost/SceneFile.h"

namespace {

class TargetSceneTest : public LeakCheckedTest {
 protected:
  TQVCountedPtr<qvhost::Document> Parse(const std::string& text) {
    return qvhost::ParseScene(text, "scene.json", fJournal);
  }
  static std::vector<int32_t> ReferenceOf(qvhost::SceneElement& element) {
    TQVArray<int32_t> list;
    element.GetReferenceList(list);
    return std::vector<int32_t>(list.begin(), list.end());
  }
  static qvhost::SceneElement* Resolve(qvhost::Scene& scene, const std::vector<int32_t>& reference) {
    TQVArray<int32_t> list;
    EXPECT_TRUE(list.SetLength(int32_t(reference.size())));
    for (size_t i = 0; i < reference.size(); ++i) list[int32_t(i)] = reference[i];
    TQVCountedPtr<IHostTreeElement> target;
    EXPECT_EQ(scene.ResolveTargetReference(list, target.Put()), kQVOk);
    return qvhost::AsSceneElement(target.Get());
  }
  std::shared_ptr<qvhost::Journal> fJournal = std::make_shared<qvhost::Journal>();
};

const char kStage[] = R"({"qvscene": 1, "elements": [
  {"name": "Stage", "id": 1000, "children": [
    {"name": "Box", "mesh": {"points": [-1, 0, 2, 3, 4, -5, 0, 8, 0]}},
    {"name": "Ball", "animation": {"track": [
      {"time": 0, "translation": [0, 0, 0]},
      {"time": 180000, "translation": [4, -2, 8], "interpolator": "constant"},
      {"time": 360000, "translation": [8, 2, 0], "interpolator": "smooth"},
      {"time": 540000, "translation": [0, 0, 0]},
      {"time": 720000}]}}]}]})";

TEST_F(TargetSceneTest, IdentifiersMeshesAndKeyedTranslationsSurviveSaveAndLoad) {
  auto document = Parse(kStage);
  qvhost::SceneElement& box = *document->GetScene().Root().Find("Stage/Box");
  const std::vector<int32_t> reference = ReferenceOf(box);
  const std::string saved = qvhost::SceneText(*document);
  EXPECT_NE(saved.find(R"("id": 1000)"), std::string::npos) << saved;
  EXPECT_NE(saved.find(R"("mesh": {"points": [-1, 0, 2, 3, 4, -5, 0, 8, 0]})"), std::string::npos) << saved;
  EXPECT_NE(saved.find(R"("translation": [4, -2, 8])"), std::string::npos) << saved;
  auto loaded = Parse(saved);
  EXPECT_EQ(qvhost::SceneText(*loaded), saved);
  EXPECT_EQ(Resolve(loaded->GetScene(), reference), loaded->GetScene().Root().Find("Stage/Box"));
  EXPECT_EQ(loaded->GetScene().Root().Find("Stage/Box")->MeshPoints().size(), 3u);
}

TEST_F(TargetSceneTest, RefusesBadIdentifiersMeshesAndTranslations) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {R"({"qvscene": 1, "elements": [{"name": "A", "id": 0}]})", "$.elements[0].id: expected an integer from 1"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "id": 2}, {"name": "B", "children": [{"name": "C", "id": 2}]}]})",
       "$.elements[1].children[0].id: expected an identifier no other element has"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "mesh": {"points": [1, 2, 3, 4]}}]})",
       "$.elements[0].mesh.points: expected an array of x, y, z numbers, three per point"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "mesh": {}}]})", "$.elements[0].mesh.points: expected this key"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [{"time": 0, "translation": [1, 2]}]}}]})",
       "$.elements[0].animation.track[0].translation: expected an array of 3 numbers"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"channels": [{"name": "c", "track": [
          {"time": 0, "translation": [1, 2, 3]}]}]}}]})",
       "$.elements[0].animation.channels[0].track[0].translation: expected no such key"},
      {R"({"qvscene": 1, "objects": [{"name": "O", "animation": {"track": [{"time": 0, "translation": [1, 2, 3]}]}}]})",
       "$.objects[0].animation.track[0].translation: expected no such key"},
  };
  for (const auto& c : cases) {
    try {
      Parse(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const qvhost::HostError& error) {
      EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos) << error.what();
    }
  }
}

TEST_F(TargetSceneTest, KeyedTranslationsFollowTheKeysAtTheSceneTime) {
  auto document = Parse(kStage);
  const qvhost::SceneElement& ball = *document->GetScene().Root().Find("Stage/Ball");
  const struct {
    int32_t ticks;
    TQVVector3 expected;
  } cases[] = {
      {-90000, {0, 0, 0}},   // before the first key: its value
      {90000, {2, -1, 4}},   // linear
      {270000, {4, -2, 8}},  // constant: the earlier key's value
      {450000, {4, 1, 0}},   // smooth, half way: half way
      // smooth, a quarter of the time: 3t^2 - 2t^3 = 0.15625 of the way
      {405000, {8 - 8 * 0.15625f, 2 - 2 * 0.15625f, 0}},
      {720000, {0, 0, 0}},  // a key without a translation does not count
      {900000, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    document->SetTime(c.ticks);
    const TQVVector3& at = ball.Local().translation;
    EXPECT_NEAR(at.x, c.expected.x, 1e-5f) << c.ticks;
    EXPECT_NEAR(at.y, c.expected.y, 1e-5f) << c.ticks;
    EXPECT_NEAR(at.z, c.expected.z, 1e-5f) << c.ticks;
  }
}

TEST_F(TargetSceneTest, ReferenceListsNameTheirElementInItsSceneOnly) {
  auto document = Parse(kStage);
  qvhost::Scene& scene = document->GetScene();
  qvhost::SceneElement& stage = *scene.Root().Find("Stage");
  qvhost::SceneElement& box = *scene.Root().Find("Stage/Box");
  qvhost::SceneElement& ball = *scene.Root().Find("Stage/Ball");
  EXPECT_EQ(ReferenceOf(stage), std::vector<int32_t>{1000});
  const std::vector<int32_t> boxReference = ReferenceOf(box);
  ASSERT_EQ(boxReference.size(), 1u);
  EXPECT_GT(boxReference[0], 1000) << "new identifiers pass every one read";
  EXPECT_EQ(ReferenceOf(box), boxReference) << "asked again, the same";
  EXPECT_GT(ReferenceOf(ball)[0], boxReference[0]);

  EXPECT_EQ(Resolve(scene, boxReference), &box);
  EXPECT_EQ(Resolve(scene, {1000}), &stage);
  for (const std::vector<int32_t>& none : std::vector<std::vector<int32_t>>{{0}, {}, {1000, 1}, {-3}, {999}})
    EXPECT_EQ(Resolve(scene, none), nullptr) << none.size();
  auto other = Parse(R"({"qvscene": 1, "elements": [{"name": "Stage", "id": 1000}]})");
  EXPECT_EQ(Resolve(other->GetScene(), boxReference), nullptr) << "another scene's element";

  TQVCountedPtr<IHostScene> owner;
  EXPECT_EQ(box.GetScene(owner.Put()), kQVOk);
  EXPECT_EQ(owner.Get(), static_cast<IHostScene*>(&scene));
  TQVCountedPtr<qvhost::SceneElement> kept;
  kept.Assign(&box);
  RemovalRecord record;
  TQVCountedPtr<IUnknown> token;
  ASSERT_EQ(box.Remove(token.Put(), &record), kQVOk);
  record.Discard();
  EXPECT_EQ(Resolve(scene, boxReference), nullptr) << "taken out of the scene";
  EXPECT_EQ(kept->GetScene(owner.Put()), kQVOk);
  EXPECT_EQ(owner.Get(), nullptr);
}

TEST_F(TargetSceneTest, BoxesWidenByTheMeshPoints) {
  auto document = Parse(kStage);
  BoundingBox box;
  box.MakeEmpty();
  EXPECT_EQ(document->GetScene().Root().Find("Stage/Ball")->GetBoundingBox(box, 2, 1), kQVOk);
  EXPECT_EQ(box.minimum.x, BoundingBox::kEmptyExtent) << "no mesh: the box is left as it was";
  EXPECT_EQ(document->GetScene().Root().Find("Stage/Box")->GetBoundingBox(box, 2, 1), kQVOk);
  EXPECT_EQ(box.minimum.x, -1.0f);
  EXPECT_EQ(box.minimum.y, 0.0f);
  EXPECT_EQ(box.minimum.z, -5.0f);
  EXPECT_EQ(box.maximum.x, 3.0f);
  EXPECT_EQ(box.maximum.y, 8.0f);
  EXPECT_EQ(box.maximum.z, 2.0f);
}

TEST_F(TargetSceneTest, ThePickerAnswersFromTheRunsSettings) {
  auto shell = qvhost::HostShell::Create();
  TQVCountedPtr<HostApplicationServices> application;
  ASSERT_EQ(shell->QueryInterface(HostApplicationServices::kID, application.PutVoid()), kQVOk);
  auto document = qvhost::ParseScene(kStage, "scene.json", shell->SharedJournal());
  qvhost::SceneElement& stage = *document->GetScene().Root().Find("Stage");
  const TQVFixedString<31> title("Target"), prompt("Pick one");
  const struct {
    bool current;
    const char* answer;
    bool chosen;
  } cases[] = {{true, "Stage/Box", true}, {true, "", false}, {true, "Stage/Nobody", false}, {false, "Stage/Box", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    shell->Settings().currentDocument.Assign(c.current ? document.Get() : nullptr);
    shell->Settings().pickAnswer = c.answer;
    TQVCountedPtr<IHostTreeElement> slot;
    slot.Assign(&stage);  // the current choice, released when another is picked
    EXPECT_EQ(application->PickObject(title, prompt, 0, slot.AddressOf()), c.chosen);
    EXPECT_EQ(qvhost::AsSceneElement(slot.Get()),
              c.chosen ? document->GetScene().Root().Find(c.answer) : &stage);
  }
  shell->Settings().currentDocument.Release();
  EXPECT_EQ(shell->GetJournal().Texts("picker"),
            (std::vector<std::string>{"\"Target\" \"Pick one\": Stage/Box", "\"Target\" \"Pick one\": cancelled",
                                      "\"Target\" \"Pick one\": cancelled", "\"Target\" \"Pick one\": cancelled"}));
}

}  // namespace
