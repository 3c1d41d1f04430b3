// Rendering: the scene's render setup, its renderer, the pictures it makes and the
// scene's time control.
#pragma once

#include "HostServices.h"

struct IRenderCallback;

// A rendered picture. Modules only hand it on to HostImageServices::SavePicture.
struct IHostPicture : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x1A0);
  virtual uint32_t GetWidth() = 0;
  virtual uint32_t GetHeight() = 0;
  // Width x height pixels of 3 bytes (R, G, B), rows from the top, no row padding;
  // borrowed, valid while the picture lives.
  virtual const uint8_t* GetPixels() = 0;
};

// Renders one frame of the scene at a time. A start may come while earlier renders are
// pending: the renderer queues them and runs them in order. Each render calls its
// callback's RenderStarting, then Progress while it draws, then RenderFinished when the
// picture is ready (on the renderer's thread), then releases the callback.
struct IHostRenderer : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x1A1);
  // The size of the next renders; `scale` is 1.0 from the thumbnails.
  virtual QVResult SetOutputSize(uint32_t width, uint32_t height, float scale) = 0;
  // Starts (or queues) one render; `callback` may be null. (a, b, c): 0, 0, 0. The
  // renderer takes over one reference of the callback and releases it after the render;
  // when it answers a failure it took none.
  virtual QVResult StartRender(IRenderCallback* callback, int32_t a, int32_t b, int32_t c) = 0;
  // True while a render runs or is queued.
  virtual bool IsBusy() = 0;
  // The picture of the render that is finishing (asked from RenderFinished), or null.
  virtual QVResult GetRenderedPicture(IHostPicture** picture) = 0;
  // Ends the running render and drops the queued ones; may be called from a callback on
  // the renderer's thread.
  virtual QVResult StopRender() = 0;
};

struct IHostRenderSetup : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x1A2);
  // Frames per second; callers use the low 16 bits as a signed number.
  virtual int32_t GetFrameRate() = 0;
  // The scene's renderer: asked again, the same one.
  virtual QVResult GetRenderer(IHostRenderer** renderer) = 0;
  virtual void GetOutputSize(uint32_t* width, uint32_t* height) = 0;
  // Called right after the renderer was told to stop.
  virtual void RenderStopped() = 0;
};

struct IHostTimeControl : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x1A3);
  // Host time: signed ticks of 1/180000 s.
  virtual void SetCurrentTime(int32_t time) = 0;
};
