// NoteSheet through the loader, attached to elements of the reference host's scenes.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "DialogLayout.h"
#include "ExpectRaise.h"
#include "FakeObjects.h"
#include "IHostDialogs.h"
#include "IHostGeometry.h"
#include "IHostTokenStream.h"
#include "ModuleFixture.h"
#include "NoteSheet.h"
#include "TestFiles.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/AttributeHolder.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/TokenStream.h"
#include "qvhost/Wireframe.h"

namespace {

using qvhost::Adopt;

const char kSource[] = "Samples/SceneCommands/NoteSheet/NoteSheet";

// A component of class 'NtSh' that answers its own interface only: no parameter list.
class BareComponent final : public qvhost::HostObject<IAttachedComponent> {
 public:
  QVResult Reserved3() override { return kQVOk; }
  bool Attach(IHostComponentOwner*) override { return true; }
  void AttachedReserved5(void*) override {}
};

class BareFactory final : public qvhost::HostObject<IClassFactory> {
 public:
  QVResult CreateInstance(IUnknown*, const QVGUID& id, void** out) override {
    return Adopt<IAttachedComponent>(new BareComponent())->QueryInterface(id, out);
  }
  QVResult LockServer(int32_t) override { return kQVOk; }
};

// A token stream that records its writes and answers `failure` from write number `failAt`.
class RecordingStream final : public qvhost::HostObject<IHostTokenStream> {
 public:
  RecordingStream(int failAt, QVResult failure) : fFailAt(failAt), fFailure(failure) {}
  QVResult ReadNextToken(char token[256]) override {
    token[0] = 0;
    return kQVErrEndOfInput;
  }
  bool IsEndOfBlock() override { return true; }
  uint32_t GetKeyword() override { return 0; }
  void SkipItem() override {}
  QVResult ReadStringValue(TQVString&) override { return kQVErrEndOfInput; }
  QVResult BeginBlock(uint32_t keyword) override { return Written("begin " + qvhost::FormatFourCC(keyword)); }
  QVResult WriteKeyword(uint32_t keyword) override { return Written("keyword " + qvhost::FormatFourCC(keyword)); }
  QVResult WriteStringValue(const TQVString& value) override { return Written(std::string("string ") + value.CStr()); }
  QVResult EndBlock() override { return Written("end"); }
  QVResult Begin() override { return kQVErrEndOfInput; }
  QVResult ReadKeyword() override { return kQVErrEndOfInput; }
  IHostLineWriter* GetLineWriter() override { return nullptr; }
  IHostValueReader* GetValueReader() override { return nullptr; }

  std::vector<std::string> writes;

 private:
  QVResult Written(std::string what) {
    writes.push_back(std::move(what));
    return int(writes.size()) - 1 == fFailAt ? fFailure : kQVOk;
  }
  int fFailAt;
  QVResult fFailure;
};

// A data stream over one string, failing with `failure` when it is not 0.
class StringDataStream final : public qvhost::HostObject<IHostDataStream> {
 public:
  explicit StringDataStream(QVResult failure = kQVOk) : fFailure(failure) {}
  QVResult WriteString(const TQVString& value) override {
    text = value.CStr();
    return fFailure;
  }
  QVResult ReadString(TQVString& value) override {
    value.SetFrom(text.c_str());
    return fFailure;
  }
  std::string text;

 private:
  QVResult fFailure;
};

std::string Text(IHostKeyframeItem* value) {
  TQVFixedString<255> text;
  bool changed = false;
  value->GetValue(text, QVFourCC("AStr"), &changed);
  return text.CStr();
}

class NoteSheetTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    fModule = &Load("NoteSheet");
    fResource = &fModule->Resources().components.at(0);
    fDialog = std::make_unique<qvhost::HeadlessDialog>(fModule->Resources().FindDialog(1200), 1200,
                                                       fShell->SharedJournal());
    Restart();
  }
  void TearDown() override {
    fParameters.Release();
    fCarrier.Release();
    for (auto& document : fDocuments) document->DetachComponents();
    fShell->Settings().currentDocument.Release();
    fDocument.Release();
    fDocuments.clear();
    fDialog.reset();
    ModuleTest::TearDown();
  }

  // An empty journal and a new scene with one element carrying a NoteSheet.
  void Restart() {
    fShell->GetJournal().Clear();
    fParameters.Release();
    fCarrier.Release();
    if (fDocument) fDocument->DetachComponents();
    fDocument = NewDocument();
    fShell->Settings().currentDocument.Assign(fDocument.Get());
    fSheet = AddElement(*fDocument, "Sheet");
    fCarrier = Attach(*fDocument, fSheet);
    fParameters = fCarrier->Query<ICommandParameters>();
  }
  TQVCountedPtr<qvhost::Document> NewDocument() {
    fDocuments.push_back(Adopt<qvhost::Document>(new qvhost::Document(fShell->SharedJournal())));
    return fDocuments.back();
  }
  static qvhost::SceneElement* AddElement(qvhost::Document& document, const std::string& name) {
    auto element = qvhost::SceneElement::Create(name);
    document.GetScene().Root().Append(element.Get());
    return element.Get();  // the tree keeps it
  }
  // A NoteSheet on `document`'s scene, carried by `element` when one is given.
  TQVCountedPtr<qvhost::ComponentCarrier> Attach(qvhost::Document& document, qvhost::SceneElement* element) {
    auto factory = fModule->Factory(fResource->classId);
    auto carrier = qvhost::ComponentCarrier::Create(document.GetScene(), factory.Get(), *fResource,
                                                    fModule->Resources());
    if (element) element->AttachComponent(carrier.Get());
    return carrier;
  }
  // A NoteSheet the host did not aggregate: it has no outer object.
  template <class I>
  TQVCountedPtr<I> MakeUnaggregated() {
    TQVCountedPtr<I> component;
    auto factory = fModule->Factory(fResource->classId);
    EXPECT_EQ(factory->CreateInstance(nullptr, I::kID, component.PutVoid()), kQVOk);
    return component;
  }

  static NoteSheetParameters& Block(ICommandParameters* parameters) {
    return *static_cast<NoteSheetParameters*>(parameters->GetParameterBlock());
  }
  NoteSheetParameters& Block() { return Block(fParameters.Get()); }
  QVResult Control(ICommandParameters* parameters, uint32_t id) {
    TQVCountedPtr<IUnknown> control = fDialog->Control(id);
    return parameters->ControlEvent(kQVMessageControlChanged, control.Get(), 0);
  }
  void SetEditText(const std::string& text) { fDialog->Set(&Block(), "EditText", text); }
  void CommitAt(int32_t ticks, const std::string& text) {
    fDocument->SetTime(ticks);
    SetEditText(text);
    EXPECT_EQ(fParameters->ParametersChanged(), kQVOk);
  }
  QVResult Box(qvhost::ComponentCarrier& carrier, BoundingBox& box) {
    return carrier.Query<IGeometryPrimitive>()->GetBoundingBox(box, 0, 0);
  }

  // "ticks text" for every comment of `element`, in track order.
  static std::vector<std::string> Comments(qvhost::SceneElement& element) {
    std::vector<std::string> comments;
    for (qvhost::AttributeHolder* holder : qvhost::HoldersOf(element))
      for (const auto& attribute : holder->Attributes())
        for (const auto& key : attribute.channel->track->Keys())
          comments.push_back(std::to_string(key->Ticks()) + " " + (key->value ? Text(key->value.Get()) : "(none)"));
    return comments;
  }
  // Times the attribute holders were told that the text changed.
  size_t Notifications() {
    size_t count = 0;
    for (const std::string& text : fShell->GetJournal().Texts("animation"))
      if (text.rfind("\"Text Entry\" at ", 0) == 0) ++count;
    return count;
  }
  size_t Definitions() {
    size_t count = 0;
    for (const std::string& text : fShell->GetJournal().Texts("animation"))
      if (text == "attribute \"Text Entry\" ASTR") ++count;
    return count;
  }
  IHostAnimated* TextAttribute(qvhost::ComponentCarrier& carrier) {
    return carrier.Node()->AttributeGroups().at(0).group.Get();
  }

  qvhost::LoadedModule* fModule = nullptr;
  const qvhost::ComponentResource* fResource = nullptr;
  std::unique_ptr<qvhost::HeadlessDialog> fDialog;
  std::vector<TQVCountedPtr<qvhost::Document>> fDocuments;
  TQVCountedPtr<qvhost::Document> fDocument;
  qvhost::SceneElement* fSheet = nullptr;
  TQVCountedPtr<qvhost::ComponentCarrier> fCarrier;
  TQVCountedPtr<ICommandParameters> fParameters;
};

TEST_F(NoteSheetTest, NewComponentHasItsDefaultsAndAnswersTheBoxInBothInterfaces) {
  EXPECT_EQ(fDialog->Values(&Block()),
            (std::vector<std::string>{"EditText=", "CommittedText=", "TextColorR=0", "TextColorG=0", "TextColorB=0",
                                      "TextColorA=1", "BackgroundColorR=1", "BackgroundColorG=1",
                                      "BackgroundColorB=1", "BackgroundColorA=1", "ShowThumbnails=true",
                                      "ShowTimecode=true", "ShowFrameNumbers=false", "TableBorder=false",
                                      "ThumbnailSize=1", "Columns=6", "CellPadding=10", "CommentAlignment=CENT",
                                      "ExportRequested=false"}));
  EXPECT_EQ(fParameters->GetDialogID(), 1200);
  auto primitive = fCarrier->Query<IGeometryPrimitive>();
  ASSERT_TRUE(primitive);
  IGeometryPrimitive2* second = primitive->GetPrimitive2();
  ASSERT_NE(second, nullptr);
  for (bool viaSecond : {false, true}) {
    BoundingBox box;
    EXPECT_EQ(viaSecond ? second->GetBoundingBox(box, 0, 0) : primitive->GetBoundingBox(box, 0, 0), kQVOk);
    EXPECT_EQ(box.minimum.x, -1.5f);
    EXPECT_EQ(box.minimum.y, -1.5f);
    EXPECT_EQ(box.minimum.z, -1.5f);
    EXPECT_EQ(box.maximum.x, 1.5f);
    EXPECT_EQ(box.maximum.y, 1.5f);
    EXPECT_EQ(box.maximum.z, 1.5f);
  }
  EXPECT_FALSE(Block().ExportRequested);
  EXPECT_EQ(Definitions(), 1u) << "the attribute is defined once when the host registers the attributes";
}

TEST_F(NoteSheetTest, TheDialogDescriptionMatchesTheBlock) {
  const qvhost::DialogResource* dialog = fModule->Resources().FindDialog(1200);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
  const size_t color = offsetof(NoteSheetParameters, TextColor), background = offsetof(NoteSheetParameters, BackgroundColor);
  const FieldOffsets expected = {
      {"EditText", offsetof(NoteSheetParameters, EditText)},
      {"CommittedText", offsetof(NoteSheetParameters, CommittedText)},
      {"TextColorR", color}, {"TextColorG", color + 4}, {"TextColorB", color + 8}, {"TextColorA", color + 12},
      {"BackgroundColorR", background}, {"BackgroundColorG", background + 4},
      {"BackgroundColorB", background + 8}, {"BackgroundColorA", background + 12},
      {"ShowThumbnails", offsetof(NoteSheetParameters, ShowThumbnails)},
      {"ShowTimecode", offsetof(NoteSheetParameters, ShowTimecode)},
      {"ShowFrameNumbers", offsetof(NoteSheetParameters, ShowFrameNumbers)},
      {"TableBorder", offsetof(NoteSheetParameters, TableBorder)},
      {"ThumbnailSize", offsetof(NoteSheetParameters, ThumbnailSize)},
      {"Columns", offsetof(NoteSheetParameters, Columns)},
      {"CellPadding", offsetof(NoteSheetParameters, CellPadding)},
      {"CommentAlignment", offsetof(NoteSheetParameters, CommentAlignment)},
      {"ExportRequested", offsetof(NoteSheetParameters, ExportRequested)},
  };
#pragma GCC diagnostic pop
  ExpectDialogLayout(dialog, sizeof(NoteSheetParameters), expected);
  if (HasFatalFailure()) return;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(dialog->fields[i].id, expected[i].first == "ExportRequested" ? QVFourCC("EXPO") : 0u)
        << expected[i].first;
  }
  EXPECT_EQ(dialog->controls, (std::vector<uint32_t>{QVFourCC("ADDK"), QVFourCC("CLER"), QVFourCC("BUTN")}));
  EXPECT_EQ(fModule->Resources().alerts.count(300), 1u);
}

// Each step: "set TEXT" (the dialog's text field), "time TICKS", "commit" or a control.
TEST_F(NoteSheetTest, CommitsHandTheTextToTheAttributeWhenTheTextsDiffer) {
  struct Case {
    const char* name;
    std::vector<std::string> steps;
    std::vector<std::string> comments;
    const char* shown;  // EditText and CommittedText afterwards
    size_t notifications;
  } cases[] = {
      {"an edited text", {"set hello", "commit"}, {"0 hello"}, "hello", 1},
      {"ADDK with an empty text", {"ADDK", "commit"}, {"0 "}, "", 1},
      {"ADDK with an unchanged text", {"set x", "commit", "ADDK", "commit"}, {"0 x"}, "x", 2},
      {"equal texts: no notification, the attribute's text shown",
       {"set old", "commit", "time 9000", "set new", "commit", "time 0", "commit"},
       {"0 old", "9000 new"},
       "old",
       2},
      {"a time before every comment shows none", {"time 9000", "set later", "commit", "time 0", "commit"},
       {"9000 later"}, "", 1},
      {"CLER", {"set x", "commit", "CLER", "commit"}, {"0 "}, "", 2},
      {"an unknown control", {"set x", "commit", "ZZZZ", "commit"}, {"0 x"}, "x", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    for (const std::string& step : c.steps) {
      if (step.rfind("set ", 0) == 0) {
        SetEditText(step.substr(4));
      } else if (step.rfind("time ", 0) == 0) {
        fDocument->SetTime(std::stoi(step.substr(5)));
      } else if (step == "commit") {
        EXPECT_EQ(fParameters->ParametersChanged(), kQVOk);
      } else {
        uint32_t id = 0;
        ASSERT_TRUE(qvhost::ParseFourCC(step, id)) << step;
        EXPECT_EQ(Control(fParameters.Get(), id), kQVOk);
      }
    }
    EXPECT_EQ(Comments(*fSheet), c.comments);
    EXPECT_STREQ(Block().EditText.CStr(), c.shown);
    EXPECT_STREQ(Block().CommittedText.CStr(), c.shown);
    EXPECT_EQ(Notifications(), c.notifications);
  }
}

TEST_F(NoteSheetTest, ControlsWithoutAKnownIdentifierChangeNothing) {
  CommitAt(0, "kept");
  SetEditText("edited");
  std::vector<unsigned char> before(sizeof(NoteSheetParameters));
  std::memcpy(before.data(), &Block(), before.size());
  CountingUnknown notAControl;
  TQVCountedPtr<IUnknown> unknownControl = fDialog->Control(QVFourCC("ZZZZ"));
  for (IUnknown* control : {unknownControl.Get(), static_cast<IUnknown*>(&notAControl), static_cast<IUnknown*>(nullptr)})
    EXPECT_EQ(fParameters->ControlEvent(kQVMessageControlChanged, control, 0), kQVOk);
  EXPECT_EQ(std::memcmp(before.data(), &Block(), before.size()), 0);
  EXPECT_EQ(notAControl.references, 1);
}

TEST_F(NoteSheetTest, ExportButtonIsAnsweredByTheNextBoxQueryOnly) {
  EXPECT_EQ(Control(fParameters.Get(), QVFourCC("BUTN")), kQVOk);
  EXPECT_TRUE(Block().ExportRequested);
  EXPECT_TRUE(fCarrier->GetBoolParameter(QVFourCC("EXPO"))) << "the host sees the request as 'EXPO'";
  BoundingBox box;
  EXPECT_EQ(Box(*fCarrier, box), kQVOk);
  EXPECT_FALSE(Block().ExportRequested);
  EXPECT_EQ(box.maximum.x, 1.5f);
  EXPECT_EQ(Box(*fCarrier, box), kQVOk) << "nothing pending: no search";
}

TEST_F(NoteSheetTest, ExportClearsTheFlagOfTheAskingComponentWhicheverElementItFinds) {
  auto second = Attach(*fDocument, AddElement(*fDocument, "Second"));
  auto secondParameters = second->Query<ICommandParameters>();
  EXPECT_EQ(Control(fParameters.Get(), QVFourCC("BUTN")), kQVOk);
  EXPECT_EQ(Control(secondParameters.Get(), QVFourCC("BUTN")), kQVOk);
  BoundingBox box;
  EXPECT_EQ(Box(*second, box), kQVOk);  // finds "Sheet" first
  EXPECT_FALSE(Block(secondParameters.Get()).ExportRequested);
  EXPECT_TRUE(Block().ExportRequested);
  EXPECT_EQ(Box(*fCarrier, box), kQVOk);
  EXPECT_FALSE(Block().ExportRequested);
}

TEST_F(NoteSheetTest, ExportPassesOverAnEarlierNoteSheetWithoutARequest) {
  auto second = Attach(*fDocument, AddElement(*fDocument, "Second"));
  auto secondParameters = second->Query<ICommandParameters>();
  fDialog->Set(&Block(secondParameters.Get()), "ShowThumbnails", "false");
  const std::string page = testing::TempDir() + "second.html";
  fShell->Settings().saveAnswer = page;
  EXPECT_EQ(Control(secondParameters.Get(), QVFourCC("BUTN")), kQVOk);
  BoundingBox box;
  EXPECT_EQ(Box(*second, box), kQVOk);  // "Sheet" comes first and asked for nothing
  EXPECT_FALSE(Block(secondParameters.Get()).ExportRequested);
  EXPECT_FALSE(Block().ExportRequested);
  EXPECT_NE(ReadFile(page).find("<TITLE>Second</TITLE>"), std::string::npos) << ReadFile(page);
}

TEST_F(NoteSheetTest, ExportSearchWithoutARequestingElementRaisesAndKeepsTheRequest) {
  struct Case {
    const char* name;
    int32_t line;
    std::function<TQVCountedPtr<qvhost::ComponentCarrier>()> make;
  } cases[] = {
      {"an empty element list", 582, [&] { return Attach(*NewDocument().Get(), nullptr); }},
      {"elements, none carrying the asking component", 582,
       [&] {
         auto document = NewDocument();
         AddElement(*document, "Plain");
         return Attach(*document, nullptr);
       }},
      {"a 'NtSh' component without a parameter list", 571,
       [&] {
         auto document = NewDocument();
         qvhost::ComponentResource bare;
         bare.family = QVFourCC("data");
         bare.classCode = QVFourCC("NtSh");
         bare.name = "Bare";
         auto factory = Adopt<IClassFactory>(new BareFactory());
         AddElement(*document, "Bare")
             ->AttachComponent(qvhost::ComponentCarrier::Create(document->GetScene(), factory.Get(), bare, {}).Get());
         return Attach(*document, AddElement(*document, "Sheet"));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto carrier = c.make();
    auto parameters = carrier->Query<ICommandParameters>();
    EXPECT_EQ(Control(parameters.Get(), QVFourCC("BUTN")), kQVOk);
    for (int query = 0; query < 2; ++query) {
      BoundingBox box;
      EXPECT_RAISES(Box(*carrier, box), kQVErrObjectMissing, kSource, c.line);
      EXPECT_EQ(box.maximum.x, -BoundingBox::kEmptyExtent) << "the box is not filled";
      EXPECT_TRUE(Block(parameters.Get()).ExportRequested) << "the next query searches again";
    }
  }
}

TEST_F(NoteSheetTest, AComponentWithoutAnimatedOuterRaisesWhereItNeedsOne) {
  auto attributes = MakeUnaggregated<IAnimatedAttributes>();
  EXPECT_RAISES(attributes->RegisterAttributes(), kQVErrObjectMissing, kSource, 345);
  auto persistence = MakeUnaggregated<ITokenPersistence>();
  auto stream = qvhost::TokenStream::ForReading("{ AGRP { } }");
  EXPECT_RAISES(persistence->Read(stream.Get(), nullptr, nullptr), kQVErrObjectMissing, kSource, 446);
}

TEST_F(NoteSheetTest, WriteSavesTheTextAndTheCommentsWhichReadRestores) {
  CommitAt(0, "first \"quoted\"");
  CommitAt(9000, "second");
  auto out = qvhost::TokenStream::ForWriting();
  auto persistence = fCarrier->Query<ITokenPersistence>();
  ASSERT_EQ(persistence->Write(out.Get()), kQVOk);
  const std::string parm = "PARM {\n  Valu \"second\"\n}\n";
  EXPECT_EQ(out->Text().substr(0, parm.size()), parm);
  EXPECT_EQ(out->Text().substr(parm.size(), 7), "AGRP {\n") << out->Text();

  qvhost::SceneElement* other = AddElement(*fDocument, "Other");
  auto copy = Attach(*fDocument, other);
  auto in = qvhost::TokenStream::ForReading("{\n" + out->Text() + "}\nafter");
  EXPECT_EQ(copy->Query<ITokenPersistence>()->Read(in.Get(), nullptr, nullptr), kQVOk);
  EXPECT_EQ(Comments(*other), (std::vector<std::string>{"0 first \"quoted\"", "9000 second"}));
  ASSERT_TRUE(in->Next());
  EXPECT_EQ(in->Current(), "after") << "read to the end of its block and no further";
}

TEST_F(NoteSheetTest, ReadSkipsUnknownItemsAndGivesTheAttributeTheTextItRead) {
  SetEditText("typed, not restored");  // the record the host did not restore
  auto in = qvhost::TokenStream::ForReading(
      "{\n  Junk 12\n  Nested { a { \"}\" } b }\n  PARM {\n    Other \"q\"\n    Valu \"saved\"\n    More { x }\n"
      "  }\n  Tail word\n}\n");
  EXPECT_EQ(fCarrier->Query<ITokenPersistence>()->Read(in.Get(), nullptr, nullptr), kQVOk);
  EXPECT_EQ(Comments(*fSheet), std::vector<std::string>{"0 saved"});
  EXPECT_EQ(Notifications(), 1u);
}

TEST_F(NoteSheetTest, ReadReturnsTheFirstFailureOfTheStreamOrTheAttributeGroup) {
  const struct {
    const char* text;
    QVResult code;
  } cases[] = {
      {"", kQVErrEndOfInput},
      {"{", kQVErrEndOfInput},
      {"{ Junk 1", kQVErrEndOfInput},
      {"{ PARM {", kQVErrEndOfInput},
      {"{ PARM { Valu {", kQVErrMalformedData},
      {"{ PARM { Valu \"a\"", kQVErrEndOfInput},
      {"{ AGRP { Attr", kQVErrMalformedData},
  };
  for (const auto& c : cases) {
    auto in = qvhost::TokenStream::ForReading(c.text);
    EXPECT_EQ(fCarrier->Query<ITokenPersistence>()->Read(in.Get(), nullptr, nullptr), c.code) << c.text;
  }
}

TEST_F(NoteSheetTest, WriteStopsAtTheFirstFailingWriteAndReportsARefusedGroup) {
  CommitAt(0, "x");
  auto persistence = fCarrier->Query<ITokenPersistence>();
  const std::vector<std::string> all = {"begin PARM", "keyword Valu", "string x", "end"};
  for (int failAt = 0; failAt < 4; ++failAt) {
    auto stream = Adopt<RecordingStream>(new RecordingStream(failAt, kQVErrEndOfInput));
    EXPECT_EQ(persistence->Write(stream.Get()), int32_t(kQVErrEndOfInput)) << failAt;
    EXPECT_EQ(stream->writes, std::vector<std::string>(all.begin(), all.begin() + failAt + 1));
  }
  // The host writes attribute groups on its own streams only: the comments were not saved.
  auto foreign = Adopt<RecordingStream>(new RecordingStream(-1, kQVOk));
  EXPECT_EQ(persistence->Write(foreign.Get()), int32_t(kQVErrNotSupported));
  EXPECT_EQ(foreign->writes, all);
}

TEST_F(NoteSheetTest, CloneCopiesEveryFieldTheTextAndTheCommentsAndSharesTheScene) {
  CommitAt(0, "x");
  for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
           {"TextColorR", "0.5"}, {"TextColorA", "0.75"}, {"BackgroundColorG", "0.25"}, {"ShowThumbnails", "false"},
           {"ShowTimecode", "false"}, {"ShowFrameNumbers", "true"}, {"TableBorder", "true"}, {"ThumbnailSize", "3"},
           {"Columns", "4"}, {"CellPadding", "2"}, {"CommentAlignment", "LEFT"}, {"EditText", "edited"}})
    fDialog->Set(&Block(), name, value);
  EXPECT_EQ(Control(fParameters.Get(), QVFourCC("BUTN")), kQVOk);
  const size_t definitions = Definitions();

  TQVCountedPtr<ICommandParameters> copy = fCarrier->Query<ICommandParameters>();  // replaced by the copy
  fParameters->Clone(copy.AddressOf(), nullptr);
  ASSERT_TRUE(copy);
  ASSERT_NE(copy.Get(), fParameters.Get());
  EXPECT_EQ(fDialog->Values(&Block(copy.Get())), fDialog->Values(&Block()));
  EXPECT_EQ(Definitions(), definitions + 1) << "the copy's attribute is defined once";

  // The copy's text and comments, as it saves them.
  TQVCountedPtr<ITokenPersistence> persistence;
  ASSERT_EQ(QVQuery(copy.Get(), persistence), kQVOk);
  auto out = qvhost::TokenStream::ForWriting();
  ASSERT_EQ(persistence->Write(out.Get()), kQVOk);
  const std::string saved = out->Text();
  const std::string parm = "PARM {\n  Valu \"x\"\n}\nAGRP {";
  EXPECT_EQ(saved.substr(0, parm.size()), parm) << saved;
  EXPECT_NE(saved.find("Key 0 \"x\""), std::string::npos) << saved;
  EXPECT_EQ(saved.find("Attr"), saved.rfind("Attr")) << "one attribute: " << saved;

  // The copy searches the same scene: it finds the original's request.
  TQVCountedPtr<IGeometryPrimitive> geometry;
  ASSERT_EQ(QVQuery(copy.Get(), geometry), kQVOk);
  BoundingBox box;
  EXPECT_EQ(geometry->GetBoundingBox(box, 0, 0), kQVOk);
  EXPECT_FALSE(Block(copy.Get()).ExportRequested);
  EXPECT_TRUE(Block().ExportRequested);
}

TEST_F(NoteSheetTest, ACopiedElementCarriesItsOwnNoteSheetWithTheComments) {
  CommitAt(0, "first");
  CommitAt(6000, "second");
  TQVCountedPtr<IHostTreeElement> copy;
  ASSERT_EQ(fSheet->DeepCopy(1, copy.Put()), kQVOk);
  qvhost::SceneElement& copied = *qvhost::AsSceneElement(copy.Get());
  ASSERT_EQ(copied.Components().size(), 1u);
  EXPECT_NE(copied.Components()[0].Get(), fCarrier.Get());
  EXPECT_EQ(Comments(copied), Comments(*fSheet));

  // Each carries its own: a comment on the original leaves the copy as it was.
  CommitAt(9000, "third");
  EXPECT_EQ(Comments(*fSheet), (std::vector<std::string>{"0 first", "6000 second", "9000 third"}));
  EXPECT_EQ(Comments(copied), (std::vector<std::string>{"0 first", "6000 second"}));
  copied.DetachComponents();
}

TEST_F(NoteSheetTest, RefusedMemoryForACopyRaisesFromTheCountedPointerHelper) {
  const char kHelper[] = "../../../Include/Common/QVCountedPtrHelper";
  ICommandParameters* component = nullptr;
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  EXPECT_RAISES(fParameters->Clone(&component, nullptr), kQVErrOutOfMemory, kHelper, 166);
  EXPECT_EQ(component, nullptr);

  IHostKeyframeItem* prototype = fShell->Settings().valuePrototypes.at(QVFourCC("AStr")).Get();
  IHostKeyframeItem* value = nullptr;
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  EXPECT_RAISES(prototype->Clone(&value), kQVErrOutOfMemory, kHelper, 166);
  EXPECT_EQ(value, nullptr);
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  prototype->NewEmpty(&value);
  EXPECT_EQ(value, nullptr) << "a refused empty value is null, not raised";
}

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST_F(NoteSheetTest, PreviewAppendsTheGlyphsThirtySixSegments) {
  auto wireframe = Adopt<qvhost::Wireframe>(new qvhost::Wireframe());
  auto preview = fCarrier->Query<IGeometryPrimitive2>();
  EXPECT_EQ(preview->Preview(wireframe.Get(), 0, 0), kQVOk);
  EXPECT_EQ(wireframe->preparedA, 0);
  EXPECT_EQ(wireframe->preparedB, 40);
  const QVLineSet& lines = wireframe->Lines();
  ASSERT_EQ(lines.points.Length(), 72);
  ASSERT_EQ(lines.segments.Length(), 36);
  for (int32_t i = 0; i < 36; ++i) {
    EXPECT_EQ(lines.segments[i].first, 2 * i);
    EXPECT_EQ(lines.segments[i].second, 2 * i + 1);
  }
  const struct {
    int32_t point;
    uint32_t x, y, z;
  } points[] = {
      {0, 0x3EB33333, 0x3E800000, 0x3ECCCCCD},   // (0.35, 0.25, 0.4)
      {6, 0xBE800000, 0x3E800000, 0x3E99999A},   // (-0.25, 0.25, 0.3)
      {9, 0xBF4CCCCD, 0x3E800000, 0x3F266666},   // (-0.8, 0.25, 0.65)
      {18, 0x3F4CCCCD, 0x3E800000, 0xBF400000},  // (0.8, 0.25, -0.75)
      {36, 0x3EB33333, 0xBE800000, 0x3ECCCCCD},  // the lower plane starts again
      {71, 0x3F4CCCCD, 0xBE800000, 0xBF400000},
  };
  for (const auto& p : points) {
    EXPECT_EQ(Bits(lines.points[p.point].x), p.x) << p.point;
    EXPECT_EQ(Bits(lines.points[p.point].y), p.y) << p.point;
    EXPECT_EQ(Bits(lines.points[p.point].z), p.z) << p.point;
  }
  // A line set that already holds points: the new indices follow them.
  EXPECT_EQ(preview->Preview(wireframe.Get(), 0, 0), kQVOk);
  ASSERT_EQ(lines.segments.Length(), 72);
  EXPECT_EQ(lines.segments[36].first, 72);
  EXPECT_EQ(lines.segments[36].second, 73);
}

TEST_F(NoteSheetTest, StartUpRegistersTheHtmlTypeAndThePrototypeWhichCleanUpUnregisters) {
  const auto& types = fShell->Settings().fileTypes;
  ASSERT_EQ(types.size(), 1u);
  EXPECT_EQ(types[0].type, QVFourCC("htmL"));
  EXPECT_EQ(types[0].format, QVFourCC("htmL"));
  EXPECT_EQ(types[0].description, "HTML file");
  EXPECT_EQ(types[0].extensions, (std::vector<std::string>{"html", "htm"}));
  EXPECT_EQ(types[0].typeCodes, std::vector<uint32_t>{QVFourCC("htmL")});
  ASSERT_EQ(fShell->Settings().valuePrototypes.count(QVFourCC("AStr")), 1u);
  IHostKeyframeItem* prototype = fShell->Settings().valuePrototypes.at(QVFourCC("AStr")).Get();
  EXPECT_EQ(prototype->GetValueType(), QVFourCC("AStr"));
  EXPECT_EQ(Text(prototype), "");

  fParameters.Release();
  fCarrier.Release();
  for (auto& document : fDocuments) document->DetachComponents();
  EXPECT_EQ(fModule->Unload(), "");
  EXPECT_TRUE(fShell->Settings().valuePrototypes.empty());
  const auto services = fShell->GetJournal().Texts("service");
  const auto position = [&](const std::string& text) {
    return std::find(services.begin(), services.end(), text) - services.begin();
  };
  EXPECT_LT(position("unregister value prototype AStr"), position("release HostApplicationServices"))
      << "unregistered before the services are released";
  EXPECT_LT(position("unregister value prototype AStr"), ptrdiff_t(services.size()));
}

TEST_F(NoteSheetTest, CommentValuesCopyTheirTextAndOnlyFromTextValues) {
  IHostKeyframeItem* prototype = fShell->Settings().valuePrototypes.at(QVFourCC("AStr")).Get();
  TQVCountedPtr<IHostKeyframeItem> value, copy;
  prototype->NewEmpty(value.AddressOf());
  ASSERT_TRUE(value);
  EXPECT_EQ(value->SetValue(TQVFixedString<255>("x"), QVFourCC("AStr")), kQVOk);
  const struct {
    const char* target;
    bool changed;
  } gets[] = {{"x", false}, {"y", true}, {"", true}, {"X", true}};
  for (const auto& g : gets) {
    TQVFixedString<255> target(g.target);
    bool changed = !g.changed;
    EXPECT_EQ(value->GetValue(target, QVFourCC("AStr"), &changed), kQVOk);
    EXPECT_EQ(changed, g.changed) << g.target;
    EXPECT_STREQ(target.CStr(), "x");
  }
  value->Clone(copy.AddressOf());
  ASSERT_TRUE(copy);
  value->SetValue(TQVFixedString<255>("later"), QVFourCC("AStr"));
  EXPECT_EQ(Text(copy.Get()), "x") << "the copy is independent";
  EXPECT_EQ(copy->CopyFrom(value.Get()), kQVOk);
  EXPECT_EQ(Text(copy.Get()), "later");
  EXPECT_EQ(Text(prototype), "") << "values made from the prototype leave it empty";

  // A host item that forwards to the value: its text is copied through the interface.
  auto item = Adopt<qvhost::KeyValueItem>(new qvhost::HostObject<qvhost::KeyValueItem>());
  item->value = value;
  EXPECT_EQ(copy->CopyFromSecond(nullptr, item.Get(), nullptr), kQVOk);
  EXPECT_EQ(Text(copy.Get()), "later");
  // Values of another type, or none, are refused.
  item->value.Release();
  EXPECT_EQ(copy->CopyFrom(item.Get()), int32_t(kQVErrNotSupported));
  EXPECT_EQ(copy->CopyFrom(nullptr), int32_t(kQVErrNotSupported));
  EXPECT_EQ(Text(copy.Get()), "later");

  EXPECT_RAISES(copy->Reserved14(), kQVErrNotSupported, nullptr, 0);
}

TEST_F(NoteSheetTest, CommentValuesPassOnTheirDataStreamsAnswers) {
  IHostKeyframeItem* prototype = fShell->Settings().valuePrototypes.at(QVFourCC("AStr")).Get();
  TQVCountedPtr<IHostKeyframeItem> value, read;
  prototype->NewEmpty(value.AddressOf());
  prototype->NewEmpty(read.AddressOf());
  value->SetValue(TQVFixedString<255>("saved text"), QVFourCC("AStr"));
  auto stream = Adopt<StringDataStream>(new StringDataStream());
  EXPECT_EQ(value->Write(stream.Get()), kQVOk);
  EXPECT_EQ(stream->text, "saved text");
  EXPECT_EQ(read->Read(stream.Get()), kQVOk);
  EXPECT_EQ(Text(read.Get()), "saved text");
  auto failing = Adopt<StringDataStream>(new StringDataStream(kQVErrEndOfInput));
  EXPECT_EQ(value->Write(failing.Get()), int32_t(kQVErrEndOfInput)) << "a value that was not saved says so";
  EXPECT_EQ(read->Read(failing.Get()), int32_t(kQVErrEndOfInput));
}

TEST_F(NoteSheetTest, CommentValuesKeepTheirOwnerCounted) {
  IHostKeyframeItem* prototype = fShell->Settings().valuePrototypes.at(QVFourCC("AStr")).Get();
  CountingUnknown first, second;
  {
    TQVCountedPtr<IHostKeyframeItem> value;
    prototype->NewEmpty(value.AddressOf());
    value->SetOwner(&first);
    EXPECT_EQ(first.references, 2);
    EXPECT_EQ(value->GetOwner(), &first);
    value->SetOwner(&second);
    EXPECT_EQ(first.references, 1);
    EXPECT_EQ(second.references, 2);
  }
  EXPECT_EQ(second.references, 1) << "released with the value";
}

TEST_F(NoteSheetTest, IdentitiesOfTheTextAttributeAndTheCommentValue) {
  IHostAnimated* text = TextAttribute(*fCarrier);
  TQVCountedPtr<IUnknown> unknown;
  TQVCountedPtr<IHostAnimated> animated;
  EXPECT_EQ(text->QueryInterface(IUnknown::kID, unknown.PutVoid()), kQVOk);
  EXPECT_EQ(text->QueryInterface(IHostAnimated::kID, animated.PutVoid()), kQVOk);
  EXPECT_EQ(animated.Get(), text);
  EXPECT_NE(static_cast<void*>(unknown.Get()), static_cast<void*>(text)) << "IUnknown is the counted part";
  CountingUnknown held;  // a failed query releases what the out-parameter held and clears it
  void* out = static_cast<IUnknown*>(&held);
  EXPECT_EQ(text->QueryInterface(IHostKeyframeItem::kID, &out), int32_t(kQVErrNoInterface));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(held.releases, 1);

  qvhost::AttributeHolder* holder = qvhost::AttributeHolder::From(text->GetAnimationNode());
  ASSERT_NE(holder, nullptr) << "the animation node is the attribute holder";
  EXPECT_EQ(holder->Owner(), unknown.Get());
  EXPECT_EQ(text->Query(), 1) << "the holder's answer: active";

  IHostKeyframeItem* prototype = fShell->Settings().valuePrototypes.at(QVFourCC("AStr")).Get();
  TQVCountedPtr<IHostKeyframeItem> item;
  EXPECT_EQ(prototype->QueryInterface(IHostKeyframeItem::kID, item.PutVoid()), kQVOk);
  EXPECT_EQ(item.Get(), prototype);
  out = static_cast<IUnknown*>(&held);
  EXPECT_EQ(prototype->QueryInterface(IHostAnimated::kID, &out), int32_t(kQVErrNoInterface));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(held.releases, 2);
}

TEST_F(NoteSheetTest, TheHostMayCountReferencesFromSeveralThreads) {
  constexpr int kThreads = 4, kEach = 250000;
  // The threads start together, so their changes of the count overlap.
  const auto inThreads = [](auto work) {
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&] {
        for (--waiting; waiting > 0;) std::this_thread::yield();
        work();
      });
    for (std::thread& thread : threads) thread.join();
  };
  IUnknown* objects[] = {TextAttribute(*fCarrier), fShell->Settings().valuePrototypes.at(QVFourCC("AStr")).Get()};
  for (IUnknown* object : objects) {
    const int32_t before = object->AddRef() - 1;
    object->Release();
    inThreads([object] {
      for (int i = 0; i < kEach; ++i) object->AddRef();
    });
    ASSERT_EQ(object->AddRef() - 1, before + kThreads * kEach) << "no reference was lost";
    object->Release();
    inThreads([object] {
      for (int i = 0; i < kEach; ++i) object->Release();
    });
    EXPECT_EQ(object->AddRef() - 1, before);
    object->Release();
  }
}

}  // namespace
