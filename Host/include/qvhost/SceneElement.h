// An element of the reference host's scene tree: a name, a local transform, a parent and
// children in sibling order. Every tree operation costs O(1) or O(size of what it copies).
#pragma once

#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "Animation.h"
#include "HostObject.h"
#include "IHostScene.h"

namespace qvhost {

class ComponentCarrier;
class Scene;

class QVHOST_API SceneElement final : public HostObject<IHostTreeElement, HostAnimated> {
 public:
  static TQVCountedPtr<SceneElement> Create(std::string name);

  // IHostTreeElement
  IHostTreeElement* GetFirstChild() override;
  IHostTreeElement* GetNextSibling() override;
  QVResult GetParent(IHostTreeElement** parent) override;
  QVResult DeepCopy(int32_t flag, IHostTreeElement** copy) override;
  QVResult InsertNextTo(IHostTreeElement* element) override;
  QVResult AddChild(IHostTreeElement* element) override;
  QVResult Remove(IUnknown** token, RemovalRecord* record) override;
  QVResult ReInsert(const RemovalRecord* record) override;
  void GetName(TQVString& name) override;
  void SetName(const TQVString& name) override;
  void GetLocalTransform(TQVTransform& transform) override { transform = fLocal; }
  void SetLocalTransform(const TQVTransform& transform, int32_t, int32_t, int32_t) override {
    fLocal = transform;
  }
  void GetGlobalTransform(TQVTransform& transform) override;
  void SetGlobalTransform(const TQVTransform& transform, int32_t, int32_t, int32_t, int32_t) override;
  void GetGlobalMatrix(Matrix34& matrix) override { matrix = GlobalMatrix(); }
  void SetGlobalMatrix(const Matrix34& matrix, int32_t flags) override;
  QVResult GetComponent(uint32_t classCode, IUnknown** component) override;
  QVResult GetScene(IHostScene** scene) override;
  void Invalidate(int32_t) override;
  // [identifier]: the element's identifier, given on first request.
  void GetReferenceList(TQVArray<int32_t>& list) override;
  // The box of the mesh points, in the element's own coordinates.
  QVResult GetBoundingBox(BoundingBox& box, int32_t, int32_t) override;
  uint32_t GetEntryCount() override { return uint32_t(fComponents.size()); }
  QVResult GetEntry(IUnknown** entry, uint32_t index) override;

  // Host side.
  const std::string& Name() const { return fName; }
  void SetName(std::string name) { fName = std::move(name); }
  const TQVTransform& Local() const { return fLocal; }
  void SetLocal(const TQVTransform& transform) { fLocal = transform; }
  SceneElement* Parent() const { return fParent; }
  // Whether `ancestor` is above this element in its tree.
  bool IsUnder(const SceneElement& ancestor) const;
  const std::list<SceneElement*>& Children() const { return fChildren; }
  // Appends `child` (not in a tree); false when it is in a tree or would become its own
  // ancestor.
  bool Append(SceneElement* child);
  // The element's matrix relative to its parent, and relative to the root.
  Matrix34 LocalMatrix() const;
  Matrix34 GlobalMatrix() const;
  // "Parent/Child" from the top level down (the root has no name in paths).
  std::string Path() const;
  // The first descendant with this path below this element, or null.
  SceneElement* Find(const std::string& path);
  // Every descendant by path; where paths repeat, the first in pre-order.
  std::unordered_map<std::string, SceneElement*> PathIndex();
  // Every descendant in pre-order.
  std::vector<SceneElement*> Descendants();

  // Attached components, in the order they were attached.
  const std::vector<TQVCountedPtr<ComponentCarrier>>& Components() const { return fComponents; }
  void AttachComponent(ComponentCarrier* carrier);
  ComponentCarrier* FindComponent(uint32_t classCode) const;
  // Lets the components of this element and its descendants go (they refer to the scene).
  void DetachComponents();
  // Changes of any element's place in a tree since the process started.
  static uint64_t TreeVersion();
  // Names this element for the length of the process: every element made, copies
  // included, takes the next number, so no two elements ever share one (an address can
  // be taken again after a free; a serial number cannot).
  uint64_t Serial() const { return fSerial; }

  // What reference lists and scene files name the element by: 0 until it is first asked
  // for its reference list. Identifiers given later are larger than any set before, so
  // an element never takes one an element of a loaded scene has.
  int32_t Identifier() const { return fIdentifier; }
  void SetIdentifier(int32_t identifier);
  // Changes of any element's identifier since the process started.
  static uint64_t IdentifierVersion();
  // The points of the element's mesh, in its own coordinates.
  const std::vector<TQVVector3>& MeshPoints() const { return fMeshPoints; }
  void SetMeshPoints(std::vector<TQVVector3> points) { fMeshPoints = std::move(points); }
  // The scene this element is the root of (set by the scene), and the scene of the tree
  // the element is in, or null.
  void SetOwnerScene(Scene* scene) { fOwnerScene = scene; }
  Scene* OwnerScene() const;

 private:
  explicit SceneElement(std::string name);
  ~SceneElement() override;
  void* FindExtra(const QVGUID& id) override;
  bool CanAdopt(const SceneElement* child) const;
  void InsertAt(std::list<SceneElement*>::iterator position, SceneElement* child);
  void Detach();

  const uint64_t fSerial;
  std::string fName;
  TQVTransform fLocal;
  SceneElement* fParent = nullptr;                      // not counted
  std::list<SceneElement*> fChildren;                   // one reference each
  std::list<SceneElement*>::iterator fPosition{};       // in fParent->fChildren
  std::vector<TQVCountedPtr<ComponentCarrier>> fComponents;
  int32_t fIdentifier = 0;
  std::vector<TQVVector3> fMeshPoints;
  Scene* fOwnerScene = nullptr;  // the root's only; cleared when the scene goes
};

// The element behind a module's IHostTreeElement, or null when it is not ours.
QVHOST_API SceneElement* AsSceneElement(IUnknown* object);

// Matrix34 helpers shared by the scene code.
QVHOST_API Matrix34 Multiply(const Matrix34& a, const Matrix34& b);
QVHOST_API Matrix34 Inverse(const Matrix34& m);

}  // namespace qvhost
