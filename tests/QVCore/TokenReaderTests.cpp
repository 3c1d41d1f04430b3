// The token reader over an in-memory stream, and the translation with host tables.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ExpectRaise.h"
#include "IHostFiles.h"
#include "MemoryTextStream.h"
#include "QVTextStream.h"
#include "QVToken.h"
#include "RuntimeFixture.h"
#include "TestFiles.h"
#include "qvhost/HostMemory.h"
#include "qvhost/TranslationRecord.h"

namespace {

constexpr const char kTokenSource[] = "QVCore/Source/Common/QVToken";
constexpr int32_t kTokenLine = 516;

class TokenReaderTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
    UseCodePage(1252);
    fShell->Settings().translationRecord = nullptr;
  }
  void TearDown() override {
    UseCodePage(1252);
    RuntimeTest::TearDown();
  }
  void UseHostRecord() { fShell->Settings().translationRecord = &qvhost::DefaultTranslationRecord(); }
};

// The tokens of a text up to the exception that ends them.
struct TokenRun {
  std::vector<std::string> tokens;
  QVResult code = kQVOk;
  std::string source;
  int32_t line = -1;
};

TokenRun ReadAllTokens(TTextStream& stream) {
  TokenRun run;
  for (int guard = 0; guard < 1000; ++guard) {
    try {
      run.tokens.push_back(ReadToken(stream).CStr());
    } catch (const TQVException& error) {
      run.code = error.Code();
      run.source = error.GetSource() ? error.GetSource() : "";
      run.line = error.Line();
      return run;
    }
  }
  ADD_FAILURE() << "the reader never reached the end";
  return run;
}

void ExpectEndOfTokens(const TokenRun& run) {
  EXPECT_EQ(run.code, kQVErrEndOfInput);
  EXPECT_EQ(run.source, kTokenSource);
  EXPECT_EQ(run.line, kTokenLine);
}

struct TokenCase {
  const char* name;
  std::string input;
  std::vector<std::string> tokens;  // then the end-of-stream failure
};

TEST_F(TokenReaderTest, SplitsTextIntoTokens) {
  const std::string word300(300, 'w');
  const TokenCase cases[] = {
      {"words and braces", "  abc{def}", {"abc", "{", "def", "}"}},
      {"empty input", "", {}},
      {"blanks only", " \t\r\n ", {}},
      {"comment line", "# note\r\n  word ", {"word"}},
      {"comment lines in a row", "#a\n  #b\r\n\tw ", {"w"}},
      {"comment then quote gives an empty token", "#c\n\"q\" ", {"", "q"}},
      {"comment then dollar starts a word", "#c\n$x ", {"$x"}},
      {"word ends at hash", "ab#c\nd ", {"ab", "d"}},
      {"word ends at quote", "ab\"cd\"", {"ab", "cd"}},
      {"word ends at brace", "a}b{ ", {"a", "}", "b", "{"}},
      {"word at the very end fails", "abc", {}},
      {"quoted text keeps blanks and marks", "\"a b{}#$\"", {"a b{}#$"}},
      {"escaped quote", "\"a\\\"b\"", {"a\"b"}},
      {"escaped backslash", "\"\\\\\"", {"\\"}},
      {"0x01 escapes too", "\"x\x01\"y\"", {"x\"y"}},
      {"empty quotes", "\"\" w ", {"", "w"}},
      {"binary block", "$0000000A 0123456789$ next ", {"", "next"}},
      {"binary block holding a dollar", "$00000003 a$b$w ", {"", "w"}},
      {"hex digits skip other bytes", "$0 0 0 0 0 0 0a3|abc$w ", {"", "w"}},
      {"no binary data", "$FFFFFFFF junk$ w ", {"", "w"}},
      {"300-character word", word300 + " next ", {word300.substr(0, 255), "next"}},
      {"300-character quote", "\"" + word300 + "\"", {word300.substr(0, 255)}},
  };
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryTextStream stream(c.input);
    const TokenRun run = ReadAllTokens(stream);
    EXPECT_EQ(run.tokens, c.tokens);
    ExpectEndOfTokens(run);
  }
}

TEST_F(TokenReaderTest, TokenTextEndsAtAZeroByte) {
  const std::string input("ab\0cd {", 7);
  MemoryTextStream raw(input);
  char buffer[256];
  EXPECT_EQ(QVReadTokenInto(raw, buffer), kQVOk);
  EXPECT_EQ(std::string(buffer, 6), std::string("ab\0cd\0", 6));

  MemoryTextStream stream(input);
  const TQVFixedString<255> token = ReadToken(stream);
  EXPECT_STREQ(token.CStr(), "ab");
  EXPECT_EQ(token.ByteLength(), 2);
  EXPECT_EQ(token.CharacterCount(), 2);
}

TEST_F(TokenReaderTest, BinaryBlockLeavesTheStreamAfterItsClosingDollar) {
  MemoryTextStream stream("$0000000A 0123456789$rest");
  EXPECT_STREQ(ReadToken(stream).CStr(), "");
  EXPECT_EQ(stream.Rest(), "rest");
}

TEST_F(TokenReaderTest, TheEndOfTheStreamAnywhereInATokenFails) {
  const TokenCase cases[] = {
      {"after an escape", "\"ab\\", {}},
      {"after 0x01", "\"ab\x01", {}},
      {"after an escaped character", "\"ab\\x", {}},
      {"unterminated quote", "\"ab", {}},
      {"comment without a line end", "w #comment", {}},
      {"comment then blanks", "#c\n   ", {}},
      {"binary block past the end", "$00000010 abc$", {}},
      {"binary block ends at the end", "$00000002 xy", {}},
      {"no closing dollar", "$00000000 xyz", {}},
      {"length beyond 32 bits", "$FFFFFFFE x$", {}},
      {"length beyond the positions", "$7FFFFFFF x$", {}},
  };
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryTextStream stream(c.input);
    const TokenRun run = ReadAllTokens(stream);
    EXPECT_LE(run.tokens.size(), 1u);
    ExpectEndOfTokens(run);
  }
}

TEST_F(TokenReaderTest, ReadsTokensFromAFileThroughWindowsOfEverySize) {
  // Ends with a block whose length runs past every 32-bit position.
  const std::string path = WriteTempFile(
      "tokens.txt", "# header\r\nnode \"a\\\"b\" {\n  $00000003 xyz$ }\n#c\n\"q\" tail\n$7FFFFFF0 x$");
  const TQVFixedString<1023> name(path.c_str());
  for (int32_t capacity : {0, 1, 2, 7, 32512}) {
    SCOPED_TRACE(capacity);
    TFileTextStream* stream = TFileTextStream::New(name, kQVFileReadable, capacity, nullptr);
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(stream->Failed());
    const TokenRun run = ReadAllTokens(*stream);
    EXPECT_EQ(run.tokens, (std::vector<std::string>{"node", "a\"b", "{", "", "}", "", "q", "tail"}));
    ExpectEndOfTokens(run);
    QVDeleteStream(stream);
  }
  std::remove(path.c_str());
}

TEST_F(TokenReaderTest, AWindowLeavesTheStreamAsAnUnbufferedStreamDoes) {
  // Words, quotes, comments and blocks across window ends, a "$" put back by the length
  // reader after a block read, and single gets and ungets between the readers: every
  // step leaves the same text, state, position and last read count.
  const std::string path = WriteTempFile(
      "window.txt", "ab$word{x} #c\r\n\"q\\\"t\" $00000003 abc$ last\"quoted\" 0000001F tail end\n");
  const TQVFixedString<1023> name(path.c_str());
  auto transcript = [&name](int32_t capacity) {
    TFileTextStream* stream = TFileTextStream::New(name, kQVFileReadable, capacity, nullptr);
    std::string out;
    auto step = [&](auto read) {
      try {
        out += read();
      } catch (const TQVException& error) {
        out += "!" + std::to_string(error.Code());
      }
      out += "|" + std::to_string(stream->State()) + "," + std::to_string(stream->Tell()) + "," +
             std::to_string(stream->LastReadCount()) + "\n";
    };
    auto token = [&] { return std::string(ReadToken(*stream).CStr()); };
    step([&] {
      char bytes[2];
      stream->Read(bytes, 2);
      return std::string(bytes, 2);
    });
    step([&] { return std::to_string(ReadHexLength(*stream)); });
    step([&] {
      char c = 0;
      stream->Get(c);
      return std::string(1, c);
    });
    for (int i = 0; i < 7; ++i) step(token);
    step([&] {
      char c = 0;
      stream->Get(c);
      stream->Unget(c);
      return std::string(1, c);
    });
    step([&] {
      TQVDynamicString text;
      return std::string(ReadQuotedText(*stream, text).CStr());
    });
    step([&] { return std::to_string(ReadHexLength(*stream)); });
    for (int i = 0; i < 4; ++i) step(token);
    QVDeleteStream(stream);
    return out;
  };
  const std::string unbuffered = transcript(0);
  EXPECT_NE(unbuffered.find("|0,2,1\n"), std::string::npos) << unbuffered;  // the "$" put back
  for (int32_t capacity : {1, 2, 3, 5, 32512}) {
    SCOPED_TRACE(capacity);
    EXPECT_EQ(transcript(capacity), unbuffered);
  }
  std::remove(path.c_str());
}

TEST_F(TokenReaderTest, ReadsHexLengths) {
  const struct {
    const char* input;
    uint32_t value;
  } cases[] = {
      {"0000000A", 10},
      {"DEADBEEF", 0xDEADBEEFu},
      {"FFFFFFFF", 0xFFFFFFFFu},
      {"x1y2z3-4 5\n6 7 8", 0x12345678u},
      {"a1b2c3d4e5f6g7h8", 0x12345678u},  // lower-case letters are skipped
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    MemoryTextStream stream(c.input);
    EXPECT_EQ(ReadHexLength(stream), c.value);
  }
}

TEST_F(TokenReaderTest, HexLengthRefusesADollarAndTheEnd) {
  MemoryTextStream dollar("000$0000");
  EXPECT_RAISES(ReadHexLength(dollar), kQVErrMalformedData, nullptr, 0);
  EXPECT_EQ(dollar.Rest(), "$0000");  // put back
  MemoryTextStream shortLength("1234567");
  EXPECT_RAISES(ReadHexLength(shortLength), kQVErrEndOfInput, nullptr, 0);

  // Through the tokenizer the hex reader's exceptions pass unchanged.
  MemoryTextStream token("$12$345678");
  EXPECT_RAISES(ReadToken(token), kQVErrMalformedData, nullptr, 0);
  EXPECT_RAISES(ReadToken(token), kQVErrEndOfInput, nullptr, 0);
}

TEST_F(TokenReaderTest, LocalizesMultiPlatformTexts) {
  const struct {
    const char* input;
    const char* localized;
  } cases[] = {
      {"@Mmac@Wwin@X", "win"}, {"@abc", ""},      {"plain", "plain"},      {"@Wonly", "only"},
      {"@Mmac@Wwin", "win"},   {"@M@W", ""},      {"x@Wy@z", "x@Wy@z"},   {"@", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TQVFixedString<255> fixed(c.input);
    LocalizeFileText(fixed);
    EXPECT_STREQ(fixed.CStr(), c.localized);
    EXPECT_EQ(fixed.ByteLength(), int32_t(std::strlen(c.localized)));
    EXPECT_EQ(fixed.CharacterCount(), fixed.ByteLength());
    TQVDynamicString dynamic(c.input);
    LocalizeFileText(dynamic);
    EXPECT_STREQ(dynamic.CStr(), c.localized);
  }
  MemoryTextStream stream("\"@Mmac@Wwin@X\" @abc ");
  EXPECT_STREQ(ReadToken(stream).CStr(), "win");
  EXPECT_STREQ(ReadToken(stream).CStr(), "");
}

TEST_F(TokenReaderTest, LocalizationFindsMarksOnCharacterBoundaries) {
  // Under code page 932, 0x81 0x40 is one character whose second byte is '@'.
  const char* text = "@M\x81@Wjp@Wwin";
  TQVFixedString<31> single(text);
  LocalizeFileText(single);
  EXPECT_STREQ(single.CStr(), "jp");
  UseCodePage(932);
  TQVFixedString<31> dbcs(text);
  LocalizeFileText(dbcs);
  EXPECT_STREQ(dbcs.CStr(), "win");
}

TEST_F(TokenReaderTest, TokensAreTranslatedWithTableZeroUnderCodePage1252Only) {
  const std::string input = "\x85word\x80 \"\x99\x81\" ";
  MemoryTextStream untranslated(input);
  EXPECT_STREQ(ReadToken(untranslated).CStr(), "\x85word\x80");  // no record

  UseHostRecord();
  MemoryTextStream translated(input);
  EXPECT_STREQ(ReadToken(translated).CStr(), "...word\xA4");
  EXPECT_STREQ(ReadToken(translated).CStr(), "(TM)");

  UseCodePage(932);
  MemoryTextStream otherCodePage(input);
  EXPECT_STREQ(ReadToken(otherCodePage).CStr(), "\x85word\x80");
}

TEST_F(TokenReaderTest, ReadsQuotedTextsOfAnyLength) {
  MemoryTextStream stream("skipped {} \"hello\" rest");
  TQVDynamicString text;
  EXPECT_EQ(&ReadQuotedText(stream, text), &text);
  EXPECT_STREQ(text.CStr(), "hello");
  EXPECT_EQ(stream.Rest(), " rest");

  MemoryTextStream escapes("\"a\\\"b\\\\c\x01\"d\"");
  ReadQuotedText(escapes, text);
  EXPECT_STREQ(text.CStr(), "a\"b\\c\"d");

  MemoryTextStream localized("\"@Mmac@Wwin@X\"");
  ReadQuotedText(localized, text);
  EXPECT_STREQ(text.CStr(), "win");

  std::string long2500;
  for (int i = 0; i < 2500; ++i) long2500 += char('a' + i % 26);
  const std::string quoted = "\"" + long2500 + "\"";
  MemoryTextStream whole(quoted);
  ReadQuotedText(whole, text);
  EXPECT_EQ(std::string(text.CStr()), long2500);
  EXPECT_EQ(text.ByteLength(), 2500);

  MemoryTextStream cut(quoted);
  TQVFixedString<1023> fixed;
  ReadQuotedText(cut, fixed);
  EXPECT_EQ(std::string(fixed.CStr()), long2500.substr(0, 1023));
}

TEST_F(TokenReaderTest, QuotedTextBufferGrowsTwiceFor2500Characters) {
  const std::string quoted = "\"" + std::string(2500, 'q') + "\"";
  auto& memory = qvhost::HostMemory::Instance();
  TQVFixedString<15> target;
  // The first block and two growths: a refused third allocation fails the read.
  memory.RefuseAllocation(3);
  MemoryTextStream refused(quoted);
  EXPECT_RAISES(ReadQuotedText(refused, target), kQVErrOutOfMemory, nullptr, 0);
  memory.RefuseAllocation(4);
  MemoryTextStream read(quoted);
  ReadQuotedText(read, target);
  EXPECT_STREQ(target.CStr(), "qqqqqqqqqqqqqqq");
  memory.RefuseAllocation(0);
}

TEST_F(TokenReaderTest, QuotedTextFailsAtTheEndOfTheStream) {
  const char* inputs[] = {"", "no quote", "\"unterminated", "\"ab\\", "\"ab\x01", "\"ab\\x"};
  for (const char* input : inputs) {
    SCOPED_TRACE(input);
    MemoryTextStream stream(input);
    TQVDynamicString text("kept");
    EXPECT_RAISES(ReadQuotedText(stream, text), kQVErrEndOfInput, nullptr, 0);
    EXPECT_STREQ(text.CStr(), "kept");
  }
}

// ---- Translation with host tables ----------------------------------------------------

template <class S>
void ExpectTranslated(S& text, const char* translated) {
  EXPECT_STREQ(text.CStr(), translated);
  EXPECT_EQ(text.ByteLength(), int32_t(std::strlen(translated)));
  EXPECT_EQ(text.CharacterCount(), text.ByteLength());
}

TEST_F(TokenReaderTest, TranslatesEveryKindOfStringWithBothTables) {
  const struct {
    int table;
    const char* input;
    const char* translated;
  } cases[] = {
      {0, "a\x80z", "a\xA4z"},          {0, "x\x81y", "xy"},
      {0, "\x85", "..."},               {0, "a\x99", "a(TM)"},
      {0, "\x8D!", "!"},                {0, "\x85\x81\x85", "......"},
      {0, "\x81\x81\x85\x85", "......"}, {0, "\xA4\xA9", "\xA4\xA9"},
      {1, "\xA4", "\x80"},              {1, "a\x7F" "b", "ab"},
      {1, "\xA9 2024", "(c) 2024"},     {1, "\xBC\xBC", "1/41/4"},
      {1, "\x8F", ""},                  {1, "\x85\x99", "\x85\x99"},
      {0, "a\x1B" "b", "a\x1B" "b"},      {1, "\x1B", "\x1B"},
  };
  const QVTranslationRecord& record = qvhost::DefaultTranslationRecord();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TQVDynamicString dynamic(c.input);
    QVTranslateCharacters(dynamic, record, c.table);
    ExpectTranslated(dynamic, c.translated);
    TQVFixedString<255> fixed(c.input);
    QVTranslateCharacters(fixed, record, c.table);
    ExpectTranslated(fixed, c.translated);
  }
}

TEST_F(TokenReaderTest, FixedStringDropsAReplacementThatDoesNotFit) {
  const QVTranslationRecord& record = qvhost::DefaultTranslationRecord();
  const struct {
    const char* input;
    const char* translated;
  } cases[] = {
      {"ab\x85" "cd", "abcd"},     // full: "..." cannot fit, the bytes after it still translate
      {"\x85\x80\x85", "...\xA4"},  // the second replacement no longer fits
      {"a\x85", "a..."},            // fits exactly
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TQVFixedString<5> text(c.input);
    QVTranslateCharacters(text, record, 0);
    ExpectTranslated(text, c.translated);
    EXPECT_EQ(text.Capacity(), 5);
  }
}

TEST_F(TokenReaderTest, DynamicStringGrowsToTheNeededLength) {
  const QVTranslationRecord& record = qvhost::DefaultTranslationRecord();
  const struct {
    std::string input;
    int32_t capacity;  // after the translation
  } cases[] = {
      {"\x85\x85\x85", 9},                             // 9 + trunc(3 * 0.01)
      {std::string(199, 'x') + "\x85", 204},           // 202 + trunc(200 * 0.01)
      {"\x85\x81", 3},                                 // room for the unread byte is given back
      {"a\x85\x81\x81", 4},                            // the result fits the old capacity
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TQVDynamicString text(c.input.c_str());
    QVTranslateCharacters(text, record, 0);
    std::string expected;
    for (char b : c.input)
      expected += b == '\x85' ? std::string("...") : b == '\x81' ? std::string() : std::string(1, b);
    ExpectTranslated(text, expected.c_str());
    EXPECT_EQ(text.Capacity(), c.capacity);
  }
}

TEST_F(TokenReaderTest, RefusedGrowthLeavesTheDynamicStringEmpty) {
  TQVDynamicString text("\x85");
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  QVTranslateCharacters(text, qvhost::DefaultTranslationRecord(), 0);
  ExpectTranslated(text, "");
}

TEST_F(TokenReaderTest, TranslateCharactersUsesTheHostsRecord) {
  TQVFixedString<31> text("\x85\xBC");
  TranslateCharacters(text, 0);  // no record: no translation
  EXPECT_STREQ(text.CStr(), "\x85\xBC");
  UseHostRecord();
  TranslateCharacters(text, 1);
  EXPECT_STREQ(text.CStr(), "\x85" "1/4");
  TranslateCharacters(text, 0);
  EXPECT_STREQ(text.CStr(), "...1/4");
  TranslateCharacters(text, 2);  // no such table
  EXPECT_STREQ(text.CStr(), "...1/4");
}

}  // namespace
