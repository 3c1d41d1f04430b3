// Resource-file reading on arbitrary bytes: read, or refused with HostError.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "qvhost/HostError.h"
#include "qvhost/ResourceFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/qv-fuzz-resource-" + std::to_string(getpid()) + ".qvr.json";
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
