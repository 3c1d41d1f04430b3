// Release of the runtime's counted bases: the last reference destroys an object once,
// whatever its destructor does with references to it, and a count already at 0 is left
// alone.
#include "ExpectRaise.h"
#include "QVComponent.h"
#include "QVSceneCommand.h"
#include "RuntimeFixture.h"

namespace {

class ReleaseTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }
};

// What a destructor does with its own object: a query and its release, then
// `extraReleases` releases it never took.
void TouchFromDestructor(IUnknown* self, int extraReleases) {
  void* queried = nullptr;
  self->QueryInterface(kIID_IUnknown, &queried);
  if (queried) static_cast<IUnknown*>(queried)->Release();
  for (int i = 0; i < extraReleases; ++i) self->Release();
}

class TTouchingCommand final : public TQVSceneCommand {
 public:
  TTouchingCommand(int& destroyed, int extraReleases) : fDestroyed(destroyed), fExtraReleases(extraReleases) {}
  ~TTouchingCommand() {
    ++fDestroyed;
    TouchFromDestructor(static_cast<ISceneCommand*>(this), fExtraReleases);
  }
  int32_t Release() override { return QVReleaseComponent(this); }

 private:
  int& fDestroyed;
  int fExtraReleases;
};

class TTouchingHelper final : public TQVRefObject {
 public:
  TTouchingHelper(int& destroyed, int extraReleases) : fDestroyed(destroyed), fExtraReleases(extraReleases) {}
  ~TTouchingHelper() {
    ++fDestroyed;
    TouchFromDestructor(this, fExtraReleases);
  }
  void DeleteThis(uint32_t flags) override { QVDeleteRefObject(this, flags); }

 private:
  int& fDestroyed;
  int fExtraReleases;
};

TEST_F(ReleaseTest, TheLastReleaseDestroysOnceWhateverTheDestructorDoes) {
  auto& memory = qvhost::HostMemory::Instance();
  const int64_t objects = memory.LiveObjects();
  const int64_t misuses = memory.Misuses();
  const int32_t strays = QVStrayReleases();
  for (int extraReleases : {0, 1, 2}) {
    SCOPED_TRACE(extraReleases);
    int destroyed = 0;
    IUnknown* command = static_cast<ISceneCommand*>(QVNewObject<TTouchingCommand>(destroyed, extraReleases));
    ASSERT_NE(command, nullptr);
    command->AddRef();
    EXPECT_EQ(command->Release(), 1);
    EXPECT_EQ(command->Release(), 0);
    EXPECT_EQ(destroyed, 1);

    destroyed = 0;
    IUnknown* helper = QVNewObject<TTouchingHelper>(destroyed, extraReleases);
    ASSERT_NE(helper, nullptr);
    EXPECT_EQ(helper->Release(), 0);
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(QVLiveObjectCount(), 0);
  EXPECT_EQ(memory.LiveObjects(), objects);
  EXPECT_EQ(memory.Misuses(), misuses) << "nothing freed twice";
  EXPECT_EQ(QVStrayReleases(), strays);
}

// Objects whose count a caller's surplus releases already took to 0 while their memory
// is still there (on the stack here): Release must neither go below 0 nor destroy.
class TZeroedCommand final : public TQVSceneCommand {
 public:
  int32_t Release() override { return QVReleaseComponent(this); }
  void ZeroCount() { fRefCount = 0; }
};

class TZeroedHelper final : public TQVRefObject {
 public:
  void DeleteThis(uint32_t) override { ++deletes; }
  void ZeroCount() { fRefCount = 0; }
  int32_t Count() const { return fRefCount; }
  int deletes = 0;
};

TEST_F(ReleaseTest, AReleaseOnACountAtZeroChangesNothingAndIsNoted) {
  const int32_t strays = QVStrayReleases();
  TZeroedCommand command;
  command.ZeroCount();
  // Not aggregated, a component answers a count below 0 with its exception.
  EXPECT_RAISES(static_cast<ISceneCommand*>(&command)->Release(), kQVErrCountBelowZero, nullptr, 0);
  EXPECT_EQ(command.RefCount(), 0);
  EXPECT_EQ(QVLiveObjectCount(), 1) << "not destroyed";

  TZeroedHelper helper;
  helper.ZeroCount();
  EXPECT_EQ(helper.Release(), 0);
  EXPECT_EQ(helper.Release(), 0);
  EXPECT_EQ(helper.Count(), 0);
  EXPECT_EQ(helper.deletes, 0);
  EXPECT_EQ(QVStrayReleases(), strays + 3);
}

}  // namespace
