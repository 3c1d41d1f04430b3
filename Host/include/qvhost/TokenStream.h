// The host's text token format for components that save and load themselves: words,
// quoted strings with backslash escapes, "{" and "}", and "#" comment lines. A block is
// "{", items and "}"; an item is a keyword and its value.
#pragma once

#include <string>

#include "HostObject.h"
#include "IHostTokenStream.h"

namespace qvhost {

class QVHOST_API TokenStream final
    : public HostObject<IHostTokenStream, IHostLineWriter, IHostValueReader, IHostTokenSettings> {
 public:
  static TQVCountedPtr<TokenStream> ForWriting();
  static TQVCountedPtr<TokenStream> ForReading(std::string text);

  QVResult ReadNextToken(char token[256]) override;
  bool IsEndOfBlock() override;
  uint32_t GetKeyword() override;
  void SkipItem() override;
  QVResult ReadStringValue(TQVString& value) override;
  QVResult BeginBlock(uint32_t keyword) override;
  QVResult WriteKeyword(uint32_t keyword) override;
  QVResult WriteStringValue(const TQVString& value) override;
  QVResult EndBlock() override;
  QVResult Begin() override;
  QVResult ReadKeyword() override;
  IHostLineWriter* GetLineWriter() override { return this; }
  IHostValueReader* GetValueReader() override { return this; }
  // IHostLineWriter: what is written goes at the current position, after the indentation
  // of the block when it starts a line.
  IHostTokenSettings* GetAttribute(uint32_t code) override;
  QVResult WriteText(const char* text, int32_t count) override;
  // IHostValueReader
  int32_t ReadInteger() override;
  char ReadCharacter() override;
  int32_t GetRemainingLength() override { return int32_t(fText.size() - fAt); }
  bool Failed() override { return fValueFailed; }
  // IHostTokenSettings
  int32_t GetIndentation() override { return 2 * fDepth; }

  // Host side. Reading: the next token (false at the end) and the current one.
  bool Next();
  const std::string& Current() const { return fToken; }
  bool CurrentIsQuoted() const { return fQuoted; }
  bool Ended() const { return fEnded; }
  // `text` in double quotes, with a backslash before each '"' and '\\'.
  static std::string Quote(const std::string& text);
  // Writing: a word, a quoted string (ending the line), a block's opening and closing.
  void WriteWord(const std::string& word);
  void WriteQuoted(const std::string& text);
  void OpenBlock(const std::string& keyword);
  void CloseBlock();
  // Ends the line being written, if any.
  void FinishLine();
  const std::string& Text() const { return fText; }

  // The stream behind an IHostTokenStream a module hands back, or null.
  static TokenStream* From(IUnknown* stream);

 private:
  TokenStream() = default;
  void* FindExtra(const QVGUID& id) override;
  void StartItem();
  void EndLine();

  std::string fText;
  // Reading.
  size_t fAt = 0;
  std::string fToken;
  bool fQuoted = false;
  bool fEnded = false;
  bool fValueFailed = false;
  // Writing.
  int fDepth = 0;
  bool fLineOpen = false;
};

// "PARM" from 'PARM'; a zero byte or a space ends the text.
QVHOST_API std::string KeywordText(uint32_t code);

}  // namespace qvhost
