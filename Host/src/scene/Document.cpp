// Document, scene, selection and command context.
#include "qvhost/Document.h"

#include "qvhost/AttributeHolder.h"

namespace qvhost {

namespace {

struct IHostNotificationTarget : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x8003);
};
class NotificationTarget final : public HostObject<IHostNotificationTarget> {};

template <class I>
QVResult Give(I* object, I** out) {
  QVClearOut(reinterpret_cast<void**>(out));
  if (!object) return kQVOk;
  object->AddRef();
  *out = object;
  return kQVOk;
}

}  // namespace

IUnknown* Selection::GetItemObject(int32_t index) {
  if (index < 0 || index >= int32_t(fItems.size())) return nullptr;
  return fItems[size_t(index)].object.Get();
}

QVResult Selection::GetSnapshot(IHostSelection** snapshot) {
  auto* copy = new Selection(false);
  copy->fItems = fItems;
  QVClearOut(reinterpret_cast<void**>(snapshot));
  *snapshot = copy;
  return kQVOk;
}

QVClassPath Selection::GetItemClassPath(int32_t index) {
  if (index < 0 || index >= int32_t(fItems.size())) return {0, nullptr};
  const std::vector<uint32_t>& path = fItems[size_t(index)].classPath;
  return {int32_t(path.size()), path.data()};
}

void Selection::Deselect(const SelectionItem& item) {
  if (!fLive || item.classPath.back() != QVFourCC("KeyF")) return;
  if (auto* keyItem = dynamic_cast<SelectedKeyItem*>(item.object.Get())) keyItem->GetKey().SetSelected(false);
}

void Selection::Clear() {
  for (const SelectionItem& item : fItems) Deselect(item);
  fItems.clear();
}

void Selection::RemoveFamily(uint32_t family) {
  std::vector<SelectionItem> kept;
  for (const SelectionItem& item : fItems) {
    if (item.classPath.back() == family)
      Deselect(item);
    else
      kept.push_back(item);
  }
  fItems.swap(kept);
}

void Selection::Add(uint32_t family, IUnknown* object) {
  SelectionItem item;
  item.classPath = {QVFourCC("Scen"), family};
  item.object.Assign(object);
  // A selected key is shown as its keyframe item, which the key itself is not.
  if (family == QVFourCC("KeyF"))
    if (auto* key = dynamic_cast<Key*>(object)) {
      if (fLive) key->SetSelected(true);
      item.object = Adopt<IUnknown>(static_cast<IHostKeyframeItem*>(new SelectedKeyItem(*key)));
    }
  fItems.push_back(item);
}

QVResult SceneTree::GetRootElement(IHostTreeElement** root, int32_t, int32_t) { return Give<IHostTreeElement>(fRoot, root); }

Scene::Scene(std::shared_ptr<Journal> journal)
    : fJournal(std::move(journal)), fRoot(SceneElement::Create("")), fSelection(Adopt<Selection>(new Selection(true))) {
  fRoot->SetOwnerScene(this);
  fRenderSetup = Adopt<RenderSetup>(new RenderSetup(*this));
}

Scene::~Scene() {
  fRenderSetup->Shutdown();
  fRoot->SetOwnerScene(nullptr);
}

QVResult Scene::GetTree(IHostTree** tree) {
  QVClearOut(reinterpret_cast<void**>(tree));
  *tree = new SceneTree(fRoot.Get());
  return kQVOk;
}

IUnknown* Scene::GetObjectList1Entry(uint32_t index) {
  return index < objects.size() ? static_cast<IHostAnimated*>(objects[index].Get()) : nullptr;
}

IUnknown* Scene::GetObjectList2Entry(uint32_t index) {
  return index < owners.size() ? static_cast<IHostObjectOwner*>(owners[index].Get()) : nullptr;
}

IUnknown* Scene::GetExtraAnimatedObject() {
  ++extraQuestions;
  return extra ? static_cast<IHostAnimated*>(extra.Get()) : nullptr;
}

QVResult Scene::GetCommandContext(IHostCommandContext** context) {
  QVClearOut(reinterpret_cast<void**>(context));
  if (fDocument) *context = new CommandContext(*fDocument);
  return kQVOk;
}

int32_t Scene::GetElementCount() {
  if (fElementsVersion != SceneElement::TreeVersion()) {
    fElements = fRoot->Descendants();
    fElementsVersion = SceneElement::TreeVersion();
  }
  return int32_t(fElements.size());
}

IHostTreeElement* Scene::GetElement(int32_t index) {
  if (index < 0 || index >= GetElementCount()) return nullptr;
  return fElements[size_t(index)];
}

SceneElement* Scene::FindByIdentifier(int32_t identifier) {
  if (fByIdentifierTree != SceneElement::TreeVersion() || fByIdentifierVersion != SceneElement::IdentifierVersion()) {
    fByIdentifier.clear();
    for (SceneElement* element : fRoot->Descendants())
      if (element->Identifier() != 0) fByIdentifier.emplace(element->Identifier(), element);
    fByIdentifierTree = SceneElement::TreeVersion();
    fByIdentifierVersion = SceneElement::IdentifierVersion();
  }
  auto found = fByIdentifier.find(identifier);
  return found == fByIdentifier.end() ? nullptr : found->second;
}

QVResult Scene::ResolveTargetReference(const TQVArray<int32_t>& reference, IHostTreeElement** target) {
  QVClearOut(reinterpret_cast<void**>(target));
  SceneElement* found = reference.Length() == 1 && reference[0] > 0 ? FindByIdentifier(reference[0]) : nullptr;
  if (found) QVStoreOut(reinterpret_cast<void**>(target), static_cast<IHostTreeElement*>(found));
  return kQVOk;
}

int32_t Scene::GetExportPrecondition() { return exportRefused || fRenderSetup->GetHostRenderer().IsBusy() ? 0 : 1; }

int32_t Scene::GetCurrentTime(int32_t) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  return time;
}

QVResult Scene::GoToTime(int32_t to, int32_t, int32_t, int32_t, int32_t, int32_t) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  fJournal->Record("scene", "go to " + std::to_string(to));
  if (fDocument)
    fDocument->SetTime(to);
  else
    time = to;
  return kQVOk;
}

QVResult Scene::GetRenderSetup(IHostRenderSetup** setup) { return Give<IHostRenderSetup>(fRenderSetup.Get(), setup); }

namespace {

class TimeControl final : public HostObject<IHostTimeControl> {
 public:
  explicit TimeControl(Scene& scene) { fScene.Assign(&scene); }
  void SetCurrentTime(int32_t to) override {
    std::lock_guard<std::recursive_mutex> lock(fScene->Lock());
    fScene->SharedJournal()->Record("scene", "time control to " + std::to_string(to));
    if (Document* document = fScene->GetDocument())
      document->SetTime(to);
    else
      fScene->time = to;
  }

 private:
  TQVCountedPtr<Scene> fScene;
};

}  // namespace

QVResult Scene::GetTimeControl(IHostTimeControl** control) {
  QVClearOut(reinterpret_cast<void**>(control));
  *control = new TimeControl(*this);
  return kQVOk;
}

void Scene::Refresh() {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  fJournal->Record("scene", "refresh at " + std::to_string(time));
}

Document::Document(std::shared_ptr<Journal> journal)
    : fJournal(journal), fScene(Adopt<Scene>(new Scene(std::move(journal)))) {
  fScene->fDocument = this;
}

Document::~Document() {
  fScene->GetHostRenderSetup().Shutdown();  // no render outlives the document's components
  DetachComponents();
  fScene->fDocument = nullptr;
}

void Document::DetachComponents() { fScene->Root().DetachComponents(); }

void Document::SetTime(int32_t ticks) {
  fScene->time = ticks;
  EvaluateAttributes(*this);
  Evaluate();
}

View3D& Document::GetOrAddView() {
  if (!fView) fView = Adopt<View3D>(new View3D());
  return *fView;
}

namespace {

void CollectKeys(AnimationNode* node, std::vector<KeyInTrack>& keys) {
  if (!node) return;
  for (const auto& key : node->Track().Keys()) keys.push_back({node->Owner(), key});
  for (const auto& channel : node->Channels()) {
    if (channel->subNode) CollectKeys(channel->subNode.Get(), keys);
    if (channel->track)
      for (const auto& key : channel->track->Keys()) keys.push_back({node->Owner() + ":" + channel->Name(), key});
  }
}

void CollectKeys(SceneElement& element, std::vector<KeyInTrack>& keys) {
  CollectKeys(element.Node(), keys);
  for (SceneElement* child : element.Children()) CollectKeys(*child, keys);
}

}  // namespace

std::vector<KeyInTrack> Document::AllKeys() {
  std::vector<KeyInTrack> keys;
  Scene& scene = *fScene;
  CollectKeys(scene.Root(), keys);
  for (const auto& object : scene.objects) CollectKeys(object->Node(), keys);
  for (const auto& owner : scene.owners)
    if (owner->owned) CollectKeys(owner->owned->Node(), keys);
  if (scene.extra) CollectKeys(scene.extra->Node(), keys);
  return keys;
}

void Document::Settle() {
  for (KeyInTrack& entry : AllKeys())
    if (KeyTrack* track = entry.key->Track()) track->Settle();
}

QVResult Document::GetComponent(uint32_t type, IUnknown** component) {
  if (type == QVFourCC("3Dvw") && fView) return Give<IUnknown>(static_cast<IHost3DView*>(fView.Get()), component);
  QVClearOut(reinterpret_cast<void**>(component));
  return kQVOk;
}

CommandContext::CommandContext(Document& document) : fTarget(Adopt<IUnknown>(new NotificationTarget())) {
  fDocument.Assign(&document);
}

QVResult CommandContext::GetScene(IHostScene** scene) { return Give<IHostScene>(&fDocument->GetScene(), scene); }

QVResult CommandContext::GetSelection(IHostSelection** selection) {
  return Give<IHostSelection>(&fDocument->GetScene().GetSelection(), selection);
}

QVResult CommandContext::GetChangeNotificationTarget(IUnknown** target) { return Give(fTarget.Get(), target); }

QVResult CommandContext::GetActiveDocumentProvider(IUnknown** provider) {
  return Give<IUnknown>(nullptr, provider);
}

}  // namespace qvhost
