// The scene's render setup and renderer: renders queue and run one after another on the
// renderer's own thread, calling their callbacks there; and the pictures they make.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "HostObject.h"
#include "IHostRendering.h"
#include "Journal.h"
#include "Rasteriser.h"

namespace qvhost {

class Scene;

class QVHOST_API Picture final : public HostObject<IHostPicture> {
 public:
  explicit Picture(RgbImage image) : fImage(std::move(image)) {}
  uint32_t GetWidth() override { return fImage.width; }
  uint32_t GetHeight() override { return fImage.height; }
  const uint8_t* GetPixels() override { return fImage.pixels.data(); }
  const RgbImage& Image() const { return fImage; }

 private:
  RgbImage fImage;
};

// Sizes outside 1 to kMaxRenderSize are refused.
inline constexpr uint32_t kMaxRenderSize = 4096;

class QVHOST_API Renderer final : public HostObject<IHostRenderer> {
 public:
  // Makes the picture of one render, on the renderer's thread, after the callback's
  // RenderStarting; `progress(done, total)` passes on to the callback's Progress and
  // answers false when the render is to end.
  using Draw = std::function<RgbImage(uint32_t width, uint32_t height, const std::function<bool(float, float)>& progress)>;

  Renderer(Draw draw, uint32_t width, uint32_t height, std::shared_ptr<Journal> journal);
  ~Renderer() override;

  QVResult SetOutputSize(uint32_t width, uint32_t height, float scale) override;
  // Each render takes the output size in force when it was started. The renderer takes
  // over one reference to `callback` and releases it after the render, or when the
  // render is dropped; a refused start leaves the reference with the caller.
  QVResult StartRender(IRenderCallback* callback, int32_t, int32_t, int32_t) override;
  bool IsBusy() override;
  QVResult GetRenderedPicture(IHostPicture** picture) override;
  QVResult StopRender() override;

  // Host side. Waits until no render runs or is queued (not from the renderer's thread).
  void WaitUntilIdle();
  // Drops the queued renders, lets the running one end and refuses new ones; the draw
  // function is not called again. From the renderer's own thread it does not wait.
  void Shutdown();
  // Renders that reached RenderFinished, and renders started.
  int64_t FinishedRenders() const;
  int64_t StartedRenders() const;

 private:
  struct State;
  std::shared_ptr<State> fState;
};

// What the render setup does when a client reports a stopped render, beyond recording it.
enum class AfterStop {
  None,         // nothing
  RestoreTime,  // the scene goes back to the time it showed when the renders began
};

// The scene's render setup: its frame rate and output size (30 frames a second, 640 x 480
// unless the scene file says otherwise), what follows a stopped render, and the renderer
// that draws the scene's meshes as they are when a render's RenderStarting returns. The
// output size is the setup's: each GetRenderer gives the renderer back at it, so a size a
// module set for its renders does not carry into the next client's.
class QVHOST_API RenderSetup final : public HostObject<IHostRenderSetup> {
 public:
  static constexpr int32_t kDefaultFrameRate = 30;
  static constexpr uint32_t kDefaultWidth = 640, kDefaultHeight = 480;
  // Frame rates outside 1 to kMaxFrameRate are refused (modules read a 16-bit rate).
  static constexpr int32_t kMaxFrameRate = 32767;

  explicit RenderSetup(Scene& scene);
  ~RenderSetup() override;

  int32_t GetFrameRate() override { return frameRate; }
  QVResult GetRenderer(IHostRenderer** renderer) override;
  void GetOutputSize(uint32_t* width, uint32_t* height) override;
  void RenderStopped() override;

  Renderer& GetHostRenderer() { return *fRenderer; }
  // Before the scene goes: the renderer lets go of it.
  void Shutdown() { fRenderer->Shutdown(); }

  // The output size, also the renderer's until a client of GetRenderer sets another.
  void SetOutputSize(uint32_t width, uint32_t height);

  int32_t frameRate = kDefaultFrameRate;  // set before rendering starts
  AfterStop afterStop = AfterStop::None;
  std::atomic<int32_t> stops{0};  // RenderStopped calls

 private:
  Scene& fScene;
  std::shared_ptr<Journal> fJournal;
  uint32_t fWidth = kDefaultWidth, fHeight = kDefaultHeight;
  // The scene's time when a client last took the renderer while it was idle: where a
  // stopped series of renders puts the scene back.
  std::atomic<int32_t> fTimeBeforeRenders{0};
  TQVCountedPtr<Renderer> fRenderer;
};

}  // namespace qvhost
