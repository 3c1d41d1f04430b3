// Fault translation and the terminate handler: both raise 0x80010004.
#include "QVException.h"

#include <cstdio>

#include "QVModuleState.h"

namespace {
constexpr const char kSource[] = "QVCore/Source/Common/QVException";
}

void QVTranslateFault(const QVStructuredException* exception) {
  if (exception->code == kQVExceptionBreakpoint) return;
  QVThrow(kQVErrFault, nullptr, 0);
}

void QVTerminateHandler() { QVThrow(kQVErrFault, kSource, 50); }

bool QVDescribeException(char* line, uint32_t size) {
  try {
    throw;
  } catch (const TQVException& error) {
    const char* source = error.GetSource();
    std::snprintf(line, size, "0x%08X at %s line %d", unsigned(error.Code()), source ? source : "(no source)",
                  int(error.Line()));
    return true;
  } catch (...) {
    return false;
  }
}

void QVRaiseNotImplemented() { QVThrow(kQVErrNotImplementedByClass, nullptr, 0); }
