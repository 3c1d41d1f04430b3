// TQVException ownership of its detail, catching by base, and counted pointers.
#include "ExpectRaise.h"
#include "FakeObjects.h"
#include "QVCountedPtr.h"
#include "RuntimeFixture.h"
#include "TestCommand.h"

namespace {

struct CountingDetail final : TQVExceptionDetail {
  int* destroyed;
  explicit CountingDetail(int* counter) : destroyed(counter) {}
  void DeleteThis(uint32_t flags) override {
    ++*destroyed;
    this->~CountingDetail();
    if (flags & 1) QVFreeObject(this);
  }
};

using ExceptionTest = RuntimeTest;

TEST_F(ExceptionTest, CopyTakesTheDetailOverSoItIsDestroyedOnce) {
  InitModule();
  int destroyed = 0;
  {
    TQVException original(kQVErrObjectMissing, "Samples/SceneCommands/Probe/Probe", 12);
    original.SetDetail(QVNewObject<CountingDetail>(&destroyed));
    {
      TQVException copy(original);
      EXPECT_EQ(original.Detail(), nullptr);
      EXPECT_NE(copy.Detail(), nullptr);
      EXPECT_EQ(copy.Code(), kQVErrObjectMissing);
      EXPECT_STREQ(copy.GetSource(), "Samples/SceneCommands/Probe/Probe");
      EXPECT_EQ(copy.Line(), 12);
    }
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(ExceptionCatchTest, CaughtAsTQVObject) {
  bool caught = false;
  try {
    QVThrow(kQVErrStopped, nullptr, 0);
  } catch (const TQVObject&) {
    caught = true;
  }
  EXPECT_TRUE(caught);
}

TEST(CountedPtrTest, AttachNewOfNullRaisesOutOfMemoryWithTheSourceOfTheCallSite) {
  struct Case {
    const char* source;
    bool runtime;
  };
  for (const Case& c : {Case{"../../../Include/Common/QVCountedPtrHelper", false},
                        Case{"QVCore/PublicAPI/QVCountedPtrHelper", true}}) {
    TQVCountedPtr<IUnknown> pointer;
    if (c.runtime)
      EXPECT_RAISES(pointer.AttachNew(nullptr, kQVCountedPtrRuntimeSource), kQVErrOutOfMemory, c.source, 166);
    else
      EXPECT_RAISES(pointer.AttachNew(nullptr), kQVErrOutOfMemory, c.source, 166);
  }
}

TEST(CountedPtrTest, ReferencesMoveExactlyAsAdvertised) {
  CountingUnknown a, b;
  {
    TQVCountedPtr<IUnknown> pointer;
    pointer.AttachNew(&a);  // takes a's count of 1
    EXPECT_EQ(a.references, 1);
    pointer.Assign(&a);  // its own value: nothing changes
    EXPECT_EQ(a.references, 1);
    EXPECT_EQ(a.releases, 0);
    {
      TQVCountedPtr<IUnknown> copy(pointer);
      EXPECT_EQ(a.references, 2);
    }
    EXPECT_EQ(a.references, 1);
    pointer.Assign(&b);
    EXPECT_EQ(b.references, 2);
    EXPECT_EQ(a.references, 0);
    IUnknown** slot = pointer.Put();  // releases before handing out the address
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(b.references, 1);
    *slot = &b;
    b.AddRef();
  }
  EXPECT_EQ(b.references, 1);
  static_assert(!std::is_convertible_v<TQVCountedPtr<IUnknown>&&, IUnknown*>,
                "a temporary counted pointer must not hand out its pointer");
}

}  // namespace
