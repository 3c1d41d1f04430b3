// The scene node walk shared by the commands that act on every animated thing of a
// scene: a pre-order iterator over a subtree of elements, and a walker that draws
// animation nodes from the tree, the scene's two object lists and its extra object.
#pragma once

#include "IHostAnimation.h"
#include "IHostScene.h"
#include "IHostSelection.h"
#include "QVCountedPtr.h"

typedef bool (*TElementPredicate)(IHostTreeElement* element, void* context);

class TElementTreeIterator {
 public:
  TElementTreeIterator() = default;
  TElementTreeIterator(const TElementTreeIterator&) = delete;
  TElementTreeIterator& operator=(const TElementTreeIterator&) = delete;

  // Over `root`'s subtree, no predicates, root's children entered, root delivered first.
  void Init(IHostTreeElement* root);
  // Children of an element are entered only when `descend` accepts it (always for the
  // root when `descendIntoRoot`).
  void Init(IHostTreeElement* root, TElementPredicate descend, void* context, bool descendIntoRoot);
  // Elements `accept` rejects are passed over; their children are still visited.
  void SetAccept(TElementPredicate accept, void* context) {
    fAccept = accept;
    fAcceptContext = context;
  }
  void SetSkipRoot(bool skip) { fSkipRoot = skip; }

  IHostTreeElement* First();
  IHostTreeElement* Next();  // null at the end
  IHostTreeElement* Current() const { return fCurrent.Get(); }
  int32_t Count() const { return fCount; }
  int16_t Depth() const { return fDepth; }

 private:
  bool Accepts(IHostTreeElement* element) const { return !fAccept || fAccept(element, fAcceptContext); }

  TQVCountedPtr<IHostTreeElement> fCurrent;
  IHostTreeElement* fRoot = nullptr;  // borrowed
  TElementPredicate fAccept = nullptr;
  void* fAcceptContext = nullptr;
  TElementPredicate fDescend = nullptr;
  void* fDescendContext = nullptr;
  bool fDescendIntoRoot = true;
  bool fSkipRoot = false;
  int32_t fCount = 0;
  int16_t fDepth = 0;
};

// The scene hierarchy a command walks: the nested scene's when the context's active
// document provider is an instance, else the scene's own.
void QVFindSceneHierarchy(IHostCommandContext* context, IHostScene* scene,
                          TQVCountedPtr<IHostSceneHierarchy>& hierarchy);

// One pass over the scene's animation nodes. `source` and `line` locate the raise of a
// hierarchy without a tree: each module passes its own.
class TSceneNodeWalker {
 public:
  TSceneNodeWalker(IHostScene* scene, IHostSceneHierarchy* hierarchy, const char* source, int32_t line);
  ~TSceneNodeWalker();
  TSceneNodeWalker(const TSceneNodeWalker&) = delete;
  TSceneNodeWalker& operator=(const TSceneNodeWalker&) = delete;

  // The next node (borrowed), or null when every source is exhausted.
  IHostAnimationNode* NextNode();

 private:
  // One cycle: the first node the sources give in order, or null.
  IHostAnimationNode* Cycle();
  bool Exhausted();

  TQVCountedPtr<IHostScene> fScene;
  TQVCountedPtr<IHostSceneHierarchy> fHierarchy;
  TQVCountedPtr<IHostTreeElement> fRoot;  // kept for the iterator, which borrows it
  TElementTreeIterator* fIterator = nullptr;
  uint32_t fListIndex1 = 0;
  uint32_t fListIndex2 = 0;
  bool fExtraDone = false;
  const char* fSource;
  int32_t fLine;
};
