// What each module supplies to the runtime: its creator and, optionally, hooks that run
// at the end of QVDllInit and at the start of QVDllCleanUp.
#pragma once

#include "QVComponent.h"

// The unknown of a new object of the class `classId` names (count 1), or null when the
// class is none of the module's or memory was refused. Defined by every module.
TQVComponent* CreateComponent(const QVGUID& classId);

// Compares two identifiers as four 32-bit words.
bool QVSameClass(const QVGUID& a, const QVGUID& b);

typedef void (*QVModuleHook)();

// A module that needs start-up or clean-up steps declares one static registrar.
struct TQVModuleHooks {
  TQVModuleHooks(QVModuleHook startUp, QVModuleHook cleanUp);
};
