// What a scene's element tree holds at one moment, element by element, for change
// reports: each element's identity, place in the tree and own fields.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "HostExport.h"

namespace qvhost {

class Document;

struct QVHOST_API TreeSnapshot {
  static constexpr size_t kNone = size_t(-1);

  struct Element {
    // What makes two snapshots' elements the same element: "#" and the element's serial
    // number in a snapshot of a live document; its path, with "#n" after a name the n-th
    // sibling before it also has, in a snapshot of scene text.
    std::string identity;
    std::string path;  // "Parent/Child" from the top level down
    std::string name;
    size_t parent = kNone;    // index in `elements`; kNone at the top level
    size_t previous = kNone;  // the previous sibling's index; kNone for a first child
    // The element as the scene file writes it, without its children: canonical JSON.
    std::string fields;
  };

  std::vector<Element> elements;  // in tree order (pre-order)
  // The scene file without its elements (selection, view, time, object lists...):
  // canonical JSON.
  std::string rest;

  // The document as it is now; an element keeps its identity for the length of the run,
  // wherever it moves, and a copy has an identity of its own.
  static TreeSnapshot Of(Document& document);
  // A scene's text, or a scene file; elements are known by path and name. Text that is
  // not a scene is refused with HostError naming `name` (or the file) and the JSON path.
  static TreeSnapshot FromText(const std::string& text, const std::string& name = "scene");
  static TreeSnapshot FromFile(const std::string& path);
};

}  // namespace qvhost
