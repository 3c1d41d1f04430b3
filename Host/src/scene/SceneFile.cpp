// Reading, writing and comparing scene files.
#include "qvhost/SceneFile.h"

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

#include "../JsonCheck.h"
#include "CanonicalJson.h"
#include "../files/HostFile.h"
#include "ParameterFields.h"
#include "qvhost/AtomicFile.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/TokenStream.h"
#include "qvplatform/Platform.h"
#include "qvhost/CodePageText.h"

using nlohmann::json;
using nlohmann::ordered_json;

namespace qvhost {

namespace {

constexpr int kFormatVersion = 1;
constexpr uint32_t kDefaultCodePage = 1252;
// Deeper nesting of children or sub-nodes is refused: no real scene needs it, and reading
// and writing recurse over it.
constexpr int kMaxNesting = 256;
// The text is handed on in pieces of about this size, between top-level elements.
constexpr size_t kWrittenPiece = size_t(1) << 16;

// `value` when it is an integer within 32 bits (no message needed).
bool PlainInt32(const json& value, int32_t& out) {
  if (value.is_number_unsigned()) {
    if (value.get<uint64_t>() > uint64_t(INT32_MAX)) return false;
  } else if (!value.is_number_integer() || value.get<int64_t>() < INT32_MIN || value.get<int64_t>() > INT32_MAX) {
    return false;
  }
  out = int32_t(value.get<int64_t>());
  return true;
}

// What the render setup does after a stopped render, as the file names it.
bool ParseAfterStop(const std::string& text, AfterStop& out) {
  if (text == "none")
    out = AfterStop::None;
  else if (text == "restoreTime")
    out = AfterStop::RestoreTime;
  else
    return false;
  return true;
}

class SceneReader {
 public:
  SceneReader(const std::string& file, std::shared_ptr<Journal> journal, ComponentMaker* maker, uint32_t codePage)
      : fCheck(file), fJournal(std::move(journal)), fMaker(maker), fOverride(codePage) {}

  // The top-level elements are read one by one while the file is parsed: each is told
  // here with the top-level object as far as it is read.
  JsonCheck::Entries TopLevelElements() {
    return {"elements", [this](const json& top, json& entry, size_t index) {
              Begin(top);
              ReadElement(entry, JsonPath(JsonPath("$", "elements"), index), fScene->Root(), 0);
            }};
  }

  TQVCountedPtr<Document> Read(const json& document) {
    const std::string root = "$";
    fCheck.Object(document, root,
                  {"qvscene", "codePage", "time", "elements", "objects", "owners", "extra", "selection", "view", "render"});
    CheckVersion(fCheck.Required(document, root, "qvscene"));
    const bool readElements = fDocument.Get() != nullptr;
    Begin(document);
    if (readElements && document.contains("codePage") && fDocument->fileCodePage == 0) {
      // Named after the elements, which are in the code page already: only an override
      // or the same code page does.
      const uint32_t codePage = FileCodePage(document);
      fDocument->fileCodePage = codePage;
      if (fOverride == 0 && codePage != fCodePage)
        fCheck.Fail(JsonPath(root, "codePage"), "\"codePage\" before \"elements\" (the elements were read in " +
                                                    std::to_string(fCodePage) + ")");
    }
    TQVCountedPtr<Document> made = fDocument;
    Scene& scene = made->GetScene();
    if (document.contains("elements"))
      ReadElements(document["elements"], JsonPath(root, "elements"), scene.Root());
    if (document.contains("objects")) {
      const std::string where = JsonPath(root, "objects");
      const auto& objects = fCheck.Array(document["objects"], where);
      for (size_t i = 0; i < objects.size(); ++i) scene.objects.push_back(Object(objects[i], JsonPath(where, i)));
    }
    if (document.contains("owners")) {
      const std::string where = JsonPath(root, "owners");
      const auto& owners = fCheck.Array(document["owners"], where);
      for (size_t i = 0; i < owners.size(); ++i) {
        const std::string at = JsonPath(where, i);
        const auto& entry = fCheck.Object(owners[i], at, {"name", "owned"});
        auto owner = Adopt<ObjectOwner>(
            new ObjectOwner(Text(fCheck.Required(entry, at, "name"), JsonPath(at, "name"))));
        if (entry.contains("owned")) owner->owned = Object(entry["owned"], JsonPath(at, "owned"));
        scene.owners.push_back(owner);
      }
    }
    if (document.contains("extra")) scene.extra = Object(document["extra"], JsonPath(root, "extra"));
    if (document.contains("selection")) {
      const std::string where = JsonPath(root, "selection");
      const auto& selection = fCheck.Array(document["selection"], where);
      const auto elements = scene.Root().PathIndex();
      for (size_t i = 0; i < selection.size(); ++i) {
        const std::string at = JsonPath(where, i);
        const std::string path = Text(selection[i], at);
        auto found = elements.find(path);
        if (found == elements.end()) fCheck.Fail(at, "the path of an element of the scene (no element \"" + ShownFromCodePage(path, fCodePage) + "\")");
        SceneElement* element = found->second;
        scene.GetSelection().Add(QVFourCC("Tree"), static_cast<IHostTreeElement*>(element));
      }
    }
    // Every selected key is a 'KeyF' item of the selection, after the elements.
    for (Key* key : fSelectedKeys) scene.GetSelection().Add(QVFourCC("KeyF"), static_cast<IHostKeyframe*>(key));
    // Then every selected interpolator, a 'Twee' item.
    for (Interpolator* interpolator : fSelectedInterpolators)
      scene.GetSelection().Add(QVFourCC("Twee"), static_cast<IHostInterpolator*>(interpolator));
    if (document.contains("view")) ReadView(document["view"], JsonPath(root, "view"), made->GetOrAddView());
    if (document.contains("render")) ReadRender(document["render"], JsonPath(root, "render"), scene.GetHostRenderSetup());
    if (document.contains("time"))
      scene.time = int32_t(fCheck.Integer(document["time"], JsonPath(root, "time"), INT32_MIN, INT32_MAX));
    // The host works in the scene's code page from here on: its modules see the texts so.
    if (QVPlatform_GetACP() != fCodePage) QVPlatform_SetACP(fCodePage, nullptr);
    for (const PendingComponent& pending : fComponents) ReadComponent(pending);
    made->SetTime(scene.time);
    return made;
  }

 private:
  // Makes the document, once: checks the version and takes the code page, as far as the
  // top-level object read so far gives them.
  void Begin(const json& top) {
    if (fDocument) return;
    const std::string root = "$";
    if (top.contains("qvscene")) CheckVersion(top["qvscene"]);
    fDocument = Adopt<Document>(new Document(fJournal));
    if (top.contains("codePage")) fDocument->fileCodePage = FileCodePage(top);
    fCodePage = fOverride != 0 ? fOverride : fDocument->fileCodePage != 0 ? fDocument->fileCodePage : kDefaultCodePage;
    if (!IsKnownCodePage(fCodePage)) fCheck.Fail(root, std::string("a code page of ") + KnownCodePages());
    fDocument->codePage = fCodePage;
    fScene = &fDocument->GetScene();
  }

  void CheckVersion(const json& version) const {
    if (version.is_number_integer() && version.get<int64_t>() == kFormatVersion) return;
    const std::string given = version.is_number() ? version.dump() : "not a version number";
    fCheck.Fail(JsonPath("$", "qvscene"), "the format version " + std::to_string(kFormatVersion) +
                                              " (this host reads version " + std::to_string(kFormatVersion) +
                                              " only; the file has " + ShownValue(given) + ")");
  }

  uint32_t FileCodePage(const json& top) const {
    const std::string at = JsonPath("$", "codePage");
    const auto codePage = uint32_t(fCheck.Integer(top["codePage"], at, 0, INT32_MAX));
    if (!IsKnownCodePage(codePage)) fCheck.Fail(at, std::string("a code page of ") + KnownCodePages());
    return codePage;
  }

  // A text of the file in the scene's code page.
  std::string Text(const json& value, const std::string& where) const {
    std::string text, expected;
    if (!ToCodePage(fCheck.String(value, where), fCodePage, text, expected)) fCheck.Fail(where, expected);
    return text;
  }

  float Float(const json& value, const std::string& where) const {
    const double number = fCheck.Number(value, where);
    if (!std::isfinite(float(number))) fCheck.Fail(where, "a number within the range of a float");
    return float(number);
  }

  void Floats(const json& value, const std::string& where, float* out, size_t count) const {
    const auto& array = fCheck.Array(value, where);
    if (array.size() != count) fCheck.Fail(where, "an array of " + std::to_string(count) + " numbers");
    for (size_t i = 0; i < count; ++i) out[i] = Float(array[i], JsonPath(where, i));
  }

  TQVTransform Transform(const json& value, const std::string& where) const {
    fCheck.Object(value, where, {"rotation", "translation", "scale", "pivot", "axisScale"});
    TQVTransform transform;
    if (value.contains("rotation")) Floats(value["rotation"], JsonPath(where, "rotation"), transform.rotation.m, 9);
    if (value.contains("translation"))
      Floats(value["translation"], JsonPath(where, "translation"), &transform.translation.x, 3);
    if (value.contains("scale")) transform.uniformScale = Float(value["scale"], JsonPath(where, "scale"));
    if (value.contains("pivot")) Floats(value["pivot"], JsonPath(where, "pivot"), &transform.pivot.x, 3);
    if (value.contains("axisScale"))
      Floats(value["axisScale"], JsonPath(where, "axisScale"), &transform.axisScale.x, 3);
    return transform;
  }

  TQVCountedPtr<AnimatedObject> Object(const json& value, const std::string& where) {
    const auto& entry = fCheck.Object(value, where, {"name", "animation"});
    auto object = Adopt<AnimatedObject>(
        new AnimatedObject(Text(fCheck.Required(entry, where, "name"), JsonPath(where, "name"))));
    if (entry.contains("animation"))
      object->SetNode(Node(entry["animation"], JsonPath(where, "animation"), object->Name()).Get());
    return object;
  }

  // `translations`: the keys of an element's own track, which may carry one.
  void Keys(const json& value, const std::string& where, KeyTrack& track, bool translations = false) {
    const auto& keys = fCheck.Array(value, where);
    // Times in rising order cannot repeat; only a track out of order needs the set.
    int64_t last = INT64_MIN;
    bool rising = true;
    std::set<int32_t> times;
    for (size_t i = 0; i < keys.size(); ++i) {
      const std::string at = JsonPath(where, i);
      const auto& entry =
          translations ? fCheck.Object(keys[i], at, {"time", "translation", "selected", "interpolator", "interpolatorSelected"})
                       : fCheck.Object(keys[i], at, {"time", "selected", "interpolator", "interpolatorSelected"});
      const json& time = fCheck.Required(entry, at, "time");
      int32_t ticks;
      if (!PlainInt32(time, ticks)) ticks = int32_t(fCheck.Integer(time, JsonPath(at, "time"), INT32_MIN, INT32_MAX));
      const bool selected = entry.contains("selected") && fCheck.Boolean(entry["selected"], JsonPath(at, "selected"));
      // Two keys at one time would load as one.
      if (rising && ticks > last) {
        last = ticks;
      } else {
        if (rising)
          for (const auto& earlier : track.Keys()) times.insert(earlier->Ticks());
        rising = false;
        if (!times.insert(ticks).second)
          fCheck.Fail(JsonPath(at, "time"), "a time no other key of this track has (" + std::to_string(ticks) + " is taken)");
      }
      Key& key = track.Add(ticks, selected);
      if (selected) fSelectedKeys.push_back(&key);
      if (entry.contains("translation")) {
        TQVVector3 translation;
        Floats(entry["translation"], JsonPath(at, "translation"), &translation.x, 3);
        key.SetTranslation(translation);
      }
      if (entry.contains("interpolator")) {
        const std::string where = JsonPath(at, "interpolator");
        const std::string type = fCheck.String(entry["interpolator"], where);
        if (type != "none" && !IsInterpolatorType(type))
          fCheck.Fail(where, std::string("an interpolator type (") + InterpolatorTypes() + ") or none");
        key.Install(type == "none" ? nullptr : Adopt<IHostInterpolator>(new Interpolator(type)).Get());
      }
      if (entry.contains("interpolatorSelected") &&
          fCheck.Boolean(entry["interpolatorSelected"], JsonPath(at, "interpolatorSelected"))) {
        if (!key.GetInterpolator()) fCheck.Fail(JsonPath(at, "interpolatorSelected"), "an interpolator to select");
        fSelectedInterpolators.push_back(key.GetInterpolator());
      }
    }
  }

  TQVCountedPtr<AnimationNode> Node(const json& value, const std::string& where, const std::string& owner,
                                    int depth = 0, bool translations = false) {
    if (depth >= kMaxNesting) fCheck.Fail(where, "at most " + std::to_string(kMaxNesting) + " levels of sub-nodes");
    const auto& entry = fCheck.Object(value, where, {"track", "suspended", "channels"});
    auto node = Adopt<AnimationNode>(new AnimationNode(owner, fJournal));
    if (entry.contains("track")) Keys(entry["track"], JsonPath(where, "track"), node->Track(), translations);
    if (entry.contains("suspended")) node->suspended = fCheck.Boolean(entry["suspended"], JsonPath(where, "suspended"));
    if (entry.contains("channels")) {
      const std::string channelsPath = JsonPath(where, "channels");
      const auto& channels = fCheck.Array(entry["channels"], channelsPath);
      for (size_t i = 0; i < channels.size(); ++i) {
        const std::string at = JsonPath(channelsPath, i);
        const auto& item = fCheck.Object(channels[i], at, {"name", "eligible", "track", "node"});
        AnimationChannel& channel =
            node->AddChannel(Text(fCheck.Required(item, at, "name"), JsonPath(at, "name")));
        if (item.contains("eligible")) {
          const std::string flagsPath = JsonPath(at, "eligible");
          const auto& flags = fCheck.Array(item["eligible"], flagsPath);
          if (flags.size() != 2) fCheck.Fail(flagsPath, "two flags [true|false, true|false]");
          for (size_t f = 0; f < 2; ++f) channel.eligible[f] = fCheck.Boolean(flags[f], JsonPath(flagsPath, f));
        }
        if (item.contains("node") == item.contains("track"))
          fCheck.Fail(at, "either \"track\" (a key-track channel) or \"node\" (a sub-node channel)");
        if (item.contains("node")) {
          channel.subNode = Node(item["node"], JsonPath(at, "node"), owner + ":" + channel.Name(), depth + 1);
        } else {
          channel.track = Adopt<KeyTrack>(new KeyTrack());
          Keys(item["track"], JsonPath(at, "track"), *channel.track);
        }
      }
    }
    return node;
  }

  void ReadElements(const json& value, const std::string& where, SceneElement& parent, int depth = 0) {
    if (depth >= kMaxNesting) fCheck.Fail(where, "at most " + std::to_string(kMaxNesting) + " levels of children");
    const auto& elements = fCheck.Array(value, where);
    for (size_t i = 0; i < elements.size(); ++i) ReadElement(elements[i], JsonPath(where, i), parent, depth);
  }

  void ReadElement(const json& value, const std::string& at, SceneElement& parent, int depth) {
    const auto& entry = fCheck.Object(value, at,
                                      {"name", "id", "transform", "mesh", "animation", "components", "children"});
    const std::string name = Text(fCheck.Required(entry, at, "name"), JsonPath(at, "name"));
    if (name.empty() || name.find('/') != std::string::npos)
      fCheck.Fail(JsonPath(at, "name"), "a non-empty name without '/'");
    auto element = SceneElement::Create(name);
    if (entry.contains("id")) {
      const std::string idPath = JsonPath(at, "id");
      const int32_t id = int32_t(fCheck.Integer(entry["id"], idPath, 1, INT32_MAX));
      if (!fIdentifiers.insert(id).second) fCheck.Fail(idPath, "an identifier no other element has");
      element->SetIdentifier(id);
    }
    if (entry.contains("transform")) element->SetLocal(Transform(entry["transform"], JsonPath(at, "transform")));
    if (entry.contains("mesh")) element->SetMeshPoints(Mesh(entry["mesh"], JsonPath(at, "mesh")));
    parent.Append(element.Get());
    if (entry.contains("animation"))
      element->SetNode(Node(entry["animation"], JsonPath(at, "animation"), element->Path(), 0, true).Get());
    if (entry.contains("components"))
      ReadComponents(entry["components"], JsonPath(at, "components"), *element, parent);
    if (entry.contains("children")) ReadElements(entry["children"], JsonPath(at, "children"), *element, depth + 1);
  }

  std::vector<TQVVector3> Mesh(const json& value, const std::string& where) const {
    fCheck.Object(value, where, {"points"});
    const std::string pointsPath = JsonPath(where, "points");
    const auto& points = fCheck.Array(fCheck.Required(value, where, "points"), pointsPath);
    if (points.size() % 3 != 0) fCheck.Fail(pointsPath, "an array of x, y, z numbers, three per point");
    std::vector<TQVVector3> mesh(points.size() / 3);
    for (size_t i = 0; i < points.size(); ++i) (&mesh[i / 3].x)[i % 3] = Float(points[i], JsonPath(pointsPath, i));
    return mesh;
  }

  // Components are made once the whole file has been checked, so bad input is refused
  // before any module runs.
  struct PendingComponent {
    std::string where, component, data;
    SceneElement* element;
  };

  void ReadComponents(const json& value, const std::string& where, SceneElement& element, SceneElement&) {
    const auto& components = fCheck.Array(value, where);
    for (size_t i = 0; i < components.size(); ++i) {
      const std::string at = JsonPath(where, i);
      const auto& entry = fCheck.Object(components[i], at, {"component", "data"});
      PendingComponent pending{at, fCheck.String(fCheck.Required(entry, at, "component"), JsonPath(at, "component")),
                               "", &element};
      if (entry.contains("data")) {
        const std::string dataPath = JsonPath(at, "data");
        const auto& lines = fCheck.Array(entry["data"], dataPath);
        for (size_t l = 0; l < lines.size(); ++l) pending.data += Text(lines[l], JsonPath(dataPath, l)) + "\n";
      }
      if (!fMaker) fCheck.Fail(JsonPath(at, "component"), "no component: modules are not at hand here");
      fComponents.push_back(pending);
    }
  }

  void ReadComponent(const PendingComponent& pending) {
    Scene& scene = *fScene;
    fMaker->Reading(pending.data.empty() ? pending.where : JsonPath(pending.where, "data"));
    TQVCountedPtr<ComponentCarrier> carrier = fMaker->Make(scene, pending.component);
    pending.element->AttachComponent(carrier.Get());
    if (pending.data.empty()) return;
    auto persistence = carrier->Query<ITokenPersistence>();
    if (!persistence) fCheck.Fail(JsonPath(pending.where, "data"), "no data: " + pending.component + " keeps none");
    auto stream = TokenStream::ForReading(pending.data);
    FieldReading fields{carrier->Dialog(), carrier->Block(), ""};
    const QVResult read = persistence->Read(stream.Get(), &ReadHostField, &fields);
    if (!fields.error.empty()) fCheck.Fail(JsonPath(pending.where, "data"), fields.error);
    if (read != kQVOk)
      fCheck.Fail(JsonPath(pending.where, "data"),
                  "data " + pending.component + " can read (it answered " + FormatResult(read) + ")");
  }

  // What a component's Read hands the host: the items it does not know itself are the
  // fields of its parameter block the host saved (modifiers), read into the block.
  struct FieldReading {
    const DialogResource* dialog;
    void* block;
    std::string error;  // the first item that could not be read
  };
  static QVResult ReadHostField(uint32_t, IHostTokenStream* stream, void* user) {
    auto& reading = *static_cast<FieldReading*>(user);
    TokenStream* ours = TokenStream::From(stream);
    if (!ours || !reading.dialog) {
      if (stream) stream->SkipItem();
      return kQVOk;
    }
    const std::string error = ReadParameterField(*ours, *reading.dialog, reading.block);
    if (!error.empty() && reading.error.empty()) reading.error = error;
    return error.empty() ? kQVOk : kQVErrMalformedData;
  }

  void ReadView(const json& value, const std::string& where, View3D& view) {
    fCheck.Object(value, where, {"panes"});
    const std::string panesPath = JsonPath(where, "panes");
    const auto& panes = fCheck.Array(fCheck.Required(value, where, "panes"), panesPath);
    for (size_t i = 0; i < panes.size(); ++i) {
      const std::string at = JsonPath(panesPath, i);
      const auto& entry = fCheck.Object(panes[i], at, {"name", "active", "offset", "scale", "locked"});
      ViewPane& pane =
          view.AddPane(Text(fCheck.Required(entry, at, "name"), JsonPath(at, "name")), fJournal);
      if (entry.contains("active")) pane.active = fCheck.Boolean(entry["active"], JsonPath(at, "active"));
      if (entry.contains("locked")) pane.View().locked = fCheck.Boolean(entry["locked"], JsonPath(at, "locked"));
      if (entry.contains("offset")) {
        const std::string offsetPath = JsonPath(at, "offset");
        const auto& offset = fCheck.Array(entry["offset"], offsetPath);
        if (offset.size() != 2) fCheck.Fail(offsetPath, "an array of 2 integers");
        pane.View().SetOffset(int32_t(fCheck.Integer(offset[0], JsonPath(offsetPath, 0), INT32_MIN, INT32_MAX)),
                              int32_t(fCheck.Integer(offset[1], JsonPath(offsetPath, 1), INT32_MIN, INT32_MAX)));
      }
      if (entry.contains("scale")) pane.View().SetScale(Float(entry["scale"], JsonPath(at, "scale")));
    }
  }

  void ReadRender(const json& value, const std::string& where, RenderSetup& setup) {
    fCheck.Object(value, where, {"frameRate", "size", "afterStop"});
    if (value.contains("frameRate"))
      setup.frameRate =
          int32_t(fCheck.Integer(value["frameRate"], JsonPath(where, "frameRate"), 1, RenderSetup::kMaxFrameRate));
    if (value.contains("size")) {
      const std::string sizePath = JsonPath(where, "size");
      const auto& size = fCheck.Array(value["size"], sizePath);
      if (size.size() != 2) fCheck.Fail(sizePath, "an array of 2 integers, width and height");
      const auto width = uint32_t(fCheck.Integer(size[0], JsonPath(sizePath, 0), 1, kMaxRenderSize));
      const auto height = uint32_t(fCheck.Integer(size[1], JsonPath(sizePath, 1), 1, kMaxRenderSize));
      setup.SetOutputSize(width, height);
    }
    if (value.contains("afterStop")) {
      const std::string at = JsonPath(where, "afterStop");
      const std::string operation = fCheck.String(value["afterStop"], at);
      if (!ParseAfterStop(operation, setup.afterStop)) fCheck.Fail(at, "\"none\" or \"restoreTime\"");
    }
  }

  JsonCheck fCheck;
  std::shared_ptr<Journal> fJournal;
  ComponentMaker* fMaker;
  uint32_t fOverride;       // the code page asked for; 0: the file's own
  uint32_t fCodePage = 0;   // the one in use, once the document is made
  TQVCountedPtr<Document> fDocument;
  Scene* fScene = nullptr;
  std::vector<PendingComponent> fComponents;
  std::set<int32_t> fIdentifiers;
  std::vector<Key*> fSelectedKeys;                    // in file order
  std::vector<Interpolator*> fSelectedInterpolators;  // in file order
};

// The render setup's values that differ from the defaults.
ordered_json RenderJson(RenderSetup& setup) {
  ordered_json out = ordered_json::object();
  if (setup.frameRate != RenderSetup::kDefaultFrameRate) out["frameRate"] = setup.frameRate;
  uint32_t width = 0, height = 0;
  setup.GetOutputSize(&width, &height);
  if (width != RenderSetup::kDefaultWidth || height != RenderSetup::kDefaultHeight) out["size"] = {width, height};
  if (setup.afterStop == AfterStop::RestoreTime) out["afterStop"] = "restoreTime";
  return out;
}

// A text of the document (in its code page) as the file holds it; `where` names it when
// the bytes are no text of that code page.
std::string Utf8(const std::string& text, uint32_t codePage, const std::string& where) {
  std::string out;
  if (!FromCodePage(text, codePage, out))
    throw HostError(ShownFromCodePage(where, codePage) + ": cannot be saved: its text is not text of code page " + std::to_string(codePage));
  return out;
}

ordered_json FloatArray(const float* values, size_t count) {
  ordered_json array = ordered_json::array();
  for (size_t i = 0; i < count; ++i) array.push_back(double(values[i]));
  return array;
}

bool SameFloats(const float* a, const float* b, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

ordered_json TransformJson(const TQVTransform& t) {
  const TQVTransform identity;
  ordered_json out = ordered_json::object();
  if (!SameFloats(t.rotation.m, identity.rotation.m, 9)) out["rotation"] = FloatArray(t.rotation.m, 9);
  if (!SameFloats(&t.translation.x, &identity.translation.x, 3)) out["translation"] = FloatArray(&t.translation.x, 3);
  if (t.uniformScale != identity.uniformScale) out["scale"] = double(t.uniformScale);
  if (!SameFloats(&t.pivot.x, &identity.pivot.x, 3)) out["pivot"] = FloatArray(&t.pivot.x, 3);
  if (!SameFloats(&t.axisScale.x, &identity.axisScale.x, 3)) out["axisScale"] = FloatArray(&t.axisScale.x, 3);
  return out;
}

ordered_json KeyJson(Key& key, const std::set<const void*>& selectedInterpolators) {
  ordered_json entry;
  entry["time"] = key.Ticks();
  if (const TQVVector3* translation = key.Translation()) entry["translation"] = FloatArray(&translation->x, 3);
  if (key.IsSelected()) entry["selected"] = true;
  Interpolator* interpolator = key.GetInterpolator();
  if (!interpolator || interpolator->Type() != "linear") entry["interpolator"] = interpolator ? interpolator->Type() : "none";
  if (interpolator && selectedInterpolators.count(static_cast<IHostInterpolator*>(interpolator)))
    entry["interpolatorSelected"] = true;
  return entry;
}

ordered_json KeysJson(const KeyTrack& track, const std::set<const void*>& selectedInterpolators) {
  ordered_json keys = ordered_json::array();
  for (const auto& key : track.Keys()) keys.push_back(KeyJson(*key, selectedInterpolators));
  return keys;
}

ordered_json ChannelsJson(AnimationNode& node, const std::set<const void*>& selected, uint32_t codePage);

ordered_json NodeJson(AnimationNode& node, const std::set<const void*>& selected, uint32_t codePage) {
  ordered_json out = ordered_json::object();
  if (node.Track().GetKeyCount() > 0) out["track"] = KeysJson(node.Track(), selected);
  if (node.suspended) out["suspended"] = true;
  if (!node.Channels().empty()) out["channels"] = ChannelsJson(node, selected, codePage);
  return out;
}

ordered_json ChannelsJson(AnimationNode& node, const std::set<const void*>& selected, uint32_t codePage) {
  ordered_json channels = ordered_json::array();
  for (const auto& channel : node.Channels()) {
    ordered_json entry;
    entry["name"] = Utf8(channel->Name(), codePage, node.Owner() + ":" + channel->Name());
    if (!channel->eligible[0] || !channel->eligible[1])
      entry["eligible"] = {channel->eligible[0], channel->eligible[1]};
    if (channel->subNode)
      entry["node"] = NodeJson(*channel->subNode, selected, codePage);
    else
      entry["track"] = channel->track ? KeysJson(*channel->track, selected) : ordered_json::array();
    channels.push_back(entry);
  }
  return channels;
}

ordered_json ObjectJson(AnimatedObject& object, const std::set<const void*>& selected, uint32_t codePage) {
  ordered_json entry;
  entry["name"] = Utf8(object.Name(), codePage, object.Name());
  if (AnimationNode* node = object.Node()) entry["animation"] = NodeJson(*node, selected, codePage);
  return entry;
}

// Each attached component with the lines it writes on the token stream, inside a block.
ordered_json ComponentsJson(const SceneElement& element, uint32_t codePage) {
  ordered_json components = ordered_json::array();
  for (const auto& carrier : element.Components()) {
    ordered_json entry;
    entry["component"] = carrier->Resource().name;
    if (auto persistence = carrier->Query<ITokenPersistence>()) {
      auto stream = TokenStream::ForWriting();
      stream->OpenBlock("");
      const QVResult written = persistence->Write(stream.Get());
      if (written != kQVOk)
        throw HostError(element.Path() + ": " + carrier->Resource().name + " could not save its data (" +
                        FormatResult(written) + ")");
      // A modifier writes its target; the host keeps the rest of its block.
      const DialogResource* dialog = carrier->Dialog();
      if (carrier->Resource().family == QVFourCC("modi") && dialog)
        WriteParameterFields(*stream, *dialog, carrier->Block());
      stream->CloseBlock();
      ordered_json lines = ordered_json::array();
      const std::string& text = stream->Text();
      for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        // Lines end in LF or CR LF; the line keeps neither.
        const size_t last = end > start && text[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(Utf8(text.substr(start, last - start), codePage,
                             element.Path() + ": " + carrier->Resource().name + "'s data"));
        start = end + 1;
      }
      entry["data"] = lines;
    }
    components.push_back(entry);
  }
  return components;
}

ordered_json ElementsJson(const SceneElement& parent, const std::set<const void*>& selected, uint32_t codePage);

ordered_json ElementJson(const SceneElement* child, const std::set<const void*>& selected, uint32_t codePage) {
  ordered_json entry;
  entry["name"] = Utf8(child->Name(), codePage, child->Path());
  if (child->Identifier() != 0) entry["id"] = child->Identifier();
  ordered_json transform = TransformJson(child->Local());
  if (!transform.empty()) entry["transform"] = transform;
  if (!child->MeshPoints().empty())
    entry["mesh"]["points"] = FloatArray(&child->MeshPoints().front().x, 3 * child->MeshPoints().size());
  if (AnimationNode* node = child->Node()) entry["animation"] = NodeJson(*node, selected, codePage);
  if (!child->Components().empty()) entry["components"] = ComponentsJson(*child, codePage);
  if (!child->Children().empty()) entry["children"] = ElementsJson(*child, selected, codePage);
  return entry;
}

ordered_json ElementsJson(const SceneElement& parent, const std::set<const void*>& selected, uint32_t codePage) {
  ordered_json elements = ordered_json::array();
  for (const SceneElement* child : parent.Children()) elements.push_back(ElementJson(child, selected, codePage));
  return elements;
}

// ---- Direct writing ---------------------------------------------------------------------
// The parts of a scene that grow with it (elements with children or animation, key
// tracks) are written straight into the text, the same as the canonical writer lays out
// their JSON; the small rest goes through it.

std::string Indent(int indent) { return std::string(size_t(indent), ' '); }

// A key `indent` columns in: on one line when it fits, as nearly every key does.
void AppendKey(Key& key, const std::set<const void*>& selectedInterpolators, int indent, std::string& out) {
  std::string line = "{\"time\": " + std::to_string(key.Ticks());
  if (const TQVVector3* t = key.Translation())
    line += ", \"translation\": [" + CanonicalFloat(t->x) + ", " + CanonicalFloat(t->y) + ", " + CanonicalFloat(t->z) + "]";
  if (key.IsSelected()) line += ", \"selected\": true";
  Interpolator* interpolator = key.GetInterpolator();
  if (!interpolator || interpolator->Type() != "linear")
    line += ", \"interpolator\": " + CanonicalString(interpolator ? interpolator->Type() : "none");
  if (interpolator && selectedInterpolators.count(static_cast<IHostInterpolator*>(interpolator)))
    line += ", \"interpolatorSelected\": true";
  line += "}";
  if (FitsOnOneLine(indent, line.size()))
    out += line;
  else
    AppendCanonicalJson(KeyJson(key, selectedInterpolators), indent, out);
}

// A non-empty track: an array of objects, one a line.
void AppendTrack(const KeyTrack& track, const std::set<const void*>& selected, int indent, std::string& out) {
  out += "[\n";
  bool first = true;
  for (const auto& key : track.Keys()) {
    out += first ? "" : ",\n";
    first = false;
    out += Indent(indent + 2);
    AppendKey(*key, selected, indent + 2, out);
  }
  out += "\n" + Indent(indent) + "]";
}

void AppendNode(AnimationNode& node, const std::set<const void*>& selected, uint32_t codePage, int indent,
                std::string& out) {
  // Without keys of its own the node is small (or its channels are): the writer lays it out.
  if (node.Track().GetKeyCount() == 0) {
    AppendCanonicalJson(NodeJson(node, selected, codePage), indent, out);
    return;
  }
  const std::string inner = Indent(indent + 2);
  out += "{\n" + inner + "\"track\": ";
  AppendTrack(node.Track(), selected, indent + 2, out);
  if (node.suspended) out += ",\n" + inner + "\"suspended\": true";
  if (!node.Channels().empty()) {
    out += ",\n" + inner + "\"channels\": ";
    AppendCanonicalJson(ChannelsJson(node, selected, codePage), indent + 2, out);
  }
  out += "\n" + Indent(indent) + "}";
}

void AppendElement(const SceneElement& element, const std::set<const void*>& selected, uint32_t codePage, int indent,
                   std::string& out) {
  AnimationNode* node = element.Node();
  // A leaf without animation is small: the writer lays it out (on one line when it fits).
  if (!node && element.Children().empty()) {
    AppendCanonicalJson(ElementJson(&element, selected, codePage), indent, out);
    return;
  }
  // An animation node or children are never on one line, nor is what holds them.
  const std::string inner = Indent(indent + 2);
  out += "{\n" + inner + "\"name\": " + CanonicalString(Utf8(element.Name(), codePage, element.Path()));
  if (element.Identifier() != 0) out += ",\n" + inner + "\"id\": " + std::to_string(element.Identifier());
  ordered_json transform = TransformJson(element.Local());
  if (!transform.empty()) {
    out += ",\n" + inner + "\"transform\": ";
    AppendCanonicalJson(transform, indent + 2, out);
  }
  if (!element.MeshPoints().empty()) {
    ordered_json mesh;
    mesh["points"] = FloatArray(&element.MeshPoints().front().x, 3 * element.MeshPoints().size());
    out += ",\n" + inner + "\"mesh\": ";
    AppendCanonicalJson(mesh, indent + 2, out);
  }
  if (node) {
    out += ",\n" + inner + "\"animation\": ";
    AppendNode(*node, selected, codePage, indent + 2, out);
  }
  if (!element.Components().empty()) {
    out += ",\n" + inner + "\"components\": ";
    AppendCanonicalJson(ComponentsJson(element, codePage), indent + 2, out);
  }
  if (!element.Children().empty()) {
    out += ",\n" + inner + "\"children\": [\n";
    bool first = true;
    for (const SceneElement* child : element.Children()) {
      out += first ? "" : ",\n";
      first = false;
      out += Indent(indent + 4);
      AppendElement(*child, selected, codePage, indent + 4, out);
    }
    out += "\n" + inner + "]";
  }
  out += "\n" + Indent(indent) + "}";
}

}  // namespace

TQVCountedPtr<Document> LoadSceneFile(const std::string& path, std::shared_ptr<Journal> journal,
                                      ComponentMaker* maker, uint32_t codePage) {
  SceneReader reader(path, std::move(journal), maker, codePage);
  const JsonCheck::Entries elements = reader.TopLevelElements();
  return reader.Read(JsonCheck::ReadFile(path, &elements));
}

TQVCountedPtr<Document> ParseScene(const std::string& text, const std::string& name,
                                   std::shared_ptr<Journal> journal, ComponentMaker* maker, uint32_t codePage) {
  SceneReader reader(name, std::move(journal), maker, codePage);
  const JsonCheck::Entries elements = reader.TopLevelElements();
  return reader.Read(JsonCheck::Parse(text, name, &elements));
}

void WriteSceneText(Document& document, const std::function<void(const std::string&)>& write) {
  ordered_json out;
  out["qvscene"] = kFormatVersion;
  if (document.fileCodePage != 0) out["codePage"] = document.fileCodePage;
  const uint32_t codePage = document.codePage;
  Scene& scene = document.GetScene();
  if (scene.time != 0) out["time"] = scene.time;
  std::set<const void*> selected;  // the selected interpolators
  for (const SelectionItem& item : scene.GetSelection().Items())
    if (item.classPath.back() == QVFourCC("Twee")) selected.insert(static_cast<const void*>(item.object.Get()));
  // Top-level elements are written one by one (below) unless there are none.
  const bool streamed = !scene.Root().Children().empty();
  out["elements"] = streamed ? ordered_json::array() : ElementsJson(scene.Root(), selected, codePage);
  if (!scene.objects.empty()) {
    ordered_json objects = ordered_json::array();
    for (const auto& object : scene.objects) objects.push_back(ObjectJson(*object, selected, codePage));
    out["objects"] = objects;
  }
  if (!scene.owners.empty()) {
    ordered_json owners = ordered_json::array();
    for (const auto& owner : scene.owners) {
      ordered_json entry;
      entry["name"] = Utf8(owner->Name(), codePage, owner->Name());
      if (owner->owned) entry["owned"] = ObjectJson(*owner->owned, selected, codePage);
      owners.push_back(entry);
    }
    out["owners"] = owners;
  }
  if (scene.extra) out["extra"] = ObjectJson(*scene.extra, selected, codePage);
  ordered_json selection = ordered_json::array();
  // A selected element out of the tree (a command took it out) is no element of the file.
  for (const SelectionItem& item : scene.GetSelection().Items())
    if (SceneElement* element = AsSceneElement(item.object.Get()); element && element->IsUnder(scene.Root()))
      selection.push_back(Utf8(element->Path(), codePage, element->Path()));
  if (!selection.empty()) out["selection"] = selection;
  if (View3D* view = document.View()) {
    ordered_json panes = ordered_json::array();
    for (const auto& pane : view->Panes()) {
      ordered_json entry;
      entry["name"] = Utf8(pane->Name(), codePage, pane->Name());
      entry["active"] = pane->active;
      int32_t x = 0, y = 0;
      pane->View().GetOffset(&x, &y);
      entry["offset"] = {x, y};
      entry["scale"] = double(pane->View().GetScale());
      if (pane->View().locked) entry["locked"] = true;
      panes.push_back(entry);
    }
    out["view"]["panes"] = panes;
  }
  ordered_json render = RenderJson(scene.GetHostRenderSetup());
  if (!render.empty()) out["render"] = render;
  if (!streamed) {
    write(CanonicalJson(out));
    return;
  }
  // An object holding an array of objects is never on one line: each member on its own,
  // two columns in, the top-level elements four columns in, one after another.
  std::string text = "{\n";
  bool first = true;
  for (auto it = out.begin(); it != out.end(); ++it) {
    text += first ? "  " : ",\n  ";
    first = false;
    text += CanonicalString(it.key()) + ": ";
    if (it.key() != "elements") {
      AppendCanonicalJson(it.value(), 2, text);
      continue;
    }
    text += "[\n";
    bool firstElement = true;
    for (const SceneElement* child : scene.Root().Children()) {
      text += firstElement ? "    " : ",\n    ";
      firstElement = false;
      AppendElement(*child, selected, codePage, 4, text);
      if (text.size() >= kWrittenPiece) {
        write(text);
        text.clear();
      }
    }
    text += "\n  ]";
  }
  text += "\n}\n";
  write(text);
}

std::string SceneText(Document& document) {
  std::string text;
  WriteSceneText(document, [&text](const std::string& piece) { text += piece; });
  return text;
}

void SaveSceneFile(Document& document, const std::string& path) {
  AtomicFile file(path);
  WriteSceneText(document, [&file](const std::string& piece) { file.Write(piece); });
  file.Commit();
}

void WriteFileAtomically(const std::string& path, const std::string& contents) {
  AtomicFile file(path);
  file.Write(contents);
  file.Commit();
}

}  // namespace qvhost
