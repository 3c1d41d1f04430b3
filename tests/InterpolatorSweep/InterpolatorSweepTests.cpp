// InterpolatorSweep through the loader on scenes read from scene-file text.
#include <string>
#include <vector>

#include "DialogLayout.h"
#include "ExpectRaise.h"
#include "InterpolatorSweepParameters.h"
#include "ModuleFixture.h"
#include "RefusedAllocations.h"
#include "QVException.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/SceneFile.h"

namespace {

const char kScene[] = R"({"qvscene": 1,
  "elements": [
    {"name": "Ball", "animation": {
      "track": [{"time": 0, "interpolatorSelected": true}, {"time": 10, "interpolator": "smooth", "interpolatorSelected": true}],
      "channels": [{"name": "Bounce", "track": [{"time": 5, "interpolator": "constant", "interpolatorSelected": true}]}]}},
    {"name": "Lamp", "animation": {"track": [{"time": 0, "interpolator": "smooth"}]}}],
  "objects": [{"name": "Sun", "animation": {}}]})";

class InterpolatorSweepTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    fModule = &Load("InterpolatorSweep");
    fDialog = fModule->Resources().FindDialog(160);
  }
  void TearDown() override {
    fParameters.Release();
    fCommand.Release();
    fContext.Release();
    fDocument.Release();
    ModuleTest::TearDown();
  }

  // A command on `scene` with its context set and prepared; `chosen` picked in the dialog.
  void Start(const std::string& scene, const std::string& chosen, bool withTarget = true) {
    fDocument = qvhost::ParseScene(scene, "sweep.json", fShell->SharedJournal());
    auto* context = new qvhost::CommandContext(*fDocument);
    if (!withTarget) context->RemoveNotificationTarget();
    fContext = qvhost::Adopt<IHostCommandContext>(context);
    fSession = &StartSession(*fModule, *fDocument);
    fCommand.Assign(&fSession->Create());
    ASSERT_EQ(QVQuery(fCommand.Get(), fParameters), kQVOk);
    ASSERT_EQ(fSession->SetContext(fContext.Get()), kQVOk);
    if (!chosen.empty()) Choose(chosen);
  }
  void Choose(const std::string& type) { fSession->DialogRound({{{"ChosenInterpolator", type}}, {}}); }
  // "type" of each key's interpolator, in the order of the document's keys.
  std::vector<std::string> Types() {
    std::vector<std::string> types;
    for (const qvhost::KeyInTrack& entry : fDocument->AllKeys())
      types.push_back(entry.key->GetInterpolator() ? entry.key->GetInterpolator()->Type() : "none");
    return types;
  }
  std::vector<std::string> Journal(const char* kind) { return fShell->GetJournal().Texts(kind); }
  bool Enabled() {
    TQVCountedPtr<ICommandTester> tester;
    fCommand->GetTester(tester.Put());
    return tester->IsEnabled(fContext.Get());
  }

  qvhost::LoadedModule* fModule = nullptr;
  qvhost::CommandSession* fSession = nullptr;
  const qvhost::DialogResource* fDialog = nullptr;
  TQVCountedPtr<qvhost::Document> fDocument;
  TQVCountedPtr<IHostCommandContext> fContext;
  TQVCountedPtr<ISceneCommand> fCommand;
  TQVCountedPtr<ICommandParameters> fParameters;
};

// Keys in document order: Ball 0, Ball 10, Ball:Bounce 5, Lamp 0.
const std::vector<std::string> kBefore = {"linear", "smooth", "constant", "smooth"};

TEST_F(InterpolatorSweepTest, InstallsTheChoiceAndUndoRedoSwapItExactly) {
  Start(kScene, "constant");
  EXPECT_TRUE(Enabled());
  EXPECT_EQ(fParameters->GetDialogID(), 160);
  ASSERT_EQ(fCommand->Prepare(), kQVOk);
  EXPECT_TRUE(fCommand->Do());
  EXPECT_EQ(Types(), (std::vector<std::string>{"constant", "constant", "constant", "smooth"}));
  EXPECT_EQ(fDocument->GetScene().GetSelection().GetItemCount(), 0) << "Do clears the selection";
  fShell->GetJournal().Clear();
  EXPECT_TRUE(fCommand->Undo());
  EXPECT_EQ(Types(), kBefore);
  // Every node of the walk hears of it, then the host's change notification.
  EXPECT_EQ(Journal("keys"), (std::vector<std::string>{"changed Sun", "changed Ball", "changed Lamp"}));
  EXPECT_EQ(Journal("notify").size(), 1u);
  EXPECT_TRUE(fCommand->Redo());
  EXPECT_EQ(Types(), (std::vector<std::string>{"constant", "constant", "constant", "smooth"}));
  EXPECT_TRUE(fCommand->Undo());
  EXPECT_EQ(Types(), kBefore);
  // The dialog configured and linked the chooser once on the ready event, again on the change.
  EXPECT_EQ(fShell->GetJournal().Texts("dialog").size(), 0u) << "journal cleared above";
}

TEST_F(InterpolatorSweepTest, DialogReadyActsOnceAndOnlyOnItsMessage) {
  Start(kScene, "");
  qvhost::HeadlessDialog window(fDialog, 160, fShell->SharedJournal());
  EXPECT_EQ(fParameters->ControlEvent(kQVMessageControlChanged, window.Window(), 0), kQVOk);
  EXPECT_TRUE(Journal("dialog").empty()) << "another message changes nothing";
  EXPECT_EQ(fParameters->ControlEvent(kQVMessageDialogReady, window.Window(), 0), kQVOk);
  EXPECT_EQ(Journal("dialog"), (std::vector<std::string>{"TWNR configure twee 0 1 0", "TWNR link tprv"}));
  EXPECT_EQ(fParameters->ControlEvent(kQVMessageDialogReady, window.Window(), 0), kQVOk);
  EXPECT_EQ(Journal("dialog").size(), 2u) << "a second dialog-ready event changes nothing";
  window.Set(fParameters->GetParameterBlock(), "ChosenInterpolator", "smooth");
  EXPECT_EQ(fParameters->ParametersChanged(), kQVOk);
  EXPECT_EQ(Journal("dialog").back(), "TWNR link tprv") << "linked again after the change";
}

TEST_F(InterpolatorSweepTest, EmptyBlockReleasesTheChoiceAndDoInstallsNone) {
  Start(kScene, "smooth");
  Choose("none");
  ASSERT_EQ(fCommand->Prepare(), kQVOk);
  EXPECT_TRUE(fCommand->Do());
  EXPECT_EQ(Types(), (std::vector<std::string>{"none", "none", "none", "smooth"}));
  EXPECT_TRUE(fCommand->Undo());
  EXPECT_EQ(Types(), kBefore);
}

TEST_F(InterpolatorSweepTest, WithoutSelectedInterpolatorsItIsNotOfferedAndDoOnlyNotifies) {
  Start(R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [{"time": 0, "selected": true}]}}]})",
        "constant");
  EXPECT_FALSE(Enabled());
  ASSERT_EQ(fCommand->Prepare(), kQVOk);
  EXPECT_TRUE(fCommand->Do());
  EXPECT_EQ(Types(), std::vector<std::string>{"linear"});
  EXPECT_EQ(Journal("notify").size(), 1u);
  EXPECT_TRUE(fCommand->Undo());
  EXPECT_TRUE(fCommand->Redo());
  EXPECT_EQ(Journal("notify").size(), 3u);
}

TEST_F(InterpolatorSweepTest, TwoInterpolatorsOfOneHolderAreRestoredInIndexOrder) {
  Start(R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [{"time": 0}]}}]})", "");
  qvhost::Key& key = *fDocument->AllKeys().at(0).key;
  TQVCountedPtr<qvhost::Interpolator> first;
  first.Assign(key.GetInterpolator());
  auto second = qvhost::Adopt<qvhost::Interpolator>(new qvhost::Interpolator("smooth"));
  key.Install(second.Get());  // the first keeps pointing at the key it was displaced from
  qvhost::Selection& selection = fDocument->GetScene().GetSelection();
  selection.Add(QVFourCC("Twee"), static_cast<IHostInterpolator*>(first.Get()));
  selection.Add(QVFourCC("Twee"), static_cast<IHostInterpolator*>(second.Get()));
  ASSERT_EQ(fCommand->SetContext(fContext.Get()), kQVOk);  // takes the selection again
  Choose("constant");
  ASSERT_EQ(fCommand->Prepare(), kQVOk);
  EXPECT_TRUE(fCommand->Do());
  EXPECT_EQ(Types(), std::vector<std::string>{"constant"});
  EXPECT_TRUE(fCommand->Undo());
  EXPECT_EQ(key.GetInterpolator(), second.Get()) << "the later old interpolator wins";
}

TEST_F(InterpolatorSweepTest, MissingTargetAndMissingTreeRaiseWithTheirSourcesAndLines) {
  Start(kScene, "constant", /*withTarget=*/false);
  EXPECT_RAISES(fCommand->Prepare(), kQVErrObjectMissing, "Samples/SceneCommands/InterpolatorSweep/InterpolatorSweep", 195);
  // Without Prepare there is no hierarchy: the walk of Undo finds no tree.
  Start(kScene, "constant");
  EXPECT_TRUE(fCommand->Do());
  EXPECT_RAISES(fCommand->Undo(), kQVErrObjectMissing, "Samples/SceneCommands/InterpolatorSweep/InterpolatorSweep", 145);
  TQVCountedPtr<ISceneCommand> fresh;
  TQVCountedPtr<IClassFactory> factory = fModule->Factory(fModule->Resources().components.at(0).classId);
  ASSERT_EQ(factory->CreateInstance(nullptr, ISceneCommand::kID, fresh.PutVoid()), kQVOk);
  EXPECT_EQ(fresh->Prepare(), kQVOk) << "no context: nothing to prepare";
}

// Do goes on past an interpolator without a holder; Undo and Redo must too.
TEST_F(InterpolatorSweepTest, UndoAndRedoSkipAnInterpolatorWithoutAHolderAndGoOn) {
  Start(R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [{"time": 0}, {"time": 9, "interpolator": "smooth"}]}}]})",
        "");
  qvhost::Key& first = *fDocument->AllKeys().at(0).key;
  qvhost::Key& second = *fDocument->AllKeys().at(1).key;
  auto loose = qvhost::Adopt<qvhost::Interpolator>(new qvhost::Interpolator("constant"));  // held by nothing
  qvhost::Selection& selection = fDocument->GetScene().GetSelection();
  for (qvhost::Interpolator* item : {first.GetInterpolator(), loose.Get(), second.GetInterpolator()})
    selection.Add(QVFourCC("Twee"), static_cast<IHostInterpolator*>(item));
  ASSERT_EQ(fCommand->SetContext(fContext.Get()), kQVOk);
  Choose("constant");
  ASSERT_EQ(fCommand->Prepare(), kQVOk);
  const std::vector<std::string> before = {"linear", "smooth"}, after = {"constant", "constant"};
  EXPECT_TRUE(fCommand->Do());
  EXPECT_EQ(Types(), after);
  EXPECT_TRUE(fCommand->Undo());
  EXPECT_EQ(Types(), before) << "the holder after the one without a holder is restored too";
  EXPECT_TRUE(fCommand->Redo());
  EXPECT_EQ(Types(), after);
  EXPECT_TRUE(fCommand->Undo());
  EXPECT_EQ(Types(), before);
}

// Holders changed before the refusal must get their interpolators back from the one Undo
// the host calls.
TEST_F(InterpolatorSweepTest, OneUndoAfterADoCutShortByARefusedAllocationRestoresTheScene) {
  std::string scene = R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [)";
  for (int i = 0; i < 12; ++i)
    scene += std::string(i ? ", " : "") + "{\"time\": " + std::to_string(i * 10) + ", \"interpolator\": \"" +
             (i % 2 ? "smooth" : "linear") + "\", \"interpolatorSelected\": true}";
  scene += "]}}]}";
  const int64_t allocations = ExpectUndoRepairsEachRefusedDo([&]() -> qvhost::CommandSession& {
    Start(scene, "constant");
    EXPECT_EQ(fSession->Prepare(), kQVOk);
    return *fSession;
  });
  EXPECT_GT(allocations, 2);
}

// The resource file gives the module's own block: its size and the field's offset.
TEST_F(InterpolatorSweepTest, TheResourceFileDescribesTheBlockAtItsOffsets) {
  ExpectDialogLayout(fDialog, sizeof(InterpolatorSweepParameters),
                     {{"ChosenInterpolator", offsetof(InterpolatorSweepParameters, ChosenInterpolatorItem)}});
  if (HasFatalFailure()) return;
  EXPECT_EQ(qvhost::DialogFieldSize(fDialog->fields[0].type), sizeof(InterpolatorSweepParameters::ChosenInterpolatorItem));
}

}  // namespace
