// Module entry points: service acquisition and release order, the translator rules,
// clean-up and the unload answer.
#include <csignal>
#include <exception>

#include "ExpectRaise.h"
#include "QVClassFactory.h"
#include "QVServiceTable.h"
#include "RuntimeFixture.h"
#include "TestCommand.h"

namespace {

const std::vector<std::string> kAcquisitionOrder = {
    "HostProgressServices", "HostFileDialogServices", "HostFileServices", "HostResourceServices",
    "HostRuntimeServices", "HostService06", "HostService07", "HostMemoryServices",
    "HostPlatformServices", "HostComponentServices", "HostNotificationServices", "HostService12",
    "HostService13", "HostDialogServices", "HostService15", "HostService16", "HostService17",
    "HostService18", "HostService19", "HostService20", "HostImageServices", "HostServiceB2",
    "HostServiceB3", "HostServiceB4", "HostApplicationServices", "HostServiceC2", "HostServiceC3"};

const std::vector<std::string> kReleaseOrder = {
    "HostApplicationServices", "HostServiceC2", "HostServiceC3", "HostImageServices",
    "HostServiceB2", "HostServiceB3", "HostServiceB4", "HostComponentServices",
    "HostRuntimeServices", "HostMemoryServices", "HostService07", "HostPlatformServices",
    "HostResourceServices", "HostFileServices", "HostFileDialogServices", "HostProgressServices",
    "HostService06", "HostService17", "HostService16", "HostService15", "HostDialogServices",
    "HostService13", "HostService12", "HostNotificationServices", "HostService20",
    "HostService18", "HostService19"};

using EntryPointTest = RuntimeTest;

TEST_F(EntryPointTest, AcquiresEveryServiceInOrderAndAsksItsQuestionsBetween) {
  InitModule();
  std::vector<std::string> expected;
  for (size_t i = 0; i < 20; ++i) expected.push_back("acquire " + kAcquisitionOrder[i]);
  expected.push_back("ask HostPlatformServices.GetCapabilityBytes");
  for (size_t i = 20; i < 24; ++i) expected.push_back("acquire " + kAcquisitionOrder[i]);
  expected.push_back("ask HostServiceB4.GetFlag");
  expected.push_back("ask HostRuntimeServices.GetThirdValue");
  expected.push_back("ask HostRuntimeServices.GetFirstPair");
  expected.push_back("ask HostRuntimeServices.GetSecondPair");
  for (size_t i = 24; i < 27; ++i) expected.push_back("acquire " + kAcquisitionOrder[i]);
  expected.push_back("ask HostApplicationServices.GetFlag");
  EXPECT_EQ(fShell->GetJournal().Texts("service"), expected);
  for (int i = 0; i < kQVServiceCount; ++i) EXPECT_NE(QVServiceEntry(QVService(i)), nullptr) << i;
}

TEST_F(EntryPointTest, CleanUpReleasesEachServiceOnceInOrderAndOnlyTheFirstTime) {
  InitModule();
  fShell->GetJournal().Clear();
  EXPECT_EQ(QVDllCleanUp(), kQVOk);
  EXPECT_EQ(ServiceEvents("release "), kReleaseOrder);
  EXPECT_TRUE(QVCleanedUp());
  fShell->GetJournal().Clear();
  EXPECT_EQ(QVDllCleanUp(), kQVOk);
  EXPECT_TRUE(ServiceEvents("release ").empty());
  for (int i = 0; i < kQVServiceCount; ++i) EXPECT_EQ(QVServiceEntry(QVService(i)), nullptr) << i;
}

TEST_F(EntryPointTest, ShellGivingSomeServicesLeavesTheOthersNull) {
  const QVService withheld[] = {QVService::Memory, QVService::Image, QVService::ServiceC3,
                                QVService::Progress};
  for (QVService service : withheld) fShell->Withhold(service);
  InitModule();
  for (QVService service : withheld) EXPECT_EQ(QVServiceEntry(service), nullptr);
  EXPECT_NE(QVServiceEntry(QVService::Dialog), nullptr);
  fShell->GetJournal().Clear();
  QVDllCleanUp();
  std::vector<std::string> expected;
  for (const std::string& name : kReleaseOrder)
    if (name != "HostMemoryServices" && name != "HostImageServices" && name != "HostServiceC3" &&
        name != "HostProgressServices")
      expected.push_back(name);
  EXPECT_EQ(ServiceEvents("release "), expected);
  // Without HostMemoryServices module allocation answers null.
  EXPECT_EQ(QVAllocateBlock(16), nullptr);
}

TEST_F(EntryPointTest, ShellWithoutThePlatformRuntimeAndApplicationServicesSkipsTheirQuestions) {
  fShell->Withhold(QVService::Platform);
  fShell->Withhold(QVService::Runtime);
  fShell->Withhold(QVService::Application);
  InitModule();
  EXPECT_EQ(ServiceEvents("ask "), std::vector<std::string>{"HostServiceB4.GetFlag"});
  EXPECT_NE(QVServiceEntry(QVService::Memory), nullptr);
  EXPECT_FALSE(QVBlockMoveFlag());
}

TEST_F(EntryPointTest, NullShellAsksNothingAndStillInstallsTheTranslator) {
  InitModule(/*withShell=*/false);
  EXPECT_TRUE(fShell->GetJournal().Entries().empty());
  EXPECT_EQ(QVPlatform_GetTranslator(), QVTranslateFault);
  EXPECT_EQ(QVPlatform_GetTerminateHandler(), QVTerminateHandler);
}

TEST_F(EntryPointTest, CapabilityBytesSetTheBlockMoveFlag) {
  fShell->Settings().capabilityBytes[0] = 0;
  fShell->Settings().capabilityBytes[3] = 9;
  InitModule();
  EXPECT_FALSE(QVBlockMoveFlag());
  EXPECT_EQ(QVCapabilityBytes()[3], 9);
  QVDllCleanUp();
  QVState() = QVModuleState{};
  fShell->Settings().capabilityBytes[0] = 1;
  InitModule();
  EXPECT_TRUE(QVBlockMoveFlag());
}

void ForeignTranslator(const QVStructuredException*) {}

TEST_F(EntryPointTest, TranslatorInstallAndRemoveRules) {
  QVPlatform_SetTranslator(ForeignTranslator);
  const uint32_t savedMode = QVPlatform_SetErrorMode(0);
  InitModule();
  EXPECT_EQ(QVPlatform_GetTranslator(), QVTranslateFault);
  EXPECT_EQ(QVPlatform_SetErrorMode(0), 0x8001u);
  EXPECT_EQ(QVDllCleanUpExceptionTranslator(), kQVOk);
  EXPECT_EQ(QVPlatform_GetTranslator(), ForeignTranslator);
  // Installing again after QVDllInit saves the module's own translator...
  EXPECT_EQ(QVDllInitExceptionTranslator(), kQVOk);
  EXPECT_EQ(QVDllInitExceptionTranslator(), kQVOk);
  // ...so removing it leaves the module's translator in place.
  EXPECT_EQ(QVDllCleanUpExceptionTranslator(), kQVOk);
  EXPECT_EQ(QVPlatform_GetTranslator(), QVTranslateFault);
  QVPlatform_SetErrorMode(savedMode);
}

TEST(TranslatorFunctionTest, BreakpointsPassAndEverythingElseRaisesFault) {
  const QVStructuredException breakpoint{kQVExceptionBreakpoint, SIGTRAP, nullptr};
  EXPECT_NO_THROW(QVTranslateFault(&breakpoint));
  for (uint32_t code : {kQVExceptionAccessViolation, kQVExceptionIntDivideByZero, kQVExceptionIllegalInstruction}) {
    const QVStructuredException fault{code, SIGSEGV, nullptr};
    EXPECT_RAISES(QVTranslateFault(&fault), kQVErrFault, nullptr, 0);
  }
  EXPECT_RAISES(QVTerminateHandler(), kQVErrFault, "QVCore/Source/Common/QVException", 50);
}

// A terminate on a thread the module initialised on: the runtime's handler throws, and the
// line before the abort gives that exception's code, source and line.
TEST_F(EntryPointTest, ATerminateReportsTheHandlersExceptionBeforeTheAbort) {
  InitModule();
  EXPECT_EXIT(std::terminate(), ::testing::KilledBySignal(SIGABRT),
              "^terminate: the thread's terminate handler threw 0x80010004 at QVCore/Source/Common/QVException "
              "line 50; aborting\n$");
}

TEST_F(EntryPointTest, CanUnloadNowWhileAFactoryIsHeld) {
  InitModule();
  EXPECT_EQ(QVDllCanUnloadNow(), 0);
  TQVCountedPtr<IClassFactory> factory;
  ASSERT_EQ(QVDllGetClassObject(kTestCommandClassId, kIID_IClassFactory, factory.PutVoid()), kQVOk);
  EXPECT_EQ(QVDllCanUnloadNow(), 1);
  factory.Release();
  EXPECT_EQ(QVDllCanUnloadNow(), 0);
  // The answer does not depend on the services.
  QVDllCleanUp();
  EXPECT_EQ(QVDllCanUnloadNow(), 0);
}

}  // namespace
