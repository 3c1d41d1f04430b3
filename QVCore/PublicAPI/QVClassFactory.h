// The class factory QVDllGetClassObject hands out, one per class identifier asked.
#pragma once

#include "QVComponent.h"

class TQVClassFactory final : public TQVComponent, public IClassFactory {
 public:
  explicit TQVClassFactory(const QVGUID& classId);

  QVResult QueryInterface(const QVGUID& id, void** out) override;
  int32_t AddRef() override { return TQVComponent::AddRef(); }
  int32_t Release() override { return QVReleaseComponent(this); }
  QVResult CreateInstance(IUnknown* outer, const QVGUID& id, void** out) override;
  QVResult LockServer(int32_t) override { return kQVOk; }

  const QVGUID& ClassId() const { return fClassId; }

  // QVDllGetClassObject: a factory for any identifier, queried for `interfaceId`.
  static QVResult GetClassObject(const QVGUID& classId, const QVGUID& interfaceId, void** out);

 private:
  QVGUID fClassId;
};

#if defined(__i386__)
static_assert(sizeof(TQVClassFactory) == 32, "TQVClassFactory layout");
#endif
