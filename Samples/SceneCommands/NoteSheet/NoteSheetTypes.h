// What the module registers with the host while it is loaded: the HTML file type of the
// export and the prototype of the comment values.
#pragma once

void RegisterNoteSheetTypes();
void UnregisterNoteSheetTypes();
