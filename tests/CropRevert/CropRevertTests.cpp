// CropRevert through the loader on scenes built in code.
#include "ExpectRaise.h"
#include "ModuleFixture.h"
#include "RefusedAllocations.h"
#include "QVException.h"
#include "qvhost/Document.h"

namespace {

struct PaneSetup {
  const char* name;
  bool active;
  int32_t x, y;
  float scale;
  bool locked;
};

struct Frame {
  int32_t x, y;
  float scale;
  bool operator==(const Frame& other) const { return x == other.x && y == other.y && scale == other.scale; }
};

std::ostream& operator<<(std::ostream& out, const Frame& f) { return out << "(" << f.x << ", " << f.y << ") x" << f.scale; }

class CropRevertTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    fModule = &Load("CropRevert");
    fDocument = qvhost::Adopt<qvhost::Document>(new qvhost::Document(fShell->SharedJournal()));
    fShell->Settings().currentDocument.Assign(fDocument.Get());
  }
  void TearDown() override {
    fShell->Settings().currentDocument.Release();
    fDocument.Release();
    ModuleTest::TearDown();
  }

  void AddPanes(std::initializer_list<PaneSetup> panes) {
    qvhost::View3D& view = fDocument->GetOrAddView();
    for (const PaneSetup& setup : panes) {
      qvhost::ViewPane& pane = view.AddPane(setup.name, fShell->SharedJournal());
      pane.active = setup.active;
      pane.View().SetOffset(setup.x, setup.y);
      pane.View().SetScale(setup.scale);
      pane.View().locked = setup.locked;
    }
  }
  Frame FrameOf(size_t pane) {
    qvhost::PaneView& view = fDocument->View()->Panes().at(pane)->View();
    Frame frame{};
    view.GetOffset(&frame.x, &frame.y);
    frame.scale = view.GetScale();
    return frame;
  }
  TQVCountedPtr<ISceneCommand> Create() { return CreateCommand(*fModule, *fDocument); }
  std::vector<std::string> Updates() { return fShell->GetJournal().Texts("display"); }

  qvhost::LoadedModule* fModule = nullptr;
  TQVCountedPtr<qvhost::Document> fDocument;
};

TEST_F(CropRevertTest, ResetsOnlyTheFirstActivePaneAndSwapsOnUndoAndRedo) {
  AddPanes({{"Top", false, 5, 6, 2.0f, false}, {"Camera", true, 120, -48, 1.5f, false}, {"Side", true, 7, 8, 3.0f, false}});
  TQVCountedPtr<ISceneCommand> command = Create();
  EXPECT_EQ(command->SetContext(nullptr), kQVOk);
  EXPECT_EQ(command->Prepare(), kQVOk);
  EXPECT_TRUE(command->AvailabilityQueryA());
  EXPECT_TRUE(command->AvailabilityQueryB());
  const Frame before{120, -48, 1.5f}, neutral{0, 0, 1.0f};
  struct Step {
    bool (ISceneCommand::*operation)();
    Frame expected;
  };
  const Step steps[] = {{&ISceneCommand::Do, neutral},
                        {&ISceneCommand::Undo, before},
                        {&ISceneCommand::Redo, neutral},
                        {&ISceneCommand::Undo, before}};
  for (const Step& step : steps) {
    EXPECT_TRUE((command.Get()->*step.operation)());
    EXPECT_EQ(FrameOf(1), step.expected);
    EXPECT_EQ(FrameOf(0), (Frame{5, 6, 2.0f})) << "the inactive pane is left alone";
    EXPECT_EQ(FrameOf(2), (Frame{7, 8, 3.0f})) << "only the first active pane is reset";
  }
  EXPECT_EQ(Updates(), std::vector<std::string>(4, "update Camera"));
}

TEST_F(CropRevertTest, DoAnswersFalseAndChangesNothingWithoutAnUsablePane) {
  struct Case {
    const char* name;
    bool active;
    bool locked;
  };
  for (const Case& c : {Case{"no active pane", false, false}, Case{"refused view", true, true}}) {
    fDocument = qvhost::Adopt<qvhost::Document>(new qvhost::Document(fShell->SharedJournal()));
    fShell->Settings().currentDocument.Assign(fDocument.Get());
    AddPanes({{"Camera", c.active, 3, 4, 2.0f, c.locked}});
    TQVCountedPtr<ISceneCommand> command = Create();
    EXPECT_FALSE(command->Do()) << c.name;
    EXPECT_EQ(FrameOf(0), (Frame{3, 4, 2.0f})) << c.name;
    EXPECT_FALSE(command->Undo()) << c.name << ": no target";
    EXPECT_FALSE(command->Redo()) << c.name;
  }
  EXPECT_TRUE(Updates().empty());
}

TEST_F(CropRevertTest, NeutralFrameIsResetAgainAndUndoShowsNoChange) {
  AddPanes({{"Camera", true, 0, 0, 1.0f, false}});
  TQVCountedPtr<ISceneCommand> command = Create();
  EXPECT_FALSE(command->Undo()) << "Undo on a fresh command";
  EXPECT_TRUE(command->Do());
  EXPECT_TRUE(command->Undo());
  EXPECT_EQ(FrameOf(0), (Frame{0, 0, 1.0f}));
}

TEST_F(CropRevertTest, ReleasingTheCommandReleasesTheTargetOnce) {
  AddPanes({{"Camera", true, 9, 9, 4.0f, false}});
  qvhost::PaneView& view = fDocument->View()->Panes().at(0)->View();
  const int32_t references = view.References();
  TQVCountedPtr<ISceneCommand> command = Create();
  ASSERT_TRUE(command->Do());
  EXPECT_EQ(view.References(), references + 1);
  command.Release();
  EXPECT_EQ(view.References(), references);
}

TEST_F(CropRevertTest, MissingDocumentOrViewRaisesWithItsSourceAndLine) {
  struct Case {
    bool document;
    int32_t line;
  };
  for (const Case& c : {Case{false, 122}, Case{true, 126}}) {
    fDocument = qvhost::Adopt<qvhost::Document>(new qvhost::Document(fShell->SharedJournal()));  // no view
    fShell->Settings().currentDocument.Release();
    if (c.document) fShell->Settings().currentDocument.Assign(fDocument.Get());
    TQVCountedPtr<ISceneCommand> command = Create();
    EXPECT_RAISES(command->Do(), kQVErrObjectMissing, "Samples/SceneCommands/CropRevert/CropRevert", c.line);
    EXPECT_FALSE(command->Undo());
  }
}

TEST_F(CropRevertTest, HasNoParametersAndIsAlwaysEnabled) {
  TQVCountedPtr<ISceneCommand> command = Create();
  TQVCountedPtr<ICommandParameters> parameters;
  ASSERT_EQ(QVQuery(command.Get(), parameters), kQVOk);
  EXPECT_EQ(parameters->GetDialogID(), 0);
  EXPECT_EQ(parameters->GetParameterBlock(), nullptr);
  TQVCountedPtr<ICommandTester> tester;
  command->GetTester(tester.Put());
  EXPECT_TRUE(tester->IsEnabled(nullptr));
}

TEST_F(CropRevertTest, OneUndoAfterADoCutShortByARefusedAllocationRestoresTheScene) {
  ExpectUndoRepairsEachRefusedDo([&]() -> qvhost::CommandSession& {
    fDocument = qvhost::Adopt<qvhost::Document>(new qvhost::Document(fShell->SharedJournal()));
    fShell->Settings().currentDocument.Assign(fDocument.Get());
    AddPanes({{"Top", false, 5, 6, 2.0f, false}, {"Side", false, 1, 2, 3.0f, false}, {"Camera", true, 120, -48, 1.5f, false}});
    qvhost::CommandSession& run = StartSession(*fModule, *fDocument);
    run.Create();
    return run;
  });
}

}  // namespace
