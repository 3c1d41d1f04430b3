// TQVComponent and TQVRefObject defaults, and the class factory.
#include "QVClassFactory.h"
#include "QVCountedPtr.h"
#include "QVModule.h"

QVResult TQVComponent::QueryInterface(const QVGUID& id, void** out) {
  if (fOuter) return fOuter->QueryInterface(id, out);
  if (id == kIID_IUnknown) return Yield(static_cast<TQVComponent*>(this), out);
  QVClearOut(out);
  return kQVErrNoInterface;
}

int32_t TQVComponent::AddRef() { return fOuter ? fOuter->AddRef() : ++fRefCount; }

int32_t TQVComponent::Release() { QVRaiseNotImplemented(); }

QVResult TQVRefObject::QueryInterface(const QVGUID& id, void** out) {
  if (id != kIID_IUnknown) {
    QVClearOut(out);
    return kQVErrNoInterface;
  }
  QVStoreOut(out, static_cast<IUnknown*>(this));
  return kQVOk;
}

bool QVSameClass(const QVGUID& a, const QVGUID& b) {
  uint32_t x[4], y[4];
  std::memcpy(x, &a, sizeof x);
  std::memcpy(y, &b, sizeof y);
  return x[0] == y[0] && x[1] == y[1] && x[2] == y[2] && x[3] == y[3];
}

TQVClassFactory::TQVClassFactory(const QVGUID& classId) {
  fClassId.data1 = classId.data1;
  fClassId.data2 = classId.data2;
  fClassId.data3 = classId.data3;
  for (int i = 0; i < 8; ++i) fClassId.data4[i] = classId.data4[i];
}

QVResult TQVClassFactory::QueryInterface(const QVGUID& id, void** out) {
  return QueryInterfaces<IClassFactory>(this, id, out);
}

QVResult TQVClassFactory::CreateInstance(IUnknown* outer, const QVGUID& id, void** out) {
  TQVComponent* object = CreateComponent(fClassId);
  if (!object) return kQVErrClassNotAvailable;
  object->SetOuter(outer);
  const QVResult result = object->QueryInterface(id, out);
  if (QVFailed(result)) object->SetOuter(nullptr);
  object->Release();
  return result;
}

QVResult TQVClassFactory::GetClassObject(const QVGUID& classId, const QVGUID& interfaceId, void** out) {
  void* memory = QVAllocateObject(sizeof(TQVClassFactory));
  if (!memory) QVRaiseOutOfMemory(kQVCountedPtrRuntimeSource);
  TQVClassFactory* factory = new (memory) TQVClassFactory(classId);
  const QVResult result = factory->QueryInterface(interfaceId, out);
  factory->Release();
  return result;
}
