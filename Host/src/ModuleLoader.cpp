// The module loader.
#include "qvhost/ModuleLoader.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "qvhost/HostError.h"
#include "qvplatform/Platform.h"

namespace fs = std::filesystem;

namespace qvhost {

namespace {

template <class F>
F Resolve(void* handle, const char* name, const std::string& path) {
  void* symbol = dlsym(handle, name);
  if (!symbol) throw ModuleError(path + ": not a module: the entry point " + name + " is missing");
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

// Reads `size` bytes at `offset`; false when the file ends before.
bool ReadAt(int fd, void* into, size_t size, off_t offset) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, static_cast<char*>(into) + got, size - got, offset + off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += size_t(n);
  }
  return true;
}

}  // namespace

std::string CheckElfFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string("cannot open the file (") + std::strerror(errno) + ")";
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return "not a regular file";
  const uint64_t size = uint64_t(status.st_size);
  ElfW(Ehdr) header{};
  if (size < sizeof header || !ReadAt(fd, &header, sizeof header, 0))
    return "not a module: " + std::to_string(size) + " bytes, too short for an ELF header";
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return "not a module: no ELF header";
#if defined(__LP64__)
  const unsigned char elfClass = ELFCLASS64;
#else
  const unsigned char elfClass = ELFCLASS32;
#endif
  if (header.e_ident[EI_CLASS] != elfClass)
    return std::string("not a module: an ELF file of ") + (header.e_ident[EI_CLASS] == ELFCLASS64 ? "64" : "32") +
           "-bit class; this host loads " + (elfClass == ELFCLASS64 ? "64" : "32") + "-bit modules";
  if (header.e_type != ET_DYN) return "not a module: an ELF file that is no shared library";
  if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0)
    return "not a module: malformed ELF header (program header entries)";
  const uint64_t tableEnd = uint64_t(header.e_phoff) + uint64_t(header.e_phnum) * sizeof(ElfW(Phdr));
  if (header.e_phoff < sizeof header || tableEnd > size)
    return "not a module: the file is cut short (" + std::to_string(size) + " bytes; its program headers end at " +
           std::to_string(tableEnd) + ")";
  for (uint32_t i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) segment{};
    if (!ReadAt(fd, &segment, sizeof segment, off_t(header.e_phoff + i * sizeof segment)))
      return "not a module: cannot read program header " + std::to_string(i);
    const uint64_t end = uint64_t(segment.p_offset) + uint64_t(segment.p_filesz);
    if (end < segment.p_offset || end > size)
      return "not a module: the file is cut short (" + std::to_string(size) + " bytes; segment " + std::to_string(i) +
             " ends at " + std::to_string(end) + ")";
  }
  return "";
}

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, IHostShell* shell) {
  std::unique_ptr<LoadedModule> module(new LoadedModule());
  module->fPath = path;
  module->fName = fs::path(path).stem().string();
  const fs::path resourcePath = fs::path(path).replace_extension(".qvr.json");
  std::error_code error;
  if (!fs::exists(path, error)) throw ModuleError(path + ": no such module file");
  if (!fs::exists(resourcePath, error))
    throw ModuleError(path + ": the resource file " + resourcePath.filename().string() + " is missing");
  try {
    module->fResources = LoadResourceFile(resourcePath.string());
  } catch (const ModuleError&) {
    throw;
  } catch (const HostError& bad) {
    throw ModuleError(bad.what());
  }
  if (const std::string why = CheckElfFile(path); !why.empty())
    throw ModuleError(path + ": cannot load the module: " + why);

  module->fHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module->fHandle) {
    const char* answer = dlerror();
    std::string why = answer ? answer : "unknown error";
    // The dynamic loader's text starts with the path already given.
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
    throw ModuleError(path + ": cannot load the module: " + why);
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

std::vector<std::string> FindModules(const std::string& folders) {
  std::vector<std::string> modules;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
      if (entry.is_regular_file(error) && entry.path().extension() == ".qvx") found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    modules.insert(modules.end(), found.begin(), found.end());
  }
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
