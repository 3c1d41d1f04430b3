// The JitterKeys command, its tester, its undo action and the module's creator.
#include "JitterKeys.h"

#include <cmath>

#include "IHostDialogs.h"
#include "IHostModalDialog.h"
#include "QVModule.h"
#include "QVServiceTable.h"
#include "qvplatform/Platform.h"

namespace {

constexpr const char kSource[] = "Samples/SceneCommands/JitterKeys/JitterKeys";
constexpr QVGUID kJitterKeysClassId = {0x4A744B79, 0x6A74, 0x4B79, {0x4A, 0x69, 0x74, 0x74, 0x65, 0x72, 0x4B, 0x73}};

// Module-wide defaults, kept across commands through ParametersChanged.
JitterKeysParameters gDefaults = {0.0f, 1.0f, 8000};

struct RandomState {
  bool seeded;
  uint32_t state;
};
thread_local RandomState tRandom;

// Seeded at load with the current time, on the loading thread.
struct SeedAtLoad {
  SeedAtLoad() { JitterKeysSeed(uint32_t(QVPlatform_CurrentTime())); }
} gSeedAtLoad;

// The representable time nearest to `value`.
int32_t ClampTicks(double value) {
  if (!(value == value)) return 0;  // NaN
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return int32_t(value);
}

}  // namespace

void JitterKeysSeed(uint32_t seed) {
  tRandom.state = seed;
  tRandom.seeded = true;
}

int32_t JitterKeysDraw() {
  if (!tRandom.seeded) JitterKeysSeed(uint32_t(QVPlatform_CurrentTime()));  // a thread's first draw
  tRandom.state = tRandom.state * 214013u + 2531011u;
  return int32_t((tRandom.state >> 16) & 0x7FFF);
}

int32_t RandomOffset(float minTicks, float maxTicks) {
  const int32_t r1 = JitterKeysDraw();
  int64_t lo = ClampTicks(std::trunc(double(minTicks)));
  int64_t hi = ClampTicks(std::trunc(double(maxTicks)));
  if (lo > hi) std::swap(lo, hi);
  const int32_t r2 = JitterKeysDraw();
  // Exact in double: r2 < 2^15 and the range < 2^33.
  const int32_t magnitude = ClampTicks(std::trunc(double(r2) * double(hi - lo + 1) / 32768.0 + double(lo)));
  return (r1 * 1000) / 32768 >= 500 ? magnitude : ClampTicks(-double(magnitude));
}

// ---- Action ----------------------------------------------------------------------------

TJitterKeysAction::TJitterKeysAction(IHostScene* scene, IHostSceneHierarchy* hierarchy, float minTicks,
                                     float maxTicks)
    : fMinTicks(minTicks), fMaxTicks(maxTicks) {
  fScene.Assign(scene);
  fHierarchy.Assign(hierarchy);
}

void TJitterKeysAction::MoveSelectedKeys() {
  TSceneNodeWalker walker(fScene.Get(), fHierarchy.Get(), kJitterKeysHeaderSource, kJitterKeysHeaderLine);
  while (IHostAnimationNode* node = walker.NextNode()) {
    if (ProcessNode(node, TTimeOffsetTable())) node->KeysChanged();
  }
}

namespace {

// Clears a node's suspendable state for the time of its edit and sets it again on every
// way out, exceptions included.
class TSuspendedForEdit {
 public:
  explicit TSuspendedForEdit(IHostAnimationNode* node) : fNode(node), fSuspended(node->GetSuspendableState()) {
    if (fSuspended) fNode->SetSuspendableState(false);
  }
  ~TSuspendedForEdit() {
    if (fSuspended) fNode->SetSuspendableState(true);
  }
  TSuspendedForEdit(const TSuspendedForEdit&) = delete;
  TSuspendedForEdit& operator=(const TSuspendedForEdit&) = delete;

 private:
  IHostAnimationNode* fNode;
  bool fSuspended;
};

}  // namespace

bool TJitterKeysAction::ProcessNode(IHostAnimationNode* node, TTimeOffsetTable table) {
  TSuspendedForEdit edit(node);
  bool moved = false;
  IHostKeyTrack* own = node->GetOwnKeyTrack();
  if (own && own->HasSelectedKey()) {
    moved = true;
    const int32_t count = own->GetKeyCount();
    for (int32_t i = 0; i < count; ++i) {
      IHostKeyframe* key = own->GetKey(i);
      if (!key || !key->IsSelected()) continue;
      const int32_t ticks = key->GetTimeRecord().ticks;
      if (!table.Find(ticks)) table.Append(ticks, float(RandomOffset(fMinTicks, fMaxTicks)));
    }
    MoveKeys(own, node, table);
  }
  // Channels see the table as the own track left it; a sub-node adds to its own copy.
  const int32_t channels = node->GetChannelCount();
  for (int32_t i = 0; i < channels; ++i) {
    IHostAnimationChannel* channel = node->GetChannel(i);
    if (!channel || !channel->GetEligibilityFlag1() || !channel->GetEligibilityFlag2()) continue;
    if (channel->IsSubNodeChannel()) {
      if (IHostAnimationNode* sub = channel->GetSubNode())
        if (ProcessNode(sub, table)) moved = true;
    } else if (IHostKeyTrack* track = channel->GetKeyTrack()) {
      if (track->HasSelectedKey()) {
        moved = true;
        MoveKeys(track, node, table);
      }
    }
  }
  return moved;
}

void TJitterKeysAction::MoveKeys(IHostKeyTrack* track, IHostAnimationNode* node, const TTimeOffsetTable& table) {
  const int32_t count = track->GetKeyCount();
  for (int32_t i = 0; i < count; ++i) {
    IHostKeyframe* key = track->GetKey(i);
    if (!key || !key->IsSelected()) continue;
    const int32_t ticks = key->GetTimeRecord().ticks;
    const TTimeOffset* entry = table.Find(ticks);
    const double offset = entry ? std::trunc(double(entry->offset)) : double(RandomOffset(fMinTicks, fMaxTicks));
    int32_t moved = ClampTicks(double(ticks) + offset);
    if (moved < 0) moved = 0;
    IHostKeyframe* previous = key->GetPreviousKey();
    if (previous && moved == previous->GetTimeRecord().ticks && moved < INT32_MAX) ++moved;
    IHostKeyframe* next = key->GetNextKey();
    if (next && moved == next->GetTimeRecord().ticks && moved > INT32_MIN) --moved;
    // The record grows by one whole entry or not at all, before the key moves.
    const int32_t recorded = fKeys.Length();
    if (!fKeys.Append(key) || !fTimes.Append(ticks) || !fNodes.Append(node)) {
      fKeys.SetLength(recorded);
      fTimes.SetLength(recorded);
      fNodes.SetLength(recorded);
      QVRaiseOutOfMemory();
    }
    key->SetTime(moved);
  }
  track->AfterEdit();
}

void TJitterKeysAction::Swap() {
  for (int32_t i = 0; i < fKeys.Length(); ++i) {
    const int32_t current = fKeys[i]->GetTimeRecord().ticks;
    fKeys[i]->SetTime(fTimes[i]);
    fTimes[i] = current;
    fNodes[i]->KeysChanged();
  }
  TSceneNodeWalker walker(fScene.Get(), fHierarchy.Get(), kJitterKeysHeaderSource, kJitterKeysHeaderLine);
  while (IHostAnimationNode* node = walker.NextNode()) node->ChangedWithSource(static_cast<IUnknown*>(this));
}

// ---- Command ---------------------------------------------------------------------------

TJitterKeysCommand::TJitterKeysCommand() : fParameters(gDefaults) {}

void TJitterKeysCommand::GetTester(ICommandTester** tester) {
  QVMakeSelectedItemTester<IHostKeyframeItem>(tester, QVFourCC("KeyF"));
}

QVResult TJitterKeysCommand::SetContext(IHostCommandContext* context) {
  fContext.Assign(context);
  return kQVOk;
}

QVResult TJitterKeysCommand::Prepare() {
  if (!fContext) return kQVErrStopped;
  fContext->GetScene(fScene.Put());
  fContext->GetSelection(fSelection.Put());
  if (fSelection) fSelection->GetSnapshot(fSnapshot.Put());
  QVFindSceneHierarchy(fContext.Get(), fScene.Get(), fHierarchy);
  fContext->GetChangeNotificationTarget(fTarget.Put());
  if (!fTarget) QVThrow(kQVErrObjectMissing, kSource, 124);
  return kQVOk;
}

void TJitterKeysCommand::ShowRefusal() {
  HostResourceServices* resources = QVGetService<HostResourceServices>();
  if (resources) resources->BeginUsingResources(QVFourCC("scmd"), QVFourCC("JtKy"));
  if (HostDialogServices* dialogs = QVGetService<HostDialogServices>()) {
    TQVCountedPtr<IUnknown> dialog;
    dialogs->CreateDialog(QVFourCC("Dlog"), 300, dialog.Put());
    TQVCountedPtr<IHostModalDialog> modal;
    if (QVQuery(dialog.Get(), modal) == kQVOk) {
      modal->Prepare();
      modal->Show();
    }
  }
  if (resources) resources->EndUsingResources();
}

bool TJitterKeysCommand::Do() {
  if (fParameters.MinOffset > fParameters.MaxOffset) {  // a NaN compares as in order
    ShowRefusal();
    fFailed = true;
    return false;
  }
  const float minTicks = std::trunc(fParameters.MinOffset * float(kQVTicksPerSecond));
  const float maxTicks = std::trunc(fParameters.MaxOffset * float(kQVTicksPerSecond));
  JitterKeysSeed(uint32_t(fParameters.Seed));
  // An earlier action goes first: after this Do, Undo is about this Do's keys only.
  fAction.Release();
  TQVCountedPtr<TJitterKeysAction> action;
  action.AttachNew(QVNewObject<TJitterKeysAction>(fScene.Get(), fHierarchy.Get(), minTicks, maxTicks));
  try {
    action->MoveSelectedKeys();
  } catch (...) {
    // Cut short: the keys moved so far are recorded, and Undo swaps exactly them back.
    if (action->HasMoved()) fAction = action;
    throw;
  }
  fAction = action;
  Notify();
  return true;
}

bool TJitterKeysCommand::Swap() {
  if (fFailed || !fAction) return false;
  fAction->Swap();
  Notify();
  return true;
}

void TJitterKeysCommand::Notify() {
  if (HostNotificationServices* notifications = QVGetService<HostNotificationServices>())
    notifications->NotifyChange(fTarget.Get(), 0, fSnapshot.Get());
}

QVResult TJitterKeysCommand::ParametersChanged() {
  gDefaults = fParameters;
  return kQVOk;
}

QVResult TJitterKeysCommand::ControlEvent(int32_t, IUnknown* control, int32_t) {
  TQVCountedPtr<IHostDialogControl> part;
  if (QVQuery(control, part) == kQVOk && part->GetIdentifier() == QVFourCC("SHUF"))
    fParameters.Seed = int32_t(std::trunc(double(JitterKeysDraw()) * 65536.0 * (1.0 / 32768.0)));
  return kQVOk;
}

TQVComponent* CreateComponent(const QVGUID& classId) {
  if (!QVSameClass(classId, kJitterKeysClassId)) return nullptr;
  return QVNewObject<TJitterKeysCommand>();
}
