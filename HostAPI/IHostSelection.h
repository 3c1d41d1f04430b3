// The host's selection and the command context a scene command is given.
#pragma once

#include "HostServices.h"

struct IHostScene;

// The class path of a selected item: the families of its entries, outermost first. The
// last entry says what the item is: 'Tree' an element, 'KeyF' a key, 'Twee' an interpolator.
struct QVClassPath {
  int32_t count;
  const uint32_t* families;

  uint32_t LastFamily() const { return count > 0 ? families[count - 1] : 0; }
};

// A list of selected items; a snapshot is a fixed copy of it.
struct IHostSelection : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x100);
  virtual int32_t GetItemCount() = 0;
  // Valid while the selection is unchanged.
  virtual QVClassPath GetItemClassPath(int32_t index) = 0;
  // The object of item `index`, borrowed (the selection keeps it alive), or null.
  virtual IUnknown* GetItemObject(int32_t index) = 0;
  virtual QVResult GetSnapshot(IHostSelection** snapshot) = 0;
  virtual void Clear() = 0;
  virtual bool IsEmpty() = 0;
};

// Handed to each command by SetContext.
struct IHostCommandContext : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x101);
  virtual QVResult GetScene(IHostScene** scene) = 0;
  virtual QVResult GetSelection(IHostSelection** selection) = 0;
  // The opaque target of HostNotificationServices::NotifyChange, or null.
  virtual QVResult GetChangeNotificationTarget(IUnknown** target) = 0;
  virtual QVResult GetActiveDocumentProvider(IUnknown** provider) = 0;
};
