// The host's token stream and attribute holder, with a plain string value type.
#include <string>
#include <vector>

#include "LeakCheck.h"
#include "qvhost/AttributeHolder.h"
#include "qvhost/Document.h"
#include "qvhost/TokenStream.h"

namespace {

using qvhost::Adopt;
using qvhost::AttributeHolder;
using qvhost::TokenStream;

std::vector<std::string> Tokens(const std::string& text) {
  auto stream = TokenStream::ForReading(text);
  std::vector<std::string> tokens;
  while (stream->Next()) tokens.push_back((stream->CurrentIsQuoted() ? "q:" : "") + stream->Current());
  return tokens;
}

TEST(TokenStreamTest, SplitsWordsStringsBracesAndSkipsComments) {
  struct Case {
    const char* text;
    std::vector<std::string> tokens;
  } cases[] = {
      {"PARM {Valu \"a b\"}", {"PARM", "{", "Valu", "q:a b", "}"}},
      {"# comment\n  word#tail\nnext", {"word", "next"}},
      {"\"say \\\"hi\\\" \\\\ there\"", {"q:say \"hi\" \\ there"}},
      {"\"}\" }", {"q:}", "}"}},
      {"\"unterminated", {}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
}

TEST(TokenStreamTest, SkipItemPassesNestedBlocksAndQuotedBraces) {
  auto stream = TokenStream::ForReading("{ Skip { a { \"}\" } b } Keep x }");
  char token[256];
  ASSERT_EQ(stream->ReadNextToken(token), kQVOk);  // {
  ASSERT_EQ(stream->ReadNextToken(token), kQVOk);  // Skip
  EXPECT_EQ(stream->GetKeyword(), QVFourCC("Skip"));
  stream->SkipItem();
  ASSERT_EQ(stream->ReadNextToken(token), kQVOk);
  EXPECT_STREQ(token, "Keep");
  TQVFixedString<31> value;
  EXPECT_EQ(stream->ReadStringValue(value), kQVOk);
  EXPECT_STREQ(value.CStr(), "x");
  ASSERT_EQ(stream->ReadNextToken(token), kQVOk);
  EXPECT_TRUE(stream->IsEndOfBlock());
  EXPECT_EQ(stream->ReadNextToken(token), int32_t(kQVErrEndOfInput));
  EXPECT_TRUE(stream->IsEndOfBlock()) << "an ended stream ends every block";
}

TEST(TokenStreamTest, LongTokensAreCutToTheBuffer) {
  auto stream = TokenStream::ForReading(std::string(300, 'w'));
  char token[256];
  ASSERT_EQ(stream->ReadNextToken(token), kQVOk);
  EXPECT_EQ(std::string(token), std::string(255, 'w'));
}

TEST(TokenStreamTest, WritesBlocksKeywordsAndStringsReadableBack) {
  auto stream = TokenStream::ForWriting();
  stream->OpenBlock("");
  EXPECT_EQ(stream->BeginBlock(QVFourCC("PARM")), kQVOk);
  EXPECT_EQ(stream->WriteKeyword(QVFourCC("Valu")), kQVOk);
  EXPECT_EQ(stream->WriteStringValue(TQVFixedString<255>("a \"quote\"")), kQVOk);
  EXPECT_EQ(stream->EndBlock(), kQVOk);
  stream->CloseBlock();
  EXPECT_EQ(stream->Text(), "{\n  PARM {\n    Valu \"a \\\"quote\\\"\"\n  }\n}\n");
  EXPECT_EQ(Tokens(stream->Text()), (std::vector<std::string>{"{", "PARM", "{", "Valu", "q:a \"quote\"", "}", "}"}));
}

// A string value: the value type 'TStr' of these tests.
class StringValue final : public qvhost::HostObject<qvhost::KeyValueItem> {
 public:
  QVResult GetValue(TQVString& target, uint32_t, bool* changed) override {
    *changed = text != target.CStr();
    target.SetFrom(text.c_str());
    return kQVOk;
  }
  QVResult SetValue(const TQVString& source, uint32_t) override {
    text = source.CStr();
    return kQVOk;
  }
  uint32_t GetValueType() override { return QVFourCC("TStr"); }
  void Clone(IHostKeyframeItem** out) override {
    auto* copy = new StringValue();
    copy->text = text;
    *out = copy;
  }
  QVResult Write(IHostDataStream* stream) override { return stream->WriteString(TQVFixedString<255>(text.c_str())); }
  QVResult Read(IHostDataStream* stream) override {
    TQVFixedString<255> read;
    const QVResult result = stream->ReadString(read);
    text = read.CStr();
    return result;
  }
  void NewEmpty(IHostKeyframeItem** out) override { *out = new StringValue(); }
  std::string text;
};

class AttributeHolderTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    fSettings = std::make_shared<qvhost::ShellSettings>();
    fJournal = std::make_shared<qvhost::Journal>();
    fDocument = Adopt<qvhost::Document>(new qvhost::Document(fJournal));
    fSettings->currentDocument.Assign(fDocument.Get());
    fSettings->valuePrototypes[QVFourCC("TStr")] = Adopt<IHostKeyframeItem>(new StringValue());
  }
  void TearDown() override {
    fSettings.reset();
    fDocument.Release();
    LeakCheckedTest::TearDown();
  }
  TQVCountedPtr<AttributeHolder> NewHolder(TQVString& storage) {
    auto holder = Adopt<AttributeHolder>(new AttributeHolder(fSettings, fJournal));
    holder->DefineAttribute(storage, TQVFixedString<31>("Text Entry"), QVFourCC("ASTR"), QVFourCC("TStr"), -1);
    return holder;
  }
  void Record(AttributeHolder& holder, TQVString& storage, int32_t time, const char* text) {
    fDocument->GetScene().time = time;
    storage.SetFrom(text);
    holder.ValueChanged(0);
  }
  static std::string Keys(AttributeHolder& holder) {
    std::string keys;
    for (const auto& key : holder.Attributes()[0].channel->track->Keys()) {
      TQVFixedString<255> text;
      bool changed = false;
      key->value->GetValue(text, QVFourCC("TStr"), &changed);
      keys += std::to_string(key->Ticks()) + "=" + text.CStr() + ";";
    }
    return keys;
  }

  std::shared_ptr<qvhost::ShellSettings> fSettings;
  std::shared_ptr<qvhost::Journal> fJournal;
  TQVCountedPtr<qvhost::Document> fDocument;
};

TEST_F(AttributeHolderTest, ValueChangedRecordsTheKeyAtTheCurrentTimeAndEvaluationHoldsIt) {
  TQVFixedString<255> storage;
  auto holder = NewHolder(storage);
  Record(*holder, storage, 6000, "late");
  Record(*holder, storage, 0, "early");
  Record(*holder, storage, 6000, "late, changed");
  EXPECT_EQ(Keys(*holder), "0=early;6000=late, changed;");
  const struct {
    int32_t time;
    const char* shown;
  } times[] = {{-1, ""}, {0, "early"}, {5999, "early"}, {6000, "late, changed"}, {INT32_MAX, "late, changed"}};
  for (const auto& t : times) {
    holder->Evaluate(t.time);
    EXPECT_STREQ(storage.CStr(), t.shown) << t.time;
  }
}

TEST_F(AttributeHolderTest, GroupsRoundTripThroughTheTokenStreamAndCopiesAreIndependent) {
  TQVFixedString<255> storage, copyStorage, readStorage;
  auto holder = NewHolder(storage);
  Record(*holder, storage, 0, "first \"quoted\"");
  Record(*holder, storage, 180000, "second");

  auto copy = NewHolder(copyStorage);
  EXPECT_EQ(holder->CopyAnimationTo(copy.Get()), kQVOk);
  Record(*holder, storage, 180000, "changed after the copy");
  EXPECT_EQ(Keys(*copy), "0=first \"quoted\";180000=second;");

  auto out = TokenStream::ForWriting();
  copy->WriteGroup(*out, QVFourCC("AGRP"));
  auto in = TokenStream::ForReading(out->Text() + "after");
  ASSERT_TRUE(in->Next());  // the group's keyword
  auto read = NewHolder(readStorage);
  Record(*read, readStorage, 42, "recorded before the group was read");
  EXPECT_EQ(read->ReadGroup(*in), kQVOk) << out->Text();
  EXPECT_EQ(Keys(*read), Keys(*copy)) << "the group restores the animation as saved";
  ASSERT_TRUE(in->Next());
  EXPECT_EQ(in->Current(), "after") << "the group is read to its end and no further";
}

TEST_F(AttributeHolderTest, MalformedGroupsAreRefusedWithoutHarm) {
  for (const char* text : {"AGRP", "AGRP {", "AGRP { Attr \"Text Entry\" { Key x \"a\" } }",
                           "AGRP { Attr \"Text Entry\" { Key 99999999999 \"a\" } }",
                           "AGRP { Attr \"Text Entry\" { Key 1 } }", "AGRP { Bogus }"}) {
    TQVFixedString<255> storage;
    auto holder = NewHolder(storage);
    auto in = TokenStream::ForReading(text);
    ASSERT_TRUE(in->Next());
    EXPECT_EQ(holder->ReadGroup(*in), int32_t(kQVErrMalformedData)) << text;
  }
  TQVFixedString<255> storage;
  auto holder = NewHolder(storage);
  auto in = TokenStream::ForReading("AGRP { Attr \"Other\" { Key 5 \"skipped\" } Attr \"Text Entry\" { Key 7 \"kept\" } }");
  ASSERT_TRUE(in->Next());
  EXPECT_EQ(holder->ReadGroup(*in), kQVOk);
  EXPECT_EQ(Keys(*holder), "7=kept;");
}

}  // namespace
