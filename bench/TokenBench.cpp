// ReadToken over a 50 MB token file through TFileTextStream, against a plain tokenizer
// loop with the same rules over the same bytes in memory; the ratio is a counter of the
// file benchmark and is printed at the end.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "IHostFiles.h"
#include "QVEntryPoints.h"
#include "QVException.h"
#include "QVModule.h"
#include "QVTextStream.h"
#include "QVToken.h"
#include "qvhost/HostShell.h"

// This program is its own module: it has no component classes.
TQVComponent* CreateComponent(const QVGUID&) { return nullptr; }

namespace {

constexpr size_t kFileSize = 50u << 20;
constexpr int32_t kWindowCapacity = 32512;

std::string gPath;
std::string gBytes;
double gBaselineSeconds = 0;  // one pass of the plain tokenizer
double gReaderSeconds = 0;    // one pass of ReadToken through the file stream

std::string MakeTokenText() {
  std::string text;
  text.reserve(kFileSize + 256);
  for (int i = 0; text.size() < kFileSize; ++i) {
    text += "# record " + std::to_string(i) + "\n";
    text += "node \"Name \\\"" + std::to_string(i) + "\\\"\" {\n";
    text += "  position 1.5 -2.25 3.125\n  flags 0x1F visible\n";
    text += "  data $00000010 0123456789ABCDEF$\n";
    text += "  note \"@Mmac text@Wwindows text \\\\ done@\"\n}\n";
  }
  return text;
}

// ---- The baseline: the tokenizer's rules over bytes in memory ------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool EndsWord(char c) { return IsBlank(c) || c == '#' || c == '{' || c == '}' || c == '"'; }

class PlainTokenizer {
 public:
  PlainTokenizer(const char* begin, const char* end) : fNext(begin), fEnd(end) {}

  // The next token into `buffer`; false at the end.
  bool Next(char* buffer) {
    int32_t count = 0;
    auto store = [&](char c) {
      if (count < 255) buffer[count++] = c;
    };
    char c;
    do {
      if (!Get(c)) return false;
    } while (IsBlank(c));
    if (c == '"') {
      for (;;) {
        if (!Get(c)) return false;
        if (c == '"') break;
        if ((c == '\\' || c == '\x01') && !Get(c)) return false;
        store(c);
      }
    } else if (c == '$') {
      uint32_t length = 0;
      for (int shift = 28; shift >= 0; shift -= 4) {
        int digit = -1;
        while (digit < 0) {
          if (!Get(c) || c == '$') return false;
          digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        }
        length |= uint32_t(digit) << shift;
      }
      if (length != 0xFFFFFFFFu) {
        if (int64_t(length) + 1 > fEnd - fNext) return false;
        fNext += int64_t(length) + 1;
      }
      do {
        if (!Get(c)) return false;
      } while (c != '$');
    } else {
      while (c == '#') {
        do {
          if (!Get(c)) return false;
        } while (c != '\r' && c != '\n');
        do {
          if (!Get(c)) return false;
        } while (IsBlank(c));
      }
      if (c == '{' || c == '}') {
        store(c);
      } else {
        while (!EndsWord(c)) {
          store(c);
          if (!Get(c)) return false;
        }
        --fNext;
      }
    }
    buffer[count] = 0;
    return true;
  }

 private:
  bool Get(char& c) {
    if (fNext == fEnd) return false;
    c = *fNext++;
    return true;
  }

  const char* fNext;
  const char* fEnd;
};

int64_t PlainTokenCount() {
  PlainTokenizer tokenizer(gBytes.data(), gBytes.data() + gBytes.size());
  char buffer[256];
  int64_t tokens = 0;
  while (tokenizer.Next(buffer)) {
    benchmark::DoNotOptimize(buffer);
    ++tokens;
  }
  return tokens;
}

// ReadToken until the end of the file; -1 when the stream cannot be opened.
int64_t ReaderTokenCount() {
  const TQVFixedString<1023> path(gPath.c_str());
  TFileTextStream* stream = TFileTextStream::New(path, kQVFileReadable, kWindowCapacity, nullptr);
  if (!stream) return -1;
  int64_t tokens = 0;
  if (!stream->Failed()) {
    try {
      for (;;) {
        TQVFixedString<255> token = ReadToken(*stream);
        benchmark::DoNotOptimize(token.ByteLength());
        ++tokens;
      }
    } catch (const TQVException&) {
    }
  } else {
    tokens = -1;
  }
  QVDeleteStream(stream);
  return tokens;
}

template <class Pass>
double TimedPasses(benchmark::State& state, Pass pass) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(pass());
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(gBytes.size()));
  return elapsed.count() / double(state.iterations());
}

void PlainTokenizerInMemory(benchmark::State& state) { gBaselineSeconds = TimedPasses(state, PlainTokenCount); }

void ReadTokenFromFile(benchmark::State& state) {
  gReaderSeconds = TimedPasses(state, ReaderTokenCount);
  if (gBaselineSeconds > 0) state.counters["vs_memory"] = gReaderSeconds / gBaselineSeconds;
}

// The baseline first, so the file benchmark can report the ratio.
BENCHMARK(PlainTokenizerInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadTokenFromFile)->Unit(benchmark::kMillisecond);

// A folder of this run's own under $TMPDIR (else /tmp), removed with what it holds.
class RunFolder {
 public:
  RunFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qv-token-bench-XXXXXX";
    if (mkdtemp(pattern.data())) fPath = pattern;
  }
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  ~RunFolder() {
    std::error_code ignored;
    if (!fPath.empty()) std::filesystem::remove_all(fPath, ignored);
  }
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RunFolder folder;
  if (folder.Path().empty()) {
    std::perror("token_bench: cannot make a temporary folder");
    return 1;
  }
  gPath = folder.Path() + "/tokens.txt";
  gBytes = MakeTokenText();
  std::ofstream file(gPath, std::ios::binary);
  file << gBytes;
  file.close();
  if (!file) {
    std::fprintf(stderr, "token_bench: cannot write %s\n", gPath.c_str());
    return 1;
  }
  auto shell = qvhost::HostShell::Create();
  QVDllInit(shell.Get());
  int status = 0;
  const int64_t plain = PlainTokenCount(), read = ReaderTokenCount();
  if (plain != read) {
    std::fprintf(stderr, "the tokenizers disagree: %lld tokens in memory, %lld from the file\n",
                 static_cast<long long>(plain), static_cast<long long>(read));
    status = 1;
  } else {
    benchmark::RunSpecifiedBenchmarks();
    if (gBaselineSeconds > 0 && gReaderSeconds > 0)
      std::printf("ratio ReadTokenFromFile/PlainTokenizerInMemory: %.2f (target 3)\n",
                  gReaderSeconds / gBaselineSeconds);
  }
  QVDllCleanUp();
  benchmark::Shutdown();
  return status;
}
