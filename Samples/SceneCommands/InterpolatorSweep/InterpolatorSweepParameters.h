// The block the InterpolatorSweep dialog edits, apart from the command so that tests can
// check its layout against the resource file.
#pragma once

#include "QVBase.h"

// The block the dialog edits: the item its chooser picked (a plain pointer, not counted).
struct InterpolatorSweepParameters {
  IUnknown* ChosenInterpolatorItem;
};
