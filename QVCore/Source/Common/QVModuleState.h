// Module-wide state of the runtime, zero before QVDllInit.
#pragma once

#include <cstdint>

#include "HostServices.h"
#include "QVModule.h"
#include "qvplatform/Platform.h"

struct QVModuleState {
  IUnknown* services[kQVServiceCount];
  uint8_t capabilities[4];  // [0]: block-move flag
  bool cleanedUp;
  bool serviceB4Flag;
  bool applicationFlag;
  int32_t runtimeThirdValue;
  int32_t runtimeFirstPair[2];
  int32_t runtimeSecondPair[2];
  QVTranslatorFunction savedTranslator;
  QVModuleHook startUp;
  QVModuleHook cleanUp;
};

QVModuleState& QVState();

// The module's fault translator and terminate handler, and the describer of what the
// handler throws (code, source and line).
void QVTranslateFault(const QVStructuredException* exception);
[[noreturn]] void QVTerminateHandler();
bool QVDescribeException(char* line, uint32_t size);
