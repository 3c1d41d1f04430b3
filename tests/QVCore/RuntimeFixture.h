// Fixture for tests that link the runtime directly: a fresh module state, the reference
// host's shell, and a test command class that CreateComponent makes.
#pragma once

#include <string>
#include <vector>

#include "LeakCheck.h"
#include "ModuleInterfaces.h"
#include "QVEntryPoints.h"
#include "QVModuleState.h"
#include "QVSceneCommand.h"
#include "qvhost/HostShell.h"

// The class this test binary's CreateComponent knows.
extern const QVGUID kTestCommandClassId;

class TTestCommand final : public TQVSceneCommand {
 public:
  explicit TTestCommand(bool selectionRequired = false) { fSelectionRequired = selectionRequired; }
  int32_t Release() override { return QVReleaseComponent(this); }
  void* GetParameterBlock() override { return &fBlock; }
  int32_t fBlock = 0;
};

class RuntimeTest : public LeakCheckedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // QVDllInit with the shell (or null); the fixture cleans up at the end.
  void InitModule(bool withShell = true);
  // The "service" journal entries that start with `prefix` ("acquire ", "release ", "ask ").
  std::vector<std::string> ServiceEvents(const std::string& prefix) const;

  TQVCountedPtr<qvhost::HostShell> fShell;
  bool fInitialised = false;
};
