// Change reports over snapshots of the element tree: live identity against path and name,
// removals, insertions, copies, moves, fields, and lines cut safely.
#include <functional>
#include <stdexcept>

#include "LeakCheck.h"
#include "qvhost/CodePageText.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"
#include "qvhost/TreeChanges.h"

namespace {

using qvhost::SceneElement;
using qvhost::TreeChanges;
using qvhost::TreeSnapshot;
using Lines = std::vector<std::string>;

constexpr char kScene[] = R"({"qvscene": 1, "elements": [
  {"name": "Stage", "children": [
    {"name": "Box", "transform": {"translation": [0, 1, 0]}},
    {"name": "Lamp", "transform": {"translation": [0, 4, 0]}, "children": [{"name": "Bulb"}]},
    {"name": "Camera"}]},
  {"name": "Floor"}]})";

class TreeChangesTest : public LeakCheckedTest {
 protected:
  using Edit = std::function<void(qvhost::Scene&)>;

  // The report of `edit` on a document of `scene`, from live snapshots and from the texts.
  static std::pair<Lines, Lines> Reports(const Edit& edit, const char* scene = kScene) {
    auto document = qvhost::ParseScene(scene, "tree.json", std::make_shared<qvhost::Journal>());
    const TreeSnapshot live = TreeSnapshot::Of(*document);
    const std::string text = qvhost::SceneText(*document);
    edit(document->GetScene());
    const Lines byIdentity = TreeChanges(live, TreeSnapshot::Of(*document));
    const Lines byPath = TreeChanges(TreeSnapshot::FromText(text), TreeSnapshot::FromText(qvhost::SceneText(*document)));
    return {byIdentity, byPath};
  }

  static SceneElement& At(qvhost::Scene& scene, const char* path) { return *scene.Root().Find(path); }

  static TQVCountedPtr<SceneElement> Copy(SceneElement& element, const char* name = nullptr) {
    TQVCountedPtr<IHostTreeElement> copy;
    EXPECT_EQ(element.DeepCopy(1, copy.Put()), kQVOk);
    TQVCountedPtr<SceneElement> made;
    made.Assign(qvhost::AsSceneElement(copy.Get()));
    if (name) made->SetName(std::string(name));
    return made;
  }

  // Takes the element out of its tree, as a command does, and lets the record go.
  static TQVCountedPtr<SceneElement> Take(SceneElement& element) {
    TQVCountedPtr<SceneElement> held;
    held.Assign(&element);
    RemovalRecord record;
    EXPECT_EQ(element.Remove(nullptr, &record), kQVOk);
    record.Discard();
    return held;
  }

  // Puts `element` first among `parent`'s children, as the undo of a removal does.
  static void InsertFirst(SceneElement& parent, SceneElement& element) {
    RemovalRecord record;
    record.references[0] = static_cast<IHostTreeElement*>(&element);
    record.references[1] = static_cast<IHostTreeElement*>(&parent);
    element.AddRef();
    parent.AddRef();
    record.transform = element.Local();
    EXPECT_EQ(element.ReInsert(&record), kQVOk);
    record.Discard();
  }

  static void Translate(SceneElement& element, TQVVector3 translation) {
    TQVTransform local = element.Local();
    local.translation = translation;
    element.SetLocal(local);
  }
};

TEST_F(TreeChangesTest, LiveIdentityAndPathIdentityReadEachEdit) {
  struct Case {
    const char* what;
    Edit edit;
    Lines live;  // elements known by the host's identity
    Lines text;  // elements known by path and name
  };
  const Case cases[] = {
      {"nothing changed", [](qvhost::Scene&) {}, {}, {}},
      {"a field changed", [](qvhost::Scene& s) { Translate(At(s, "Stage/Lamp"), {1, 4, 0}); },
       {"Stage/Lamp: transform.translation: [0, 4, 0] -> [1, 4, 0]"},
       {"Stage/Lamp: transform.translation: [0, 4, 0] -> [1, 4, 0]"}},
      {"an element removed with its child", [](qvhost::Scene& s) { Take(At(s, "Stage/Lamp")); },
       {"removed Stage/Lamp"}, {"removed Stage/Lamp"}},
      {"one inserted first",
       [](qvhost::Scene& s) { InsertFirst(At(s, "Stage"), *SceneElement::Create("Rug").Get()); },
       {"inserted Stage/Rug under Stage"}, {"inserted Stage/Rug under Stage"}},
      {"one inserted into an element without children",
       [](qvhost::Scene& s) { At(s, "Floor").Append(SceneElement::Create("Rug").Get()); },
       {"inserted Floor/Rug under Floor"}, {"inserted Floor/Rug under Floor"}},
      {"one inserted after a sibling",
       [](qvhost::Scene& s) { At(s, "Stage/Box").InsertNextTo(Copy(At(s, "Stage/Box"), "Crate").Get()); },
       {"inserted Stage/Crate after Stage/Box"}, {"inserted Stage/Crate after Stage/Box"}},
      {"replaced in place by an edited copy of the same name",
       [](qvhost::Scene& s) {
         auto copy = Copy(At(s, "Stage/Lamp"));
         Translate(*copy, {1, 4, 0});
         At(s, "Stage/Lamp").InsertNextTo(copy.Get());
         Take(At(s, "Stage/Lamp"));
       },
       {"removed Stage/Lamp", "inserted Stage/Lamp after Stage/Box"},
       {"Stage/Lamp: transform.translation: [0, 4, 0] -> [1, 4, 0]"}},
      {"replaced by a copy after the last sibling",
       [](qvhost::Scene& s) {
         At(s, "Stage/Camera").InsertNextTo(Copy(At(s, "Stage/Box")).Get());
         Take(At(s, "Stage/Box"));
       },
       {"removed Stage/Box", "inserted Stage/Box after Stage/Camera"}, {"moved Stage/Box after Stage/Camera"}},
      {"moved under another parent",
       [](qvhost::Scene& s) { At(s, "Floor").Append(Take(At(s, "Stage/Camera")).Get()); },
       {"moved Floor/Camera under Floor"}, {"removed Stage/Camera", "inserted Floor/Camera under Floor"}},
      {"moved into a new element",
       [](qvhost::Scene& s) {
         auto group = SceneElement::Create("Group");
         At(s, "Stage/Camera").InsertNextTo(group.Get());
         group->Append(Take(At(s, "Stage/Box")).Get());
       },
       {"inserted Stage/Group after Stage/Camera", "moved Stage/Group/Box under Stage/Group"},
       {"removed Stage/Box", "inserted Stage/Group after Stage/Camera"}},
      {"removed after its child moved out",
       [](qvhost::Scene& s) {
         At(s, "Floor").Append(Take(At(s, "Stage/Lamp/Bulb")).Get());
         Take(At(s, "Stage/Lamp"));
       },
       {"removed Stage/Lamp", "moved Floor/Bulb under Floor"},
       {"removed Stage/Lamp", "inserted Floor/Bulb under Floor"}},
      {"siblings reordered",
       [](qvhost::Scene& s) {
         auto box = Take(At(s, "Stage/Box"));
         At(s, "Stage/Camera").InsertNextTo(box.Get());
       },
       {"moved Stage/Box after Stage/Camera"}, {"moved Stage/Box after Stage/Camera"}},
      {"renamed", [](qvhost::Scene& s) { At(s, "Stage/Box").SetName(std::string("Crate")); },
       {"Stage/Crate: name: \"Box\" -> \"Crate\""}, {"removed Stage/Box", "inserted Stage/Crate under Stage"}},
      {"several changes, in report order",
       [](qvhost::Scene& s) {
         Take(At(s, "Stage/Camera"));
         At(s, "Stage/Lamp").SetName(std::string("Light"));
         Translate(At(s, "Stage/Light/Bulb"), {0, 0, 1});
         s.time = 5;
       },
       {"removed Stage/Camera", "Stage/Light: name: \"Lamp\" -> \"Light\"",
        "Stage/Light/Bulb: transform: (none) -> {\"translation\": [0, 0, 1]}", "$.time: (none) -> 5"},
       {"removed Stage/Lamp", "removed Stage/Camera", "inserted Stage/Light after Stage/Box", "$.time: (none) -> 5"}},
  };
  for (const Case& c : cases) {
    const auto [live, text] = Reports(c.edit);
    EXPECT_EQ(live, c.live) << c.what << " (live)";
    EXPECT_EQ(text, c.text) << c.what << " (text)";
  }
}

TEST_F(TreeChangesTest, TextPairsPlaceTopLevelElementsAndCanLeaveKeysOut) {
  const std::string before = R"({"qvscene": 1, "elements": [
    {"name": "A", "animation": {"track": [{"time": 0}, {"time": 10}]}}, {"name": "B"}],
    "objects": [{"name": "Sun", "animation": {"track": [{"time": 5}]}}]})";
  const std::string after = R"({"qvscene": 1, "elements": [
    {"name": "C"}, {"name": "B"}, {"name": "A", "animation": {"track": [{"time": 0}, {"time": 20}]}}],
    "objects": [{"name": "Sun", "animation": {"track": [{"time": 6}]}}]})";
  const TreeSnapshot was = TreeSnapshot::FromText(before), is = TreeSnapshot::FromText(after);
  // Of two swapped siblings the later one before reads as moved.
  EXPECT_EQ(TreeChanges(was, is), (Lines{"inserted C first at the top level", "moved B after C",
                                         "A: animation.track[1].time: 10 -> 20",
                                         "$.objects[0].animation.track[0].time: 5 -> 6"}));
  EXPECT_EQ(TreeChanges(was, is, qvhost::TreeChangeOptions::WithoutKeys()),
            (Lines{"inserted C first at the top level", "moved B after C"}));
  // Values outside the elements by their JSON path; nothing for a scene and itself.
  const TreeSnapshot view1 = TreeSnapshot::FromText(
      R"({"qvscene": 1, "view": {"panes": [{"name": "P", "offset": [1, 2], "scale": 2}]}})");
  const TreeSnapshot view2 = TreeSnapshot::FromText(
      R"({"qvscene": 1, "view": {"panes": [{"name": "P", "offset": [0, 0], "scale": 1}]}})");
  EXPECT_EQ(TreeChanges(view1, view2), (Lines{"$.view.panes[0].offset: [1, 2] -> [0, 0]", "$.view.panes[0].scale: 2 -> 1"}));
  EXPECT_TRUE(TreeChanges(view1, view1).empty());
}

// Whether `text` is whole UTF-8: no character cut short.
bool WholeUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

TEST_F(TreeChangesTest, LongLinesAreCutBetweenCharactersAndKeepTheArrow) {
  auto expectCut = [](const Lines& lines) {
    for (const std::string& line : lines) {
      EXPECT_LE(line.size(), 160u) << line;
      EXPECT_TRUE(WholeUtf8(line)) << line;
    }
  };
  for (const std::string character : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    for (const std::string lead : {"", "a", "ab", "abc"}) {
      std::string name = lead;
      while (name.size() < 400) name += character;
      const std::string start = lead + character;
      SCOPED_TRACE(start);
      // Scene texts: any character.
      auto scene = [](const std::string& box, const std::string& floor) {
        return R"({"qvscene": 1, "elements": [{"name": "Stage", "children": [{"name": ")" + box +
               R"("}]}, {"name": ")" + floor + R"("}]})";
      };
      const Lines text = TreeChanges(TreeSnapshot::FromText(scene("Box", "Floor")), TreeSnapshot::FromText(scene(name, name + "x")));
      ASSERT_EQ(text.size(), 4u);
      expectCut(text);
      EXPECT_EQ(text[2].rfind("inserted Stage/" + start, 0), 0u) << text[2];
      EXPECT_EQ(text[2].substr(text[2].size() - 15), "... under Stage") << text[2];
      // A live document holds its names in its code page (1252): the characters it has.
      std::string held, why;
      if (!qvhost::ToCodePage(name, 1252, held, why)) continue;
      const auto [live, byPath] = Reports([&](qvhost::Scene& s) {
        At(s, "Stage/Box").SetName(held);
        At(s, "Floor").SetName(held + "x");
      });
      ASSERT_EQ(live.size(), 2u);
      expectCut(live);
      expectCut(byPath);
      // Every part of a line keeps its start: the path, the field, both values.
      EXPECT_EQ(live[0].rfind("Stage/" + start, 0), 0u) << live[0];
      EXPECT_NE(live[0].find("...: name: \"Box\" -> \"" + start), std::string::npos) << live[0];
      EXPECT_EQ(live[0].substr(live[0].size() - 3), "...") << live[0];
      EXPECT_EQ(byPath, text);
    }
  }
}

TEST_F(TreeChangesTest, TextThatIsNoSceneIsRefusedSayingWhereAndSoIsABrokenSnapshot) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"[1]", "pair.json: $: expected an object"},
      {R"({"elements": 5})", "pair.json: $.elements: expected an array of elements"},
      {R"({"elements": [{"name": "A", "children": [7]}]})", "pair.json: $.elements[0].children[0]: expected an element"},
      {R"({"elements": [{"name": 3}]})", "pair.json: $.elements[0].name: expected the element's name"},
      {R"({"elements": [)", "pair.json"},
  };
  for (const Case& c : cases) {
    try {
      TreeSnapshot::FromText(c.text, "pair.json");
      ADD_FAILURE() << c.text << " was read";
    } catch (const qvhost::HostError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.expected, 0), 0u) << error.what();
    }
  }
  EXPECT_THROW(TreeSnapshot::FromFile(std::string(QV_TEST_DATA) + "/no-such-scene.json"), qvhost::HostError);
  const TreeSnapshot file = TreeSnapshot::FromFile(std::string(QV_TEST_DATA) + "/every-section.qvscene.json");
  EXPECT_FALSE(file.elements.empty());
  // A snapshot made by hand whose element names a later one as its parent.
  TreeSnapshot forward;
  forward.elements.resize(2);
  forward.elements[0].identity = "a";
  forward.elements[0].parent = 1;
  forward.elements[1].identity = "b";
  EXPECT_THROW(TreeChanges(forward, file), std::invalid_argument);
}

}  // namespace
