// The runtime test fixture.
#include "RuntimeFixture.h"

#include "QVString.h"
#include "qvplatform/Platform.h"

void RuntimeTest::SetUp() {
  LeakCheckedTest::SetUp();
  QVState() = QVModuleState{};
  fShell = qvhost::HostShell::Create();
}

void RuntimeTest::InitModule(bool withShell) {
  ASSERT_EQ(QVDllInit(withShell ? fShell.Get() : nullptr), kQVOk);
  fInitialised = true;
}

void RuntimeTest::TearDown() {
  if (fInitialised) QVDllCleanUp();
  QVPlatform_SetTranslator(nullptr);
  QVPlatform_SetTerminateHandler(nullptr);
  QVPlatform_SetExceptionDescriber(nullptr);
  fShell.Release();
  QVState() = QVModuleState{};
  LeakCheckedTest::TearDown();
}

std::vector<std::string> RuntimeTest::ServiceEvents(const std::string& prefix) const {
  std::vector<std::string> events;
  for (const std::string& text : fShell->GetJournal().Texts("service"))
    if (text.compare(0, prefix.size(), prefix) == 0) events.push_back(text.substr(prefix.size()));
  return events;
}

void RuntimeTest::UseCodePage(uint32_t codePage) {
  QVPlatform_SetACP(codePage, nullptr);
  QVResetCodePageState();
}
