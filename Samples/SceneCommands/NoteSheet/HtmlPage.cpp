// The HTML page's pieces. Each cell reaches the stream in one call (or a few, when long).
#include "HtmlPage.h"

#include <cstring>

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

// The bytes of one cell, gathered so that the stream is called once per cell rather than
// once per piece; longer cells go out whenever the buffer fills.
class TCellWriter {
 public:
  explicit TCellWriter(TTextStream& stream) : fStream(stream) {}
  TCellWriter(const TCellWriter&) = delete;
  TCellWriter& operator=(const TCellWriter&) = delete;
  ~TCellWriter() { Flush(); }

  template <size_t N>
  void Add(const char (&text)[N]) {
    Add(text, int32_t(N - 1));
  }
  void Add(const TQVString& text) { Add(text.CStr(), text.ByteLength()); }
  void Add(const char* bytes, int32_t count) {
    if (count <= 0) return;
    if (count > kSize - fLength) {
      Flush();
      if (count > kSize) {
        fStream.Write(bytes, count);
        return;
      }
    }
    std::memcpy(fBytes + fLength, bytes, size_t(count));
    fLength += count;
  }
  void Flush() {
    if (fLength > 0) fStream.Write(fBytes, fLength);
    fLength = 0;
  }

 private:
  static constexpr int32_t kSize = 1024;
  TTextStream& fStream;
  int32_t fLength = 0;
  char fBytes[kSize];
};

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
  TCellWriter cell(stream);
  cell.Add("<TD align=center>\n<!-- Begin Frame -->\n");
  cell.Add(text);
  cell.Add("\n<!-- End Frame -->\n</TD>\n");
}

void WriteImageCell(TTextStream& stream, const TQVString& source) {
  TCellWriter cell(stream);
  cell.Add("<TD align=center>\n<!-- Begin Image Link -->\n<IMG src=\"");
  cell.Add(source);
  cell.Add(".jpg\">\n<!-- End Image Link -->\n</TD>\n");
}

void WriteTimecodeCell(TTextStream& stream, const TQVString& text) {
  TCellWriter cell(stream);
  cell.Add("<TD align=center>\n<!-- Begin Timecode -->\n");
  cell.Add(text);
  cell.Add("\n<!-- End Timecode -->\n</TD>\n");
}

// Every byte of the comment is written, also in multi-byte code pages.
void WriteCommentCell(TTextStream& stream, const TQVString& text, const char* alignment) {
  TCellWriter cell(stream);
  cell.Add("<TD align=\"");
  cell.Add(alignment, int32_t(std::strlen(alignment)));
  cell.Add("\">\n<!-- Begin Comment -->\n");
  const char* bytes = text.CStr();
  const int32_t length = text.ByteLength();
  int32_t start = 0;
  // Most comments are one line: they are copied whole without a look at each byte.
  if (std::memchr(bytes, '\r', size_t(length)) || std::memchr(bytes, '\n', size_t(length))) {
    for (int32_t i = 0; i < length; ++i) {
      if (bytes[i] != '\r' && bytes[i] != '\n') continue;
      cell.Add(bytes + start, i - start);
      cell.Add("<BR>");
      start = i + 1;
    }
  }
  cell.Add(bytes + start, length - start);
  cell.Add("\n<!-- End Comment -->\n</TD>\n");
}

void WriteRowBreak(TTextStream& stream) { stream.Write("</TR>\n<TR>\n", 11); }

void WritePageFooter(TTextStream& stream) {
  stream.WriteText("</TR>\n");
  stream.WriteText("</TABLE>\n");
  stream.WriteText("</BODY>\n");
  stream.WriteText("</HTML>\n");
}
