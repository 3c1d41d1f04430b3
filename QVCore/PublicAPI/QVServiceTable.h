// The module's table of host services, filled by QVDllInit and emptied by QVDllCleanUp.
#pragma once

#include "HostServices.h"

IUnknown*& QVServiceEntry(QVService service);

// The service of type T, or null when the host did not give it.
template <class T>
T* QVGetService();

#define QV_SERVICE_ACCESSOR(Type, Service) \
  template <>                              \
  inline Type* QVGetService<Type>() {      \
    return static_cast<Type*>(QVServiceEntry(QVService::Service)); \
  }
QV_SERVICE_ACCESSOR(HostProgressServices, Progress)
QV_SERVICE_ACCESSOR(HostFileDialogServices, FileDialog)
QV_SERVICE_ACCESSOR(HostFileServices, File)
QV_SERVICE_ACCESSOR(HostResourceServices, Resource)
QV_SERVICE_ACCESSOR(HostRuntimeServices, Runtime)
QV_SERVICE_ACCESSOR(HostMemoryServices, Memory)
QV_SERVICE_ACCESSOR(HostPlatformServices, Platform)
QV_SERVICE_ACCESSOR(HostComponentServices, Component)
QV_SERVICE_ACCESSOR(HostNotificationServices, Notification)
QV_SERVICE_ACCESSOR(HostDialogServices, Dialog)
QV_SERVICE_ACCESSOR(HostImageServices, Image)
QV_SERVICE_ACCESSOR(HostServiceB4, ServiceB4)
QV_SERVICE_ACCESSOR(HostApplicationServices, Application)
#undef QV_SERVICE_ACCESSOR

// Module-wide flags kept by QVDllInit.
bool QVCleanedUp();
const uint8_t* QVCapabilityBytes();  // four bytes; [0] is the block-move flag
