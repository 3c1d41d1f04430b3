// Result codes, 128-bit identifiers, four-character codes and the base interface,
// shared by the host and the modules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

typedef int32_t QVResult;

// Builds a four-character code in reading order: QV_FOURCC('s','c','m','d') == 0x73636D64.
constexpr uint32_t QVFourCC(const char (&text)[5]) {
  return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) |
         (uint32_t(uint8_t(text[2])) << 8) | uint32_t(uint8_t(text[3]));
}

enum : QVResult {
  kQVOk = 0,
  kQVErrOutOfMemory = int32_t(0x80010002u),
  kQVErrNotImplementedByClass = int32_t(0x80010003u),
  kQVErrFault = int32_t(0x80010004u),
  kQVErrObjectMissing = int32_t(0x80010005u),
  kQVErrNotSupported = int32_t(0x80010006u),
  kQVErrMalformedData = int32_t(0x80010024u),
  kQVErrEndOfInput = int32_t(0x80010027u),
  kQVErrFileNotFound = int32_t(0x8001002Bu),
  kQVErrNotImplemented = int32_t(0x80014001u),
  kQVErrNoInterface = int32_t(0x80014002u),
  kQVErrStopped = int32_t(0x80014004u),
  kQVErrClassNotAvailable = int32_t(0x8001FFFFu),
  kQVErrCountBelowZero = -2,
};

inline bool QVFailed(QVResult result) { return result < 0; }

// A 128-bit class or interface identifier.
struct QVGUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
static_assert(sizeof(QVGUID) == 16, "identifiers are 128 bits");

inline bool operator==(const QVGUID& a, const QVGUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
inline bool operator!=(const QVGUID& a, const QVGUID& b) { return !(a == b); }

// Every interface: QueryInterface, AddRef, Release in slots 0-2. The out-parameter of
// QueryInterface receives an owning reference; the callee releases what it held first.
struct IUnknown {
  static constexpr QVGUID kID = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual QVResult QueryInterface(const QVGUID& id, void** out) = 0;
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
};

// The identifier of each interface is its type's `kID`, found by QVIdOf<T>().
template <class T>
constexpr const QVGUID& QVIdOf() { return T::kID; }

// Stores `object` in an out-parameter with a reference of its own, then releases what the
// out-parameter held (in that order, so a query into the asker's own last reference is safe).
inline void QVStoreOut(void** out, IUnknown* object) {
  object->AddRef();
  auto* previous = static_cast<IUnknown*>(*out);
  *out = object;
  if (previous) previous->Release();
}

// Releases the interface an out-parameter holds and clears it (the out-parameter rule).
inline void QVClearOut(void** out) {
  if (out && *out) {
    static_cast<IUnknown*>(*out)->Release();
    *out = nullptr;
  }
}

// Standard base identifiers.
constexpr QVGUID kIID_IUnknown = IUnknown::kID;
constexpr QVGUID kIID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The class factory protocol.
struct IClassFactory : IUnknown {
  static constexpr QVGUID kID = kIID_IClassFactory;
  // Makes an object of the factory's class aggregated into `outer` (or not, when null)
  // and stores its `id` interface in `out`.
  virtual QVResult CreateInstance(IUnknown* outer, const QVGUID& id, void** out) = 0;
  virtual QVResult LockServer(int32_t lock) = 0;
};
