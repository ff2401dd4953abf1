#include "text/data_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#ifndef TVBOX_DATA_DIR
#define TVBOX_DATA_DIR "/usr/share/tvbox"
#endif

namespace tv {
namespace {

bool is_regular_file(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Closes the descriptor however the read ends.
struct FileDescriptor {
  explicit FileDescriptor(int fd) : fd(fd) {}
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
  int fd;
};

}  // namespace

std::string data_folder() {
  const char* chosen = std::getenv("TVBOX_DATA_DIR");
  return chosen && *chosen ? std::string(chosen) : std::string(TVBOX_DATA_DIR);
}

std::string find_data_file(const std::string& name) {
  if (name.empty()) return std::string();
  if (is_regular_file(name)) return name;
  if (name.find('/') != std::string::npos) return std::string();
  const std::string installed = data_folder() + "/" + name;
  return is_regular_file(installed) ? installed : std::string();
}

bool read_regular_file(const std::string& path, std::string* bytes, size_t max_bytes) {
  bytes->clear();
  // Non-blocking, so that opening a pipe returns at once instead of waiting
  // for a writer; the type is then checked on what was actually opened.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.fd < 0) return false;
  struct stat info;
  if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (static_cast<unsigned long long>(info.st_size) > max_bytes) return false;
  std::string content;
  char block[8192];
  for (;;) {
    const ssize_t got = ::read(file.fd, block, sizeof block);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.append(block, static_cast<size_t>(got));
    if (content.size() > max_bytes) return false;  // grew while being read
  }
  bytes->swap(content);
  return true;
}

}  // namespace tv
