// The scene node walk: the tree iterator's order and filters, and the walker's sources.
#include <string>
#include <vector>

#include "ExpectRaise.h"
#include "RuntimeFixture.h"
#include "SceneNodeWalk.h"
#include "qvhost/Document.h"
#include "qvhost/SceneFile.h"

namespace {

class WalkTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }
  void TearDown() override {
    fDocument.Release();
    RuntimeTest::TearDown();
  }
  qvhost::Scene& Parse(const std::string& text) {
    fDocument = qvhost::ParseScene(text, "walk.json", fShell->SharedJournal());
    return fDocument->GetScene();
  }
  // The owners of the nodes one pass delivers.
  std::vector<std::string> Walk(qvhost::Scene& scene) {
    std::vector<std::string> owners;
    TSceneNodeWalker walker(&scene, &scene, "Samples/SceneCommands/Test/Test", 7);
    while (IHostAnimationNode* node = walker.NextNode())
      owners.push_back(static_cast<qvhost::AnimationNode*>(node)->Owner());
    return owners;
  }
  static std::string Name(IHostTreeElement* element) {
    return element ? qvhost::AsSceneElement(element)->Name() : "(end)";
  }

  TQVCountedPtr<qvhost::Document> fDocument;
};

const char kTree[] = R"({"qvscene": 1, "elements": [
  {"name": "A", "animation": {}, "children": [
    {"name": "A1", "animation": {}, "children": [{"name": "A1a", "animation": {}}]},
    {"name": "A2", "animation": {}}]},
  {"name": "B", "animation": {}}]})";

TEST_F(WalkTest, IteratorVisitsTheSubtreeInPreOrderWithItsFilters) {
  qvhost::SceneElement& root = Parse(kTree).Root();
  struct Case {
    const char* name;
    const char* start;  // subtree root, "" for the scene root
    bool skipRoot;
    bool rejectA1;      // accept filter
    bool keepOutOfA;    // descend filter
    const char* order;
  };
  const Case cases[] = {
      {"whole tree", "", false, false, false, "|A|A1|A1a|A2|B"},
      {"skip root", "", true, false, false, "A|A1|A1a|A2|B"},
      {"rejected inner element keeps its children", "", true, true, false, "A|A1a|A2|B"},
      {"descend filter", "", true, false, true, "A|B"},
      {"a root with siblings: they are never visited", "A", false, false, false, "A|A1|A1a|A2"},
      {"descend filter does not hold for the root", "A", false, false, true, "A|A1|A1a|A2"},
      {"a leaf root", "B", false, false, false, "B"},
  };
  for (const Case& c : cases) {
    qvhost::SceneElement* start = *c.start ? root.Find(c.start) : &root;
    TElementTreeIterator iterator;
    if (c.keepOutOfA)
      iterator.Init(start, [](IHostTreeElement* e, void*) { return Name(e) != "A"; }, nullptr, true);
    else
      iterator.Init(start);
    iterator.SetSkipRoot(c.skipRoot);
    if (c.rejectA1) iterator.SetAccept([](IHostTreeElement* e, void*) { return Name(e) != "A1"; }, nullptr);
    std::string order;  // the scene root's name is empty
    bool first = true;
    for (IHostTreeElement* e = iterator.First(); e; e = iterator.Next(), first = false)
      order += (first ? "" : "|") + Name(e);
    EXPECT_EQ(order, c.order) << c.name;
    EXPECT_EQ(iterator.Current(), nullptr);
  }
}

TEST_F(WalkTest, WalkerDrawsFromTheTreeThenTheListsThenTheExtraObject) {
  qvhost::Scene& scene = Parse(R"({"qvscene": 1,
    "elements": [{"name": "E1", "animation": {}, "children": [{"name": "E2", "animation": {}}]}],
    "objects": [{"name": "L1a", "animation": {}}, {"name": "L1b", "animation": {}}],
    "owners": [{"name": "O1", "owned": {"name": "L2a", "animation": {}}}, {"name": "O2"},
               {"name": "O3", "owned": {"name": "L2c", "animation": {}}}],
    "extra": {"name": "X", "animation": {}}})");
  // The scene root has no node: the first list fills the first cycle; the owner without
  // an object lets the extra object fill its cycle.
  EXPECT_EQ(Walk(scene), (std::vector<std::string>{"L1a", "E1", "E1/E2", "L1b", "L2a", "X", "L2c"}));
  EXPECT_EQ(scene.prepared, 1);
  EXPECT_EQ(scene.extraQuestions, 1);
  // Every pass starts again and prepares the hierarchy again.
  EXPECT_EQ(Walk(scene).size(), 7u);
  EXPECT_EQ(scene.prepared, 2);
}

TEST_F(WalkTest, ElementsWithoutNodesDoNotEndTheWalk) {
  qvhost::Scene& scene = Parse(R"({"qvscene": 1,
    "elements": [{"name": "Plain"}, {"name": "Group", "children": [{"name": "Deep", "animation": {}}]},
                 {"name": "Last", "animation": {}}]})");
  EXPECT_EQ(Walk(scene), (std::vector<std::string>{"Group/Deep", "Last"}));
  EXPECT_EQ(scene.extraQuestions, 1) << "asked once per pass even without an extra object";
  qvhost::Scene& empty = Parse(R"({"qvscene": 1})");
  EXPECT_TRUE(Walk(empty).empty());
}

TEST_F(WalkTest, HierarchyWithoutATreeRaisesAtTheModulesOwnSite) {
  qvhost::Scene& scene = Parse(R"({"qvscene": 1})");
  TSceneNodeWalker walker(&scene, nullptr, "Samples/SceneCommands/Test/Test", 7);
  EXPECT_RAISES(walker.NextNode(), kQVErrObjectMissing, "Samples/SceneCommands/Test/Test", 7);
}

}  // namespace
