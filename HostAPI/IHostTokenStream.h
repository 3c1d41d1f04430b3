// The host's tokenised scene-file stream, handed to components that save and load
// themselves, and the data stream handed to key values.
#pragma once

#include "HostServices.h"

// The writer's settings that go with a stream ('Tokn').
struct IHostTokenSettings : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x172);
  virtual int32_t GetIndentation() = 0;  // spaces before an item of the current block
};

// Writes the text of a line as it stands; the writer adds nothing, not even line ends.
struct IHostLineWriter : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x173);
  // The settings attribute `code`, borrowed, or null.
  virtual IHostTokenSettings* GetAttribute(uint32_t code) = 0;
  virtual QVResult WriteText(const char* text, int32_t count) = 0;
};

// Reads values from the text after the current token, blanks skipped.
struct IHostValueReader : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x174);
  // A decimal integer; 0 and a failure noted when there is none (or it does not fit).
  virtual int32_t ReadInteger() = 0;
  // The next character that is not blank; 0 at the end.
  virtual char ReadCharacter() = 0;
  // Bytes left to read: no value list can be longer.
  virtual int32_t GetRemainingLength() = 0;
  virtual bool Failed() = 0;
};

// A block is "{" followed by items and "}"; an item is a keyword and its value, which is
// a word, a quoted string or a block. The current token is the one read last.
struct IHostTokenStream : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x170);
  // Reads the next token into `token` (at most 255 characters and a NUL).
  virtual QVResult ReadNextToken(char token[256]) = 0;
  // True when the current token closes the block being read (or the stream has ended).
  virtual bool IsEndOfBlock() = 0;
  // The current token as a four-character code (shorter tokens padded with spaces).
  virtual uint32_t GetKeyword() = 0;
  // Reads past the value of the current keyword; the current token is then its last.
  virtual void SkipItem() = 0;
  // Reads the next token as the current keyword's string value.
  virtual QVResult ReadStringValue(TQVString& value) = 0;

  virtual QVResult BeginBlock(uint32_t keyword) = 0;
  virtual QVResult WriteKeyword(uint32_t keyword) = 0;
  virtual QVResult WriteStringValue(const TQVString& value) = 0;
  virtual QVResult EndBlock() = 0;

  // Reads the opening "{" of the block; 0x80010024 when something else comes.
  virtual QVResult Begin() = 0;
  // Reads the next token as the current keyword (or the block's closing).
  virtual QVResult ReadKeyword() = 0;
  virtual IHostLineWriter* GetLineWriter() = 0;    // borrowed
  virtual IHostValueReader* GetValueReader() = 0;  // borrowed
};

// Values of keys, written into and read from the host's stream.
struct IHostDataStream : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x171);
  virtual QVResult WriteString(const TQVString& text) = 0;
  virtual QVResult ReadString(TQVString& text) = 0;
};
