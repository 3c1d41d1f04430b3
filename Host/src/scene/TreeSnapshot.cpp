// Snapshots of a scene's element tree, from a live document or from scene text.
#include "qvhost/TreeSnapshot.h"

#include <fstream>
#include <map>
#include <sstream>

#include "../JsonCheck.h"
#include "CanonicalJson.h"
#include "qvhost/CodePageText.h"
#include "qvhost/Document.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"

using nlohmann::ordered_json;

namespace qvhost {

namespace {

// `object` without one of its keys, copying only what it keeps.
ordered_json Without(const ordered_json& object, const char* key) {
  ordered_json kept = ordered_json::object();
  for (auto it = object.begin(); it != object.end(); ++it)
    if (it.key() != key) kept[it.key()] = it.value();
  return kept;
}

// Walks the "elements" of a scene's JSON in tree order, checking what the snapshot reads
// of each; `Identify` decides the identity and path of each element met.
class SnapshotBuilder {
 public:
  explicit SnapshotBuilder(std::string name) : fName(std::move(name)) {}
  virtual ~SnapshotBuilder() = default;

  TreeSnapshot Build(const ordered_json& scene) {
    if (!scene.is_object()) Fail("$", "an object");
    TreeSnapshot snapshot;
    snapshot.rest = CanonicalJson(Without(scene, "elements"));
    if (const auto elements = scene.find("elements"); elements != scene.end())
      Children(*elements, "$.elements", TreeSnapshot::kNone, snapshot);
    return snapshot;
  }

 protected:
  // Sets the identity and path of `element` (its name, parent and previous sibling are
  // set); `where` is its JSON path.
  virtual void Identify(TreeSnapshot::Element& element, const TreeSnapshot& snapshot, const std::string& where) = 0;

  [[noreturn]] void Fail(const std::string& where, const std::string& expected) const {
    throw HostError(fName + ": " + where + ": expected " + expected);
  }

 private:
  void Children(const ordered_json& list, const std::string& where, size_t parent, TreeSnapshot& snapshot) {
    if (!list.is_array()) Fail(where, "an array of elements");
    size_t previous = TreeSnapshot::kNone;
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string at = JsonPath(where, i);
      const ordered_json& entry = list[i];
      if (!entry.is_object()) Fail(at, "an element");
      const auto name = entry.find("name");
      if (name == entry.end() || !name->is_string()) Fail(JsonPath(at, "name"), "the element's name");
      TreeSnapshot::Element element;
      element.name = name->get<std::string>();
      element.parent = parent;
      element.previous = previous;
      element.fields = CanonicalJson(Without(entry, "children"));
      Identify(element, snapshot, at);
      previous = snapshot.elements.size();
      snapshot.elements.push_back(std::move(element));
      if (const auto children = entry.find("children"); children != entry.end())
        Children(*children, JsonPath(at, "children"), previous, snapshot);
    }
  }

  std::string fName;
};

// Scene text: an element is its path, told apart from earlier siblings of its name by
// how many of them there are.
class TextSnapshotBuilder final : public SnapshotBuilder {
 public:
  using SnapshotBuilder::SnapshotBuilder;

 private:
  void Identify(TreeSnapshot::Element& element, const TreeSnapshot& snapshot, const std::string&) override {
    const bool top = element.parent == TreeSnapshot::kNone;
    const TreeSnapshot::Element* parent = top ? nullptr : &snapshot.elements[element.parent];
    element.path = top ? element.name : parent->path + "/" + element.name;
    const std::string base = (top ? std::string() : parent->identity + "/") + element.name;
    const size_t earlier = fSeen[base]++;
    element.identity = earlier == 0 ? base : base + "#" + std::to_string(earlier);
  }

  std::map<std::string, size_t> fSeen;  // elements met per identity without the count
};

// A live document: the JSON of its scene text lists its elements in the order of its
// tree, so the n-th element met is the n-th descendant of the root.
class LiveSnapshotBuilder final : public SnapshotBuilder {
 public:
  LiveSnapshotBuilder(std::vector<SceneElement*> elements, uint32_t codePage)
      : SnapshotBuilder("the document"), fElements(std::move(elements)), fCodePage(codePage) {}

 private:
  void Identify(TreeSnapshot::Element& element, const TreeSnapshot& snapshot, const std::string& where) override {
    const size_t index = snapshot.elements.size();
    if (index >= fElements.size()) Fail(where, "an element of the document's tree");
    const SceneElement& live = *fElements[index];
    element.identity = "#" + std::to_string(live.Serial());
    // The tree holds its names in the code page; the scene text, and so the report, UTF-8.
    element.path = ShownFromCodePage(live.Path(), fCodePage);
    element.name = ShownFromCodePage(live.Name(), fCodePage);
  }

  std::vector<SceneElement*> fElements;
  uint32_t fCodePage;
};

}  // namespace

TreeSnapshot TreeSnapshot::Of(Document& document) {
  LiveSnapshotBuilder builder(document.GetScene().Root().Descendants(), document.codePage);
  return builder.Build(ordered_json::parse(SceneText(document)));
}

TreeSnapshot TreeSnapshot::FromText(const std::string& text, const std::string& name) {
  JsonCheck::Parse(text, name);  // refuses what is not one JSON document, saying where
  TextSnapshotBuilder builder(name);
  return builder.Build(ordered_json::parse(text));
}

TreeSnapshot TreeSnapshot::FromFile(const std::string& path) {
  JsonCheck::ReadFile(path);  // refuses a missing, irregular, too large or malformed file
  std::ifstream file(path, std::ios::binary);
  if (!file) throw HostError(ShownPath(path) + ": cannot read the file");
  std::ostringstream text;
  text << file.rdbuf();
  return FromText(text.str(), ShownPath(path));
}

}  // namespace qvhost
