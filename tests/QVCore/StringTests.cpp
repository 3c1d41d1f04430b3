// Strings under code page 1252 and a double-byte code page.
#include <cstring>

#include "RuntimeFixture.h"
#include "TestCommand.h"
#include "QVString.h"

namespace {

class StringTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
    UseCodePage(1252);
  }
  void TearDown() override {
    UseCodePage(1252);
    RuntimeTest::TearDown();
  }
};

template <class S>
void ExpectText(const S& s, const char* text, int32_t characters) {
  EXPECT_STREQ(s.CStr(), text);
  EXPECT_EQ(s.ByteLength(), int32_t(std::strlen(text)));
  EXPECT_EQ(s.CharacterCount(), characters);
}

TEST_F(StringTest, FixedStringsCutAtTheirCapacity) {
  TQVFixedString<15> s("twenty bytes of text");
  ExpectText(s, "twenty bytes of", 15);
  EXPECT_EQ(s.Capacity(), 15);
  TQVFixedString<15> empty;
  ExpectText(empty, "", 0);
  s.SetFrom("abc", 3);
  ExpectText(s, "abc", 3);
  s.Append(TQVFixedString<31>("defghijklmnopqrstu"));
  ExpectText(s, "abcdefghijklmno", 15);
  s.SetByteLength(4);
  EXPECT_EQ(s.ByteLength(), 4);
  s.SetCapacity(100);
  EXPECT_EQ(s.Capacity(), 15);
}

TEST_F(StringTest, AppendCharacterUnderSingleAndDoubleByteCodePages) {
  TQVFixedString<15> s("ab");
  s.AppendChar(0x8241);  // high byte ignored under 1252
  ExpectText(s, "abA", 3);
  UseCodePage(932);
  TQVFixedString<15> d("ab");
  d.AppendChar(0x82A0);  // lead byte 0x82: two bytes, one character
  EXPECT_EQ(d.ByteLength(), 4);
  EXPECT_EQ(d.CharacterCount(), 3);
  EXPECT_EQ(uint8_t(d.CStr()[2]), 0x82);
  EXPECT_EQ(uint8_t(d.CStr()[3]), 0xA0);
  d.AppendChar('c');
  EXPECT_EQ(d.CharacterCount(), 4);
  // A double-byte character that does not fit whole is not appended.
  TQVFixedString<15> full("0123456789abcd");
  full.AppendChar(0x82A0);
  ExpectText(full, "0123456789abcd", 14);
  full.AppendChar('e');
  ExpectText(full, "0123456789abcde", 15);
  full.AppendChar('f');
  ExpectText(full, "0123456789abcde", 15);
}

TEST_F(StringTest, CaseInsensitiveAndExactComparisons) {
  const TQVFixedString<15> lower("abc"), upper("ABD"), same("ABC");
  EXPECT_TRUE(lower.Less(upper));
  EXPECT_FALSE(lower.Greater(upper));
  EXPECT_TRUE(lower.LessOrEqual(same));
  EXPECT_TRUE(lower.GreaterOrEqual(same));
  EXPECT_EQ(upper.Compare(lower), -1);  // exact bytes: upper case first
  EXPECT_EQ(lower.Compare(upper), 1);
  EXPECT_EQ(lower.Compare(TQVFixedString<31>("abc")), 0);
  EXPECT_TRUE(lower.Equals(TQVDynamicString("abc")));
  EXPECT_FALSE(lower.Equals(same));
}

TEST_F(StringTest, InsertAtEveryPosition) {
  struct Case {
    const char* start;
    const char* inserted;
    int32_t index;
    const char* result;
  };
  const Case cases[] = {
      {"abc", "XY", 0, "XYabc"},   {"abc", "XY", 1, "aXYbc"},  {"abc", "XY", 3, "abcXY"},
      {"abc", "XY", 4, "abc"},     {"abc", "XY", -1, "abc"},   {"abc", "", 1, "abc"},
      // Cut at the capacity of 15.
      {"0123456789abcd", "XY", 2, "01XY23456789abc"},
      {"0123456789abcd", "ABCDEFGHIJKLMNOPQRS", 3, "012ABCDEFGHIJKL"},
  };
  for (const Case& c : cases) {
    TQVFixedString<15> fixed(c.start);
    fixed.Insert(TQVFixedString<31>(c.inserted), c.index);
    ExpectText(fixed, c.result, int32_t(std::strlen(c.result)));
    TQVDynamicString dynamic(c.start);
    dynamic.Insert(TQVDynamicString(c.inserted), c.index);
    const bool cut = std::strlen(c.start) + std::strlen(c.inserted) > 15 && c.index >= 0;
    if (!cut) ExpectText(dynamic, c.result, int32_t(std::strlen(c.result)));
  }
  TQVDynamicString grows("0123456789abcd");
  grows.Insert(TQVFixedString<15>("XY"), 2);
  ExpectText(grows, "01XY23456789abcd", 16);
  TQVFixedString<15> self("abc");
  self.Insert(self, 1);
  ExpectText(self, "aabcbc", 6);
}

TEST_F(StringTest, DoubleByteCountsAndInsertOffsets) {
  UseCodePage(932);
  TQVDynamicString s("\x82\xA0" "b\x82\xA2");  // three characters, five bytes
  EXPECT_EQ(s.ByteLength(), 5);
  EXPECT_EQ(s.CharacterCount(), 3);
  EXPECT_EQ(s.ByteSpan(0, 2), 3);
  EXPECT_EQ(s.ByteSpan(1, 5), 3);  // clipped to the end
  s.Insert(TQVFixedString<15>("X"), 1);
  EXPECT_STREQ(s.CStr(), "\x82\xA0X" "b\x82\xA2");
  EXPECT_EQ(s.CharacterCount(), 4);
  // Cutting a full fixed string leaves a count that matches the result.
  TQVFixedString<15> full("\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82");
  full.Insert(TQVFixedString<15>("ab"), 0);
  EXPECT_EQ(full.ByteLength(), 15);
  EXPECT_EQ(full.CharacterCount(), TQVString::CountCharacters(full.CStr()));
}

TEST_F(StringTest, DynamicStringsGrowAndSurviveRefusedMemory) {
  TQVDynamicString s("abc");
  EXPECT_EQ(s.Capacity(), 3);
  s.Append(TQVFixedString<15>("defgh"));
  ExpectText(s, "abcdefgh", 8);
  s.Append(s);
  ExpectText(s, "abcdefghabcdefgh", 16);
  s.SetCapacity(4);
  ExpectText(s, "abcd", 4);
  s.Assign(s);
  ExpectText(s, "abcd", 4);

  qvhost::HostMemory::Instance().RefuseAllocation(1);
  s.Reallocate(100);
  ExpectText(s, "", 0);
  EXPECT_EQ(s.Capacity(), 0);
  s.SetFrom("again");
  ExpectText(s, "again", 5);

  qvhost::HostMemory::Instance().RefuseAllocation(1);
  TQVDynamicString refused("never");
  ExpectText(refused, "", 0);
  EXPECT_EQ(refused.Characters(), nullptr);
  refused.AppendChar('x');
  ExpectText(refused, "x", 1);
}

TEST_F(StringTest, RefusedGrowthLeavesAConsistentString) {
  TQVDynamicString grown;
  grown.SetCapacity(8);  // a fresh block is terminated
  ExpectText(grown, "", 0);
  TQVDynamicString s("ab");
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  s.AppendChar('c');
  ExpectText(s, "", 0);
  s.AppendChar('d');
  ExpectText(s, "d", 1);
  s.AppendChar(0);  // the terminator is not a character
  ExpectText(s, "d", 1);
  s.Append(TQVFixedString<15>("ef"));
  ExpectText(s, "def", 3);
}

TEST_F(StringTest, TranslationWithHostTables) {
  static const uint8_t kListOne[] = {9, 0x80, 'E', 'U', 'R', 0, 0xA9, '(', 'c', ')'};
  // The 0xA9 entry is not terminated inside the list: the key drops the byte.
  QVTranslationRecord record{};
  for (int b = 0; b < 256; ++b) record.tables[0][b] = record.tables[1][b] = uint8_t(b);
  record.tables[0]['a'] = 'A';
  record.tables[0]['-'] = 0;
  record.tables[0][0x80] = kQVTranslateFromList;
  record.tables[0][0xA9] = kQVTranslateFromList;
  record.replacements[0] = kListOne;
  record.replacements[1] = nullptr;

  TQVDynamicString text("a-b\x80\xA9");
  const int32_t capacity = text.Capacity();
  QVTranslateCharacters(text, record, 0);
  ExpectText(text, "AbEUR", 5);
  EXPECT_EQ(text.Capacity(), capacity);

  TQVDynamicString longer("\x80\x80\x80");
  QVTranslateCharacters(longer, record, 0);
  ExpectText(longer, "EUREUREUR", 9);
  EXPECT_EQ(longer.Capacity(), 9);  // needed length + trunc(3 * 0.01)

  TQVDynamicString other("a-b");
  QVTranslateCharacters(other, record, 1);
  ExpectText(other, "a-b", 3);
}

}  // namespace
