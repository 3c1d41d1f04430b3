// The probe module through dlopen: factory, command protocol, dialog block, faults
// translated in module code, and two modules kept apart in one process.
#include <csignal>
#include <cstring>
#include <thread>

#include "ExpectRaise.h"
#include "ModuleFixture.h"
#include "QVException.h"

namespace {

struct ProbeParameters {
  int32_t mode, changes, unwound, controlEvents;
  float factor;
};

class ProbeTest : public ModuleTest {
 protected:
  TQVCountedPtr<ISceneCommand> Create(qvhost::LoadedModule& module) {
    const qvhost::ComponentResource& component = module.Resources().components.at(0);
    TQVCountedPtr<IClassFactory> factory = module.Factory(component.classId);
    TQVCountedPtr<ISceneCommand> command;
    EXPECT_TRUE(factory);
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, ISceneCommand::kID, command.PutVoid()), kQVOk);
    }
    return command;
  }
  static ProbeParameters* Block(ISceneCommand* command) {
    TQVCountedPtr<ICommandParameters> parameters;
    EXPECT_EQ(QVQuery(command, parameters), kQVOk);
    return static_cast<ProbeParameters*>(parameters->GetParameterBlock());
  }
};

TEST_F(ProbeTest, RunsDoUndoRedoAndLeavesNothingBehind) {
  auto& module = Load("ProbeModule");
  EXPECT_EQ(module.Resources().components.at(0).name, "ProbeModule command");
  TQVCountedPtr<ISceneCommand> command = Create(module);
  ASSERT_TRUE(command);
  EXPECT_EQ(module.CanUnloadNow(), 1);
  ProbeParameters* block = Block(command.Get());
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->factor, 1.0f);
  EXPECT_EQ(command->SetContext(nullptr), kQVOk);
  EXPECT_EQ(command->Prepare(), kQVOk);
  EXPECT_TRUE(command->Do());
  EXPECT_EQ(block->changes, 1);
  EXPECT_TRUE(command->Undo());
  EXPECT_EQ(block->changes, 0);
  EXPECT_TRUE(command->Redo());
  EXPECT_EQ(block->changes, 1);
  command.Release();
  EXPECT_EQ(module.CanUnloadNow(), 0);
}

TEST_F(ProbeTest, ProcessorFaultsInModuleCodeArriveAsExceptionsWithUnwinding) {
  auto& module = Load("ProbeModule");
  for (int32_t mode : {1, 2}) {
    TQVCountedPtr<ISceneCommand> command = Create(module);
    ProbeParameters* block = Block(command.Get());
    block->mode = mode;
    SCOPED_TRACE("mode " + std::to_string(mode));
    for (int repeat = 0; repeat < 2; ++repeat) {
      EXPECT_RAISES(command->Do(), kQVErrFault, nullptr, 0);
    }
    EXPECT_EQ(block->unwound, 2) << "the module's local destructors ran";
    EXPECT_EQ(block->changes, 0);
  }
}

TEST_F(ProbeTest, ModuleExceptionsKeepTheirSourceAndLineAndAreCaughtAsTQVObject) {
  auto& module = Load("ProbeModule");
  TQVCountedPtr<ISceneCommand> command = Create(module);
  Block(command.Get())->mode = 4;
  try {
    command->Do();
    ADD_FAILURE() << "no exception";
  } catch (const TQVObject& object) {
    const auto& error = static_cast<const TQVException&>(object);
    EXPECT_EQ(error.Code(), kQVErrObjectMissing);
    EXPECT_STREQ(error.GetSource(), "tests/Probe/ProbeModule");
    EXPECT_EQ(error.Line(), 60);
  }
  Block(command.Get())->mode = 5;  // the module's terminate handler raises
  EXPECT_RAISES(command->Do(), kQVErrFault, "QVCore/Source/Common/QVException", 50);
}

TEST_F(ProbeTest, BreakpointInModuleCodeIsNotTranslated) {
  EXPECT_EXIT(
      {
        auto& module = Load("ProbeModule");
        TQVCountedPtr<ISceneCommand> command = Create(module);
        Block(command.Get())->mode = 3;
        try {
          command->Do();
        } catch (const TQVException&) {
          std::_Exit(7);
        }
        std::_Exit(8);
      },
      ::testing::KilledBySignal(SIGTRAP), "");
}

TEST_F(ProbeTest, FaultOnAThreadWithoutTheTranslatorIsNotCaught) {
  auto& module = Load("ProbeModule");
  ASSERT_EQ(module.CleanUpExceptionTranslator(), kQVOk);  // removed from this thread
  EXPECT_EXIT(
      {
        TQVCountedPtr<ISceneCommand> command = Create(module);
        Block(command.Get())->mode = 2;
        try {
          command->Do();
        } catch (const TQVException&) {
          std::_Exit(7);
        }
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  ASSERT_EQ(module.InitExceptionTranslator(), kQVOk);
}

TEST_F(ProbeTest, TranslatorInstalledOnAnotherThreadServesThatThread) {
  auto& module = Load("ProbeModule");
  TQVCountedPtr<ISceneCommand> command = Create(module);
  Block(command.Get())->mode = 1;
  QVResult caught = kQVOk;
  std::thread([&] {
    module.InitExceptionTranslator();
    try {
      command->Do();
    } catch (const TQVException& error) {
      caught = error.Code();
    }
    module.CleanUpExceptionTranslator();
  }).join();
  EXPECT_EQ(caught, kQVErrFault);
}

TEST_F(ProbeTest, TwoModulesKeepTheirCountersAndServicesApart) {
  auto& one = Load("ProbeModule");
  auto& two = Load("ProbeTwo");
  TQVCountedPtr<ISceneCommand> command = Create(one);
  EXPECT_EQ(one.CanUnloadNow(), 1);
  EXPECT_EQ(two.CanUnloadNow(), 0);
  // A factory of one module does not know the other's class.
  TQVCountedPtr<IClassFactory> factory = two.Factory(one.Resources().components.at(0).classId);
  ASSERT_TRUE(factory);
  void* out = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, ISceneCommand::kID, &out), kQVErrClassNotAvailable);
  factory.Release();
  // Cleaning one up leaves the other's services in place: it still allocates.
  EXPECT_EQ(two.Unload(), "");
  EXPECT_TRUE(command->Do());
  TQVCountedPtr<ICommandTester> tester;
  command->GetTester(tester.Put());
  EXPECT_TRUE(tester);
}

TEST_F(ProbeTest, ModuleStillHoldingAComponentStaysLoaded) {
  auto& module = Load("ProbeModule");
  TQVCountedPtr<ISceneCommand> command = Create(module);
  const std::string answer = module.Unload();
  EXPECT_NE(answer.find("still holds component objects"), std::string::npos) << answer;
  EXPECT_TRUE(module.IsLoaded());
  EXPECT_TRUE(command->Do()) << "still initialised";
  command.Release();
  EXPECT_EQ(module.Unload(), "");
  EXPECT_FALSE(module.IsLoaded());
}

}  // namespace
