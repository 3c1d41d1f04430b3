// The renderer's queue and thread, and the scene's render setup.
#include "qvhost/Renderer.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <thread>

#include "ModuleInterfaces.h"
#include "qvhost/Document.h"

namespace qvhost {

namespace {

struct Job {
  TQVCountedPtr<IRenderCallback> callback;
  uint32_t width = 0, height = 0;
};

}  // namespace

// Shared with the renderer's thread, so that the thread can finish its render after the
// renderer object went (a callback's release may destroy it on that thread).
struct Renderer::State {
  std::mutex mutex;
  std::condition_variable wake;  // a render was queued, or the renderer shuts down
  std::condition_variable idle;  // nothing runs or is queued
  std::deque<Job> queue;
  bool running = false;      // a render is under way, its callback not yet released
  bool stopCurrent = false;  // the running render is to end at its next step
  bool shutdown = false;
  uint32_t width = 0, height = 0;
  TQVCountedPtr<Picture> picture;  // the finishing render's, while RenderFinished runs
  std::thread thread;
  std::thread::id threadId;
  Draw draw;
  std::shared_ptr<Journal> journal;
  int64_t started = 0, finished = 0;

  // Runs on the renderer's thread until shut down.
  static void Loop(std::shared_ptr<State> state);
  // False when the running render was told to stop.
  bool Going() {
    std::lock_guard<std::mutex> lock(mutex);
    return !stopCurrent;
  }
  void Render(Job& job);
};

void Renderer::State::Loop(std::shared_ptr<State> state) {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(state->mutex);
      state->wake.wait(lock, [&] { return state->shutdown || !state->queue.empty(); });
      if (state->queue.empty()) return;  // shut down
      job = std::move(state->queue.front());
      state->queue.pop_front();
      state->running = true;
      state->stopCurrent = false;
    }
    try {
      state->Render(job);
    } catch (const std::exception& error) {  // a picture too large for memory
      state->journal->Record("render", std::string("failed: ") + error.what());
    }
    job.callback.Release();  // the module may leave once it sees the renderer idle
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->running = false;
      state->picture.Release();
    }
    state->idle.notify_all();
  }
}

void Renderer::State::Render(Job& job) {
  IRenderCallback* callback = job.callback.Get();
  if (callback && callback->RenderStarting() != kQVOk) return;
  if (!Going()) return;
  Draw drawing;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (shutdown) return;
    drawing = draw;
  }
  bool refused = false;  // a Progress answer other than 0 ends the render
  const auto progress = [&](float done, float total) {
    if (!refused && callback && callback->Progress(done, total) != kQVOk) refused = true;
    return !refused && Going();
  };
  RgbImage image = drawing(job.width, job.height, progress);
  if (refused || !Going()) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    picture = Adopt<Picture>(new Picture(std::move(image)));
    ++finished;
  }
  if (callback) callback->RenderFinished();
}

Renderer::Renderer(Draw draw, uint32_t width, uint32_t height, std::shared_ptr<Journal> journal)
    : fState(std::make_shared<State>()) {
  fState->draw = std::move(draw);
  fState->width = width;
  fState->height = height;
  fState->journal = std::move(journal);
}

Renderer::~Renderer() { Shutdown(); }

QVResult Renderer::SetOutputSize(uint32_t width, uint32_t height, float) {
  if (width < 1 || height < 1 || width > kMaxRenderSize || height > kMaxRenderSize) return kQVErrNotSupported;
  std::lock_guard<std::mutex> lock(fState->mutex);
  fState->width = width;
  fState->height = height;
  return kQVOk;
}

QVResult Renderer::StartRender(IRenderCallback* callback, int32_t, int32_t, int32_t) {
  Job job;
  *job.callback.Put() = callback;  // the caller's reference, taken over
  {
    std::lock_guard<std::mutex> lock(fState->mutex);
    if (fState->shutdown) {
      job.callback.Detach();  // refused: the caller keeps its reference
      return kQVErrNotSupported;
    }
    job.width = fState->width;
    job.height = fState->height;
    fState->queue.push_back(std::move(job));
    ++fState->started;
    if (!fState->thread.joinable()) {
      fState->thread = std::thread(State::Loop, fState);
      fState->threadId = fState->thread.get_id();
    }
  }
  fState->wake.notify_one();
  return kQVOk;
}

bool Renderer::IsBusy() {
  std::lock_guard<std::mutex> lock(fState->mutex);
  return fState->running || !fState->queue.empty();
}

QVResult Renderer::GetRenderedPicture(IHostPicture** picture) {
  QVClearOut(reinterpret_cast<void**>(picture));
  std::lock_guard<std::mutex> lock(fState->mutex);
  if (!fState->picture) return kQVErrObjectMissing;
  fState->picture->AddRef();
  *picture = fState->picture.Get();
  return kQVOk;
}

QVResult Renderer::StopRender() {
  std::deque<Job> dropped;
  {
    std::lock_guard<std::mutex> lock(fState->mutex);
    fState->stopCurrent = fState->running;
    dropped.swap(fState->queue);
  }
  fState->journal->Record("render", "stop (" + std::to_string(dropped.size()) + " queued dropped)");
  dropped.clear();  // their callbacks are released without being called
  fState->idle.notify_all();
  return kQVOk;
}

void Renderer::WaitUntilIdle() {
  std::unique_lock<std::mutex> lock(fState->mutex);
  if (std::this_thread::get_id() == fState->threadId) return;
  fState->idle.wait(lock, [&] { return !fState->running && fState->queue.empty(); });
}

void Renderer::Shutdown() {
  std::deque<Job> dropped;
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(fState->mutex);
    fState->shutdown = true;
    fState->stopCurrent = fState->running;
    dropped.swap(fState->queue);
    fState->draw = nullptr;
    thread.swap(fState->thread);
  }
  fState->wake.notify_all();
  fState->idle.notify_all();
  dropped.clear();
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id())
    thread.detach();  // the thread ends once this call returns into it
  else
    thread.join();
}

int64_t Renderer::FinishedRenders() const {
  std::lock_guard<std::mutex> lock(fState->mutex);
  return fState->finished;
}

int64_t Renderer::StartedRenders() const {
  std::lock_guard<std::mutex> lock(fState->mutex);
  return fState->started;
}

// ---- RenderSetup ------------------------------------------------------------------------

RenderSetup::RenderSetup(Scene& scene) : fScene(scene), fJournal(scene.SharedJournal()) {
  Scene* target = &scene;  // the scene shuts the renderer down before it goes
  auto draw = [target](uint32_t width, uint32_t height, const std::function<bool(float, float)>& progress) {
    RenderSnapshot snapshot;
    {
      std::lock_guard<std::recursive_mutex> lock(target->Lock());
      snapshot = SnapshotScene(*target);
    }
    if (!progress(0.0f, 1.0f)) return RgbImage{};
    RgbImage image = Rasterise(snapshot, width, height);
    progress(1.0f, 1.0f);
    return image;
  };
  fRenderer = Adopt<Renderer>(new Renderer(draw, fWidth, fHeight, fJournal));
}

RenderSetup::~RenderSetup() { fRenderer->Shutdown(); }

QVResult RenderSetup::GetRenderer(IHostRenderer** renderer) {
  QVClearOut(reinterpret_cast<void**>(renderer));
  if (!fRenderer->IsBusy()) fTimeBeforeRenders = fScene.GetCurrentTime(0);
  // Whoever asks starts from this setup's size: what an earlier client set lasted for the
  // renders it started (each takes the size in force at its start) and goes no further.
  fRenderer->SetOutputSize(fWidth, fHeight, 1.0f);
  fRenderer->AddRef();
  *renderer = fRenderer.Get();
  return kQVOk;
}

void RenderSetup::GetOutputSize(uint32_t* width, uint32_t* height) {
  if (width) *width = fWidth;
  if (height) *height = fHeight;
}

void RenderSetup::SetOutputSize(uint32_t width, uint32_t height) {
  if (fRenderer->SetOutputSize(width, height, 1.0f) != kQVOk) return;
  fWidth = width;
  fHeight = height;
}

void RenderSetup::RenderStopped() {
  ++stops;
  fJournal->Record("render", "stopped");
  if (afterStop != AfterStop::RestoreTime) return;
  const int32_t to = fTimeBeforeRenders;
  std::lock_guard<std::recursive_mutex> lock(fScene.Lock());
  fJournal->Record("scene", "restore time to " + std::to_string(to));
  if (Document* document = fScene.GetDocument())
    document->SetTime(to);
  else
    fScene.time = to;
}

}  // namespace qvhost
