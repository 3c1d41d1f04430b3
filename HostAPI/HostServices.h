// The host's shell and its 27 global services, with their identifiers.
// The host's own interfaces have no fixed slot order; each declares the operations the
// runtime and the modules call, with the arguments they pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "QVArray.h"
#include "QVBase.h"
#include "QVString.h"

#define QV_HOST_ID(n) {0x51560000u + (n), 0x4853, 0x5356, {0x9E, 0x21, 0x4F, 0x53, 0x48, 0x4F, 0x53, 0x54}}

// The object handed to QVDllInit; the runtime asks it for each service with
// QueryInterface and calls nothing else on it.
struct IHostShell : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x00);
};

// ---- Services with operations ------------------------------------------------------

struct HostProgressServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x01);
  // Opens a progress display; `handle` receives a counted handle.
  virtual QVResult BeginProgress(const TQVString& title, float maximum, IUnknown** handle) = 0;
  virtual QVResult SetProgressValue(float value, IUnknown* handle) = 0;
  virtual QVResult SetProgressText(const TQVString& text, IUnknown* handle) = 0;
  virtual QVResult EndProgress(IUnknown* handle) = 0;
  // True once the user asked to stop.
  virtual bool IsAbortRequested() = 0;
  virtual uint32_t GetApplicationCreatorCode() = 0;
};

struct TFileTypeRecord;
struct IHostFileSpec;
struct IHostKeyframeItem;
struct IHostTokenStream;
struct IHostAnimated;
struct IHostTreeElement;
struct IHostPicture;

struct HostFileDialogServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x02);
  // Offers the file type in the file dialogs; the host copies the record.
  virtual QVResult RegisterFileType(const TFileTypeRecord& record) = 0;
  // Lets the user choose a file of one of `typeCodes` (`storage` is that array's element
  // storage) and names it in `file`; a cancelled dialog leaves its folder or name empty.
  virtual QVResult SaveFileDialog(const TQVString& prompt, IHostFileSpec* file, const TQVArray<uint32_t>& typeCodes,
                                  const uint32_t* storage) = 0;
};

struct HostFileServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x03);
  // A new file specification (it also answers IHostFileStream), or null.
  virtual QVResult NewFilePath(IHostFileSpec** file) = 0;
  virtual char GetPathSeparator() = 0;
  // The separator as a string; a host whose separator is one character may keep this.
  virtual void GetPathSeparatorString(TQVString& separator) {
    const char character = GetPathSeparator();
    separator.SetFrom(&character, 1);
  }
};

struct HostResourceServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x04);
  // Selects the resources of the component (family, class code) until the matching End.
  virtual QVResult BeginUsingResources(uint32_t family, uint32_t classCode) = 0;
  virtual QVResult EndUsingResources() = 0;
  // Entry `index` (from 1) of string list `list` into `text`.
  virtual QVResult LoadIndexedString(int16_t list, int16_t index, TQVString& text) = 0;
};

// Asked three questions at initialisation; the answers are kept and never used.
struct HostRuntimeServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x05);
  virtual const int32_t* GetThirdValue() = 0;
  virtual void GetFirstPair(int32_t* first, int32_t* second) = 0;
  virtual void GetSecondPair(int32_t* first, int32_t* second) = 0;
};

// All module memory; null answers mean the allocation was refused.
struct HostMemoryServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x08);
  virtual void* AllocateObject(size_t size) = 0;
  virtual void FreeObject(void* object) = 0;
  virtual void* AllocateBlock(size_t size) = 0;
  // Keeps the contents up to the smaller size; a null block allocates.
  virtual void* ReallocateBlock(void* block, size_t size) = 0;
  virtual void FreeBlock(void* block) = 0;
};

struct QVTranslationRecord;

struct HostPlatformServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x09);
  // Fills four capability bytes; byte 0 non-zero: 8-byte memory moves are worthwhile.
  virtual void GetCapabilityBytes(uint8_t bytes[4]) = 0;
  // The character translation record, or null for no translation.
  virtual const QVTranslationRecord* GetTranslationRecord() = 0;
};

struct HostComponentServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x0A);
  // Creates a host component of class `classId` aggregated into `outer` (or not).
  virtual QVResult CreateComponent(const QVGUID& classId, IUnknown* outer, int32_t context,
                                   const QVGUID& interfaceId, void** out) = 0;
};

struct HostNotificationServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x0B);
  // The change notification at the end of Do, Undo and Redo; `object` may be any object.
  virtual QVResult NotifyChange(IUnknown* target, int32_t reserved, IUnknown* object) = 0;
};

struct HostDialogServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x0E);
  // Creates the dialog of resource (type, id) among the resources in use.
  virtual QVResult CreateDialog(uint32_t resourceType, int16_t id, IUnknown** dialog) = 0;
};

struct HostImageServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x15);
  // Writes `picture` into `file` in `format` ('JPEG'), creating its folder when missing.
  // The thumbnails pass (picture, 0, file, 'JPEG', 0, 0, 0).
  virtual QVResult SavePicture(IHostPicture* picture, int32_t a, IHostFileSpec* file, uint32_t format, int32_t b,
                               int32_t c, int32_t d) = 0;
};

struct HostServiceB4 : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x18);
  virtual bool GetFlag() = 0;
};

struct HostApplicationServices : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x19);
  virtual bool GetFlag() = 0;
  // The current document, or null.
  virtual QVResult GetCurrentDocument(IUnknown** document) = 0;
  // The document's component of `type` (for example '3Dvw'), or null.
  virtual QVResult GetDocumentComponent(IUnknown* document, uint32_t type, IUnknown** component) = 0;
  // The prototype key values of its value type are made from.
  virtual QVResult RegisterValuePrototype(IHostKeyframeItem* prototype) = 0;
  virtual QVResult UnregisterValuePrototype(IHostKeyframeItem* prototype) = 0;
  // The animation of the attributes of `group` (an attribute group) on a token stream.
  virtual QVResult WriteAttributeGroup(IHostTokenStream* stream, uint32_t code, IHostAnimated* group) = 0;
  virtual QVResult ReadAttributeGroup(IHostTokenStream* stream, IHostAnimated* group) = 0;
  // Lets the user pick an object: true with the chosen element in `element` (what it held
  // released), false when cancelled, `element` unchanged. The modifiers pass `flags` 0 and
  // an empty `element` (their "two zeros"); a caller may pass its current choice in it.
  virtual bool PickObject(const TQVString& title, const TQVString& prompt, int32_t flags,
                          IHostTreeElement** element) = 0;
};

// ---- Services that are acquired and released only -----------------------------------

#define QV_PLAIN_SERVICE(Name, n) \
  struct Name : IUnknown {        \
    static constexpr QVGUID kID = QV_HOST_ID(n); \
  }
QV_PLAIN_SERVICE(HostService06, 0x06);
QV_PLAIN_SERVICE(HostService07, 0x07);
QV_PLAIN_SERVICE(HostService12, 0x0C);
QV_PLAIN_SERVICE(HostService13, 0x0D);
QV_PLAIN_SERVICE(HostService15, 0x0F);
QV_PLAIN_SERVICE(HostService16, 0x10);
QV_PLAIN_SERVICE(HostService17, 0x11);
QV_PLAIN_SERVICE(HostService18, 0x12);
QV_PLAIN_SERVICE(HostService19, 0x13);
QV_PLAIN_SERVICE(HostService20, 0x14);
QV_PLAIN_SERVICE(HostServiceB2, 0x16);
QV_PLAIN_SERVICE(HostServiceB3, 0x17);
QV_PLAIN_SERVICE(HostServiceC2, 0x1A);
QV_PLAIN_SERVICE(HostServiceC3, 0x1B);
#undef QV_PLAIN_SERVICE

// ---- The service list ---------------------------------------------------------------

// Every service, in the order the runtime acquires them (20 in stage one, 7 in stage two).
enum class QVService : int {
  Progress, FileDialog, File, Resource, Runtime, Service06, Service07, Memory, Platform,
  Component, Notification, Service12, Service13, Dialog, Service15, Service16, Service17,
  Service18, Service19, Service20,
  Image, ServiceB2, ServiceB3, ServiceB4,
  Application, ServiceC2, ServiceC3,
};
constexpr int kQVServiceCount = 27;
constexpr int kQVStageOneCount = 20;

struct QVServiceInfo {
  QVService service;
  const char* name;
  const QVGUID* id;
};

// Indexed by QVService.
inline constexpr QVServiceInfo kQVServices[kQVServiceCount] = {
    {QVService::Progress, "HostProgressServices", &HostProgressServices::kID},
    {QVService::FileDialog, "HostFileDialogServices", &HostFileDialogServices::kID},
    {QVService::File, "HostFileServices", &HostFileServices::kID},
    {QVService::Resource, "HostResourceServices", &HostResourceServices::kID},
    {QVService::Runtime, "HostRuntimeServices", &HostRuntimeServices::kID},
    {QVService::Service06, "HostService06", &HostService06::kID},
    {QVService::Service07, "HostService07", &HostService07::kID},
    {QVService::Memory, "HostMemoryServices", &HostMemoryServices::kID},
    {QVService::Platform, "HostPlatformServices", &HostPlatformServices::kID},
    {QVService::Component, "HostComponentServices", &HostComponentServices::kID},
    {QVService::Notification, "HostNotificationServices", &HostNotificationServices::kID},
    {QVService::Service12, "HostService12", &HostService12::kID},
    {QVService::Service13, "HostService13", &HostService13::kID},
    {QVService::Dialog, "HostDialogServices", &HostDialogServices::kID},
    {QVService::Service15, "HostService15", &HostService15::kID},
    {QVService::Service16, "HostService16", &HostService16::kID},
    {QVService::Service17, "HostService17", &HostService17::kID},
    {QVService::Service18, "HostService18", &HostService18::kID},
    {QVService::Service19, "HostService19", &HostService19::kID},
    {QVService::Service20, "HostService20", &HostService20::kID},
    {QVService::Image, "HostImageServices", &HostImageServices::kID},
    {QVService::ServiceB2, "HostServiceB2", &HostServiceB2::kID},
    {QVService::ServiceB3, "HostServiceB3", &HostServiceB3::kID},
    {QVService::ServiceB4, "HostServiceB4", &HostServiceB4::kID},
    {QVService::Application, "HostApplicationServices", &HostApplicationServices::kID},
    {QVService::ServiceC2, "HostServiceC2", &HostServiceC2::kID},
    {QVService::ServiceC3, "HostServiceC3", &HostServiceC3::kID},
};

// The order in which QVDllCleanUp releases the services.
inline constexpr QVService kQVReleaseOrder[kQVServiceCount] = {
    QVService::Application, QVService::ServiceC2, QVService::ServiceC3, QVService::Image,
    QVService::ServiceB2, QVService::ServiceB3, QVService::ServiceB4, QVService::Component,
    QVService::Runtime, QVService::Memory, QVService::Service07, QVService::Platform,
    QVService::Resource, QVService::File, QVService::FileDialog, QVService::Progress,
    QVService::Service06, QVService::Service17, QVService::Service16, QVService::Service15,
    QVService::Dialog, QVService::Service13, QVService::Service12, QVService::Notification,
    QVService::Service20, QVService::Service18, QVService::Service19,
};

// The service whose identifier is `id`, or -1.
inline int QVServiceIndexOf(const QVGUID& id) {
  for (int i = 0; i < kQVServiceCount; ++i)
    if (*kQVServices[i].id == id) return i;
  return -1;
}
