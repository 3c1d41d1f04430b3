// NoteSheet's HTML page pieces and timecodes, linked directly.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "HtmlPage.h"
#include "MemoryTextStream.h"
#include "QVString.h"
#include "Timecode.h"

namespace {

std::string Timecode(int32_t ticks, int32_t fps) {
  TQVFixedString<31> out("stale");
  FormatTimecode(ticks, fps, out);
  return out.CStr();
}

TEST(NoteSheetTimecode, MinutesSecondsFramesAndTheLastDigitOfTheHours) {
  struct Case {
    int32_t ticks, fps;
    const char* expected;
  };
  const Case cases[] = {
      {0, 30, "00:00:00"},
      {6000, 30, "00:00:01"},
      {180000, 30, "00:01:00"},
      {180000 * 3661 + 90000, 30, "1:01:01:15"},
      {2147483647, 30, "3:18:50:13"},
      {180000 * 10800, 30, "3:00:00:00"},
      {179999, 25, "00:00:24"},
      {90000, 24, "00:00:12"},
      {7500, 24, "00:00:01"},
      {179999, 1, "00:00:00"},
      {180000 * 59 + 179999, 60, "00:59:59"},
      // No frame rate: no frames, the minutes and seconds still shown.
      {180000 * 61 + 90000, 0, "01:01:00"},
      {180000 * 61 + 90000, -5, "01:01:00"},
      // More frames a second than ticks: no whole ticks per frame, so no frames either.
      {180000 * 61 + 90000, 180001, "01:01:00"},
      {180000 * 61 + 1, 180000, "01:01:01"},
      // Before zero: a '-' and the timecode of the magnitude.
      {-1, 30, "-00:00:00"},
      {-6000, 30, "-00:00:01"},
      {-(180000 * 3661 + 90000), 30, "-1:01:01:15"},
      {-2147483647, 30, "-3:18:50:13"},
      {int32_t(-2147483647 - 1), 30, "-3:18:50:13"},
      {-(180000 * 61 + 90000), 0, "-01:01:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(Timecode(c.ticks, c.fps), c.expected) << c.ticks << " at " << c.fps;
}

TEST(NoteSheetTimecode, DecimalFormsAppend) {
  TQVFixedString<63> text("t=");
  for (int32_t value : {0, 7, -42, 2147483647, int32_t(-2147483647 - 1)}) {
    AppendDecimal(text, value);
    text.AppendChar(' ');
  }
  EXPECT_STREQ(text.CStr(), "t=0 7 -42 2147483647 -2147483648 ");
}

TEST(NoteSheetPage, ColoursAreClampedPackedAndWrittenAsRGB) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float color[4];
    uint32_t packed;
  };
  const Case cases[] = {
      {{1, 1, 1, 1}, 0xFFFFFFFFu},
      {{0, 0, 0, 1}, 0xFF000000u},
      {{0.5f, 0, 1, 1}, 0xFF7F00FFu},
      {{2.0f, -1.0f, nan, 0.25f}, 0x3FFF0000u},
      {{0.1f, 0.2f, 0.3f, std::numeric_limits<float>::infinity()}, 0xFF19334Cu},
  };
  for (const Case& c : cases) EXPECT_EQ(PackColor(c.color), c.packed) << std::hex << c.packed;

  MemoryTextStream stream;
  const TQVFixedString<15> title("T");
  const float background[4] = {0.5f, 0, 1, 1}, text[4] = {0.1f, 0.2f, 0.3f, 1};
  WritePageHeader(stream, title, 10, false, PackColor(text), PackColor(background));
  EXPECT_NE(stream.Text().find("<BODY bgcolor=\"7F00FF\" text=\"19334C\">\n"), std::string::npos) << stream.Text();
}

TEST(NoteSheetPage, TheHeaderShowsTheTitleTwiceUnescapedAndTheBorderWhenAsked) {
  const TQVFixedString<63> title("A < B & C");
  MemoryTextStream plain, bordered;
  WritePageHeader(plain, title, 10, false, 0, 0xFFFFFF);
  WritePageHeader(bordered, title, -3, true, 0, 0xFFFFFF);
  EXPECT_EQ(plain.Text(),
            "<HTML>\n<HEAD>\n<TITLE>A < B & C</TITLE>\n</HEAD>\n<!-- Begin Body Tag -->\n"
            "<BODY bgcolor=\"FFFFFF\" text=\"000000\">\n<!-- End Body Tag -->\n<H1>A < B & C</H1>\n"
            "<TABLE CELLPADDING=10>\n<TR>\n");
  EXPECT_NE(bordered.Text().find("<TABLE BORDER CELLPADDING=-3>\n<TR>\n"), std::string::npos);
}

TEST(NoteSheetPage, CellsWrapTheirTextAndCommentsTurnEveryLineBreakIntoABreakTag) {
  struct Case {
    const char* comment;
    const char* written;
  };
  const Case cases[] = {
      {"Hello", "Hello"},
      {"a\r\nb", "a<BR><BR>b"},
      {"\nx\r", "<BR>x<BR>"},
      {"<b>&amp;</b>", "<b>&amp;</b>"},
      {"", ""},
  };
  for (const Case& c : cases) {
    MemoryTextStream stream;
    const TQVFixedString<63> comment(c.comment);
    WriteCommentCell(stream, comment, "left");
    EXPECT_EQ(stream.Text(), std::string("<TD align=\"left\">\n<!-- Begin Comment -->\n") + c.written +
                                 "\n<!-- End Comment -->\n</TD>\n")
        << c.comment;
  }

  MemoryTextStream stream;
  const TQVFixedString<31> three("3"), source("page_images/36000"), timecode("00:00:06");
  WriteFrameCell(stream, three);
  WriteImageCell(stream, source);
  WriteTimecodeCell(stream, timecode);
  WriteRowBreak(stream);
  EXPECT_EQ(stream.Text(),
            "<TD align=center>\n<!-- Begin Frame -->\n3\n<!-- End Frame -->\n</TD>\n"
            "<TD align=center>\n<!-- Begin Image Link -->\n<IMG src=\"page_images/36000.jpg\">\n"
            "<!-- End Image Link -->\n</TD>\n"
            "<TD align=center>\n<!-- Begin Timecode -->\n00:00:06\n<!-- End Timecode -->\n</TD>\n"
            "</TR>\n<TR>\n");
}

TEST(NoteSheetPage, WidthRowsAndAlignments) {
  const TQVFixedString<15> width("16%");
  for (int32_t count : {-1, 0, 2}) {
    MemoryTextStream stream;
    WriteWidthRow(stream, width, count);
    std::string expected;
    for (int32_t i = 0; i < count; ++i) expected += "<TD width=\"16%\">\n</TD>\n";
    EXPECT_EQ(stream.Text(), expected) << count;
  }
  EXPECT_STREQ(AlignmentText(QVFourCC("CENT")), "center");
  EXPECT_STREQ(AlignmentText(QVFourCC("LEFT")), "left");
  EXPECT_STREQ(AlignmentText(QVFourCC("RIGT")), "right");
  EXPECT_STREQ(AlignmentText(QVFourCC("cent")), "");
  EXPECT_STREQ(AlignmentText(0), "");
}

}  // namespace
