// The loader against broken modules: each is refused cleanly with the loader's text.
#include <dlfcn.h>

#include <filesystem>
#include <fstream>

#include "ExpectRaise.h"
#include "ModuleFixture.h"
#include "QVException.h"
#include "qvhost/HostError.h"

namespace fs = std::filesystem;

namespace {

using LoaderTest = ModuleTest;

std::string LoadError(const std::string& path, IHostShell* shell) {
  try {
    qvhost::LoadedModule::Load(path, shell);
  } catch (const qvhost::HostError& error) {
    return error.what();
  }
  return "";
}

TEST_F(LoaderTest, RefusesFilesThatAreNotWholeModules) {
  const fs::path folder = fs::temp_directory_path() / ("qvloader-" + std::to_string(getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "Text.qvx") << "not a library";
  std::ofstream(folder / "Text.qvr.json") << R"({"module": "Text", "components": []})";
  fs::copy_file(ModulePath("ProbeModule"), folder / "Bare.qvx");
  struct Case {
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      {FixturePath("NoEntryModule"), "the entry point QVDllGetClassObject is missing"},
      {(folder / "Missing.qvx").string(), "no such module file"},
      {(folder / "Text.qvx").string(), "cannot load the module"},
      {(folder / "Bare.qvx").string(), "the resource file Bare.qvr.json is missing"},
  };
  for (const Case& c : cases) {
    const std::string error = LoadError(c.path, fShell.Get());
    EXPECT_NE(error.find(c.path), std::string::npos) << error;
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
  fs::remove_all(folder);
}

TEST_F(LoaderTest, ModuleWhoseInitThrowsIsCleanedUpAndTheErrorGoesOn) {
  EXPECT_RAISES(qvhost::LoadedModule::Load(FixturePath("InitThrowsModule"), fShell.Get()), kQVErrObjectMissing, "tests/Probe/InitThrowsModule", 9);
  // Every service it took was given back.
  int acquired = 0, released = 0;
  for (const std::string& text : fShell->GetJournal().Texts("service")) {
    acquired += text.rfind("acquire ", 0) == 0;
    released += text.rfind("release ", 0) == 0;
  }
  EXPECT_EQ(acquired, 27);
  EXPECT_EQ(released, 27);
  EXPECT_EQ(QVPlatform_GetTranslator(), nullptr) << "the module's translator went with it";
}

TEST_F(LoaderTest, UnloadWithoutCleanUpReleasesTheTwoRegisteredServices) {
  void* handle = dlopen(ModulePath("ProbeTwo").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto init = reinterpret_cast<QVDllInitFunction>(dlsym(handle, "QVDllInit"));
  auto cleanUpTranslator = reinterpret_cast<QVDllCleanUpExceptionTranslatorFunction>(
      dlsym(handle, "QVDllCleanUpExceptionTranslator"));
  ASSERT_EQ(init(fShell.Get()), kQVOk);
  cleanUpTranslator();
  fShell->GetJournal().Clear();
  ASSERT_EQ(dlclose(handle), 0);
  EXPECT_EQ(fShell->GetJournal().Texts("service"),
            (std::vector<std::string>{"release HostService06", "release HostApplicationServices"}));
  // The other 25 references are lost with the module, as the host would lose them.
  for (int i = 0; i < kQVServiceCount; ++i) {
    if (QVService(i) == QVService::Service06 || QVService(i) == QVService::Application) continue;
    fShell->Service(QVService(i))->Release();
  }
}

TEST_F(LoaderTest, FindModulesListsQvxFilesByName) {
  const auto modules = qvhost::FindModules(QV_MODULE_DIR);
  ASSERT_GE(modules.size(), 2u);
  EXPECT_NE(std::find(modules.begin(), modules.end(), ModulePath("ProbeModule")), modules.end());
  EXPECT_TRUE(std::is_sorted(modules.begin(), modules.end()));
  EXPECT_TRUE(qvhost::FindModules("/nonexistent-folder").empty());
}

}  // namespace
