// The HTML page's pieces, each written with its own call.
#include "HtmlPage.h"

#include "QVBase.h"

namespace {

uint32_t ColorByte(float component) {
  if (!(component > 0.0f)) return 0;  // below 0 and not a number
  if (component > 1.0f) return 255;
  return uint32_t(component * 255.0f);
}

// The R, G and B bytes of a packed colour as six upper-case hexadecimal digits.
void WriteHexColor(TTextStream& stream, uint32_t packed) {
  static const char kDigits[] = "0123456789ABCDEF";
  char text[6];
  for (int i = 0; i < 6; ++i) text[i] = kDigits[(packed >> (20 - 4 * i)) & 0xF];
  stream.Write(text, 6);
}

void WriteString(TTextStream& stream, const TQVString& text) { stream.Write(text.CStr(), text.ByteLength()); }

}  // namespace

uint32_t PackColor(const float color[4]) {
  return ColorByte(color[2]) | ColorByte(color[1]) << 8 | ColorByte(color[0]) << 16 | ColorByte(color[3]) << 24;
}

const char* AlignmentText(uint32_t code) {
  switch (code) {
    case QVFourCC("CENT"): return "center";
    case QVFourCC("LEFT"): return "left";
    case QVFourCC("RIGT"): return "right";
    default: return "";
  }
}

void WritePageHeader(TTextStream& stream, const TQVString& title, int32_t cellPadding, bool border,
                     uint32_t textColor, uint32_t backgroundColor) {
  stream.WriteText("<HTML>\n");
  stream.WriteText("<HEAD>\n");
  stream.WriteText("<TITLE>");
  WriteString(stream, title);
  stream.WriteText("</TITLE>\n");
  stream.WriteText("</HEAD>\n");
  stream.WriteText("<!-- Begin Body Tag -->\n");
  stream.WriteText("<BODY");
  stream.WriteText(" bgcolor=\"");
  WriteHexColor(stream, backgroundColor);
  stream.WriteText("\"");
  stream.WriteText(" text=\"");
  WriteHexColor(stream, textColor);
  stream.WriteText("\"");
  stream.WriteText(">\n");
  stream.WriteText("<!-- End Body Tag -->\n");
  stream.WriteText("<H1>");
  WriteString(stream, title);
  stream.WriteText("</H1>\n");
  stream.WriteText("<TABLE ");
  if (border) stream.WriteText("BORDER ");
  stream.WriteText("CELLPADDING=");
  stream.WriteInt(cellPadding);
  stream.WriteText(">\n");
  stream.WriteText("<TR>\n");
}

void WriteWidthRow(TTextStream& stream, const TQVString& width, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    stream.WriteText("<TD width=\"");
    WriteString(stream, width);
    stream.WriteText("\">\n");
    stream.WriteText("</TD>\n");
  }
}

void WriteFrameCell(TTextStream& stream, const TQVString& text) {
  stream.WriteText("<TD align=center>\n");
  stream.WriteText("<!-- Begin Frame -->\n");
  WriteString(stream, text);
  stream.WriteText("\n");
  stream.WriteText("<!-- End Frame -->\n");
  stream.WriteText("</TD>\n");
}

void WriteImageCell(TTextStream& stream, const TQVString& source) {
  stream.WriteText("<TD align=center>\n");
  stream.WriteText("<!-- Begin Image Link -->\n");
  stream.WriteText("<IMG src=\"");
  WriteString(stream, source);
  stream.WriteText(".jpg\">");
  stream.WriteText("\n");
  stream.WriteText("<!-- End Image Link -->\n");
  stream.WriteText("</TD>\n");
}

void WriteTimecodeCell(TTextStream& stream, const TQVString& text) {
  stream.WriteText("<TD align=center>\n");
  stream.WriteText("<!-- Begin Timecode -->\n");
  WriteString(stream, text);
  stream.WriteText("\n");
  stream.WriteText("<!-- End Timecode -->\n");
  stream.WriteText("</TD>\n");
}

// Every byte of the comment is written, also in multi-byte code pages; the bytes between
// two line breaks go in one call.
void WriteCommentCell(TTextStream& stream, const TQVString& text, const char* alignment) {
  stream.WriteText("<TD align=\"");
  stream.WriteText(alignment);
  stream.WriteText("\">\n");
  stream.WriteText("<!-- Begin Comment -->\n");
  const char* bytes = text.CStr();
  const int32_t length = text.ByteLength();
  int32_t start = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    if (i > start) stream.Write(bytes + start, i - start);
    stream.WriteText("<BR>");
    start = i + 1;
  }
  if (length > start) stream.Write(bytes + start, length - start);
  stream.WriteText("\n");
  stream.WriteText("<!-- End Comment -->\n");
  stream.WriteText("</TD>\n");
}

void WriteRowBreak(TTextStream& stream) {
  stream.WriteText("</TR>\n");
  stream.WriteText("<TR>\n");
}

void WritePageFooter(TTextStream& stream) {
  stream.WriteText("</TR>\n");
  stream.WriteText("</TABLE>\n");
  stream.WriteText("</BODY>\n");
  stream.WriteText("</HTML>\n");
}
