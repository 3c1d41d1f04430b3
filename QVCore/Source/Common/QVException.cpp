// Fault translation and the terminate handler: both raise 0x80010004.
#include "QVException.h"

#include "QVModuleState.h"

namespace {
constexpr const char kSource[] = "QVCore/Source/Common/QVException";
}

void QVTranslateFault(const QVStructuredException* exception) {
  if (exception->code == kQVExceptionBreakpoint) return;
  QVThrow(kQVErrFault, nullptr, 0);
}

void QVTerminateHandler() { QVThrow(kQVErrFault, kSource, 50); }

void QVRaiseNotImplemented() { QVThrow(kQVErrNotImplementedByClass, nullptr, 0); }
