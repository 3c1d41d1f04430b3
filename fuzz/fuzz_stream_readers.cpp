// The text stream's number and word readers on arbitrary bytes: the input is written to a
// file and read through TFileTextStream with a small window (so that windows move and
// ungets cross them), by a sequence of readers until the end of the file or a bounded
// number of reads. The same sequence through an unbuffered stream must give the same
// values, states and positions.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "IHostFiles.h"
#include "QVEntryPoints.h"
#include "QVModule.h"
#include "QVTextStream.h"
#include "qvhost/HostShell.h"

// This program is its own module: it has no component classes.
TQVComponent* CreateComponent(const QVGUID&) { return nullptr; }

namespace {

struct Runtime {
  Runtime() : shell(qvhost::HostShell::Create()) { QVDllInit(shell.Get()); }
  TQVCountedPtr<qvhost::HostShell> shell;
};

template <class T>
void Record(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// One reader, chosen by `kind`; what it gave is appended to `out`.
void Step(TTextStream& stream, int kind, std::string& out) {
  switch (kind) {
    case 0: { int32_t v = 5; stream.ReadInt(v); Record(out, v); break; }
    case 1: { uint32_t v = 5; stream.ReadUnsignedLong(v); Record(out, v); break; }
    case 2: { int16_t v = 5; stream.ReadShort(v); Record(out, v); break; }
    case 3: { double v = 5; stream.ReadDouble(v); Record(out, v); break; }
    case 4: { float v = 5; stream.ReadFloat(v); Record(out, v); break; }
    case 5: {
      char word[9];
      std::memset(word, 'Z', sizeof word);
      stream.ReadWord(word, 8);
      if (word[8] != 'Z' || std::memchr(word, 0, 8) == nullptr) __builtin_trap();  // bounded, terminated
      out += word;
      break;
    }
    case 6: {
      TQVDynamicString text;
      stream.ReadString(text);
      if (text.ByteLength() > 256) __builtin_trap();
      out += text.CStr();
      break;
    }
    case 7: { char c = 'Q'; stream.ReadChar(c); out += c; break; }
    case 8: {
      TQVDynamicString path;
      stream.ReadFileReference(path);
      out += path.CStr();
      break;
    }
    case 9: { uint16_t v = 5; stream.ReadUnsignedShort(v); Record(out, v); break; }
  }
  Record(out, stream.State());
  Record(out, stream.Tell());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Runtime runtime;
  // The input's file in the temporary folder ($TMPDIR), removed when the fuzzer exits.
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("qv-fuzz-stream-" + std::to_string(getpid()) + ".txt")).string();
  static const int removal = std::atexit([] { std::remove(path.c_str()); });
  (void)removal;
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  // The first byte picks where the reader sequence starts and the window size (1-8).
  const uint8_t selector = size > 0 ? data[0] : 0;
  const int32_t capacity = 1 + (selector >> 4) % 8;
  const TQVDynamicString name(path.c_str());
  TFileTextStream* windowed = TFileTextStream::New(name, kQVFileReadable, capacity, nullptr);
  TFileTextStream* unbuffered = TFileTextStream::New(name, kQVFileReadable, 0, nullptr);
  if (!windowed || !unbuffered || !windowed->Good() || !unbuffered->Good()) __builtin_trap();
  const size_t limit = 2 * size + 8;
  for (size_t i = 0; i < limit && !windowed->AtEnd(); ++i) {
    const int kind = int((i + selector) % 10);
    std::string a, b;
    Step(*windowed, kind, a);
    Step(*unbuffered, kind, b);
    if (a != b) __builtin_trap();
    const int32_t at = windowed->Tell();
    if (at < 0 || at > int32_t(size)) __builtin_trap();
  }
  QVDeleteStream(windowed);
  QVDeleteStream(unbuffered);
  return 0;
}
