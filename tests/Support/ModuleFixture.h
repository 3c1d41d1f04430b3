// Fixture for tests that reach modules through the loader, as the host does.
#pragma once

#include <string>

#include "LeakCheck.h"
#include "qvhost/CommandSession.h"
#include "qvhost/ModuleLoader.h"

inline std::string ModulePath(const std::string& name) { return std::string(QV_MODULE_DIR) + "/" + name + ".qvx"; }
inline std::string FixturePath(const std::string& name) { return std::string(QV_FIXTURE_DIR) + "/" + name + ".qvx"; }
inline std::string ProbePath(const std::string& name) { return std::string(QV_PROBE_DIR) + "/" + name + ".qvx"; }

class ModuleTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    fShell = qvhost::HostShell::Create();
  }
  void TearDown() override {
    fSessions.clear();
    for (auto& module : fModules) {
      if (module) {
        EXPECT_EQ(module->Unload(), "") << module->Name();
      }
    }
    fModules.clear();
    fShell.Release();
    LeakCheckedTest::TearDown();
  }
  // A shipped module, or a probe module of the tests (its name starts with "Probe").
  qvhost::LoadedModule& Load(const std::string& name) {
    const bool probe = name.rfind("Probe", 0) == 0;
    fModules.push_back(qvhost::LoadedModule::Load(probe ? ProbePath(name) : ModulePath(name), fShell.Get()));
    fShell->Settings().resources.push_back(fModules.back()->Resources());
    return *fModules.back();
  }

  // A session of `module`'s component `index` (its first by default) on `document`, as the
  // host drives it; the fixture lets it go before the modules are unloaded.
  qvhost::CommandSession& StartSession(qvhost::LoadedModule& module, qvhost::Document& document, size_t index = 0) {
    fSessions.push_back(std::make_unique<qvhost::CommandSession>(*fShell, module, module.Resources().components.at(index),
                                                                 document));
    return *fSessions.back();
  }
  // A command made as the host makes one, on `document`, handed over: the session keeps no
  // reference to it.
  TQVCountedPtr<ISceneCommand> CreateCommand(qvhost::LoadedModule& module, qvhost::Document& document) {
    qvhost::CommandSession& session = StartSession(module, document);
    TQVCountedPtr<ISceneCommand> command;
    command.Assign(&session.Create());
    session.Release();
    return command;
  }

  TQVCountedPtr<qvhost::HostShell> fShell;
  std::vector<std::unique_ptr<qvhost::CommandSession>> fSessions;
  std::vector<std::unique_ptr<qvhost::LoadedModule>> fModules;
};
