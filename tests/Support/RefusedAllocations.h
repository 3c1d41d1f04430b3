// A command's Do cut short by each of its allocations refused in turn, and the one Undo
// the host calls after a Do that throws: the scene must come back as it was.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ModuleInterfaces.h"
#include "QVException.h"
#include "qvhost/CommandSession.h"
#include "qvhost/Document.h"
#include "qvhost/SceneFile.h"

// The scene's canonical text without what only the selection decides: the "selection"
// list and every "selected" and "interpolatorSelected" flag.
inline std::string SceneTextWithoutSelection(qvhost::Document& document) {
  document.Settle();  // as the host does after each command step
  nlohmann::ordered_json scene = nlohmann::ordered_json::parse(qvhost::SceneText(document));
  std::function<void(nlohmann::ordered_json&)> strip = [&](nlohmann::ordered_json& value) {
    if (value.is_object()) {
      for (const char* name : {"selection", "selected", "interpolatorSelected"}) value.erase(name);
      for (auto& member : value) strip(member);
    } else if (value.is_array()) {
      for (auto& element : value) strip(element);
    }
  };
  strip(scene);
  return scene.dump(1);
}

// Refuses each allocation of one Do in turn (growing reallocations included), each time on
// a fresh prepared session from `start`, until a Do makes fewer. A Do that throws must
// raise out of memory, and the one Undo the host calls after it must leave the scene as it
// was before Do. Answers the number of allocations an unrefused Do makes.
inline int64_t ExpectUndoRepairsEachRefusedDo(const std::function<qvhost::CommandSession&()>& start) {
  for (int64_t n = 1;; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of Do refused");
    qvhost::CommandSession& run = start();
    const std::string original = SceneTextWithoutSelection(run.GetDocument());
    bool threw = false;
    try {
      run.Do(n);
    } catch (const TQVException& error) {
      threw = true;
      EXPECT_EQ(error.Code(), kQVErrOutOfMemory);
    }
    if (!run.RefusalReached()) return n - 1;
    if (!threw) continue;
    run.UndoAfterThrow();
    EXPECT_EQ(SceneTextWithoutSelection(run.GetDocument()), original);
  }
}
