// Scene structure: the document, the scene, its element tree and tree elements.
#pragma once

#include "HostServices.h"
#include "QVArray.h"
#include "QVMath.h"
#include "QVRemovalRecord.h"
#include "QVRemovalRecordArray.h"
#include "QVString.h"

struct IHostTreeElement;
struct IHostCommandContext;
struct IHostRenderSetup;
struct IHostTimeControl;

// The document HostApplicationServices answers. Modules only hand it back; the host
// finds the document's components through it.
struct IHostDocument : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x110);
  // The document's component of `type` (for example '3Dvw'), or null.
  virtual QVResult GetComponent(uint32_t type, IUnknown** component) = 0;
};

struct IHostTree : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x111);
  // The root element (with the arguments the walk passes: 0, 1).
  virtual QVResult GetRootElement(IHostTreeElement** root, int32_t a, int32_t b) = 0;
};

struct IHostScene : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x112);
  virtual void PrepareTree() = 0;
  virtual QVResult GetTree(IHostTree** tree) = 0;
  // The scene-changed signal at the end of Do, Undo and Redo.
  virtual void SceneChanged() = 0;
  // The first object list: every entry answers IHostAnimated (borrowed entries).
  virtual uint32_t GetObjectList1Count() = 0;
  virtual IUnknown* GetObjectList1Entry(uint32_t index) = 0;
  // The second object list: every entry answers IHostObjectOwner.
  virtual uint32_t GetObjectList2Count() = 0;
  virtual IUnknown* GetObjectList2Entry(uint32_t index) = 0;
  // One more animated object, borrowed, or null.
  virtual IUnknown* GetExtraAnimatedObject() = 0;
  // The command context of the scene's document.
  virtual QVResult GetCommandContext(IHostCommandContext** context) = 0;
  // The element of this scene whose reference list (IHostTreeElement::GetReferenceList)
  // is `reference`, or null; a list starting with 0 names no element.
  virtual QVResult ResolveTargetReference(const TQVArray<int32_t>& reference, IHostTreeElement** target) = 0;
  // 0 when the scene cannot be exported now.
  virtual int32_t GetExportPrecondition() = 0;
  // The current time in ticks (argument 0).
  virtual int32_t GetCurrentTime(int32_t reserved) = 0;
  // Evaluates the scene at `time`; the thumbnails pass (time, 0, 1, 0, 0, 0). May be
  // called from the renderer's thread.
  virtual QVResult GoToTime(int32_t time, int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) = 0;
  virtual QVResult GetRenderSetup(IHostRenderSetup** setup) = 0;
  virtual QVResult GetTimeControl(IHostTimeControl** control) = 0;
  // Redraws the scene after its time was set.
  virtual void Refresh() = 0;
};

// The scene's structure, answered by the scene or by a nested scene's object.
struct IHostSceneHierarchy : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x114);
  virtual void Prepare() = 0;
  virtual QVResult GetTree(IHostTree** tree) = 0;
  // The scene's element list: every tree element in pre-order (borrowed answers).
  virtual int32_t GetElementCount() = 0;
  virtual IHostTreeElement* GetElement(int32_t index) = 0;
};

// An element that shows an object (a nested scene, a primitive).
struct IHostInstance : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x115);
  virtual QVResult GetObject(IUnknown** object) = 0;
};

// An element of the scene's tree. Transforms are exchanged as TQVTransform (local or
// global) or Matrix34 (global); children are kept in sibling order.
struct IHostTreeElement : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x113);
  // Borrowed answers: the tree keeps its elements alive.
  virtual IHostTreeElement* GetFirstChild() = 0;
  virtual IHostTreeElement* GetNextSibling() = 0;
  virtual QVResult GetParent(IHostTreeElement** parent) = 0;

  // A copy of the element and its subtree, not yet in the tree.
  virtual QVResult DeepCopy(int32_t flag, IHostTreeElement** copy) = 0;
  // Puts `element` (not in a tree) right after this element, under the same parent.
  virtual QVResult InsertNextTo(IHostTreeElement* element) = 0;
  // Appends `element` (not in a tree) as this element's last child.
  virtual QVResult AddChild(IHostTreeElement* element) = 0;
  // Takes the element out; `record` (fresh) receives what ReInsert needs.
  virtual QVResult Remove(IUnknown** token, RemovalRecord* record) = 0;
  // Asked of record->references[0]: puts the element back where it was.
  virtual QVResult ReInsert(const RemovalRecord* record) = 0;

  virtual void GetName(TQVString& name) = 0;
  virtual void SetName(const TQVString& name) = 0;
  virtual void GetLocalTransform(TQVTransform& transform) = 0;
  virtual void SetLocalTransform(const TQVTransform& transform, int32_t a, int32_t b, int32_t c) = 0;
  virtual void GetGlobalTransform(TQVTransform& transform) = 0;
  virtual void SetGlobalTransform(const TQVTransform& transform, int32_t a, int32_t b, int32_t c, int32_t d) = 0;
  virtual void GetGlobalMatrix(Matrix34& matrix) = 0;
  virtual void SetGlobalMatrix(const Matrix34& matrix, int32_t flags) = 0;
  // The element's attached component of class `classCode`, or null.
  virtual QVResult GetComponent(uint32_t classCode, IUnknown** component) = 0;

  // The scene the element is in, or null when it is in none.
  virtual QVResult GetScene(IHostScene** scene) = 0;
  // Asks for the element to be drawn again (argument 0).
  virtual void Invalidate(int32_t reserved) = 0;
  // Replaces the contents of the caller's `list` with what identifies the element to its
  // scene's ResolveTargetReference, across saving and loading.
  virtual void GetReferenceList(TQVArray<int32_t>& list) = 0;
  // Widens `box` (made empty by the caller) by the element's own extent, in its own
  // coordinates; an element without geometry leaves it as it is. (a, b): 0, 1 or 2, 1.
  virtual QVResult GetBoundingBox(BoundingBox& box, int32_t a, int32_t b) = 0;
  // The entries (attached components) in order; every entry answers IHostParameterList.
  virtual uint32_t GetEntryCount() = 0;
  virtual QVResult GetEntry(IUnknown** entry, uint32_t index) = 0;
};
