// JitterKeys: moves every selected keyframe by a seeded random offset; keys of one node
// at the same time move together. Undo and Redo swap the old and new times.
#pragma once

#include "IHostAnimation.h"
#include "IHostScene.h"
#include "JitterKeysParameters.h"
#include "ModuleInterfaces.h"
#include "QVArray.h"
#include "QVCountedPtr.h"
#include "QVSceneCommand.h"
#include "SceneNodeWalk.h"
#include "SelectedItems.h"
#include "TimeOffsetTable.h"

// The walk's raise when the hierarchy has no tree, at this module's header.
inline constexpr const char kJitterKeysHeaderSource[] = "Samples/SceneCommands/JitterKeys/JitterKeys";
constexpr int32_t kJitterKeysHeaderLine = 163;

// The undo record of one Do: every moved key with its node and its other time.
class TJitterKeysAction final : public TQVRefObject {
 public:
  TJitterKeysAction(IHostScene* scene, IHostSceneHierarchy* hierarchy, float minTicks, float maxTicks);
  void DeleteThis(uint32_t flags) override { QVDeleteRefObject(this, flags); }

  // Do's walk: moves the selected keys of every node.
  void MoveSelectedKeys();
  // Undo and Redo: exchanges the recorded times with the keys' current ones.
  void Swap();
  // Whether the record holds a moved key.
  bool HasMoved() const { return fKeys.Length() > 0; }

 private:
  bool ProcessNode(IHostAnimationNode* node, TTimeOffsetTable table);
  void MoveKeys(IHostKeyTrack* track, IHostAnimationNode* node, const TTimeOffsetTable& table);

  TQVCountedPtr<IHostScene> fScene;
  TQVCountedPtr<IHostSceneHierarchy> fHierarchy;
  float fMinTicks;
  float fMaxTicks;
  TQVArray<IHostKeyframe*> fKeys;
  TQVArray<IHostAnimationNode*> fNodes;
  TQVArray<int32_t> fTimes;
};

// Enabled while the selection holds a 'KeyF' item whose object is a keyframe item.
using TJitterKeysTester = TSelectedItemTester<IHostKeyframeItem>;

class TJitterKeysCommand final : public TQVSceneCommand {
 public:
  TJitterKeysCommand();

  int32_t Release() override { return QVReleaseComponent(this); }
  void GetTester(ICommandTester** tester) override;
  QVResult SetContext(IHostCommandContext* context) override;
  QVResult Prepare() override;
  bool AvailabilityQueryA() override { return true; }
  bool Do() override;
  bool Undo() override { return Swap(); }
  bool Redo() override { return Swap(); }

  void* GetParameterBlock() override { return &fParameters; }
  QVResult ParametersChanged() override;
  QVResult ControlEvent(int32_t message, IUnknown* control, int32_t value) override;
  int16_t GetDialogID() override { return 150; }

 private:
  bool Swap();
  void Notify();
  void ShowRefusal();

  bool fFailed = false;
  TQVCountedPtr<TJitterKeysAction> fAction;
  JitterKeysParameters fParameters;
  TQVCountedPtr<IHostCommandContext> fContext;
  TQVCountedPtr<IHostScene> fScene;
  TQVCountedPtr<IHostSceneHierarchy> fHierarchy;
  TQVCountedPtr<IHostSelection> fSelection;
  TQVCountedPtr<IHostSelection> fSnapshot;
  TQVCountedPtr<IUnknown> fTarget;
};

// The module's random generator (one state per thread) and the offset it draws.
int32_t JitterKeysDraw();
void JitterKeysSeed(uint32_t seed);
int32_t RandomOffset(float minTicks, float maxTicks);
