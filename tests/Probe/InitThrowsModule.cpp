// A broken module fixture: its start-up hook raises, so QVDllInit throws.
#include "QVModule.h"

namespace {
void StartUp() { QVThrow(kQVErrObjectMissing, "tests/Probe/InitThrowsModule", 9); }
TQVModuleHooks gHooks(StartUp, nullptr);
}  // namespace

TQVComponent* CreateComponent(const QVGUID&) { return nullptr; }
