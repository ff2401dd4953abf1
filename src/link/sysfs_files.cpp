#include "link/sysfs_files.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace tv {
namespace {

// Strings from sysfs come from the device itself: keep them printable and short.
constexpr size_t kMaxSysfsText = 64;

}  // namespace

std::vector<std::string> directory_entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* handle = ::opendir(dir.c_str());
  if (!handle) return names;
  while (const dirent* entry = ::readdir(handle)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(handle);
  return names;
}

bool device_present(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string real_path(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parent_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

std::string read_attribute(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::string();
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  std::string text;
  for (char c : line) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) text += c;
    if (text.size() == kMaxSysfsText) break;
  }
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace tv
