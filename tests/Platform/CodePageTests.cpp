// Code page, lead bytes, character stepping and case-insensitive comparison.
#include <gtest/gtest.h>

#include "qvplatform/Platform.h"

namespace {

class CodePageTest : public ::testing::Test {
 protected:
  void TearDown() override { QVPlatform_SetACP(1252, nullptr); }
};

TEST_F(CodePageTest, DefaultsTo1252WithoutLeadBytes) {
  EXPECT_EQ(QVPlatform_GetACP(), 1252u);
  for (int b = 0; b < 256; ++b) EXPECT_FALSE(QVPlatform_IsDBCSLeadByte(uint8_t(b))) << b;
  const char text[] = "\x81\x40";
  EXPECT_EQ(QVPlatform_CharNext(text), text + 1);
}

TEST_F(CodePageTest, DoubleByteCodePageStepsOverLeadAndTrail) {
  QVPlatform_SetACP(932, nullptr);
  EXPECT_TRUE(QVPlatform_IsDBCSLeadByte(0x81));
  EXPECT_TRUE(QVPlatform_IsDBCSLeadByte(0xE0));
  EXPECT_FALSE(QVPlatform_IsDBCSLeadByte(0xA0));
  EXPECT_FALSE(QVPlatform_IsDBCSLeadByte('A'));
  const char text[] = "\x82\xA0" "a\x81";
  EXPECT_EQ(QVPlatform_CharNext(text), text + 2);
  EXPECT_EQ(QVPlatform_CharNext(text + 2), text + 3);
  // A lead byte before the terminator is one character, and the terminator stays put.
  EXPECT_EQ(QVPlatform_CharNext(text + 3), text + 4);
  EXPECT_EQ(QVPlatform_CharNext(text + 4), text + 4);
}

TEST_F(CodePageTest, CustomLeadByteRanges) {
  const uint8_t ranges[] = {0xA1, 0xA2, 0xF0, 0xF0, 0, 0};
  QVPlatform_SetACP(1234, ranges);
  EXPECT_TRUE(QVPlatform_IsDBCSLeadByte(0xA1));
  EXPECT_TRUE(QVPlatform_IsDBCSLeadByte(0xA2));
  EXPECT_FALSE(QVPlatform_IsDBCSLeadByte(0xA3));
  EXPECT_TRUE(QVPlatform_IsDBCSLeadByte(0xF0));
  QVPlatform_SetACP(1252, nullptr);
  EXPECT_FALSE(QVPlatform_IsDBCSLeadByte(0xA1));
}

struct CompareCase {
  const char* a;
  const char* b;
  int sign;
};

TEST_F(CodePageTest, CaseInsensitiveComparisonUnder1252) {
  const CompareCase cases[] = {
      {"abc", "ABD", -1}, {"ABD", "abc", 1},     {"ABC", "abc", 0},      {"", "", 0},
      {"a", "", 1},       {"", "a", -1},         {"\xE9t\xE9", "\xC9T\xC9", 0},  // e acute
      {"\x8A", "\x9A", 0},  // S caron
      {"abc", "abcd", -1},  {"Zebra", "apple", 1},
  };
  for (const CompareCase& c : cases) {
    const int32_t r = QVPlatform_CompareTextNoCase(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << '"' << c.a << "\" vs \"" << c.b << '"';
  }
}

TEST_F(CodePageTest, DoubleByteComparisonFoldsOnlySingleBytes) {
  QVPlatform_SetACP(932, nullptr);
  EXPECT_EQ(QVPlatform_CompareTextNoCase("ab\x82" "a", "AB\x82" "a"), 0);
  // The trail byte 'a' (0x61) of a double-byte character is not folded.
  EXPECT_NE(QVPlatform_CompareTextNoCase("\x82" "a", "\x82" "A"), 0);
}

}  // namespace
