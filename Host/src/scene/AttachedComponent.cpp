// Carriers of attached components.
#include "qvhost/AttachedComponent.h"

#include <cstring>

#include "qvhost/Document.h"
#include "qvhost/HostError.h"

namespace qvhost {

ComponentCarrier::ComponentCarrier(Scene& scene, const ComponentResource& component, const ResourceFile& resources)
    : fScene(&scene), fComponent(component), fResources(resources) {
  SetNode(Adopt<AnimationNode>(new AnimationNode(component.name, scene.SharedJournal())).Get());
}

namespace {

// The interface a component of this family is made for and kept by.
const QVGUID& PrimaryInterface(const ComponentResource& component) {
  return component.family == QVFourCC("modi") ? IObjectModifier::kID : IAttachedComponent::kID;
}

}  // namespace

TQVCountedPtr<ComponentCarrier> ComponentCarrier::Create(Scene& scene, IClassFactory* factory,
                                                         const ComponentResource& component,
                                                         const ResourceFile& resources) {
  auto carrier = Adopt<ComponentCarrier>(new ComponentCarrier(scene, component, resources));
  void* inner = nullptr;
  // Aggregated: the answer's references are the carrier's, so it is kept uncounted.
  const QVResult made = factory ? factory->CreateInstance(static_cast<IHostComponentOwner*>(carrier.Get()),
                                                          PrimaryInterface(component), &inner)
                                : kQVErrClassNotAvailable;
  if (QVFailed(made) || !inner)
    throw HostError(component.name + ": the module made no component (" + FormatResult(made) + ")");
  carrier->Start(static_cast<IUnknown*>(inner));
  return carrier;
}

void ComponentCarrier::Start(IUnknown* inner) {
  fInner = inner;
  if (auto attached = Query<IAttachedComponent>()) attached->Attach(this);
  if (auto attributes = Query<IAnimatedAttributes>()) attributes->RegisterAttributes();
}

TQVCountedPtr<ComponentCarrier> ComponentCarrier::Clone() const {
  auto copy = Adopt<ComponentCarrier>(new ComponentCarrier(*fScene, fComponent, fResources));
  auto parameters = Query<ICommandParameters>();
  if (!parameters) throw HostError(fComponent.name + ": the component cannot be copied");
  // The copy's own count comes with it: as with CreateInstance, that is the carrier's
  // hold on its component, so `made` is not released.
  ICommandParameters* made = nullptr;
  parameters->Clone(&made, static_cast<IHostComponentOwner*>(copy.Get()));
  if (!made) throw HostError(fComponent.name + ": the component made no copy");
  void* inner = nullptr;
  made->QueryInterface(PrimaryInterface(fComponent), &inner);
  if (!inner) throw HostError(fComponent.name + ": the copy does not answer its primary interface");
  static_cast<IUnknown*>(inner)->Release();  // the query's reference, on the new carrier
  copy->Start(static_cast<IUnknown*>(inner));
  return copy;
}

int32_t ComponentCarrier::Release() {
  if (fInnerReleasing) {  // the component's forwarded release while we let it go
    fInnerReleasing = false;
    return -1;
  }
  if (fDestroying) return 1;
  int32_t count;
  if (DropReference(count) != QVDrop::kLast) return count;
  fDestroying = true;
  if (IUnknown* inner = fInner) {
    fInner = nullptr;
    fInnerReleasing = true;
    inner->Release();  // answered -1 above: the component destroys itself
    fInnerReleasing = false;
  }
  delete this;
  return 0;
}

QVResult ComponentCarrier::GetScene(IHostScene** scene) {
  QVClearOut(reinterpret_cast<void**>(scene));
  QVStoreOut(reinterpret_cast<void**>(scene), static_cast<IHostScene*>(fScene));
  return kQVOk;
}

void* ComponentCarrier::Block() const {
  auto parameters = Query<ICommandParameters>();
  return parameters ? parameters->GetParameterBlock() : nullptr;
}

const DialogResource* ComponentCarrier::Dialog() const {
  auto parameters = Query<ICommandParameters>();
  const int16_t id = parameters ? parameters->GetDialogID() : 0;
  return id ? fResources.FindDialog(id) : nullptr;
}

bool ComponentCarrier::GetBoolParameter(uint32_t id) {
  const DialogField* field = fResources.FindParameter(id);
  const auto* block = static_cast<const uint8_t*>(Block());
  return field && block && block[field->offset] != 0;
}

QVResult ComponentCarrier::SetParameterValue(uint32_t id, const void* value, int32_t size) {
  const DialogField* field = fResources.FindParameter(id);
  auto* block = static_cast<uint8_t*>(Block());
  if (!field || !block || !value || size <= 0 || uint32_t(size) > DialogFieldSize(field->type))
    return kQVErrNotSupported;
  std::memcpy(block + field->offset, value, size_t(size));
  return kQVOk;
}

}  // namespace qvhost
