// Every test process works in a folder of its own, made under the system's temporary
// folder before main and removed with all it holds when the process exits. TEST_TMPDIR
// and TMPDIR name it, so testing::TempDir(), std::filesystem::temp_directory_path() and
// the programs a test starts (qvhost, the browser) all write there, and two checkouts
// or two tests running at once never share a file name.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// Plain storage: filled by a constructor function that may run before this file's
// dynamic initialisation.
char gFolder[4096];
pid_t gOwner = 0;

void RemoveRunFolder() {
  // A forked child (a death test, a child a test starts) leaves the folder to its parent.
  if (gFolder[0] == '\0' || getpid() != gOwner) return;
  std::error_code ignored;
  std::filesystem::remove_all(gFolder, ignored);
}

__attribute__((constructor)) void MakeRunFolder() {
  std::error_code error;
  std::string pattern = std::filesystem::temp_directory_path(error).string();
  if (error || pattern.empty()) pattern = "/tmp";
  pattern += "/qv-test-XXXXXX";
  if (pattern.size() >= sizeof gFolder || mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make the test's temporary folder %s: %s\n", pattern.c_str(), std::strerror(errno));
    std::exit(1);
  }
  std::memcpy(gFolder, pattern.c_str(), pattern.size() + 1);
  gOwner = getpid();
  setenv("TEST_TMPDIR", gFolder, 1);
  setenv("TMPDIR", gFolder, 1);
  std::atexit(RemoveRunFolder);
}

}  // namespace
