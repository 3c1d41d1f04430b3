// The six entry points every module exports.
#include "QVEntryPoints.h"

#include "ModuleInterfaces.h"
#include "QVClassFactory.h"
#include "QVModuleState.h"
#include "QVServiceTable.h"

namespace {

void Acquire(IHostShell* shell, QVService service) {
  shell->QueryInterface(*kQVServices[int(service)].id,
                        reinterpret_cast<void**>(&QVServiceEntry(service)));
}

void ReleaseService(QVService service) {
  IUnknown*& entry = QVServiceEntry(service);
  if (entry) {
    IUnknown* held = entry;
    entry = nullptr;
    held->Release();
  }
}

void InstallTranslator() {
  QVState().savedTranslator = QVPlatform_SetTranslator(QVTranslateFault);
  QVPlatform_SetErrorMode(kQVErrorModeFailCriticalErrors | kQVErrorModeNoOpenFileErrorBox);
  QVPlatform_SetTerminateHandler(QVTerminateHandler);
  QVPlatform_SetExceptionDescriber(QVDescribeException);
}

void RemoveTranslator() { QVPlatform_SetTranslator(QVState().savedTranslator); }

}  // namespace

QV_EXPORT QVResult QVDllInit(IHostShell* shell) {
  QVModuleState& state = QVState();
  // Stage one. A shell without HostPlatformServices skips the capability question.
  if (shell) {
    for (int i = 0; i < kQVStageOneCount; ++i) Acquire(shell, QVService(i));
    if (HostPlatformServices* platform = QVGetService<HostPlatformServices>()) {
      uint8_t bytes[4] = {0, 0, 0, 0};
      platform->GetCapabilityBytes(bytes);
      for (int i = 0; i < 4; ++i) state.capabilities[i] = bytes[i];
    }
  }
  InstallTranslator();
  // Stage two.
  if (shell) {
    for (QVService service : {QVService::Image, QVService::ServiceB2, QVService::ServiceB3,
                              QVService::ServiceB4})
      Acquire(shell, service);
    if (HostServiceB4* b4 = QVGetService<HostServiceB4>()) state.serviceB4Flag = b4->GetFlag();
  }
  if (HostRuntimeServices* runtime = QVGetService<HostRuntimeServices>()) {
    if (const int32_t* third = runtime->GetThirdValue()) state.runtimeThirdValue = *third;
    runtime->GetFirstPair(&state.runtimeFirstPair[0], &state.runtimeFirstPair[1]);
    runtime->GetSecondPair(&state.runtimeSecondPair[0], &state.runtimeSecondPair[1]);
  }
  if (shell) {
    for (QVService service : {QVService::Application, QVService::ServiceC2, QVService::ServiceC3})
      Acquire(shell, service);
    if (HostApplicationServices* application = QVGetService<HostApplicationServices>())
      state.applicationFlag = application->GetFlag();
  }
  if (state.startUp) state.startUp();
  return kQVOk;
}

QV_EXPORT QVResult QVDllGetClassObject(const QVGUID& classId, const QVGUID& interfaceId, void** out) {
  return TQVClassFactory::GetClassObject(classId, interfaceId, out);
}

QV_EXPORT QVResult QVDllCanUnloadNow() { return QVLiveObjectCount() > 0 ? 1 : 0; }

QV_EXPORT QVResult QVDllCleanUp() {
  QVModuleState& state = QVState();
  if (state.cleanedUp) return kQVOk;
  if (state.cleanUp) state.cleanUp();
  for (int i = 0; i < kQVServiceCount; ++i) {
    // After HostApplicationServices, C2 and C3: the first value of each runtime pair.
    if (kQVReleaseOrder[i] == QVService::Image) {
      state.runtimeFirstPair[0] = 0;
      state.runtimeSecondPair[0] = 0;
    }
    ReleaseService(kQVReleaseOrder[i]);
  }
  RemoveTranslator();
  state.cleanedUp = true;
  return kQVOk;
}

QV_EXPORT QVResult QVDllInitExceptionTranslator() {
  InstallTranslator();
  return kQVOk;
}

QV_EXPORT QVResult QVDllCleanUpExceptionTranslator() {
  RemoveTranslator();
  return kQVOk;
}
