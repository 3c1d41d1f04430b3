// The HTML page of a NoteSheet's comments.
#pragma once

#include "IHostAnimation.h"
#include "IHostScene.h"
#include "QVArray.h"

class TNoteSheetComponent;

// Alerts of the export, among the module's resources ('data', 'NtSh').
constexpr int16_t kNoteSheetRefusedAlert = 300;
constexpr int16_t kNoteSheetPageFailedAlert = 301;

// Writes the comments of `component` as an HTML page titled after `element`, then renders
// their thumbnails when it shows them. Answers false when the scene refused the export
// (an alert was shown), true otherwise, also when the user cancelled the save dialog.
bool ExportHtml(TNoteSheetComponent& component, IHostTreeElement* element, IHostSceneHierarchy* hierarchy);

// The comments' key times and values (one reference each), in key-track order. Raises
// 0x80010005 when the text has no animated attribute of its track type.
void CollectComments(TNoteSheetComponent& component, TQVArray<QVKeyTimeRecord>& times,
                     TQVArray<IHostKeyframeItem*>& values);
