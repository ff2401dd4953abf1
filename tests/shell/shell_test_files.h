// Scratch folders and files for the shell tests.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace shelltest {

inline std::string make_temp_dir() {
  char name[] = "/tmp/tvbox-shell-XXXXXX";
  const char* made = mkdtemp(name);
  return made ? std::string(made) : std::string();
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace shelltest
