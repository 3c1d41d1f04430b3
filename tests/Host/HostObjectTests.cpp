// The host object base: interfaces answered from its list, and a Release that destroys
// once, from any thread and whatever the destructor does with references to the object.
#include <thread>
#include <vector>

#include "FakeObjects.h"
#include "LeakCheck.h"

namespace {

using qvhost::HostObject;

// A selection whose destructor queries itself and releases that reference, then gives
// back `extraReleases` it never took.
class TouchingSelection final : public HostObject<IHostSelection, IHostCommandContext> {
 public:
  TouchingSelection(int& destroyed, int extraReleases) : fDestroyed(destroyed), fExtraReleases(extraReleases) {}
  ~TouchingSelection() override {
    ++fDestroyed;
    void* queried = nullptr;
    QueryInterface(IHostSelection::kID, &queried);
    if (queried) static_cast<IUnknown*>(queried)->Release();
    for (int i = 0; i < fExtraReleases; ++i) Release();
  }
  int32_t GetItemCount() override { return 0; }
  QVClassPath GetItemClassPath(int32_t) override { return {0, nullptr}; }
  IUnknown* GetItemObject(int32_t) override { return nullptr; }
  QVResult GetSnapshot(IHostSelection**) override { return kQVErrNotImplemented; }
  void Clear() override {}
  bool IsEmpty() override { return true; }
  QVResult GetScene(IHostScene**) override { return kQVErrNotImplemented; }
  QVResult GetSelection(IHostSelection**) override { return kQVErrNotImplemented; }
  QVResult GetChangeNotificationTarget(IUnknown**) override { return kQVErrNotImplemented; }
  QVResult GetActiveDocumentProvider(IUnknown**) override { return kQVErrNotImplemented; }

 private:
  int& fDestroyed;
  int fExtraReleases;
};

class HostObjectTest : public LeakCheckedTest {};

TEST_F(HostObjectTest, TheLastReleaseDestroysOnceWhateverTheDestructorDoes) {
  const int64_t strays = qvhost::StrayHostReleases();
  for (int extraReleases : {0, 1, 2}) {
    SCOPED_TRACE(extraReleases);
    int destroyed = 0;
    auto* selection = new TouchingSelection(destroyed, extraReleases);
    selection->AddRef();
    EXPECT_EQ(selection->Release(), 1);
    EXPECT_EQ(selection->Release(), 0);
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(qvhost::StrayHostReleases(), strays);
}

TEST_F(HostObjectTest, EachListedInterfaceYieldsItsOwnPointer) {
  int destroyed = 0;
  auto object = qvhost::Adopt<IHostSelection>(new TouchingSelection(destroyed, 0));
  auto* selection = static_cast<TouchingSelection*>(object.Get());
  const struct {
    const QVGUID* id;
    void* expected;
  } cases[] = {
      {&kIID_IUnknown, static_cast<IHostSelection*>(selection)},
      {&IHostSelection::kID, static_cast<IHostSelection*>(selection)},
      {&IHostCommandContext::kID, static_cast<IHostCommandContext*>(selection)},
  };
  for (const auto& c : cases) {
    void* out = nullptr;
    ASSERT_EQ(object->QueryInterface(*c.id, &out), kQVOk);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(selection->References(), 2);
    static_cast<IUnknown*>(out)->Release();
  }
  CountingUnknown held;
  void* out = &held;
  EXPECT_EQ(object->QueryInterface(CountingUnknown::kID, &out), kQVErrNoInterface);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(held.releases, 1);
}

TEST_F(HostObjectTest, ReferencesTakenAndGivenBackOnManyThreadsDestroyOnce) {
  int destroyed = 0;
  auto* selection = new TouchingSelection(destroyed, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([selection] {
      for (int i = 0; i < 20000; ++i) {
        selection->AddRef();
        selection->Release();
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(selection->References(), 1);
  EXPECT_EQ(selection->Release(), 0);
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
