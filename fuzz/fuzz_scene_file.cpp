// Scene-file reading on arbitrary bytes: a scene is read and written back, or refused
// with HostError; nothing else may happen.
#include <cstdint>
#include <memory>
#include <string>

#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    auto document = qvhost::ParseScene(text, "fuzz.json", std::make_shared<qvhost::Journal>());
    const std::string saved = qvhost::SceneText(*document);
    // The canonical form reads back to itself.
    auto again = qvhost::ParseScene(saved, "saved.json", std::make_shared<qvhost::Journal>());
    if (qvhost::SceneText(*again) != saved) __builtin_trap();
  } catch (const qvhost::HostError&) {
  }
  return 0;
}
