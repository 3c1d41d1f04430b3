// The six entry points every module exports, by their undecorated names.
#pragma once

#include "HostServices.h"

#define QV_EXPORT extern "C" __attribute__((visibility("default")))

QV_EXPORT QVResult QVDllInit(IHostShell* shell);
QV_EXPORT QVResult QVDllGetClassObject(const QVGUID& classId, const QVGUID& interfaceId, void** out);
QV_EXPORT QVResult QVDllCanUnloadNow();
QV_EXPORT QVResult QVDllCleanUp();
QV_EXPORT QVResult QVDllInitExceptionTranslator();
QV_EXPORT QVResult QVDllCleanUpExceptionTranslator();
