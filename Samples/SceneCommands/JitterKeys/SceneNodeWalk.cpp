// The element tree iterator and the scene node walker.
#include "SceneNodeWalk.h"

#include "QVComponent.h"

void TElementTreeIterator::Init(IHostTreeElement* root) { Init(root, nullptr, nullptr, true); }

void TElementTreeIterator::Init(IHostTreeElement* root, TElementPredicate descend, void* context,
                                bool descendIntoRoot) {
  fRoot = root;
  fAccept = nullptr;
  fAcceptContext = nullptr;
  fDescend = descend;
  fDescendContext = context;
  fDescendIntoRoot = descendIntoRoot;
  fSkipRoot = false;
  fCount = 0;
  fDepth = 0;
  fCurrent.Release();
}

IHostTreeElement* TElementTreeIterator::First() {
  fCurrent.Assign(fRoot);
  fCount = 0;
  fDepth = 0;
  if (fRoot && (fSkipRoot || !Accepts(fRoot))) Next();
  return fCurrent.Get();
}

IHostTreeElement* TElementTreeIterator::Next() {
  IHostTreeElement* p = fCurrent.Get();
  while (p) {
    IHostTreeElement* child = p->GetFirstChild();
    IHostTreeElement* sibling = p->GetNextSibling();
    const bool enter = child && ((fDescendIntoRoot && p == fRoot) || !fDescend || fDescend(p, fDescendContext));
    if (enter) {
      p = child;
      ++fDepth;
    } else if (sibling && p != fRoot) {
      p = sibling;
    } else {
      // Climb until an ancestor below the root has a next sibling.
      IHostTreeElement* next = nullptr;
      while (p != fRoot && !(next = p->GetNextSibling())) {
        TQVCountedPtr<IHostTreeElement> parent;
        p->GetParent(parent.Put());
        p = parent.Get();  // the tree keeps it alive
        --fDepth;
        if (!p) break;
      }
      p = (p && p != fRoot) ? next : nullptr;
    }
    if (!p || Accepts(p)) break;
  }
  fCurrent.Assign(p);
  ++fCount;
  return p;
}

namespace {

IHostAnimationNode* NodeOf(IUnknown* object) {
  TQVCountedPtr<IHostAnimated> animated;
  if (!object || QVQuery(object, animated) != kQVOk) return nullptr;
  return animated->GetAnimationNode();
}

}  // namespace

void QVFindSceneHierarchy(IHostCommandContext* context, IHostScene* scene,
                          TQVCountedPtr<IHostSceneHierarchy>& hierarchy) {
  hierarchy.Release();
  TQVCountedPtr<IUnknown> provider;
  if (context) context->GetActiveDocumentProvider(provider.Put());
  TQVCountedPtr<IHostInstance> instance;
  if (provider && QVQuery(provider.Get(), instance) == kQVOk) {
    TQVCountedPtr<IUnknown> object;
    instance->GetObject(object.Put());
    QVQuery(object.Get(), hierarchy);
  } else {
    QVQuery(scene, hierarchy);
  }
}

TSceneNodeWalker::TSceneNodeWalker(IHostScene* scene, IHostSceneHierarchy* hierarchy, const char* source,
                                   int32_t line)
    : fSource(source), fLine(line) {
  fScene.Assign(scene);
  fHierarchy.Assign(hierarchy);
}

TSceneNodeWalker::~TSceneNodeWalker() { QVDeleteObject(fIterator); }

IHostAnimationNode* TSceneNodeWalker::Cycle() {
  IHostAnimationNode* node = nullptr;
  if (!fIterator || fIterator->Current()) {
    IHostTreeElement* element = nullptr;
    if (!fIterator) {
      TQVCountedPtr<IHostTree> tree;
      if (fHierarchy) {
        fHierarchy->Prepare();
        fHierarchy->GetTree(tree.Put());
      }
      if (!tree) QVThrow(kQVErrObjectMissing, fSource, fLine);
      tree->GetRootElement(fRoot.Put(), 0, 1);
      fIterator = QVNewObject<TElementTreeIterator>();
      if (!fIterator) QVRaiseOutOfMemory();
      fIterator->Init(fRoot.Get());
      element = fIterator->First();
    } else {
      element = fIterator->Next();
    }
    node = NodeOf(element);
  }
  if (!node && fScene && fListIndex1 < fScene->GetObjectList1Count())
    node = NodeOf(fScene->GetObjectList1Entry(fListIndex1++));
  if (!node && fScene && fListIndex2 < fScene->GetObjectList2Count()) {
    TQVCountedPtr<IHostObjectOwner> owner;
    if (QVQuery(fScene->GetObjectList2Entry(fListIndex2++), owner) == kQVOk) node = NodeOf(owner->GetOwnedObject());
  }
  if (!node && !fExtraDone) {
    fExtraDone = true;
    if (fScene) node = NodeOf(fScene->GetExtraAnimatedObject());
  }
  return node;
}

bool TSceneNodeWalker::Exhausted() {
  const bool treeDone = fIterator && !fIterator->Current();
  return treeDone && (!fScene || (fListIndex1 >= fScene->GetObjectList1Count() &&
                                  fListIndex2 >= fScene->GetObjectList2Count())) &&
         fExtraDone;
}

IHostAnimationNode* TSceneNodeWalker::NextNode() {
  // A cycle without a node does not end the walk while a source still has entries.
  for (;;) {
    if (IHostAnimationNode* node = Cycle()) return node;
    if (Exhausted()) return nullptr;
  }
}
