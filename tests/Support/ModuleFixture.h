// Fixture for tests that reach modules through the loader, as the host does.
#pragma once

#include <string>

#include "LeakCheck.h"
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
    for (auto& module : fModules) {
      if (module) {
        EXPECT_EQ(module->Unload(), "") << module->Name();
      }
    }
    fModules.clear();
    fShell.Release();
    LeakCheckedTest::TearDown();
  }
  qvhost::LoadedModule& Load(const std::string& name) {
    fModules.push_back(qvhost::LoadedModule::Load(ModulePath(name), fShell.Get()));
    fShell->Settings().resources.push_back(fModules.back()->Resources());
    return *fModules.back();
  }

  TQVCountedPtr<qvhost::HostShell> fShell;
  std::vector<std::unique_ptr<qvhost::LoadedModule>> fModules;
};
