// The HTML export: the save dialog, the page and the thumbnail renders.
#include "NoteSheetExport.h"

#include "HtmlPage.h"
#include "IHostAttributes.h"
#include "IHostDialogs.h"
#include "IHostFiles.h"
#include "IHostModalDialog.h"
#include "IHostRendering.h"
#include "NoteSheet.h"
#include "QVServiceTable.h"
#include "QVTextStream.h"
#include "ThumbnailRender.h"
#include "Timecode.h"

namespace {

constexpr uint32_t kPageType = QVFourCC("htmL");
constexpr uint32_t kTextFileType = QVFourCC("TEXT");
constexpr int32_t kPageBuffer = 0x7F00;
// The keys lie apart in the host's memory: the page's comment loop asks for the memory of
// the key this many places ahead while it handles the current one.
constexpr int32_t kLookAhead = 8;

void ShowAlert(int16_t id) {
  HostResourceServices* resources = QVGetService<HostResourceServices>();
  if (resources) resources->BeginUsingResources(QVFourCC("data"), kNoteSheetClassCode);
  if (HostDialogServices* dialogs = QVGetService<HostDialogServices>()) {
    TQVCountedPtr<IUnknown> dialog;
    dialogs->CreateDialog(QVFourCC("Dlog"), id, dialog.Put());
    TQVCountedPtr<IHostModalDialog> modal;
    if (QVQuery(dialog.Get(), modal) == kQVOk) {
      modal->Prepare();
      modal->Show();
    }
  }
  if (resources) resources->EndUsingResources();
}

// Destroys the stream, which writes out its buffer and closes the file.
struct TPageStream {
  TFileTextStream* stream = nullptr;
  ~TPageStream() {
    if (stream) stream->DeleteThis(1);
  }
};

// The page: header, width row, the groups of `Columns` comments, footer. Answers whether
// every byte reached the file.
bool WritePage(TNoteSheetComponent& component, TFileTextStream& stream, const TQVString& title,
               const TQVString& name, int32_t fps, TQVArray<QVKeyTimeRecord>& times,
               TQVArray<IHostKeyframeItem*>& values) {
  const NoteSheetParameters& parameters = component.Parameters();
  WritePageHeader(stream, title, parameters.CellPadding, parameters.TableBorder, PackColor(parameters.TextColor),
                  PackColor(parameters.BackgroundColor));
  const int32_t n = times.Length();
  // The dialog keeps Columns at 1 or more; smaller values are taken as 1.
  const int32_t columns = parameters.Columns < 1 ? 1 : parameters.Columns;
  const int32_t widthCount = columns >= n ? n : columns;
  TQVFixedString<15> width;
  if (widthCount > 0) {
    AppendDecimal(width, int32_t(100.0 / widthCount));
    width.AppendChar('%');
  }
  WriteWidthRow(stream, width, widthCount);
  WriteRowBreak(stream);

  const char* alignment = AlignmentText(parameters.CommentAlignment);
  TQVFixedString<1023> text;
  int32_t start = -columns, end = 0;
  do {
    start += columns;
    end = end > n - columns ? n : end + columns;
    if (parameters.ShowFrameNumbers) {
      for (int32_t i = start; i < end; ++i) {
        text.SetFrom("");
        AppendDecimal(text, i + 1);
        WriteFrameCell(stream, text);
      }
      WriteRowBreak(stream);
    }
    if (parameters.ShowThumbnails) {
      for (int32_t i = start; i < end; ++i) {
        text.Assign(name);
        text.Append(TQVFixedString<8>("_images/"));
        AppendDecimal(text, times[i].ticks);
        WriteImageCell(stream, text);
      }
      WriteRowBreak(stream);
    }
    if (parameters.ShowTimecode) {
      for (int32_t i = start; i < end; ++i) {
        FormatTimecode(times[i].ticks, fps, text);
        WriteTimecodeCell(stream, text);
      }
      WriteRowBreak(stream);
    }
    for (int32_t i = start; i < end; ++i) {
      if (i + kLookAhead < n) __builtin_prefetch(values[i + kLookAhead]);
      text.SetFrom("");
      bool changed = false;
      if (values[i]) values[i]->GetValue(text, QVFourCC("AStr"), &changed);
      WriteCommentCell(stream, text, alignment);
    }
    WriteRowBreak(stream);
  } while (end != n);
  WritePageFooter(stream);
  stream.Flush();
  return !stream.Failed();
}

}  // namespace

void CollectComments(TNoteSheetComponent& component, TQVArray<QVKeyTimeRecord>& times,
                     TQVArray<IHostKeyframeItem*>& values) {
  TQVCountedPtr<IHostAttributeHolder> holder;
  QVQuery(component.Text().GetAnimationNode(), holder);
  TQVCountedPtr<IHostAnimatedAttribute> attribute;
  if (holder) holder->GetAnimatedAttribute(QVFourCC("ASTR"), attribute.Put());
  if (!attribute) QVThrow(kQVErrObjectMissing, kNoteSheetSource, kNoteSheetNoTextTrackLine);
  IHostKeyTrack* track = attribute->GetKeyTrack();
  const int32_t n = track ? track->GetKeyCount() : 0;
  // Room for every key at once; when refused, the appends below grow the arrays (or fail).
  times.SetCapacity(times.Length() + n);
  values.SetCapacity(values.Length() + n);
  for (int32_t i = 0; i < n; ++i) {
    IHostKeyframe* key = track->GetKey(i);
    if (!key) continue;
    if (!values.Append(key->GetValue()) || !times.Append(key->GetTimeRecord()))
      QVThrow(kQVErrOutOfMemory, kNoteSheetSource, kNoteSheetNoTextTrackLine);
  }
}

bool ExportHtml(TNoteSheetComponent& component, IHostTreeElement* element, IHostSceneHierarchy*) {
  IHostScene* scene = component.Scene();
  if (!scene || scene->GetExportPrecondition() == 0) {
    ShowAlert(kNoteSheetRefusedAlert);
    return false;
  }
  TQVArray<QVKeyTimeRecord> times;
  TQVArray<IHostKeyframeItem*> values;
  CollectComments(component, times, values);
  const int32_t n = times.Length();
  const int32_t savedTime = scene->GetCurrentTime(0);

  HostFileServices* files = QVGetService<HostFileServices>();
  TQVCountedPtr<IHostFileSpec> file;
  if (files) files->NewFilePath(file.Put());
  if (!file) return true;
  file->SetDefaultName(TQVFixedString<8>("Untitled"));
  TQVArray<uint32_t> types;
  types.Append(kPageType);
  if (HostFileDialogServices* dialogs = QVGetService<HostFileDialogServices>())
    dialogs->SaveFileDialog(TQVFixedString<12>("Save as Html"), file.Get(), types, types.Storage());
  TQVFixedString<1023> folder, name, path;
  file->GetFolder(folder);
  file->GetNameWithoutExtension(name);
  if (folder.IsEmpty() || name.IsEmpty()) return true;  // cancelled

  TQVCountedPtr<IHostRenderSetup> setup;
  scene->GetRenderSetup(setup.Put());
  // Without a render setup there is no frame rate (the timecodes show frame 00) and no
  // renderer for the thumbnails.
  const int32_t fps = setup ? int16_t(setup->GetFrameRate() & 0xFFFF) : 0;
  file->GetFullPath(path);
  file->GetFolder(folder);
  TQVFixedString<15> separator;
  if (files) files->GetPathSeparatorString(separator);

  TQVFixedString<255> title;
  if (element) element->GetName(title);
  HostProgressServices* progress = QVGetService<HostProgressServices>();
  // A file that cannot be opened leaves the stream failed: it ignores what is written.
  TPageStream page;
  page.stream = TFileTextStream::New(path, kQVFileWritable, kPageBuffer, nullptr);
  if (!page.stream) QVThrow(kQVErrObjectMissing, kNoteSheetSource, kNoteSheetNoPageStreamLine);
  page.stream->SetTypeAndCreator(progress ? progress->GetApplicationCreatorCode() : 0, kTextFileType);

  const bool thumbnails = component.Parameters().ShowThumbnails;
  if (thumbnails && progress)
    progress->BeginProgress(TQVFixedString<25>("Exporting JPEG thumbnails"), float(n), component.Progress().Put());
  const bool written = WritePage(component, *page.stream, title, name, fps, times, values);
  page.stream->DeleteThis(1);  // the page is complete before any thumbnail is rendered
  page.stream = nullptr;
  if (!written) ShowAlert(kNoteSheetPageFailedAlert);  // and no thumbnails

  if (thumbnails) {
    if (written && n > 0 && setup) {
      TQVFixedString<1023> thumbnailFolder;
      thumbnailFolder.Assign(folder);
      thumbnailFolder.Append(name);
      thumbnailFolder.Append(TQVFixedString<7>("_images"));
      thumbnailFolder.Append(separator);
      for (int32_t i = 0; i < n - 1; ++i) RenderThumbnail(component, times[i].ticks, true, 0, i, thumbnailFolder);
      RenderThumbnail(component, times[n - 1].ticks, false, savedTime, n - 1, thumbnailFolder);
      TQVCountedPtr<IHostRenderer> renderer;
      setup->GetRenderer(renderer.Put());
      while (renderer && renderer->IsBusy()) {
        if (progress && progress->IsAbortRequested()) break;
      }
    }
    if (progress) progress->EndProgress(component.Progress().Get());
  }
  return true;
}
