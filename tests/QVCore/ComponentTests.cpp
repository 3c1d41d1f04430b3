// Class factory, QueryInterface rules, aggregation and the component bases.
#include "ExpectRaise.h"
#include "FakeObjects.h"
#include "QVClassFactory.h"
#include "QVCountedPtr.h"
#include "RuntimeFixture.h"
#include "TestCommand.h"

namespace {

const QVGUID kForeignClassId = {0xF0F0F0F0, 1, 2, {9, 9, 9, 9, 9, 9, 9, 9}};
const QVGUID kUnknownInterfaceId = {0x0BADF00D, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

class ComponentTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }
};

TEST_F(ComponentTest, GetClassObjectAnswersByInterface) {
  TQVCountedPtr<IClassFactory> factory;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->LockServer(1), kQVOk);

  TQVCountedPtr<IUnknown> unknown;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IUnknown, unknown.PutVoid()), kQVOk);
  auto* asFactory = static_cast<TQVClassFactory*>(static_cast<TQVComponent*>(unknown.Get()));
  EXPECT_TRUE(QVSameClass(asFactory->ClassId(), kTestCommandClassId));

  const int32_t live = QVLiveObjectCount();
  void* out = reinterpret_cast<void*>(0x1);  // not touched on the way in: null is stored
  out = nullptr;
  EXPECT_EQ(QVDllGetClassObject(kTestCommandClassId, kUnknownInterfaceId, &out), kQVErrNoInterface);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(QVLiveObjectCount(), live);
}

TEST_F(ComponentTest, FactoryForAForeignClassRefusesToCreate) {
  TQVCountedPtr<IClassFactory> factory;
  ASSERT_EQ(QVDllGetClassObject(kForeignClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
  CountingUnknown held;
  void* out = &held;
  EXPECT_EQ(factory->CreateInstance(nullptr, ISceneCommand::kID, &out), kQVErrClassNotAvailable);
  EXPECT_EQ(out, &held) << "the out-parameter is not touched";
  EXPECT_EQ(held.releases, 0);
}

TEST_F(ComponentTest, CreateInstanceWithAnUnofferedInterfaceDestroysTheObject) {
  TQVCountedPtr<IClassFactory> factory;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
  const int32_t live = QVLiveObjectCount();
  void* out = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, kUnknownInterfaceId, &out), kQVErrNoInterface);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(QVLiveObjectCount(), live);

  TQVCountedPtr<ISceneCommand> command;
  ASSERT_EQ(factory->CreateInstance(nullptr, ISceneCommand::kID, command.PutVoid()), kQVOk);
  EXPECT_EQ(QVLiveObjectCount(), live + 1);
  EXPECT_EQ(command->AddRef(), 2) << "the caller holds the only reference";
  command->Release();
  command.Release();
  EXPECT_EQ(QVLiveObjectCount(), live);
}

TEST_F(ComponentTest, QueryIntoAHeldOutParameterReleasesItFirst) {
  TQVCountedPtr<IClassFactory> factory;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
  for (const QVGUID* id : {&kIID_IUnknown, &kUnknownInterfaceId}) {
    CountingUnknown held;
    void* out = &held;
    const QVResult result = factory->QueryInterface(*id, &out);
    EXPECT_EQ(held.releases, 1);
    if (result == kQVOk) {
      static_cast<IUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(out, nullptr);
    }
  }
}

TEST_F(ComponentTest, QueryIntoTheAskersOwnLastReference) {
  IUnknown* factory = nullptr;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, reinterpret_cast<void**>(&factory)), kQVOk);
  ASSERT_EQ(factory->QueryInterface(kIID_IUnknown, reinterpret_cast<void**>(&factory)), kQVOk);
  EXPECT_EQ(factory->AddRef(), 2) << "one reference, now through the unknown";
  factory->Release();
  factory->Release();
  EXPECT_EQ(QVLiveObjectCount(), 0);
}

TEST_F(ComponentTest, RefusedAllocationsOfFactoryAndComponent) {
  auto& memory = qvhost::HostMemory::Instance();
  memory.RefuseAllocation(1);
  void* out = nullptr;
  EXPECT_RAISES(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, &out), kQVErrOutOfMemory, "QVCore/PublicAPI/QVCountedPtrHelper", 166);
  TQVCountedPtr<IClassFactory> factory;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
  memory.RefuseAllocation(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, ISceneCommand::kID, &out), kQVErrClassNotAvailable);
}

TEST_F(ComponentTest, AggregatedObjectForwardsToItsOuterAndDiesWhenTheOuterAnswersMinusOne) {
  TQVCountedPtr<IClassFactory> factory;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
  CountingUnknown outer;
  const int32_t live = QVLiveObjectCount();
  ISceneCommand* command = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, ISceneCommand::kID, reinterpret_cast<void**>(&command)), kQVOk);
  EXPECT_EQ(QVLiveObjectCount(), live + 1);
  const int32_t outerBefore = outer.references;
  EXPECT_EQ(command->AddRef(), outerBefore + 1) << "AddRef answers the outer's count";
  // IUnknown goes to the outer; the command's own interfaces are answered directly.
  void* unknown = nullptr;
  ASSERT_EQ(command->QueryInterface(kIID_IUnknown, &unknown), kQVOk);
  EXPECT_EQ(unknown, &outer);
  static_cast<IUnknown*>(unknown)->Release();
  command->Release();
  EXPECT_EQ(QVLiveObjectCount(), live + 1) << "the outer did not go away";
  outer.releaseAnswer = -1;
  EXPECT_EQ(command->Release(), -1);
  EXPECT_EQ(QVLiveObjectCount(), live);
}

TEST_F(ComponentTest, EachListedInterfaceYieldsItsOwnPointerWithOneReference) {
  TQVCountedPtr<IClassFactory> factory;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
  TQVCountedPtr<ISceneCommand> made;
  ASSERT_EQ(factory->CreateInstance(nullptr, ISceneCommand::kID, made.PutVoid()), kQVOk);
  auto* command = static_cast<TTestCommand*>(made.Get());
  const struct {
    const QVGUID* id;
    void* expected;
  } cases[] = {
      {&ISceneCommand::kID, static_cast<ISceneCommand*>(command)},
      {&ICommandParameters::kID, static_cast<ICommandParameters*>(command)},
      {&kIID_IUnknown, static_cast<TQVComponent*>(command)},
  };
  for (const auto& c : cases) {
    void* out = nullptr;
    ASSERT_EQ(made->QueryInterface(*c.id, &out), kQVOk);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(command->RefCount(), 2);
    static_cast<IUnknown*>(out)->Release();
  }
}

class TWithoutRelease final : public TQVSceneCommand {};

TEST_F(ComponentTest, ReleaseLeftToTheBaseRaisesNotImplemented) {
  TWithoutRelease* object = QVNewObject<TWithoutRelease>();
  ASSERT_NE(object, nullptr);
  EXPECT_RAISES(static_cast<ISceneCommand*>(object)->Release(), kQVErrNotImplementedByClass, nullptr, 0);
  object->~TWithoutRelease();
  QVFreeObject(object);
}

TEST_F(ComponentTest, RefObjectAnswersOnlyIUnknownAndIsNotCounted) {
  const int32_t live = QVLiveObjectCount();
  auto* tester = QVNewObject<TQVCommandTester>(false);
  EXPECT_EQ(QVLiveObjectCount(), live);
  void* out = nullptr;
  EXPECT_EQ(static_cast<ICommandTester*>(tester)->QueryInterface(ICommandTester::kID, &out), kQVErrNoInterface);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(static_cast<ICommandTester*>(tester)->QueryInterface(kIID_IUnknown, &out), kQVOk);
  EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1);
  EXPECT_EQ(static_cast<ICommandTester*>(tester)->Release(), 0);
}

}  // namespace
