// Resource-file reading on arbitrary bytes: read, or refused with HostError.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "qvhost/HostError.h"
#include "qvhost/ResourceFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The input's file in the temporary folder ($TMPDIR), removed when the fuzzer exits.
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("qv-fuzz-resource-" + std::to_string(getpid()) + ".qvr.json")).string();
  static const int removal = std::atexit([] { std::remove(path.c_str()); });
  (void)removal;
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  try {
    qvhost::LoadResourceFile(path);
  } catch (const qvhost::HostError&) {
  }
  return 0;
}
