// JPEG thumbnails of the scene at the comments' times, made by the host's renderer.
#pragma once

#include "AtomicRefObject.h"
#include "IHostRendering.h"
#include "IHostScene.h"
#include "ModuleInterfaces.h"
#include "QVCountedPtr.h"
#include "QVString.h"

class TNoteSheetComponent;

// The callback of one thumbnail render: moves the scene to the comment's time when the
// render starts, shows the progress and saves the picture "<folder><ticks>.jpg" when it is
// done. The one of the last comment puts the scene back at the saved time. Its count may
// change on the renderer's thread.
class TThumbnailRenderCallback final : public IRenderCallback, public TQVAtomicRefObject {
 public:
  TThumbnailRenderCallback(IHostRenderer* renderer, int32_t keyTime, IHostScene* scene, bool moreToCome,
                           int32_t savedTime, IUnknown* progress, int32_t index, const TQVString& folder);
  ~TThumbnailRenderCallback();

  QVResult QueryInterface(const QVGUID& id, void** out) override;
  int32_t AddRef() override { return TQVAtomicRefObject::AddRef(); }
  int32_t Release() override { return TQVAtomicRefObject::Release(); }
  void DeleteThis(uint32_t flags) override { QVDeleteRefObject(this, flags); }

  QVResult Progress(float done, float total) override;
  QVResult Reserved4(void*) override { return kQVOk; }
  QVResult Reserved5() override { return kQVOk; }
  QVResult Reserved6() override { return kQVOk; }
  QVResult Reserved7(void*) override { return kQVOk; }
  QVResult Reserved8(void*) override { return kQVOk; }
  QVResult RenderStarting() override;
  QVResult RenderFinished() override;
  void SetLinkedObject(IUnknown* object) override { fLinked.Assign(object); }

 private:
  // True (after ending the progress and stopping the renderer) when the user asked to stop.
  bool Stopped();
  void RestoreTime();

  TQVCountedPtr<IUnknown> fLinked;
  TQVCountedPtr<IUnknown> fProgress;
  int32_t fIndex;
  TQVCountedPtr<IHostRenderer> fRenderer;
  TQVCountedPtr<IHostScene> fScene;
  int32_t fKeyTime;
  int32_t fSavedTime;
  TQVFixedString<255> fFolder;
  bool fMoreToCome;
  bool fFolderFits;  // false: the folder was cut to the capacity, no picture is saved
};

#if defined(__i386__)
static_assert(sizeof(TThumbnailRenderCallback) == 316, "TThumbnailRenderCallback layout");
#endif

// Starts the render of the thumbnail of the comment at `keyTime` (position `index`);
// `moreToCome` is false for the last comment only, whose callback sets the scene back to
// `savedTime`. `folder` ends with the path separator.
void RenderThumbnail(TNoteSheetComponent& component, int32_t keyTime, bool moreToCome, int32_t savedTime,
                     int32_t index, const TQVString& folder);
