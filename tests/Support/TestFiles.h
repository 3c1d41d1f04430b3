// Reading and writing small files in tests.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

// The file's bytes, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes `text` to a file of the test's temporary folder, a folder of this process's
// own that goes when it exits (RunFolder.cpp).
inline std::string WriteTempFile(const std::string& name, const std::string& text) {
  const std::string path = testing::TempDir() + std::to_string(getpid()) + "-" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// `folder` (ending with '/') made anew and empty.
inline std::string FreshFolderAt(const std::string& folder) {
  std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
  return folder;
}

// A fresh folder of this process under the test's temporary folder.
inline std::string FreshFolder(const std::string& name) {
  return FreshFolderAt(testing::TempDir() + std::to_string(getpid()) + "-" + name + "/");
}
