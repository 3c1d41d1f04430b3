// The document's 3D view: its pane list, panes, pane views and their display objects.
#pragma once

#include "HostServices.h"
#include "QVArray.h"

struct IHostPaneDisplay : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x120);
  // Redraws the pane after its output frame changed.
  virtual void Update(int32_t flags) = 0;
};

// The output frame of a pane: an offset in the host's units and a scale.
struct IHostPaneView : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x121);
  virtual void GetOffset(int32_t* x, int32_t* y) = 0;
  virtual float GetScale() = 0;
  virtual void SetOffset(int32_t x, int32_t y) = 0;
  virtual void SetScale(float scale) = 0;
  virtual QVResult GetDisplay(IHostPaneDisplay** display) = 0;
};

struct IHostViewPane : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x122);
  virtual bool IsActive() = 0;
  virtual QVResult GetView(IHostPaneView** view) = 0;
};

struct IHostViewPanes : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x123);
  // Appends every pane to `panes` (an empty array), one reference per element.
  virtual void FillPanes(TQVArray<IHostViewPane*>& panes) = 0;
  // True when the view's output frame may not be changed.
  virtual bool RefusesView(IHostPaneView* view) = 0;
};

// The interface of a document's '3Dvw' component.
struct IHost3DView : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x124);
  virtual QVResult GetPanes(IHostViewPanes** panes) = 0;
};
