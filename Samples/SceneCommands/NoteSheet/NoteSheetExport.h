// The HTML page of a NoteSheet's comments.
#pragma once

#include "IHostScene.h"

class TNoteSheetComponent;

// Writes the comments of `component` as an HTML page titled after `element`, which the
// component's bounding-box query found in `hierarchy`. Answers false when the scene
// refused the export.
bool ExportHtml(TNoteSheetComponent& component, IHostTreeElement* element, IHostSceneHierarchy* hierarchy);
