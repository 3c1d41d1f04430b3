// The HTML export of a NoteSheet's comments. The page is not written yet: the export
// answers done without writing anything.
#include "NoteSheetExport.h"

bool ExportHtml(TNoteSheetComponent&, IHostTreeElement*, IHostSceneHierarchy*) { return true; }
