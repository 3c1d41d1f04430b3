// The scene tree: copies, insertion, removal records and transforms.
#include <cmath>

#include "LeakCheck.h"
#include "qvhost/Document.h"

namespace {

using qvhost::SceneElement;

class SceneTreeTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    fRoot = SceneElement::Create("");
    for (const char* name : {"A", "B", "C"}) {
      auto child = SceneElement::Create(name);
      fRoot->Append(child.Get());
    }
  }
  void TearDown() override {
    fRoot.Release();
    LeakCheckedTest::TearDown();
  }
  std::string Names(SceneElement& parent) {
    std::string names;
    for (IHostTreeElement* e = parent.GetFirstChild(); e; e = e->GetNextSibling())
      names += qvhost::AsSceneElement(e)->Name();
    return names;
  }
  SceneElement& Child(const char* path) { return *fRoot->Find(path); }

  TQVCountedPtr<SceneElement> fRoot;
};

TEST_F(SceneTreeTest, RemoveAndReInsertPutElementsBackInPlaceLastFirst) {
  RemovalRecord first, second;
  TQVCountedPtr<IUnknown> token;
  ASSERT_EQ(Child("B").Remove(token.Put(), &first), kQVOk);
  EXPECT_TRUE(token);
  ASSERT_EQ(Child("A").Remove(token.Put(), &second), kQVOk);
  EXPECT_EQ(Names(*fRoot), "C");
  // Re-inserted last first, each asked of the record's first reference.
  auto* a = static_cast<IHostTreeElement*>(second.references[0]);
  ASSERT_EQ(a->ReInsert(&second), kQVOk);
  auto* b = static_cast<IHostTreeElement*>(first.references[0]);
  ASSERT_EQ(b->ReInsert(&first), kQVOk);
  EXPECT_EQ(Names(*fRoot), "ABC");
  first.Discard();
  second.Discard();
  EXPECT_EQ(b->ReInsert(&first), kQVErrNotSupported) << "a discarded record";
}

TEST_F(SceneTreeTest, CopiesAndInsertionKeepTheTreeAcyclic) {
  auto grandchild = SceneElement::Create("B1");
  Child("B").Append(grandchild.Get());
  TQVTransform moved;
  moved.translation = {1, 2, 3};
  Child("B").SetLocal(moved);

  TQVCountedPtr<IHostTreeElement> copy;
  ASSERT_EQ(Child("B").DeepCopy(1, copy.Put()), kQVOk);
  SceneElement* duplicate = qvhost::AsSceneElement(copy.Get());
  EXPECT_EQ(duplicate->Parent(), nullptr);
  EXPECT_EQ(Names(*duplicate), "B1");
  EXPECT_EQ(duplicate->Local().translation.y, 2.0f);
  ASSERT_EQ(Child("B").InsertNextTo(copy.Get()), kQVOk);
  EXPECT_EQ(Names(*fRoot), "ABBC");
  EXPECT_EQ(Child("A").InsertNextTo(copy.Get()), kQVErrNotSupported) << "already in the tree";
  EXPECT_EQ(grandchild->AddChild(static_cast<IHostTreeElement*>(&Child("B"))), kQVErrNotSupported);
  EXPECT_EQ(Child("B/B1").Path(), "B/B1");
}

TEST_F(SceneTreeTest, GlobalPlacementComposesParentsAndSurvivesReparenting) {
  TQVTransform parent;
  parent.translation = {10, 0, 0};
  parent.uniformScale = 2;
  Child("A").SetLocal(parent);
  auto child = SceneElement::Create("A1");
  TQVTransform local;
  local.translation = {1, 1, 0};
  child->SetLocal(local);
  Child("A").Append(child.Get());
  Matrix34 global;
  child->GetGlobalMatrix(global);
  EXPECT_FLOAT_EQ(global.translation.x, 12.0f);
  EXPECT_FLOAT_EQ(global.translation.y, 2.0f);
  EXPECT_FLOAT_EQ(global.rotation.GetColumn(0).x, 2.0f);

  // Moved under C with the global matrix kept, it stays where it was.
  RemovalRecord record;
  ASSERT_EQ(child->Remove(nullptr, &record), kQVOk);
  record.Discard();
  Child("C").Append(child.Get());
  child->SetGlobalMatrix(global, 0);
  Matrix34 again;
  child->GetGlobalMatrix(again);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(again.rotation.m[i], global.rotation.m[i], 1e-5f);
  EXPECT_NEAR(again.translation.x, 12.0f, 1e-5f);
  TQVTransform asTransform;
  child->GetGlobalTransform(asTransform);
  EXPECT_NEAR(asTransform.axisScale.x, 2.0f, 1e-5f);
}

}  // namespace
