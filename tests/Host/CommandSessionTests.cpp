// The command session: the steps it records, what each step was asked, and a scene that
// Undo and Redo bring back exactly.
#include <algorithm>

#include "ModuleFixture.h"
#include "qvhost/CommandSession.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"

namespace {

class CommandSessionTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    fModule = &Load("JitterKeys");
    fDocument = qvhost::LoadSceneFile(std::string(QV_EXAMPLES) + "/jitter-keys.qvscene.json", fShell->SharedJournal());
    fShell->Settings().currentDocument.Assign(fDocument.Get());
  }
  void TearDown() override {
    fSessions.clear();
    fShell->Settings().currentDocument.Release();
    fDocument.Release();
    ModuleTest::TearDown();
  }
  static std::vector<std::string> Operations(const qvhost::CommandSession& session) {
    std::vector<std::string> operations;
    for (const qvhost::RunStep& step : session.Steps()) operations.push_back(step.operation + " " + step.answer);
    return operations;
  }
  static bool Asked(const qvhost::RunStep& step, const std::string& kind) {
    return std::any_of(step.asked.begin(), step.asked.end(),
                       [&](const qvhost::JournalEntry& entry) { return entry.kind == kind; });
  }

  qvhost::LoadedModule* fModule = nullptr;
  TQVCountedPtr<qvhost::Document> fDocument;
};

TEST_F(CommandSessionTest, StepsRecordTheAnswersAndWhatEachStepAskedAndUndoRedoRestoreTheScene) {
  qvhost::CommandSession& session = StartSession(*fModule, *fDocument);
  std::vector<qvhost::RunStep> told;
  session.onStep = [&](const qvhost::RunStep& step) { told.push_back(step); };
  const std::string original = session.Snapshot();
  session.Create();
  session.SetContext();
  ASSERT_TRUE(session.IsEnabled());
  session.DialogRound({{{"Seed", "42"}}, {}});
  const std::vector<std::string> values = session.ParameterValues();
  EXPECT_NE(std::find(values.begin(), values.end(), "Seed=42"), values.end());
  ASSERT_EQ(session.Prepare(), kQVOk);
  ASSERT_TRUE(session.Do());
  const std::string done = session.Snapshot();
  EXPECT_NE(done, original);
  ASSERT_TRUE(session.Undo());
  EXPECT_EQ(session.Snapshot(), original) << "Undo gives the scene before Do";
  ASSERT_TRUE(session.Redo());
  EXPECT_EQ(session.Snapshot(), done) << "Redo gives the scene after Do";

  EXPECT_EQ(Operations(session),
            (std::vector<std::string>{"CreateInstance 0x00000000", "SetContext 0x00000000", "IsEnabled true",
                                      "ControlEvent dialog ready 0x00000000", "ParametersChanged 0x00000000",
                                      "Prepare 0x00000000", "Do true", "Undo true", "Redo true"}));
  EXPECT_EQ(told.size(), session.Steps().size()) << "each step is told as it ends";
  const auto& steps = session.Steps();
  EXPECT_TRUE(Asked(steps[3], "dialog")) << "the dialog is shown with its round";
  for (size_t i : {6, 7, 8}) {
    EXPECT_TRUE(Asked(steps[i], "keys")) << steps[i].operation << ": the keys it moved are reported with it";
    EXPECT_TRUE(Asked(steps[i], "notify")) << steps[i].operation;
  }
  EXPECT_FALSE(Asked(steps[5], "keys")) << "Prepare moves nothing";
}

TEST_F(CommandSessionTest, DialogEditsTheDialogCannotTakeAreOneHostErrorEach) {
  struct Case {
    qvhost::DialogEdits edits;
    const char* message;
  };
  const Case cases[] = {
      {{{{"Nope", "1"}}, {}}, "Nope"},
      {{{{"Seed", "many"}}, {}}, "Seed=many"},
      {{{}, {"NOPE"}}, "--control NOPE: dialog 150 has no such control (controls: SHUF)"},
      {{{}, {"TOOLONG"}}, "--control TOOLONG: expected a four-character code"},
  };
  for (const Case& c : cases) {
    qvhost::CommandSession& session = StartSession(*fModule, *fDocument);
    session.Create();
    session.SetContext();
    try {
      session.DialogRound(c.edits);
      ADD_FAILURE() << c.message << ": no error";
    } catch (const qvhost::HostError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

}  // namespace
