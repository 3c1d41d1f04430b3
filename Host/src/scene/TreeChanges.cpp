// Change reports between two snapshots of a scene's element tree.
#include "qvhost/TreeChanges.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

#include "JsonChanges.h"
#include "ReportLine.h"

using nlohmann::ordered_json;

namespace qvhost {

namespace {

using Element = TreeSnapshot::Element;
constexpr size_t kNone = TreeSnapshot::kNone;

// A snapshot lists parents and previous siblings before the elements that name them; one
// that does not is refused rather than read out of bounds.
void CheckOrder(const TreeSnapshot& snapshot) {
  for (size_t i = 0; i < snapshot.elements.size(); ++i) {
    const Element& element = snapshot.elements[i];
    if ((element.parent != kNone && element.parent >= i) || (element.previous != kNone && element.previous >= i))
      throw std::invalid_argument("tree snapshot: element " + std::to_string(i) + " names a later element");
  }
}

// "<verb> P after S", "<verb> P under Q" or "<verb> P first at the top level": where
// the element stands in its snapshot.
std::string PlacedLine(const char* verb, const TreeSnapshot& snapshot, const Element& element, size_t width) {
  const std::string head = std::string(verb) + " ";
  if (element.previous != kNone)
    return FitLine({element.path, snapshot.elements[element.previous].path}, {head, " after ", ""}, width);
  if (element.parent != kNone)
    return FitLine({element.path, snapshot.elements[element.parent].path}, {head, " under ", ""}, width);
  return FitLine({element.path}, {head, " first at the top level"}, width);
}

// The positions of `sequence` outside one longest increasing run: the fewest elements
// whose moves explain the new order of the others.
std::vector<bool> OutOfOrder(const std::vector<size_t>& sequence) {
  std::vector<size_t> tails;                       // position ending the best run of each length
  std::vector<size_t> before(sequence.size(), kNone);  // the position before it in that run
  for (size_t i = 0; i < sequence.size(); ++i) {
    const auto at = std::lower_bound(tails.begin(), tails.end(), sequence[i],
                                     [&](size_t position, size_t value) { return sequence[position] < value; });
    if (at != tails.begin()) before[i] = *std::prev(at);
    if (at == tails.end())
      tails.push_back(i);
    else
      *at = i;
  }
  std::vector<bool> moved(sequence.size(), true);
  for (size_t i = tails.empty() ? kNone : tails.back(); i != kNone; i = before[i]) moved[i] = false;
  return moved;
}

class ChangeReport {
 public:
  ChangeReport(const TreeSnapshot& before, const TreeSnapshot& after, const TreeChangeOptions& options)
      : fBefore(before), fAfter(after), fOptions(options), fMatch(after.elements.size(), kNone),
        fKept(before.elements.size(), false), fMoved(after.elements.size(), false) {
    CheckOrder(before);
    CheckOrder(after);
    std::unordered_map<std::string, size_t> index;  // the elements before by identity
    index.reserve(before.elements.size());
    for (size_t i = 0; i < before.elements.size(); ++i) index.emplace(before.elements[i].identity, i);
    for (size_t i = 0; i < after.elements.size(); ++i)
      if (const auto found = index.find(after.elements[i].identity); found != index.end() && !fKept[found->second]) {
        fMatch[i] = found->second;
        fKept[found->second] = true;
      }
    FindReorderedSiblings();
  }

  std::vector<std::string> Lines() {
    for (const Element& element : fBefore.elements)
      if (!fKept[&element - fBefore.elements.data()] && (element.parent == kNone || fKept[element.parent]))
        fLines.push_back(FitLine({element.path}, {"removed ", ""}, fOptions.width));
    for (size_t i = 0; i < fAfter.elements.size(); ++i) {
      const Element& element = fAfter.elements[i];
      if (fMatch[i] == kNone) {
        if (element.parent == kNone || fMatch[element.parent] != kNone)
          fLines.push_back(PlacedLine("inserted", fAfter, element, fOptions.width));
        continue;
      }
      const Element& was = fBefore.elements[fMatch[i]];
      if (fMoved[i] || !SameParent(i))
        fLines.push_back(PlacedLine("moved", fAfter, element, fOptions.width));
      if (was.fields != element.fields) Fields(&element.path, Parse(was.fields), Parse(element.fields), "");
    }
    if (fBefore.rest != fAfter.rest) Fields(nullptr, Parse(fBefore.rest), Parse(fAfter.rest), "$");
    return std::move(fLines);
  }

 private:
  static ordered_json Parse(const std::string& text) { return ordered_json::parse(text); }

  // Whether the element at `i` after, found before, has the same parent (or none) as then.
  bool SameParent(size_t i) const {
    const size_t parent = fAfter.elements[i].parent;
    const size_t was = fBefore.elements[fMatch[i]].parent;
    if (parent == kNone || was == kNone) return parent == was;
    return fMatch[parent] == was;
  }

  // Marks the elements that kept their parent but not their order among the siblings
  // that kept it too.
  void FindReorderedSiblings() {
    std::vector<size_t> rank(fBefore.elements.size(), 0);  // place among its siblings
    for (size_t i = 0; i < fBefore.elements.size(); ++i)
      if (const size_t previous = fBefore.elements[i].previous; previous != kNone) rank[i] = rank[previous] + 1;
    std::unordered_map<size_t, std::vector<size_t>> kept;  // after parent -> children in order
    for (size_t i = 0; i < fAfter.elements.size(); ++i) {
      const Element& element = fAfter.elements[i];
      if (fMatch[i] != kNone && SameParent(i))
        kept[element.parent].push_back(i);
    }
    for (const auto& [parent, children] : kept) {
      std::vector<size_t> order;
      order.reserve(children.size());
      for (size_t child : children) order.push_back(rank[fMatch[child]]);
      const std::vector<bool> moved = OutOfOrder(order);
      for (size_t k = 0; k < children.size(); ++k) fMoved[children[k]] = moved[k];
    }
  }

  // "P: field: old -> new" for a changed field of the element at `path`, or
  // "where: old -> new" outside the elements (no path).
  void Fields(const std::string* path, const ordered_json& was, const ordered_json& is, const std::string& where) {
    std::vector<ValueChange> changes;
    CompareJson(was, is, where, changes);
    for (const ValueChange& change : changes) {
      // Inside an element the path starts at its fields: "transform.scale".
      const std::string field = where.empty() ? change.where.substr(1) : change.where;
      if (fOptions.skipField && fOptions.skipField(field)) continue;
      fLines.push_back(path ? FitLine({*path, field, change.before, change.after}, {"", ": ", ": ", " -> ", ""},
                                      fOptions.width)
                            : FitLine({field, change.before, change.after}, {"", ": ", " -> ", ""}, fOptions.width));
    }
  }

  const TreeSnapshot& fBefore;
  const TreeSnapshot& fAfter;
  const TreeChangeOptions& fOptions;
  std::vector<size_t> fMatch;  // per after-element, the same element's index before
  std::vector<bool> fKept;     // per before-element, whether it is still there after
  std::vector<bool> fMoved;    // per after-element, reordered among its kept siblings
  std::vector<std::string> fLines;
};

}  // namespace

TreeChangeOptions TreeChangeOptions::WithoutKeys() {
  TreeChangeOptions options;
  options.skipField = IsKeyField;
  return options;
}

bool IsKeyField(const std::string& field) {
  return field.rfind("track[", 0) == 0 || field.find(".track[") != std::string::npos;
}

std::vector<std::string> TreeChanges(const TreeSnapshot& before, const TreeSnapshot& after,
                                     const TreeChangeOptions& options) {
  return ChangeReport(before, after, options).Lines();
}

}  // namespace qvhost
