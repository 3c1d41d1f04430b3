// Scene tree elements.
#include "qvhost/SceneElement.h"
#include "qvhost/CodePageText.h"

#include <atomic>
#include <cmath>
#include <vector>

#include "qvhost/AttachedComponent.h"
#include "qvhost/Document.h"

namespace qvhost {

namespace {

// Answers the SceneElement itself; only the host asks for it.
constexpr QVGUID kSceneElementSelf = QV_HOST_ID(0x8001);

// A removal token: only released by the module.
struct IHostRemovalToken : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x8002);
};
class RemovalToken final : public HostObject<IHostRemovalToken> {};

std::atomic<uint64_t> gTreeVersion{0};
std::atomic<uint64_t> gIdentifierVersion{0};
std::atomic<int32_t> gLastIdentifier{0};  // the largest identifier given or set
std::atomic<uint64_t> gLastSerial{0};

TQVVector3 Apply(const TQVMatrix33& m, const TQVVector3& v) {
  return {m.m[0] * v.x + m.m[1] * v.y + m.m[2] * v.z, m.m[3] * v.x + m.m[4] * v.y + m.m[5] * v.z,
          m.m[6] * v.x + m.m[7] * v.y + m.m[8] * v.z};
}

}  // namespace

Matrix34 Multiply(const Matrix34& a, const Matrix34& b) {
  Matrix34 result;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      result.rotation.m[3 * r + c] = a.rotation.m[3 * r] * b.rotation.m[c] +
                                     a.rotation.m[3 * r + 1] * b.rotation.m[3 + c] +
                                     a.rotation.m[3 * r + 2] * b.rotation.m[6 + c];
  const TQVVector3 moved = Apply(a.rotation, b.translation);
  result.translation = {moved.x + a.translation.x, moved.y + a.translation.y, moved.z + a.translation.z};
  return result;
}

Matrix34 Inverse(const Matrix34& m) {
  const float* a = m.rotation.m;
  const float det = m.rotation.Determinant();
  Matrix34 result;
  if (std::fabs(det) < 1e-12f) return result;  // singular: identity
  const float inv = 1.0f / det;
  float* o = result.rotation.m;
  o[0] = (a[4] * a[8] - a[5] * a[7]) * inv;
  o[1] = (a[2] * a[7] - a[1] * a[8]) * inv;
  o[2] = (a[1] * a[5] - a[2] * a[4]) * inv;
  o[3] = (a[5] * a[6] - a[3] * a[8]) * inv;
  o[4] = (a[0] * a[8] - a[2] * a[6]) * inv;
  o[5] = (a[2] * a[3] - a[0] * a[5]) * inv;
  o[6] = (a[3] * a[7] - a[4] * a[6]) * inv;
  o[7] = (a[1] * a[6] - a[0] * a[7]) * inv;
  o[8] = (a[0] * a[4] - a[1] * a[3]) * inv;
  const TQVVector3 t = Apply(result.rotation, m.translation);
  result.translation = {-t.x, -t.y, -t.z};
  return result;
}

SceneElement::SceneElement(std::string name) : fSerial(++gLastSerial), fName(std::move(name)) {}

TQVCountedPtr<SceneElement> SceneElement::Create(std::string name) {
  return Adopt<SceneElement>(new SceneElement(std::move(name)));
}

SceneElement::~SceneElement() {
  for (SceneElement* child : fChildren) {
    child->fParent = nullptr;
    child->Release();
  }
}

void* SceneElement::FindExtra(const QVGUID& id) {
  return id == kSceneElementSelf ? static_cast<IHostTreeElement*>(this) : nullptr;
}

SceneElement* AsSceneElement(IUnknown* object) {
  return HostObjectBehind<SceneElement, IHostTreeElement>(object, kSceneElementSelf);
}

bool SceneElement::CanAdopt(const SceneElement* child) const {
  if (!child || child->fParent) return false;
  for (const SceneElement* e = this; e; e = e->fParent)
    if (e == child) return false;
  return true;
}

uint64_t SceneElement::TreeVersion() { return gTreeVersion.load(); }

void SceneElement::InsertAt(std::list<SceneElement*>::iterator position, SceneElement* child) {
  ++gTreeVersion;
  child->AddRef();
  child->fParent = this;
  child->fPosition = fChildren.insert(position, child);
}

bool SceneElement::Append(SceneElement* child) {
  if (!CanAdopt(child)) return false;
  InsertAt(fChildren.end(), child);
  return true;
}

void SceneElement::Detach() {
  ++gTreeVersion;
  SceneElement* parent = fParent;
  parent->fChildren.erase(fPosition);
  fParent = nullptr;
  Release();  // the parent's reference
}

IHostTreeElement* SceneElement::GetFirstChild() { return fChildren.empty() ? nullptr : fChildren.front(); }

IHostTreeElement* SceneElement::GetNextSibling() {
  if (!fParent) return nullptr;
  auto next = std::next(fPosition);
  return next == fParent->fChildren.end() ? nullptr : *next;
}

QVResult SceneElement::GetParent(IHostTreeElement** parent) {
  QVClearOut(reinterpret_cast<void**>(parent));
  if (!fParent) return kQVOk;
  fParent->AddRef();
  *parent = fParent;
  return kQVOk;
}

QVResult SceneElement::DeepCopy(int32_t, IHostTreeElement** copy) {
  QVClearOut(reinterpret_cast<void**>(copy));
  SceneElement* made = new SceneElement(fName);
  made->fLocal = fLocal;
  made->fMeshPoints = fMeshPoints;
  if (AnimationNode* node = Node()) made->SetNode(node->Clone(node->Owner()).Get());
  for (const auto& carrier : fComponents) made->AttachComponent(carrier->Clone().Get());
  for (SceneElement* child : fChildren) {
    IHostTreeElement* childCopy = nullptr;
    child->DeepCopy(1, &childCopy);
    made->Append(static_cast<SceneElement*>(childCopy));
    childCopy->Release();
  }
  *copy = made;
  return kQVOk;
}

QVResult SceneElement::InsertNextTo(IHostTreeElement* element) {
  SceneElement* other = AsSceneElement(element);
  if (!fParent || !fParent->CanAdopt(other)) return kQVErrNotSupported;
  fParent->InsertAt(std::next(fPosition), other);
  return kQVOk;
}

QVResult SceneElement::AddChild(IHostTreeElement* element) {
  return Append(AsSceneElement(element)) ? kQVOk : kQVErrNotSupported;
}

QVResult SceneElement::Remove(IUnknown** token, RemovalRecord* record) {
  if (token) QVClearOut(reinterpret_cast<void**>(token));
  if (!fParent || !record) return kQVErrNotSupported;
  // [0] the element itself, [1] its parent, [2] the sibling before it (or null).
  record->Discard();
  AddRef();
  record->references[0] = static_cast<IHostTreeElement*>(this);
  fParent->AddRef();
  record->references[1] = static_cast<IHostTreeElement*>(fParent);
  if (fPosition != fParent->fChildren.begin()) {
    SceneElement* previous = *std::prev(fPosition);
    previous->AddRef();
    record->references[2] = static_cast<IHostTreeElement*>(previous);
  }
  record->transform = fLocal;
  Detach();
  if (token) *token = new RemovalToken();
  return kQVOk;
}

bool SceneElement::IsUnder(const SceneElement& ancestor) const {
  for (const SceneElement* above = fParent; above; above = above->fParent)
    if (above == &ancestor) return true;
  return false;
}

QVResult SceneElement::ReInsert(const RemovalRecord* record) {
  if (!record || AsSceneElement(record->references[0]) != this) return kQVErrNotSupported;
  SceneElement* parent = AsSceneElement(record->references[1]);
  SceneElement* previous = AsSceneElement(record->references[2]);
  if (!parent || !parent->CanAdopt(this)) return kQVErrNotSupported;
  fLocal = record->transform;
  if (previous && previous->fParent == parent)
    parent->InsertAt(std::next(previous->fPosition), this);
  else
    parent->InsertAt(parent->fChildren.begin(), this);
  return kQVOk;
}

void SceneElement::GetName(TQVString& name) { name.SetFrom(fName.c_str()); }
void SceneElement::SetName(const TQVString& name) { fName = name.CStr(); }

Matrix34 SceneElement::LocalMatrix() const {
  // x' = R * S * (x - pivot) + pivot + t, S = uniform scale * axis scales.
  Matrix34 m;
  const float s[3] = {fLocal.axisScale.x * fLocal.uniformScale, fLocal.axisScale.y * fLocal.uniformScale,
                      fLocal.axisScale.z * fLocal.uniformScale};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m.rotation.m[3 * r + c] = fLocal.rotation.m[3 * r + c] * s[c];
  const TQVVector3 p = Apply(m.rotation, fLocal.pivot);
  m.translation = {fLocal.translation.x + fLocal.pivot.x - p.x, fLocal.translation.y + fLocal.pivot.y - p.y,
                   fLocal.translation.z + fLocal.pivot.z - p.z};
  return m;
}

Matrix34 SceneElement::GlobalMatrix() const {
  Matrix34 m = LocalMatrix();
  for (const SceneElement* e = fParent; e; e = e->fParent) m = Multiply(e->LocalMatrix(), m);
  return m;
}

void SceneElement::GetGlobalTransform(TQVTransform& transform) {
  const TQVDecomposition parts = GlobalMatrix().Decompose();
  transform.SetIdentity();
  transform.rotation = parts.rotation;
  transform.translation = parts.translation;
  transform.axisScale = parts.scale;
}

void SceneElement::SetGlobalTransform(const TQVTransform& transform, int32_t, int32_t, int32_t, int32_t) {
  Matrix34 global;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      global.rotation.m[3 * r + c] = transform.rotation.m[3 * r + c] *
                                     (&transform.axisScale.x)[c] * transform.uniformScale;
  global.translation = transform.translation;
  SetGlobalMatrix(global, 0);
}

void SceneElement::SetGlobalMatrix(const Matrix34& matrix, int32_t) {
  const Matrix34 local = fParent ? Multiply(Inverse(fParent->GlobalMatrix()), matrix) : matrix;
  const TQVDecomposition parts = local.Decompose();
  fLocal.SetIdentity();
  fLocal.rotation = parts.rotation;
  fLocal.translation = parts.translation;
  fLocal.axisScale = parts.scale;
}

std::string SceneElement::Path() const {
  if (!fParent || !fParent->fParent) return fName;
  return fParent->Path() + "/" + fName;
}

std::unordered_map<std::string, SceneElement*> SceneElement::PathIndex() {
  std::unordered_map<std::string, SceneElement*> index;
  std::vector<std::pair<SceneElement*, std::string>> pending;  // pre-order, without recursion
  for (auto child = fChildren.rbegin(); child != fChildren.rend(); ++child) pending.emplace_back(*child, (*child)->fName);
  while (!pending.empty()) {
    auto [element, path] = std::move(pending.back());
    pending.pop_back();
    index.emplace(path, element);
    for (auto child = element->fChildren.rbegin(); child != element->fChildren.rend(); ++child)
      pending.emplace_back(*child, path + "/" + (*child)->fName);
  }
  return index;
}

std::vector<SceneElement*> SceneElement::Descendants() {
  std::vector<SceneElement*> order;
  std::vector<SceneElement*> pending(fChildren.rbegin(), fChildren.rend());
  while (!pending.empty()) {
    SceneElement* element = pending.back();
    pending.pop_back();
    order.push_back(element);
    pending.insert(pending.end(), element->fChildren.rbegin(), element->fChildren.rend());
  }
  return order;
}

QVResult SceneElement::GetComponent(uint32_t classCode, IUnknown** component) {
  QVClearOut(reinterpret_cast<void**>(component));
  ComponentCarrier* carrier = FindComponent(classCode);
  if (carrier && carrier->Component()) QVStoreOut(reinterpret_cast<void**>(component), carrier->Component());
  return kQVOk;
}

void SceneElement::AttachComponent(ComponentCarrier* carrier) {
  fComponents.emplace_back();
  fComponents.back().Assign(carrier);
}

ComponentCarrier* SceneElement::FindComponent(uint32_t classCode) const {
  for (const auto& carrier : fComponents)
    if (carrier->Resource().classCode == classCode) return carrier.Get();
  return nullptr;
}

void SceneElement::DetachComponents() {
  fComponents.clear();
  for (SceneElement* child : fChildren) child->DetachComponents();
}

SceneElement* SceneElement::Find(const std::string& path) {
  const size_t slash = path.find('/');
  const std::string head = path.substr(0, slash);
  for (SceneElement* child : fChildren) {
    if (child->fName != head) continue;
    if (slash == std::string::npos) return child;
    if (SceneElement* found = child->Find(path.substr(slash + 1))) return found;
  }
  return nullptr;
}

uint64_t SceneElement::IdentifierVersion() { return gIdentifierVersion.load(); }

void SceneElement::SetIdentifier(int32_t identifier) {
  fIdentifier = identifier;
  int32_t last = gLastIdentifier.load();
  while (identifier > last && !gLastIdentifier.compare_exchange_weak(last, identifier)) {
  }
  ++gIdentifierVersion;
}

void SceneElement::GetReferenceList(TQVArray<int32_t>& list) {
  if (fIdentifier == 0) {
    int32_t last = gLastIdentifier.load();
    while (last < INT32_MAX && !gLastIdentifier.compare_exchange_weak(last, last + 1)) {
    }
    if (last < INT32_MAX) SetIdentifier(last + 1);
  }
  // Refused memory leaves the list empty, which names no element.
  if (!list.SetLength(1)) {
    list.SetLength(0);
    return;
  }
  list[0] = fIdentifier;
}

Scene* SceneElement::OwnerScene() const {
  const SceneElement* root = this;
  while (root->fParent) root = root->fParent;
  return root->fOwnerScene;
}

QVResult SceneElement::GetScene(IHostScene** scene) {
  QVClearOut(reinterpret_cast<void**>(scene));
  if (Scene* owner = OwnerScene()) QVStoreOut(reinterpret_cast<void**>(scene), static_cast<IHostScene*>(owner));
  return kQVOk;
}

void SceneElement::Invalidate(int32_t) {
  if (Scene* owner = OwnerScene()) owner->SharedJournal()->Record("display", "invalidate " + ShownText(Path()));
}

QVResult SceneElement::GetBoundingBox(BoundingBox& box, int32_t, int32_t) {
  for (const TQVVector3& point : fMeshPoints) {
    box.minimum = {std::fmin(box.minimum.x, point.x), std::fmin(box.minimum.y, point.y),
                   std::fmin(box.minimum.z, point.z)};
    box.maximum = {std::fmax(box.maximum.x, point.x), std::fmax(box.maximum.y, point.y),
                   std::fmax(box.maximum.z, point.z)};
  }
  return kQVOk;
}

QVResult SceneElement::GetEntry(IUnknown** entry, uint32_t index) {
  QVClearOut(reinterpret_cast<void**>(entry));
  if (index < fComponents.size())
    QVStoreOut(reinterpret_cast<void**>(entry), static_cast<IHostParameterList*>(fComponents[index].Get()));
  return kQVOk;
}

}  // namespace qvhost
