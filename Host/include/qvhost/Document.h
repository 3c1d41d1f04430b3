// The reference host's document: a scene with its element tree and selection, and the
// document's components (the '3Dvw' view among them).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "HostObject.h"
#include "IHostScene.h"
#include "IHostSelection.h"
#include "Animation.h"
#include "Journal.h"
#include "Renderer.h"
#include "SceneElement.h"
#include "View3D.h"

namespace qvhost {

// A selected item: the family of its class path ('Tree', 'KeyF', 'Twee') and its object.
struct SelectionItem {
  std::vector<uint32_t> classPath;  // {'Scen', family}
  TQVCountedPtr<IUnknown> object;
};

// The scene's live selection decides which keys are selected: adding a 'KeyF' item
// selects its key, clearing the selection deselects it. A key added as a 'KeyF' item is
// held as its SelectedKeyItem, the keyframe item that modules ask for. Snapshots are plain
// copies.
class QVHOST_API Selection final : public HostObject<IHostSelection> {
 public:
  explicit Selection(bool live = false) : fLive(live) {}
  int32_t GetItemCount() override { return int32_t(fItems.size()); }
  QVClassPath GetItemClassPath(int32_t index) override;
  IUnknown* GetItemObject(int32_t index) override;
  QVResult GetSnapshot(IHostSelection** snapshot) override;
  void Clear() override;
  bool IsEmpty() override { return fItems.empty(); }

  void Add(uint32_t family, IUnknown* object);
  // Takes out the items of one family ('Tree' for the selected elements).
  void RemoveFamily(uint32_t family);
  const std::vector<SelectionItem>& Items() const { return fItems; }

 private:
  void Deselect(const SelectionItem& item);
  bool fLive;
  std::vector<SelectionItem> fItems;
};

class Scene;
class Document;

class QVHOST_API SceneTree final : public HostObject<IHostTree> {
 public:
  explicit SceneTree(SceneElement* root) : fRoot(root) {}
  QVResult GetRootElement(IHostTreeElement** root, int32_t, int32_t) override;

 private:
  SceneElement* fRoot;  // the scene keeps it alive
};

class QVHOST_API Scene final : public HostObject<IHostScene, IHostSceneHierarchy> {
 public:
  explicit Scene(std::shared_ptr<Journal> journal);
  ~Scene() override;

  void PrepareTree() override {}
  QVResult GetTree(IHostTree** tree) override;
  void SceneChanged() override { fJournal->Record("scene", "changed"); }
  uint32_t GetObjectList1Count() override { return uint32_t(objects.size()); }
  IUnknown* GetObjectList1Entry(uint32_t index) override;
  uint32_t GetObjectList2Count() override { return uint32_t(owners.size()); }
  IUnknown* GetObjectList2Entry(uint32_t index) override;
  IUnknown* GetExtraAnimatedObject() override;
  QVResult GetCommandContext(IHostCommandContext** context) override;
  // A one-element list [identifier] of an element of this scene.
  QVResult ResolveTargetReference(const TQVArray<int32_t>& reference, IHostTreeElement** target) override;
  // 0 while the scene's renders are under way, or when `exportRefused` is set.
  int32_t GetExportPrecondition() override;
  int32_t GetCurrentTime(int32_t) override;
  // Moves the document to `to` as Document::SetTime does, under the scene's lock.
  QVResult GoToTime(int32_t to, int32_t, int32_t, int32_t, int32_t, int32_t) override;
  QVResult GetRenderSetup(IHostRenderSetup** setup) override;
  // A time control that moves the document as GoToTime does.
  QVResult GetTimeControl(IHostTimeControl** control) override;
  void Refresh() override;
  void Prepare() override { ++prepared; }
  int32_t GetElementCount() override;
  IHostTreeElement* GetElement(int32_t index) override;

  std::vector<TQVCountedPtr<AnimatedObject>> objects;  // the first object list
  std::vector<TQVCountedPtr<ObjectOwner>> owners;      // the second object list
  TQVCountedPtr<AnimatedObject> extra;
  int32_t prepared = 0;        // times the hierarchy was asked to prepare
  int32_t extraQuestions = 0;  // times the extra object was asked for
  int32_t time = 0;            // the current time, in ticks
  bool exportRefused = false;  // the export precondition answers 0

  SceneElement& Root() { return *fRoot; }
  Document* GetDocument() const { return fDocument; }
  Selection& GetSelection() { return *fSelection; }
  const std::shared_ptr<Journal>& SharedJournal() const { return fJournal; }
  // The element of the tree with this identifier, or null.
  SceneElement* FindByIdentifier(int32_t identifier);
  // Held by whatever moves the scene's time or reads it from the renderer's thread.
  std::recursive_mutex& Lock() { return fLock; }
  RenderSetup& GetHostRenderSetup() { return *fRenderSetup; }

 private:
  friend class Document;
  std::shared_ptr<Journal> fJournal;
  TQVCountedPtr<SceneElement> fRoot;
  TQVCountedPtr<Selection> fSelection;
  Document* fDocument = nullptr;  // the document owns the scene
  std::vector<SceneElement*> fElements;  // pre-order, as of fElementsVersion
  uint64_t fElementsVersion = ~uint64_t(0);
  std::unordered_map<int32_t, SceneElement*> fByIdentifier;  // as of the two versions
  uint64_t fByIdentifierTree = ~uint64_t(0), fByIdentifierVersion = ~uint64_t(0);
  std::recursive_mutex fLock;
  TQVCountedPtr<RenderSetup> fRenderSetup;
};

// A key of the document with the track it belongs to ("Ball", "Ball:Bounce").
struct KeyInTrack {
  std::string track;
  TQVCountedPtr<Key> key;
};

class QVHOST_API Document final : public HostObject<IHostDocument> {
 public:
  explicit Document(std::shared_ptr<Journal> journal);
  ~Document() override;
  QVResult GetComponent(uint32_t type, IUnknown** component) override;

  // Moves the scene to `ticks`: every attribute holder writes its value there, then the
  // scene is evaluated.
  void SetTime(int32_t ticks);
  // What the host does whenever it evaluates the scene (after loading, a change of time
  // and each command step): elements whose own keys carry translations move to their
  // value at the current time, then every attached modifier is applied, elements in
  // pre-order and each element's modifiers in the order they were attached.
  void Evaluate();
  // Lets every attached component go (before their modules are unloaded).
  void DetachComponents();

  Scene& GetScene() { return *fScene; }
  // The '3Dvw' component, made on first use.
  View3D& GetOrAddView();
  View3D* View() const { return fView.Get(); }
  const std::shared_ptr<Journal>& SharedJournal() const { return fJournal; }
  // Every key of the scene: tree elements in pre-order, the object lists, the extra object.
  std::vector<KeyInTrack> AllKeys();
  // What the host does after each command step: key tracks back in time order.
  void Settle();

  uint32_t codePage = 1252;   // of the document's texts, as modules see them
  uint32_t fileCodePage = 0;  // what the scene file named (written back), 0: none

 private:
  std::shared_ptr<Journal> fJournal;
  TQVCountedPtr<Scene> fScene;
  TQVCountedPtr<View3D> fView;
};

// The context a command is given: the document's scene and selection and an opaque
// change-notification target.
class QVHOST_API CommandContext final : public HostObject<IHostCommandContext> {
 public:
  explicit CommandContext(Document& document);
  QVResult GetScene(IHostScene** scene) override;
  QVResult GetSelection(IHostSelection** selection) override;
  QVResult GetChangeNotificationTarget(IUnknown** target) override;
  QVResult GetActiveDocumentProvider(IUnknown** provider) override;

  // Without a target, GetChangeNotificationTarget answers null.
  void RemoveNotificationTarget() { fTarget.Release(); }

 private:
  TQVCountedPtr<Document> fDocument;
  TQVCountedPtr<IUnknown> fTarget;
};

}  // namespace qvhost
