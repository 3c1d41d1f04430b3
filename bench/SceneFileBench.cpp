// Reading and writing a large scene file: `qvhost format FILE --save OUT` on a generated
// scene of 100 000 elements and 1 000 000 keys, against `jq -c . FILE` over the same file
// in the same run. Counters: "ratio", qvhost's time over jq's (target below 0.3), and
// "memory_per_size", qvhost's peak resident memory over the file's size (target below 4),
// with jq's for comparison; both from the children's resource usage.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kElements = 100000;
constexpr int kKeysPerElement = 10;
constexpr double kTargetRatio = 0.3;
constexpr double kTargetMemory = 4.0;

std::string Folder() {
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder && *folder ? folder : "/tmp") + "/qv-scene-bench-" + std::to_string(getpid());
}

// The scene in canonical form: elements with a key track each, every seventh key
// selected, every third element moved, a few with children.
std::string Scene() {
  std::string text = "{\n  \"qvscene\": 1,\n  \"elements\": [\n";
  for (int e = 0; e < kElements; ++e) {
    text += e ? ",\n" : "";
    text += "    {\n      \"name\": \"Element " + std::to_string(e) + "\",\n";
    if (e % 3 == 0)
      text += "      \"transform\": {\"translation\": [" + std::to_string(e % 17) + ", 0.5, -" + std::to_string(e % 5) +
              "]},\n";
    text += "      \"animation\": {\n        \"track\": [\n";
    for (int k = 0; k < kKeysPerElement; ++k) {
      const int key = e * kKeysPerElement + k;
      text += k ? ",\n" : "";
      text += "          {\"time\": " + std::to_string(k * 6000 + e % 97);
      if (key % 7 == 0) text += ", \"selected\": true";
      text += "}";
    }
    text += "\n        ]\n      }\n    }";
  }
  text += "\n  ]\n}\n";
  return text;
}

struct Child {
  double seconds;
  long peakKilobytes;
  int status;
};

// Runs `arguments` with standard output to `out`, and measures it.
Child Run(const std::vector<std::string>& arguments, const std::string& out) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) ::dup2(fd, 1);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {seconds, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

void BM_FormatAgainstJq(benchmark::State& state) {
  const std::string folder = Folder();
  ::mkdir(folder.c_str(), 0700);
  const std::string scene = folder + "/scene.json", saved = folder + "/saved.json";
  {
    std::ofstream(scene, std::ios::binary) << Scene();
  }
  struct stat info {};
  ::stat(scene.c_str(), &info);
  const double size = double(info.st_size);
  double ours = 0, theirs = 0;
  long ourPeak = 0, theirPeak = 0;
  for (auto _ : state) {
    const Child format = Run({QV_QVHOST, "format", scene, "--save", saved}, "/dev/null");
    const Child jq = Run({"jq", "-c", ".", scene}, "/dev/null");
    if (format.status != 0 || jq.status != 0) {
      state.SkipWithError(format.status != 0 ? "qvhost format failed" : "jq failed (is it installed?)");
      break;
    }
    state.SetIterationTime(format.seconds);
    ours += format.seconds;
    theirs += jq.seconds;
    ourPeak = std::max(ourPeak, format.peakKilobytes);
    theirPeak = std::max(theirPeak, jq.peakKilobytes);
  }
  if (theirs > 0) {
    const double ratio = ours / theirs;
    const double memory = double(ourPeak) * 1024 / size;
    state.counters["file_MB"] = size / 1e6;
    state.counters["ratio"] = ratio;
    state.counters["memory_per_size"] = memory;
    state.counters["jq_memory_per_size"] = double(theirPeak) * 1024 / size;
    std::printf("qvhost format: %.3f s, %.0f MB peak; jq -c: %.3f s, %.0f MB peak; file %.1f MB\n",
                ours / double(state.iterations()), double(ourPeak) / 1024, theirs / double(state.iterations()),
                double(theirPeak) / 1024, size / 1e6);
    std::printf("time ratio %.2f (target < %.1f), peak memory / file size %.2f (target < %.0f)\n", ratio,
                kTargetRatio, memory, kTargetMemory);
  }
  std::remove(scene.c_str());
  std::remove(saved.c_str());
  ::rmdir(folder.c_str());
}
BENCHMARK(BM_FormatAgainstJq)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
