// The modifier base through both modifiers: the interfaces' answers, the target picker,
// CopyTargetTo, the stored 'obj1' line and the scene file round trip.
#include <string>
#include <vector>

#include "ExpectRaise.h"
#include "ExtentFollowParameters.h"
#include "FollowGainParameters.h"
#include "ModifierFixture.h"
#include "TargetReference.h"

namespace {

const char kScene[] = R"({"qvscene": 1, "elements": [
  {"name": "Leader", "transform": {"translation": [1, 2, 3]}},
  {"name": "Crate", "transform": {"translation": [10, 0, 0]}, "mesh": {"points": [0, 0, 0, 2, 4, 6]}},
  {"name": "Follower"}, {"name": "Marker"}]})";

class TargetModifierTest : public ModifierTest {
 protected:
  void SetUp() override {
    ModifierTest::SetUp();
    LoadModules({"FollowGain", "ExtentFollow"});
    Open(kScene);
  }
  // Read of `text` with a fallback that notes the keywords it is handed and skips them.
  QVResult Read(qvhost::ComponentCarrier& carrier, const std::string& text) {
    fHanded.clear();
    auto stream = qvhost::TokenStream::ForReading(text);
    return carrier.Query<ITokenPersistence>()->Read(stream.Get(), &Fallback, this);
  }
  static QVResult Fallback(uint32_t keyword, IHostTokenStream* stream, void* user) {
    static_cast<TargetModifierTest*>(user)->fHanded.push_back(qvhost::FormatFourCC(keyword));
    stream->SkipItem();
    return kQVOk;
  }
  std::vector<std::string> fHanded;
};

TEST_F(TargetModifierTest, BothModifiersAnswerTheBasesOperations) {
  for (const char* component : {"FollowGain", "ExtentFollow"}) {
    SCOPED_TRACE(component);
    qvhost::ComponentCarrier& carrier = Attach(component, "Follower");
    TQVCountedPtr<IObjectModifier> modifier = carrier.Query<IObjectModifier>();
    uint32_t flags = 0;
    modifier->GetFlags(&flags);
    EXPECT_EQ(flags, 1u);
    EXPECT_EQ(modifier->Reserved5(nullptr), 0x7FFFFFFF);
    EXPECT_FALSE(modifier->Reserved6());
    for (QVResult answer : {modifier->Reserved8(nullptr, nullptr), modifier->Reserved9(nullptr, nullptr),
                            modifier->Reserved10(nullptr, nullptr, nullptr), modifier->Reserved11(nullptr, nullptr),
                            modifier->Reserved13(nullptr, nullptr)})
      EXPECT_EQ(answer, kQVErrNotImplemented);
    float passed = 0.0f;
    EXPECT_EQ(modifier->PassValue(2.5f, &passed), kQVOk);
    EXPECT_EQ(passed, 2.5f);
    // Its own class identifier answers the primary interface: how instances know each other.
    void* same = nullptr;
    const QVGUID& classId = carrier.Resource().classId;
    ASSERT_EQ(modifier->QueryInterface(classId, &same), kQVOk);
    EXPECT_EQ(same, static_cast<void*>(modifier.Get()));
    static_cast<IUnknown*>(same)->Release();

    TQVCountedPtr<ICommandParameters> parameters = Parameters(carrier);
    EXPECT_TRUE(parameters->AcceptsValue(nullptr));
    EXPECT_EQ(parameters->Operation5(nullptr, nullptr), kQVErrNotImplemented);
    EXPECT_EQ(parameters->Operation6(nullptr, nullptr), kQVErrNotImplemented);
    EXPECT_EQ(parameters->ParametersChanged(), kQVOk);
    EXPECT_EQ(parameters->Operation11(), kQVErrNotSupported);
    EXPECT_EQ(parameters->GetDialogID(), carrier.Resource().classCode == kFollowGainClassCode ? 150 : 142);
    EXPECT_EQ(Field(carrier, "TargetName"), "Choose");
    EXPECT_EQ(Stored(carrier), "") << "a new modifier has no target";
  }
}

TEST_F(TargetModifierTest, PickingTakesTheElementsReferenceAndNameAndACancelChangesNothing) {
  for (const char* component : {"FollowGain", "ExtentFollow"}) {
    SCOPED_TRACE(component);
    fShell->GetJournal().Clear();
    qvhost::ComponentCarrier& carrier = Attach(component, "Marker");
    EXPECT_EQ(Control(carrier, "obj1", "Crate"), kQVOk);
    EXPECT_EQ(Stored(carrier), TargetLine(Element("Crate")));
    EXPECT_EQ(Field(carrier, "TargetName"), "Crate");
    EXPECT_EQ(Control(carrier, "obj1"), kQVOk);  // cancelled
    EXPECT_EQ(Stored(carrier), TargetLine(Element("Crate")));
    EXPECT_EQ(Field(carrier, "TargetName"), "Crate");
    const std::string code = qvhost::FormatFourCC(carrier.Resource().classCode);
    EXPECT_EQ(Journal("resources"), (std::vector<std::string>{"begin modi " + code, "end", "begin modi " + code, "end"}));
    ASSERT_EQ(Journal("picker").size(), 2u);
    EXPECT_EQ(Journal("picker")[1].substr(Journal("picker")[1].size() - 11), ": cancelled");
  }
}

TEST_F(TargetModifierTest, CopyTargetToCopiesOnlyIntoAnInstanceOfTheSameClass) {
  qvhost::ComponentCarrier& source = Attach("FollowGain", "Follower");
  qvhost::ComponentCarrier& sameClass = Attach("FollowGain", "Marker");
  qvhost::ComponentCarrier& otherClass = Attach("ExtentFollow", "Marker");
  Control(source, "obj1", "Leader");
  Control(otherClass, "obj1", "Crate");
  const std::string leader = TargetLine(Element("Leader")), crate = TargetLine(Element("Crate"));

  EXPECT_EQ(Parameters(source)->CopyTargetTo(otherClass.Component()), kQVOk);
  EXPECT_EQ(Stored(otherClass), crate) << "another class changes nothing";
  EXPECT_EQ(Parameters(otherClass)->CopyTargetTo(sameClass.Component()), kQVOk);
  EXPECT_EQ(Stored(sameClass), "");
  EXPECT_EQ(Parameters(source)->CopyTargetTo(nullptr), kQVOk);
  EXPECT_EQ(Parameters(source)->CopyTargetTo(source.Component()), kQVOk);
  EXPECT_EQ(Stored(source), leader);

  EXPECT_EQ(Parameters(source)->CopyTargetTo(sameClass.Component()), kQVOk);
  EXPECT_EQ(Stored(sameClass), leader);
  EXPECT_EQ(Field(sameClass, "TargetName"), "Choose") << "the target only, not its shown name";
}

TEST_F(TargetModifierTest, WriteStoresTheTargetLineUnlessTheListStartsWithZero) {
  const struct {
    const char* read;  // what the list is read from; null: a new modifier
    const char* line;
  } cases[] = {
      {nullptr, ""},
      {"{ obj1 0 }", "  obj1 0\r\n"},
      {"{ obj1 2,0,5 }", ""},
      {"{ obj1 2,3,17 }", "  obj1 2,3,17\r\n"},
      {"{ obj1 1,-4 }", "  obj1 1,-4\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.read ? c.read : "new");
    qvhost::ComponentCarrier& carrier = Attach("FollowGain", "Follower");
    if (c.read) {
      ASSERT_EQ(Read(carrier, c.read), kQVOk);
    }
    EXPECT_EQ(Written(carrier), std::string("{\n") + c.line);
  }
  // The indentation is the writer's: two blocks deep, four spaces.
  qvhost::ComponentCarrier& carrier = Attach("ExtentFollow", "Marker");
  ASSERT_EQ(Read(carrier, "{ obj1 1,7 }"), kQVOk);
  auto stream = qvhost::TokenStream::ForWriting();
  stream->OpenBlock("");
  stream->OpenBlock("Inner");
  EXPECT_EQ(carrier.Query<ITokenPersistence>()->Write(stream.Get()), kQVOk);
  EXPECT_EQ(stream->Text(), "{\n  Inner {\n    obj1 1,7\r\n");
}

TEST_F(TargetModifierTest, ReadTakesTheListHandsOtherKeywordsOnAndReturnsStreamErrors) {
  qvhost::ComponentCarrier& carrier = Attach("FollowGain", "Follower");
  EXPECT_EQ(Read(carrier, "{ Gain 5 obj1 2,3,17 Name \"x y\" Deep { a 1 } }"), kQVOk);
  EXPECT_EQ(Stored(carrier), "obj1 2,3,17");
  EXPECT_EQ(fHanded, (std::vector<std::string>{"Gain", "Name", "Deep"}));
  EXPECT_EQ(Read(carrier, "{ obj1 1,4 obj1 0 }"), kQVOk) << "the last list wins";
  EXPECT_EQ(Stored(carrier), "obj1 0");
  EXPECT_EQ(Read(carrier, "{ Gain 5 }"), kQVOk);
  EXPECT_EQ(Stored(carrier), "") << "a block without 'obj1' means no target";

  const struct {
    const char* text;
    QVResult answer;
  } errors[] = {
      {"", kQVErrEndOfInput}, {"obj1 1,3", kQVErrMalformedData}, {"{", kQVErrEndOfInput}, {"{ obj1 1,3", kQVErrEndOfInput},
  };
  for (const auto& e : errors) EXPECT_EQ(Read(carrier, e.text), e.answer) << e.text;
}

TEST_F(TargetModifierTest, MalformedListsAreRefusedAndAnImpossibleCountAllocatesNothing) {
  qvhost::ComponentCarrier& carrier = Attach("FollowGain", "Follower");
  ASSERT_EQ(Read(carrier, "{ obj1 1,9 }"), kQVOk);
  for (const char* text : {"{ obj1 2,3;17 }", "{ obj1 2 3 17 }", "{ obj1 2,3,y }", "{ obj1 1,99999999999 }"}) {
    SCOPED_TRACE(text);
    EXPECT_RAISES(Read(carrier, text), kQVErrMalformedData, kTargetReferenceSource, kTargetListMalformedLine);
  }
  // With every allocation refused, a count the stream cannot hold is still malformed data:
  // the modifier did not try to make room for it.
  qvhost::HostMemory::Instance().RefuseAll(true);
  for (const char* text : {"{ obj1 -1 }", "{ obj1 2147483647,1 }", "{ obj1 4,1,2 }", "{ obj1 x }"}) {
    SCOPED_TRACE(text);
    EXPECT_RAISES(Read(carrier, text), kQVErrMalformedData, kTargetReferenceSource, kTargetListMalformedLine);
  }
  qvhost::HostMemory::Instance().RefuseAll(false);
}

TEST_F(TargetModifierTest, SavingAndLoadingASceneKeepsEachTargetAndBlock) {
  qvhost::ComponentCarrier& follow = Attach("FollowGain", "Follower");
  Set(follow, {{"PosGainX", "0.25"}, {"RotOn", "false"}});
  Control(follow, "obj1", "Leader");
  qvhost::ComponentCarrier& extent = Attach("ExtentFollow", "Marker");
  Control(extent, "obj1", "Crate");
  Current().Evaluate();
  const std::string saved = qvhost::SceneText(Current());
  EXPECT_NE(saved.find("  obj1 1," + std::to_string(Element("Leader").Identifier()) + "\""), std::string::npos) << saved;
  EXPECT_NE(saved.find("  PosGainX 0.25\""), std::string::npos) << saved;

  Open(saved);
  EXPECT_EQ(Stored(Carrier("Follower")), TargetLine(Element("Leader")));
  EXPECT_EQ(Stored(Carrier("Marker")), TargetLine(Element("Crate")));
  EXPECT_EQ(Field(Carrier("Follower"), "PosGainX"), "0.25");
  EXPECT_EQ(Field(Carrier("Follower"), "RotOn"), "false");
  EXPECT_EQ(Field(Carrier("Follower"), "RefCaptured"), "true");
  EXPECT_EQ(Field(Carrier("Follower"), "RefPosZText"), "3.00");
  EXPECT_EQ(Field(Carrier("Marker"), "TargetName"), "Crate");
  ExpectVector(Element("Marker").Local().translation, 11, 2, 3);
  EXPECT_EQ(qvhost::SceneText(Current()), saved) << "loading evaluates to what was saved";
}

TEST_F(TargetModifierTest, DataTheHostCannotReadIsRefusedWithWhereAndWhat) {
  const struct {
    const char* line;
    const char* expected;
  } cases[] = {
      {"Colour 1", "'Colour': a field of dialog 150"},
      {"PosGainX big", "PosGainX big: a number"},
      {"PosOn \"yes\"", "PosOn yes: true or false"},
      {"TargetName 5", "TargetName 5: a quoted text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string scene = std::string(R"({"qvscene": 1, "elements": [{"name": "F", "components": [
        {"component": "FollowGain", "data": ["{", ")") + qvhost::TokenStream::Quote(c.line).substr(1) + R"(, "}"]}]}]})";
    try {
      Open(scene);
      ADD_FAILURE() << "read";
    } catch (const qvhost::HostError& error) {
      EXPECT_NE(std::string(error.what()).find(std::string("$.elements[0].components[0].data: expected ") + c.expected),
                std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
