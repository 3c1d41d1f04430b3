// The scene command base: interface queries, defaults and the default tester.
#include "ExpectRaise.h"
#include "FakeObjects.h"
#include "QVCountedPtr.h"
#include "RuntimeFixture.h"
#include "TestCommand.h"

namespace {

class SceneCommandTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
    TQVCountedPtr<IClassFactory> factory;
    ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
    ASSERT_EQ(factory->CreateInstance(nullptr, ISceneCommand::kID, fCommand.PutVoid()), kQVOk);
  }
  void TearDown() override {
    fCommand.Release();
    RuntimeTest::TearDown();
  }
  TQVCountedPtr<ISceneCommand> fCommand;
};

TEST_F(SceneCommandTest, ParametersAndCommandInterfacesAreOneObject) {
  TQVCountedPtr<ICommandParameters> parameters;
  ASSERT_EQ(QVQuery(fCommand.Get(), parameters), kQVOk);
  EXPECT_EQ(fCommand->AddRef(), 3);  // the fixture's, the query's and this one
  fCommand->Release();
  TQVCountedPtr<ISceneCommand> back;
  ASSERT_EQ(QVQuery(parameters.Get(), back), kQVOk);
  EXPECT_EQ(back.Get(), fCommand.Get());
  EXPECT_EQ(back->AddRef(), 4);
  back->Release();
  TQVCountedPtr<IUnknown> unknownFromCommand, unknownFromParameters;
  ASSERT_EQ(QVQuery(fCommand.Get(), unknownFromCommand), kQVOk);
  ASSERT_EQ(QVQuery(parameters.Get(), unknownFromParameters), kQVOk);
  EXPECT_EQ(unknownFromCommand.Get(), unknownFromParameters.Get());
}

TEST_F(SceneCommandTest, DefaultsOfTheBase) {
  TQVCountedPtr<ICommandParameters> parameters;
  ASSERT_EQ(QVQuery(fCommand.Get(), parameters), kQVOk);
  EXPECT_EQ(fCommand->SetContext(nullptr), kQVOk);
  EXPECT_EQ(fCommand->Prepare(), kQVOk);
  EXPECT_FALSE(fCommand->AvailabilityQueryA());
  EXPECT_FALSE(fCommand->Do());
  EXPECT_FALSE(fCommand->Undo());
  EXPECT_FALSE(fCommand->Redo());
  EXPECT_TRUE(fCommand->AvailabilityQueryB());
  EXPECT_TRUE(parameters->AcceptsValue(nullptr));
  EXPECT_EQ(parameters->Operation5(nullptr, nullptr), kQVErrNotImplemented);
  EXPECT_EQ(parameters->Operation6(nullptr, nullptr), kQVErrNotImplemented);
  EXPECT_EQ(parameters->ParametersChanged(), kQVOk);
  EXPECT_EQ(parameters->ControlEvent(kQVMessageDialogReady, nullptr, 0), kQVOk);
  EXPECT_EQ(parameters->GetDialogID(), 0);
  EXPECT_EQ(parameters->Operation11(), kQVErrNotSupported);
  EXPECT_EQ(parameters->CopyTargetTo(nullptr), kQVErrNotSupported);
  CountingUnknown held;
  ICommandParameters* out = reinterpret_cast<ICommandParameters*>(&held);
  parameters->Clone(&out, nullptr);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(held.releases, 1);
}

TEST_F(SceneCommandTest, GetTesterReplacesTheHeldTester) {
  TQVCountedPtr<ICommandTester> tester;
  fCommand->GetTester(tester.AddressOf());
  ASSERT_TRUE(tester);
  ICommandTester* first = tester.Get();
  first->AddRef();
  fCommand->GetTester(tester.AddressOf());
  EXPECT_NE(tester.Get(), first);
  EXPECT_EQ(first->Release(), 0) << "GetTester released the old tester";
}

TEST_F(SceneCommandTest, RefusedTesterAllocationRaises) {
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  ICommandTester* tester = nullptr;
  EXPECT_RAISES(fCommand->GetTester(&tester), kQVErrOutOfMemory, "QVCore/PublicAPI/QVCountedPtrHelper", 166);
  EXPECT_EQ(tester, nullptr);
}

TEST_F(SceneCommandTest, DefaultTesterFollowsTheSelectionRequiredFlag) {
  struct Case {
    bool selectionRequired;
    int32_t selected;
    bool enabled;
  };
  const Case cases[] = {{false, 0, true}, {false, 3, true}, {true, 0, false}, {true, 1, true}};
  for (const Case& c : cases) {
    TTestCommand* command = QVNewObject<TTestCommand>(c.selectionRequired);
    TQVCountedPtr<ISceneCommand> owner;
    owner.AttachNew(command);
    TQVCountedPtr<ICommandTester> tester;
    owner->GetTester(tester.Put());
    auto context = qvhost::Adopt<IHostCommandContext>(new FakeContext(c.selected));
    EXPECT_EQ(tester->IsEnabled(context.Get()), c.enabled)
        << "required " << c.selectionRequired << ", selected " << c.selected;
  }
}

}  // namespace
