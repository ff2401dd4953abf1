// The backup chipset file: what was read from a box, in the format the loader
// reads, and how it reaches the disk without ever leaving a half-written
// file under its name.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace tv {

// What a backup read, and from where.
struct BackupContents {
  std::string port;
  std::time_t taken = 0;
  std::vector<uint8_t> flash;  // empty when not read; else the bytes from `first` on
  std::vector<uint8_t> osd;
  int first = 0;  // the address of each memory's first byte read
};

// The file's text, CR LF line ends: a header line naming the backup, its port
// and time (and that the PIC program and the fonts are not in it), then a
// FLASH and an OSD section of 16-byte data records covering every address,
// each closed by its end record. A range's records begin at its first
// address; its length is a whole number of records.
std::string backup_chipset_text(const BackupContents& contents);

// One Intel HEX record with its checksum, without line end.
std::string intel_hex_record(unsigned type, unsigned address, const uint8_t* data, size_t count);

// A file written beside its final name and renamed over it only by commit():
// a reader of the name sees the old file or the whole new one, never a part.
// The data goes gzip-compressed when the name ends in ".gz". Dropping the
// object without commit() removes the temporary file.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file. False with the reason in `error`.
  bool open(const std::string& path, std::string* error);
  const std::string& temporary_path() const { return temporary_; }
  // Writes `bytes` (compressed for ".gz"), flushes them to the disk and
  // renames the file to its name. False with the reason; the temporary file
  // is then gone.
  bool commit(const std::string& bytes, std::string* error);
  // Removes the temporary file, if any.
  void abandon();

 private:
  std::string path_;
  std::string temporary_;
  int fd_ = -1;
};

bool ends_with_gz(const std::string& path);

// An AtomicFile's temporary file is hidden beside its final name:
// ".NAME.part-PID-N" in the same folder. A program killed before commit()
// leaves it behind. This removes those of `path` whose process is gone (a
// running one may still be writing its own) and returns their paths.
std::vector<std::string> remove_stale_temporaries(const std::string& path);

}  // namespace tv
