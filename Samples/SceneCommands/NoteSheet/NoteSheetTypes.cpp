// The module's start-up and clean-up steps.
#include "NoteSheetTypes.h"

#include "CommentValue.h"
#include "IHostFiles.h"
#include "QVModule.h"
#include "QVServiceTable.h"

namespace {

constexpr uint32_t kHtmlType = QVFourCC("htmL");

// The empty value 'AStr' keys are made from, while the module is loaded.
TCommentValue* gPrototype = nullptr;

const TQVModuleHooks gHooks(RegisterNoteSheetTypes, UnregisterNoteSheetTypes);

}  // namespace

void RegisterNoteSheetTypes() {
  {
    TFileTypeRecord record;
    record.type = kHtmlType;
    record.description = "HTML file";
    record.AddExtension("html");
    record.AddExtension("htm");
    record.AddTypeCode(kHtmlType);
    record.format = kHtmlType;
    if (HostFileDialogServices* fileDialogs = QVGetService<HostFileDialogServices>())
      fileDialogs->RegisterFileType(record);
  }
  gPrototype = QVNewObject<TCommentValue>();
  if (!gPrototype) return;
  if (HostApplicationServices* application = QVGetService<HostApplicationServices>())
    application->RegisterValuePrototype(gPrototype);
}

void UnregisterNoteSheetTypes() {
  TCommentValue* prototype = gPrototype;
  if (!prototype) return;
  if (HostApplicationServices* application = QVGetService<HostApplicationServices>())
    application->UnregisterValuePrototype(prototype);
  gPrototype = nullptr;
  prototype->Release();
}
