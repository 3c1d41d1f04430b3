// Loads a module (.qvx) with its resource file, initialises it with a shell, hands out
// its class factories and unloads it the way the host does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostError.h"
#include "HostShell.h"
#include "ModuleInterfaces.h"
#include "ResourceFile.h"
#include "qvplatform/Platform.h"

namespace qvhost {

// A module file that cannot be loaded: not a whole library, an entry point missing, its
// resource file missing or bad. The module is at fault, not the command line (exit 1).
class QVHOST_API ModuleError : public HostError {
 public:
  using HostError::HostError;
};

// Empty when `path` holds an ELF shared object of this process's class whose header
// and program headers lie within the file; else why not. Checked before dlopen, which
// maps what the headers say and faults on a file cut short.
QVHOST_API std::string CheckElfFile(const std::string& path);

class QVHOST_API LoadedModule {
 public:
  // Loads `path` (RTLD_LOCAL), reads <stem>.qvr.json beside it and calls QVDllInit with
  // `shell`. Throws ModuleError for a file that cannot be loaded, a missing entry point
  // or a bad resource file. A TQVException out of QVDllInit goes on to the caller after
  // QVDllCleanUp; the library then stays mapped, since the exception refers to it.
  static std::unique_ptr<LoadedModule> Load(const std::string& path, IHostShell* shell);
  ~LoadedModule();

  const std::string& Name() const { return fName; }
  const std::string& Path() const { return fPath; }
  const ResourceFile& Resources() const { return fResources; }

  QVResult GetClassObject(const QVGUID& classId, const QVGUID& interfaceId, void** out);
  // The factory of `classId`, or an empty pointer when the module refused.
  TQVCountedPtr<IClassFactory> Factory(const QVGUID& classId);
  // QVDllCanUnloadNow: 0 once no component object of the module is alive.
  QVResult CanUnloadNow();
  QVResult InitExceptionTranslator();
  QVResult CleanUpExceptionTranslator();

  // When QVDllCanUnloadNow answers 0: QVDllCleanUp, then unload. A module that still
  // holds objects stays loaded and initialised, and the answer says so (empty: unloaded).
  std::string Unload();
  bool IsLoaded() const { return fHandle != nullptr; }

 private:
  LoadedModule() = default;
  void RestoreHandlers();

  std::string fName, fPath;
  ResourceFile fResources;
  void* fHandle = nullptr;
  QVTranslatorFunction fTranslatorBefore = nullptr;
  QVTerminateFunction fTerminateBefore = nullptr;
  QVDllInitFunction fInit = nullptr;
  QVDllGetClassObjectFunction fGetClassObject = nullptr;
  QVDllCanUnloadNowFunction fCanUnloadNow = nullptr;
  QVDllCleanUpFunction fCleanUp = nullptr;
  QVDllInitExceptionTranslatorFunction fInitTranslator = nullptr;
  QVDllCleanUpExceptionTranslatorFunction fCleanUpTranslator = nullptr;
};

// The .qvx files of the folders of a search path ("DIR" or "DIR:DIR..."), folder by folder
// in that order, each sorted by name.
QVHOST_API std::vector<std::string> FindModules(const std::string& folders);
// $QV_MODULE_PATH, else the modules folder beside the running program's folder.
QVHOST_API std::string DefaultModuleFolder();

}  // namespace qvhost
