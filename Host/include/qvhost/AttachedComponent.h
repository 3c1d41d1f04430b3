// The host object that carries a module's component attached to a scene element. The
// component is aggregated into it: the component answers its own interfaces and hands
// every other question to the carrier, which answers IHostAnimated (its animation node),
// IHostParameterList (the block's fields that have a parameter identifier) and
// IHostComponentOwner (the scene).
#pragma once

#include <string>
#include <vector>

#include "Animation.h"
#include "HostObject.h"
#include "IHostAttributes.h"
#include "ModuleInterfaces.h"
#include "ResourceFile.h"

namespace qvhost {

class Scene;

class QVHOST_API ComponentCarrier final
    : public HostObject<IHostComponentOwner, HostAnimated, IHostParameterList> {
 public:
  // Makes the component with `factory` aggregated into a new carrier (asked for its
  // primary interface: IObjectModifier for a modifier 'modi', else IAttachedComponent),
  // attaches it and has it register its attributes. Throws HostError when the module makes
  // none; the module's own exceptions go on to the caller.
  static TQVCountedPtr<ComponentCarrier> Create(Scene& scene, IClassFactory* factory,
                                                const ComponentResource& component,
                                                const ResourceFile& resources);

  QVResult GetScene(IHostScene** scene) override;
  uint32_t GetKind() override { return fComponent.classCode; }
  bool GetBoolParameter(uint32_t id) override;
  QVResult SetParameterValue(uint32_t id, const void* value, int32_t size) override;
  int32_t Release() override;

  const ComponentResource& Resource() const { return fComponent; }
  IUnknown* Component() const { return fInner; }  // borrowed: the primary interface
  template <class I>
  TQVCountedPtr<I> Query() const {
    TQVCountedPtr<I> answer;
    if (fInner) QVQuery(fInner, answer);
    return answer;
  }
  // A carrier of the component's clone, attached and registered like a new one.
  TQVCountedPtr<ComponentCarrier> Clone() const;
  // The component's parameter block and the dialog describing it, or null.
  void* Block() const;
  const DialogResource* Dialog() const;

 private:
  ComponentCarrier(Scene& scene, const ComponentResource& component, const ResourceFile& resources);
  // Attaches the component and has it register its attributes.
  void Start(IUnknown* inner);

  Scene* fScene;  // outlives its carriers: the scene lets them go when it goes
  ComponentResource fComponent;
  ResourceFile fResources;
  IUnknown* fInner = nullptr;  // aggregated: its references are ours
  bool fDestroying = false;
  bool fInnerReleasing = false;
};

}  // namespace qvhost
