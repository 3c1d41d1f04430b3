// Fixture for tests that link the runtime directly (the runtime tests, a module's
// internals): a fresh module state and the reference host's shell.
#pragma once

#include <string>
#include <vector>

#include "LeakCheck.h"
#include "ModuleInterfaces.h"
#include "QVEntryPoints.h"
#include "QVModuleState.h"
#include "QVSceneCommand.h"
#include "qvhost/HostShell.h"

class RuntimeTest : public LeakCheckedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // QVDllInit with the shell (or null); the fixture cleans up at the end.
  void InitModule(bool withShell = true);
  // Switches the process's code page and lets the runtime ask for it again.
  static void UseCodePage(uint32_t codePage);
  // The "service" journal entries that start with `prefix` ("acquire ", "release ", "ask ").
  std::vector<std::string> ServiceEvents(const std::string& prefix) const;

  TQVCountedPtr<qvhost::HostShell> fShell;
  bool fInitialised = false;
};
