// Animatable attributes of components: the host's attribute holder, an attribute's
// animation and the parameter list of host objects.
#pragma once

#include "IHostAnimation.h"

struct IHostScene;

struct IHostAnimatedAttribute : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x180);
  virtual IHostKeyTrack* GetKeyTrack() = 0;  // borrowed
};

// The host component that animates a module's attributes; it is the animation node of the
// object it serves. Made by HostComponentServices with kQVAttributeHolderClass.
struct IHostAttributeHolder : IHostAnimationNode {
  static constexpr QVGUID kID = QV_HOST_ID(0x181);
  virtual void SetOwner(IUnknown* owner) = 0;
  virtual void Activate(bool active) = 0;
  // Binds `storage` to a new attribute: the host writes the value at the current time into
  // it and reads it back on ValueChanged, which records it as the key at the current time.
  virtual QVResult DefineAttribute(TQVString& storage, const TQVString& name, uint32_t trackType,
                                   uint32_t valueType, int32_t index) = 0;
  virtual void ValueChanged(int32_t reserved) = 0;
  // Copies the keys and values of every attribute into `copy`'s attributes.
  virtual QVResult CopyAnimationTo(IHostAttributeHolder* copy) = 0;
  virtual QVResult GetAnimatedAttribute(uint32_t trackType, IHostAnimatedAttribute** attribute) = 0;
  virtual int32_t Query() = 0;
  virtual void Forward(int32_t value) = 0;
};
inline constexpr QVGUID kQVAttributeHolderClass = QV_HOST_ID(0x182);

// Named parameters of a host object; the identifiers are four-character codes.
struct IHostParameterList : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x183);
  virtual uint32_t GetKind() = 0;
  virtual bool GetBoolParameter(uint32_t id) = 0;
  // Sets parameter `id` from `size` bytes; 0x80010006 for an unknown identifier.
  virtual QVResult SetParameterValue(uint32_t id, const void* value, int32_t size) = 0;
};

// The host object that carries an attached component.
struct IHostComponentOwner : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x184);
  virtual QVResult GetScene(IHostScene** scene) = 0;
};
