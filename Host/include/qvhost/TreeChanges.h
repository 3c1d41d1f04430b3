// The lines of a change report between two snapshots of a scene's element tree.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "HostExport.h"
#include "TreeSnapshot.h"

namespace qvhost {

struct QVHOST_API TreeChangeOptions {
  // Field paths it answers true for are left out of the report: a path inside an
  // element ("animation.track[0].time") or elsewhere in the scene ("$.view.panes[0]").
  std::function<bool(const std::string& field)> skipField;
  // Every line is cut to at most this many bytes.
  size_t width = 160;

  // Options that leave out the keys of key tracks (a report that lists moved keys on
  // its own).
  static TreeChangeOptions WithoutKeys();
};

// True for a field path inside a key track's keys ("...track[2].time").
QVHOST_API bool IsKeyField(const std::string& field);

// One line per change from `before` to `after`:
//   "removed P"                     an element is gone (its descendants with it);
//   "inserted P after S"            a new element (with its descendants), after sibling S,
//   "inserted P under Q"            or as the first child of Q,
//   "inserted P first at the top level";
//   "moved P after S", "moved P under Q", "moved P first at the top level"
//                                   an element with a new parent or a new place among
//                                   the siblings it kept;
//   "P: field: old -> new"          a changed field of an element (nested fields by
//                                   their JSON path inside the element);
//   "where: old -> new"             a change elsewhere in the scene ("$.view.panes[0].scale").
// Between snapshots of a live document an element replaced by a copy reads as "removed P"
// and "inserted P ...": the copy is another element, whatever its name. Between snapshots
// of scene text an element is its path, so a copy at the same path reads as its field
// changes, and a renamed or re-parented element as removed and inserted.
// Removals come first, in the before-tree's order; then the after-tree's elements in its
// order, each with its place and then its fields; then the rest of the scene. Paths are
// those of the before-tree for removals and of the after-tree otherwise. Every line is
// cut to `options.width` bytes, each of its parts keeping its start.
QVHOST_API std::vector<std::string> TreeChanges(const TreeSnapshot& before, const TreeSnapshot& after,
                                                const TreeChangeOptions& options = {});

}  // namespace qvhost
