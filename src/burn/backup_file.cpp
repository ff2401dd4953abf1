#include "burn/backup_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "burn/chipset_sections.h"

namespace tv {
namespace {

constexpr size_t kRecordBytes = 16;
const char kLineEnd[] = "\r\n";
const char kEndRecord[] = ":00000001FF";

std::string local_time_text(std::time_t when) {
  std::tm parts{};
  localtime_r(&when, &parts);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &parts);
  return text;
}

// A section of records for every byte of `image`, the first at `first`,
// then its end record.
void append_section(std::string* text, Section section, const std::string& title,
                    const std::vector<uint8_t>& image, int first) {
  *text += section_info(section).marker + (" " + title) + kLineEnd;
  for (size_t at = 0; at + kRecordBytes <= image.size(); at += kRecordBytes)
    *text += intel_hex_record(0, unsigned(first) + unsigned(at), image.data() + at, kRecordBytes) + kLineEnd;
  *text += std::string(kEndRecord) + kLineEnd;
}

std::string memories_read(const BackupContents& contents) {
  if (!contents.flash.empty() && !contents.osd.empty()) return "the flash and the OSD memory";
  return contents.flash.empty() ? "the OSD memory only" : "the flash only";
}

std::string errno_text(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".firmware.hv.part-": what every temporary file of `path` begins with.
std::string temporary_prefix(const std::string& path) { return "." + name_of(path) + ".part-"; }

std::string temporary_stem(const std::string& path) {
  return folder_of(path) + "/" + temporary_prefix(path) + std::to_string(::getpid()) + "-";
}

bool all_digits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The writer's process id in a temporary file's name ("PID-N" after the
// prefix); 0 when the rest of the name is not of that shape.
pid_t writer_of(const std::string& rest) {
  const size_t dash = rest.find('-');
  if (dash == std::string::npos || dash > 9 || !all_digits(rest.substr(0, dash)) ||
      !all_digits(rest.substr(dash + 1)))
    return 0;
  return pid_t(std::stol(rest.substr(0, dash)));
}

// Only a process that is no longer there (ESRCH) has surely stopped writing:
// one of another user's (EPERM) is alive.
bool process_gone(pid_t pid) { return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH; }

bool write_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// Through zlib on a second descriptor of the file, so that the first can
// still be synced after gzclose has closed its own.
bool write_gzip(int fd, const std::string& bytes) {
  int copy = ::dup(fd);
  if (copy < 0) return false;
  gzFile file = gzdopen(copy, "wb9");
  if (!file) {
    ::close(copy);
    return false;
  }
  bool ok = bytes.empty() || gzwrite(file, bytes.data(), unsigned(bytes.size())) == int(bytes.size());
  if (gzclose(file) != Z_OK) ok = false;
  if (!ok && errno == 0) errno = EIO;
  return ok;
}

}  // namespace

bool ends_with_gz(const std::string& path) {
  return path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
}

std::string intel_hex_record(unsigned type, unsigned address, const uint8_t* data, size_t count) {
  char head[16];
  std::snprintf(head, sizeof head, ":%02X%04X%02X", unsigned(count & 0xFF), address & 0xFFFF, type & 0xFF);
  std::string record = head;
  unsigned sum = unsigned(count) + (address >> 8) + address + type;
  for (size_t i = 0; i < count; ++i) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", data[i]);
    record += digits;
    sum += data[i];
  }
  char checksum[3];
  std::snprintf(checksum, sizeof checksum, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return record + checksum;
}

std::string backup_chipset_text(const BackupContents& contents) {
  std::string text = section_info(Section::Header).marker;
  text += " TV Box backup of the box on " + contents.port + ", read " + local_time_text(contents.taken) +
          ": " + memories_read(contents) +
          ". The PIC program and the fonts cannot be read from this box and are not in this file." + kLineEnd;
  if (!contents.flash.empty())
    append_section(&text, Section::Flash, "flash read from the box", contents.flash, contents.first);
  if (!contents.osd.empty())
    append_section(&text, Section::Osd, "OSD memory read from the box", contents.osd, contents.first);
  return text;
}

AtomicFile::~AtomicFile() { abandon(); }

bool AtomicFile::open(const std::string& path, std::string* error) {
  abandon();
  static std::atomic<unsigned> serial{0};
  // Hidden beside the final name, so the rename stays within one file system.
  const std::string stem = temporary_stem(path);
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string candidate = stem + std::to_string(serial++);
    fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0)
      temporary_ = candidate;
    else if (errno != EEXIST)
      break;
  }
  if (fd_ < 0) {
    if (error) *error = errno_text("cannot write a file in", folder_of(path));
    return false;
  }
  path_ = path;
  return true;
}

bool AtomicFile::commit(const std::string& bytes, std::string* error) {
  if (fd_ < 0) {
    if (error) *error = "no file is open";
    return false;
  }
  errno = 0;
  bool ok = ends_with_gz(path_) ? write_gzip(fd_, bytes) : write_all(fd_, bytes);
  if (ok && ::fsync(fd_) != 0) ok = false;
  if (!ok) {
    if (error) *error = errno_text("cannot write", temporary_);
    abandon();
    return false;
  }
  ::close(fd_);
  fd_ = -1;
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    if (error) *error = errno_text("cannot rename the finished file to", path_);
    abandon();
    return false;
  }
  temporary_.clear();
  // The rename itself reaches the disk with its folder.
  int folder = ::open(folder_of(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

std::vector<std::string> remove_stale_temporaries(const std::string& path) {
  std::vector<std::string> removed;
  const std::string folder = folder_of(path), prefix = temporary_prefix(path);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return removed;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0 || !process_gone(writer_of(name.substr(prefix.size()))))
      continue;
    const std::string stale = folder + "/" + name;
    struct stat info;
    if (::lstat(stale.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(stale.c_str()) == 0)
      removed.push_back(stale);
  }
  ::closedir(dir);
  return removed;
}

void AtomicFile::abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace tv
