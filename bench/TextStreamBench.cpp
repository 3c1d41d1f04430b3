// Writing 100 MB through TFileTextStream (a 32512-byte window, as the HTML export uses)
// in pieces of 1-100 bytes, against fwrite with a setvbuf buffer of the same size over
// the same pieces. Each iteration writes the file both ways; the counter "ratio" is the
// stream's time over fwrite's (target: within 1.3).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "IHostFiles.h"
#include "QVEntryPoints.h"
#include "QVModule.h"
#include "QVTextStream.h"
#include "qvhost/HostShell.h"

// This program is its own module: it has no component classes.
TQVComponent* CreateComponent(const QVGUID&) { return nullptr; }

namespace {

constexpr size_t kTotal = 100u * 1000u * 1000u;
constexpr int32_t kWindow = 0x7F00;
constexpr size_t kSourceSize = 4096;

// A fixed pseudo-random sequence of piece sizes 1-100 adding up to kTotal.
const std::vector<uint8_t>& Pieces() {
  static const std::vector<uint8_t> pieces = [] {
    std::vector<uint8_t> sizes;
    uint32_t state = 0x2545F491u;
    size_t total = 0;
    while (total < kTotal) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      size_t size = 1 + state % 100;
      if (total + size > kTotal) size = kTotal - total;
      sizes.push_back(uint8_t(size));
      total += size;
    }
    return sizes;
  }();
  return pieces;
}

const char* Source() {
  static const std::vector<char> bytes = [] {
    std::vector<char> text(kSourceSize + 128);
    for (size_t i = 0; i < text.size(); ++i) text[i] = char(' ' + i % 95);
    return text;
  }();
  return bytes.data();
}

std::string OutputPath() {
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder && *folder ? folder : "/tmp") + "/qv-textstream-bench-" + std::to_string(getpid());
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double WriteWithStream(const std::string& path) {
  const char* source = Source();
  const TQVDynamicString name(path.c_str());
  const auto start = std::chrono::steady_clock::now();
  TFileTextStream* stream = TFileTextStream::New(name, kQVFileWritable, kWindow, nullptr);
  size_t at = 0;
  for (uint8_t size : Pieces()) {
    stream->Write(source + (at & (kSourceSize - 1)), size);
    at += size;
  }
  if (stream->Length() != int32_t(kTotal) || !stream->Good()) std::fprintf(stderr, "stream write failed\n");
  QVDeleteStream(stream);
  return Seconds(start);
}

double WriteWithFwrite(const std::string& path) {
  static char buffer[kWindow];
  const char* source = Source();
  const auto start = std::chrono::steady_clock::now();
  FILE* file = std::fopen(path.c_str(), "wb");
  std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
  size_t at = 0;
  for (uint8_t size : Pieces()) {
    std::fwrite(source + (at & (kSourceSize - 1)), 1, size, file);
    at += size;
  }
  std::fclose(file);
  return Seconds(start);
}

double gLastRatio = 0;

void TextStreamAgainstFwrite(benchmark::State& state) {
  const std::string path = OutputPath();
  Pieces();
  double stream = 0, stdio = 0;
  int64_t round = 0;
  for (auto _ : state) {
    // Alternate the order so that neither side always follows the other's dirty pages.
    if (round++ % 2 == 0) {
      stream += WriteWithStream(path);
      stdio += WriteWithFwrite(path);
    } else {
      stdio += WriteWithFwrite(path);
      stream += WriteWithStream(path);
    }
  }
  std::remove(path.c_str());
  const double n = double(state.iterations());
  state.counters["stream_ms"] = 1000 * stream / n;
  state.counters["fwrite_ms"] = 1000 * stdio / n;
  state.counters["ratio"] = stream / stdio;
  state.counters["pieces"] = double(Pieces().size());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kTotal) * 2);
  gLastRatio = stream / stdio;
}

BENCHMARK(TextStreamAgainstFwrite)->Iterations(6)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  auto shell = qvhost::HostShell::Create();
  QVDllInit(shell.Get());
  benchmark::RunSpecifiedBenchmarks();
  std::printf("ratio TFileTextStream/fwrite over 100 MB in 1-100 byte pieces: %.2f (target <= 1.30)\n", gLastRatio);
  QVDllCleanUp();
  benchmark::Shutdown();
  return 0;
}
