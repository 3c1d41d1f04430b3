// The thumbnail renders and their callback.
#include "ThumbnailRender.h"

#include "IHostFiles.h"
#include "NoteSheet.h"
#include "QVServiceTable.h"
#include "Timecode.h"

namespace {

constexpr uint32_t kJpegFormat = QVFourCC("JPEG");

bool AbortRequested() {
  HostProgressServices* progress = QVGetService<HostProgressServices>();
  return progress && progress->IsAbortRequested();
}

}  // namespace

TThumbnailRenderCallback::TThumbnailRenderCallback(IHostRenderer* renderer, int32_t keyTime, IHostScene* scene,
                                                   bool moreToCome, int32_t savedTime, IUnknown* progress,
                                                   int32_t index, const TQVString& folder)
    : fIndex(index),
      fKeyTime(keyTime),
      fSavedTime(savedTime),
      fMoreToCome(moreToCome),
      fFolderFits(folder.ByteLength() <= 255) {
  fProgress.Assign(progress);
  fRenderer.Assign(renderer);
  fScene.Assign(scene);
  fFolder.Assign(folder);
}

TThumbnailRenderCallback::~TThumbnailRenderCallback() {
  fFolder.SetFrom("");
  fScene.Release();
  fRenderer.Release();
  fProgress.Release();
  fLinked.Release();
}

QVResult TThumbnailRenderCallback::QueryInterface(const QVGUID& id, void** out) {
  return QueryInterfaces<IRenderCallback>(this, id, out);
}

// Ends the progress display, stops the renderer and tells the render setup. The last
// comment's callback also puts the scene back at its time from before the export.
bool TThumbnailRenderCallback::Stopped() {
  if (!AbortRequested()) return false;
  if (HostProgressServices* progress = QVGetService<HostProgressServices>()) progress->EndProgress(fProgress.Get());
  TQVCountedPtr<IHostRenderSetup> setup;
  if (fScene) fScene->GetRenderSetup(setup.Put());
  if (fRenderer) fRenderer->StopRender();
  if (setup) setup->RenderStopped();
  if (!fMoreToCome) RestoreTime();
  return true;
}

void TThumbnailRenderCallback::RestoreTime() {
  if (!fScene) return;
  TQVCountedPtr<IHostTimeControl> time;
  fScene->GetTimeControl(time.Put());
  if (time) time->SetCurrentTime(fSavedTime);
  fScene->Refresh();
}

// The display runs from 0 to the number of comments over the whole export.
QVResult TThumbnailRenderCallback::Progress(float done, float total) {
  if (Stopped()) return kQVErrStopped;
  const float part = total > 0.0f ? done / total : 0.0f;
  if (HostProgressServices* progress = QVGetService<HostProgressServices>())
    progress->SetProgressValue(float(uint32_t(fIndex)) + part, fProgress.Get());
  return kQVOk;
}

QVResult TThumbnailRenderCallback::RenderStarting() {
  if (Stopped()) return kQVErrStopped;
  if (fScene) fScene->GoToTime(fKeyTime, 0, 1, 0, 0, 0);
  return kQVOk;
}

// A path that does not fit the folder field is not saved: a shortened one would name
// another file.
QVResult TThumbnailRenderCallback::RenderFinished() {
  if (Stopped()) return kQVErrStopped;
  TQVCountedPtr<IHostPicture> picture;
  if (fRenderer) fRenderer->GetRenderedPicture(picture.Put());
  TQVCountedPtr<IHostFileSpec> file;
  if (HostFileServices* files = QVGetService<HostFileServices>()) files->NewFilePath(file.Put());
  TQVFixedString<15> ticks;
  AppendDecimal(ticks, fKeyTime);
  const bool fits = fFolderFits && fFolder.ByteLength() + ticks.ByteLength() <= fFolder.Capacity();
  fFolder.Append(ticks);
  if (file && fits) {
    file->SetFromPath(fFolder, 0);
    const TQVFixedString<3> extension("jpg");
    file->SetExtension(extension);
    file->PrepareToSave();
    if (HostImageServices* images = QVGetService<HostImageServices>())
      images->SavePicture(picture.Get(), 0, file.Get(), kJpegFormat, 0, 0, 0);
  }
  if (!fMoreToCome) RestoreTime();
  return kQVOk;
}

void RenderThumbnail(TNoteSheetComponent& component, int32_t keyTime, bool moreToCome, int32_t savedTime,
                     int32_t index, const TQVString& folder) {
  IHostScene* scene = component.Scene();
  TQVCountedPtr<IHostRenderSetup> setup;
  if (scene) scene->GetRenderSetup(setup.Put());
  if (!setup) return;
  TQVCountedPtr<IHostRenderer> renderer;
  setup->GetRenderer(renderer.Put());
  uint32_t width = 0, height = 0;
  setup->GetOutputSize(&width, &height);
  if (!renderer) return;
  // The construction's reference is the one the renderer takes over and releases after
  // the render; the module holds its own only while it starts it.
  TThumbnailRenderCallback* callback = QVNewObject<TThumbnailRenderCallback>(
      renderer.Get(), keyTime, scene, moreToCome, savedTime, component.Progress().Get(), index, folder);
  if (callback) callback->AddRef();
  const int32_t size = component.Parameters().ThumbnailSize;
  if (size >= 0 && size <= 3) renderer->SetOutputSize(width >> (3 - size), height >> (3 - size), 1.0f);
  const QVResult started = renderer->StartRender(callback, 0, 0, 0);
  if (callback) {
    if (started != kQVOk) callback->Release();  // not taken over
    callback->Release();
  }
}
