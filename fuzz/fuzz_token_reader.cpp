// The token reader on arbitrary bytes: tokens until the end of the stream, then quoted
// texts, through the runtime bound to the reference host's shell.
#include <cstdint>
#include <string>

#include "MemoryTextStream.h"
#include "QVEntryPoints.h"
#include "QVException.h"
#include "QVModule.h"
#include "QVToken.h"
#include "qvhost/HostShell.h"
#include "qvhost/TranslationRecord.h"
#include "qvplatform/Platform.h"

// This program is its own module: it has no component classes.
TQVComponent* CreateComponent(const QVGUID&) { return nullptr; }

namespace {

bool InitRuntime() {
  static TQVCountedPtr<qvhost::HostShell> shell = qvhost::HostShell::Create();
  shell->Settings().translationRecord = &qvhost::DefaultTranslationRecord();
  return QVDllInit(shell.Get()) == kQVOk;
}

// The first byte picks the code page, so localisation runs under both kinds.
void UseCodePageOf(const uint8_t* data, size_t size) {
  QVPlatform_SetACP(size > 0 && (data[0] & 1) ? 932 : 1252, nullptr);
  QVResetCodePageState();
}

// Every call moves on by at least one byte, so more calls than bytes is a hang.
void ReadAllTokens(const std::string& text) {
  MemoryTextStream stream(text);
  for (size_t calls = 0; calls <= text.size() + 1; ++calls) {
    try {
      ReadToken(stream);
    } catch (const TQVException& error) {
      if (error.Code() == kQVErrEndOfInput) return;
    }
  }
  __builtin_trap();
}

void ReadAllQuotedTexts(const std::string& text) {
  MemoryTextStream stream(text);
  TQVDynamicString dynamic;
  TQVFixedString<15> fixed;
  for (size_t calls = 0; calls <= text.size() + 1; ++calls) {
    try {
      ReadQuotedText(stream, calls % 2 ? static_cast<TQVString&>(fixed) : dynamic);
    } catch (const TQVException& error) {
      if (error.Code() == kQVErrEndOfInput) return;
    }
  }
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = InitRuntime();
  if (!ready) return 0;
  UseCodePageOf(data, size);
  const std::string text(reinterpret_cast<const char*>(data), size);
  ReadAllTokens(text);
  ReadAllQuotedTexts(text);
  return 0;
}
