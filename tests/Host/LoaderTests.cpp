// The loader against broken modules: each is refused cleanly with the loader's text.
#include <dlfcn.h>

#include <filesystem>
#include <fstream>

#include "ExpectRaise.h"
#include "ModuleFixture.h"
#include "QVException.h"
#include "TestFiles.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleSet.h"

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
  fs::copy_file(ProbePath("ProbeModule"), folder / "Bare.qvx");
  // Cut-short and malformed libraries, each with a resource file: checked before dlopen,
  // which would map past the end of the file (SIGBUS).
  const std::string library = ReadFile(ProbePath("ProbeModule"));
  auto broken = [&](const std::string& name, std::string bytes) {
    std::ofstream(folder / (name + ".qvx"), std::ios::binary) << bytes;
    fs::copy_file(std::string(QV_PROBE_DIR) + "/ProbeModule.qvr.json", folder / (name + ".qvr.json"));
    return (folder / (name + ".qvx")).string();
  };
  std::string badEntrySize = library, badClass = library, pastEnd = library.substr(0, 64);
  badEntrySize[54] = 1;  // e_phentsize
  badClass[4] = 1;       // ELFCLASS32
  struct Case {
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      {FixturePath("NoEntryModule"), "the entry point QVDllGetClassObject is missing"},
      {(folder / "Missing.qvx").string(), "no such module file"},
      {(folder / "Text.qvx").string(), "cannot load the module"},
      {(folder / "Bare.qvx").string(), "the resource file Bare.qvr.json is missing"},
      {broken("Empty", ""), "cannot load the module: not a module: 0 bytes, too short for an ELF header"},
      {broken("Cut", library.substr(0, 4096)), "cannot load the module: not a module: the file is cut short (4096 bytes"},
      {broken("HeaderOnly", pastEnd), "the file is cut short (64 bytes; its program headers end at"},
      {broken("EntrySize", badEntrySize), "malformed ELF header (program header entries)"},
      {broken("Class", badClass), "an ELF file of 32-bit class; this host loads 64-bit modules"},
  };
  for (const Case& c : cases) {
    const std::string error = LoadError(c.path, fShell.Get());
    EXPECT_EQ(error.find(c.path), 0u) << error;
    EXPECT_EQ(error.find(c.path, 1), std::string::npos) << "the path once: " << error;
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
  fs::remove_all(folder);
}

// A module that cannot be loaded leaves no entry behind in the set, whose destructor
// unloaded a null module while the error unwound (SIGSEGV).
TEST_F(LoaderTest, ModuleSetThatCannotLoadAModuleRefusesItAndGoesOn) {
  const fs::path folder = fs::temp_directory_path() / ("qvmoduleset-" + std::to_string(getpid()));
  fs::create_directories(folder);
  std::ofstream(folder / "Text.qvx") << "not a library";
  std::ofstream(folder / "Text.qvr.json")
      << R"({"module": "Text", "components": [{"family": "scmd", "class": "Text", )"
      << R"("classId": "{11111111-2222-3333-4444-555555555555}", "name": "Text command"}]})";
  {
    qvhost::ModuleSet modules(folder.string(), *fShell);
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        modules.ModuleOf("Text command");
        ADD_FAILURE() << "loaded";
      } catch (const qvhost::ModuleError& error) {
        EXPECT_NE(std::string(error.what()).find("Text.qvx: cannot load the module"), std::string::npos) << error.what();
      }
    }
    EXPECT_EQ(modules.UnloadAll(), "");
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
  void* handle = dlopen(ProbePath("ProbeTwo").c_str(), RTLD_NOW | RTLD_LOCAL);
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

TEST_F(LoaderTest, FindModulesListsQvxFilesFolderByFolderEachByName) {
  const auto probes = qvhost::FindModules(QV_PROBE_DIR);
  EXPECT_EQ(probes, (std::vector<std::string>{ProbePath("ProbeModule"), ProbePath("ProbeTwo")}));
  const auto shipped = qvhost::FindModules(QV_MODULE_DIR);
  EXPECT_EQ(std::find(shipped.begin(), shipped.end(), ProbePath("ProbeModule")), shipped.end()) << "probes are not shipped";
  EXPECT_NE(std::find(shipped.begin(), shipped.end(), ModulePath("CropRevert")), shipped.end());
  EXPECT_TRUE(std::is_sorted(shipped.begin(), shipped.end()));
  // Empty and missing folders of a search path add nothing; the order of the folders holds.
  std::vector<std::string> both = shipped;
  both.insert(both.end(), probes.begin(), probes.end());
  EXPECT_EQ(qvhost::FindModules(std::string(QV_MODULE_DIR) + "::/nonexistent-folder:" + QV_PROBE_DIR + ":"), both);
  EXPECT_TRUE(qvhost::FindModules("/nonexistent-folder").empty());
}

}  // namespace
