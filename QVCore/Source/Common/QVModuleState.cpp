// Module-wide state, the memory binding over HostMemoryServices and the live-object count.
#include "QVModuleState.h"

#include "QVMemory.h"
#include "QVServiceTable.h"

namespace {

QVModuleState gState;  // static storage: zero before QVDllInit
int32_t gLiveObjects;
int32_t gStrayReleases;

HostMemoryServices* Memory() { return QVGetService<HostMemoryServices>(); }

// Entries released at unload if they still hold a reference (none after QVDllCleanUp).
struct UnloadRelease {
  ~UnloadRelease() {
    for (QVService service : {QVService::Service06, QVService::Application}) {
      IUnknown*& entry = gState.services[int(service)];
      if (entry) {
        IUnknown* held = entry;
        entry = nullptr;
        held->Release();
      }
    }
  }
} gUnloadRelease;

}  // namespace

QVModuleState& QVState() { return gState; }
IUnknown*& QVServiceEntry(QVService service) { return gState.services[int(service)]; }
bool QVCleanedUp() { return gState.cleanedUp; }
const uint8_t* QVCapabilityBytes() { return gState.capabilities; }
int32_t& QVLiveObjectCount() { return gLiveObjects; }
int32_t QVStrayReleases() { return __atomic_load_n(&gStrayReleases, __ATOMIC_RELAXED); }
void QVNoteStrayRelease() { __atomic_add_fetch(&gStrayReleases, 1, __ATOMIC_RELAXED); }

void* QVAllocateBlock(size_t size) { return Memory() ? Memory()->AllocateBlock(size) : nullptr; }
void* QVReallocateBlock(void* block, size_t size) {
  return Memory() ? Memory()->ReallocateBlock(block, size) : nullptr;
}
void QVFreeBlock(void* block) {
  if (block && Memory()) Memory()->FreeBlock(block);
}
void* QVAllocateObject(size_t size) { return Memory() ? Memory()->AllocateObject(size) : nullptr; }
void QVFreeObject(void* object) {
  if (object && Memory()) Memory()->FreeObject(object);
}
bool QVBlockMoveFlag() { return gState.capabilities[0] != 0; }

TQVModuleHooks::TQVModuleHooks(QVModuleHook startUp, QVModuleHook cleanUp) {
  gState.startUp = startUp;
  gState.cleanUp = cleanUp;
}
