// The module loader.
#include "qvhost/ModuleLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "qvhost/HostError.h"
#include "qvplatform/Platform.h"

namespace fs = std::filesystem;

namespace qvhost {

namespace {

template <class F>
F Resolve(void* handle, const char* name, const std::string& path) {
  void* symbol = dlsym(handle, name);
  if (!symbol) throw HostError(path + ": not a module: the entry point " + name + " is missing");
  return reinterpret_cast<F>(symbol);
}

// True when `function` lies in the library loaded as `handle`.
bool BelongsTo(const void* function, void* handle) {
  Dl_info info{};
  if (!function || !dladdr(function, &info) || !info.dli_fname) return false;
  void* owner = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (owner) dlclose(owner);
  return owner == handle;
}

}  // namespace

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, IHostShell* shell) {
  std::unique_ptr<LoadedModule> module(new LoadedModule());
  module->fPath = path;
  module->fName = fs::path(path).stem().string();
  const fs::path resourcePath = fs::path(path).replace_extension(".qvr.json");
  std::error_code error;
  if (!fs::exists(path, error)) throw HostError(path + ": no such module file");
  if (!fs::exists(resourcePath, error))
    throw HostError(path + ": the resource file " + resourcePath.filename().string() + " is missing");
  module->fResources = LoadResourceFile(resourcePath.string());

  module->fHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module->fHandle) {
    const char* error = dlerror();
    throw HostError(path + ": cannot load the module: " + (error ? error : "unknown error"));
  }
  try {
    module->fInit = Resolve<QVDllInitFunction>(module->fHandle, "QVDllInit", path);
    module->fGetClassObject = Resolve<QVDllGetClassObjectFunction>(module->fHandle, "QVDllGetClassObject", path);
    module->fCanUnloadNow = Resolve<QVDllCanUnloadNowFunction>(module->fHandle, "QVDllCanUnloadNow", path);
    module->fCleanUp = Resolve<QVDllCleanUpFunction>(module->fHandle, "QVDllCleanUp", path);
    module->fInitTranslator = Resolve<QVDllInitExceptionTranslatorFunction>(
        module->fHandle, "QVDllInitExceptionTranslator", path);
    module->fCleanUpTranslator = Resolve<QVDllCleanUpExceptionTranslatorFunction>(
        module->fHandle, "QVDllCleanUpExceptionTranslator", path);
  } catch (...) {
    dlclose(module->fHandle);
    module->fHandle = nullptr;
    throw;
  }
  module->fTranslatorBefore = QVPlatform_GetTranslator();
  module->fTerminateBefore = QVPlatform_GetTerminateHandler();
  try {
    module->fInit(shell);
  } catch (...) {
    // What QVDllInit acquired is released again. The library stays mapped: the
    // exception on its way to the caller points at the module's type and texts.
    module->fCleanUp();
    module->RestoreHandlers();
    module->fHandle = nullptr;
    throw;
  }
  return module;
}

LoadedModule::~LoadedModule() {
  if (fHandle) Unload();
}

QVResult LoadedModule::GetClassObject(const QVGUID& classId, const QVGUID& interfaceId, void** out) {
  return fGetClassObject(classId, interfaceId, out);
}

TQVCountedPtr<IClassFactory> LoadedModule::Factory(const QVGUID& classId) {
  TQVCountedPtr<IClassFactory> factory;
  GetClassObject(classId, kIID_IClassFactory, factory.PutVoid());
  return factory;
}

// The module's handlers must not outlive its code on this thread.
void LoadedModule::RestoreHandlers() {
  if (BelongsTo(reinterpret_cast<const void*>(QVPlatform_GetTranslator()), fHandle))
    QVPlatform_SetTranslator(fTranslatorBefore);
  if (BelongsTo(reinterpret_cast<const void*>(QVPlatform_GetTerminateHandler()), fHandle))
    QVPlatform_SetTerminateHandler(fTerminateBefore);
}

QVResult LoadedModule::CanUnloadNow() { return fCanUnloadNow(); }
QVResult LoadedModule::InitExceptionTranslator() { return fInitTranslator(); }
QVResult LoadedModule::CleanUpExceptionTranslator() { return fCleanUpTranslator(); }

std::string LoadedModule::Unload() {
  if (!fHandle) return "";
  // Objects of the module would lose their memory service and their code.
  if (fCanUnloadNow() != 0)
    return fPath + ": the module still holds component objects; it stays loaded";
  fCleanUp();
  RestoreHandlers();
  dlclose(fHandle);
  fHandle = nullptr;
  return "";
}

std::vector<std::string> FindModules(const std::string& folder) {
  std::vector<std::string> modules;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.is_regular_file(error) && entry.path().extension() == ".qvx") modules.push_back(entry.path().string());
  std::sort(modules.begin(), modules.end());
  return modules;
}

std::string DefaultModuleFolder() {
  if (const char* path = std::getenv("QV_MODULE_PATH")) return path;
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error) return "modules";
  return (program.parent_path().parent_path() / "modules").string();
}

}  // namespace qvhost
