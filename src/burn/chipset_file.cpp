#include "burn/chipset_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/hex_field.h"
#include "base/trace.h"
#include "burn/burn_sink.h"
#include "burn/sha256.h"

namespace tv {

namespace {

bool starts_with(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A record field at a fixed column, read like "%x" within its width.
unsigned hex_field(const std::string& text, size_t pos, size_t width) {
  return pos < text.size() ? hex_value(text.c_str() + pos, std::min(width, text.size() - pos)) : 0;
}

std::string format_line(const char* format, int value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Only a regular file is a chipset file: a pipe would block the opening and a
// device such as /dev/zero would yield lines without end.
bool identity_of(const struct stat& info, int64_t* size, int64_t* mtime_ns) {
  if (!S_ISREG(info.st_mode)) return false;
  *size = info.st_size;
  *mtime_ns = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

bool file_identity(const std::string& path, int64_t* size, int64_t* mtime_ns) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && identity_of(info, size, mtime_ns);
}

// Why what a path names is no chipset file, told from what it is.
std::string kind_problem(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder";
  const char* kind = S_ISFIFO(mode)   ? " (a FIFO)"
                     : S_ISCHR(mode)  ? " (a character device)"
                     : S_ISBLK(mode)  ? " (a block device)"
                     : S_ISSOCK(mode) ? " (a socket)"
                                      : "";
  return std::string("it is not a regular file") + kind;
}

// Why a path could not be looked at or opened, in the engineer's words where
// the system's are unclear ("No such file or directory" for a file).
std::string open_error_problem(int error_number) {
  if (error_number == ENOENT || error_number == ENOTDIR) return "it does not exist";
  if (error_number == EACCES || error_number == EPERM) return "permission denied";
  return std::strerror(error_number);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The characters of the line end (CR and LF) at the end of a line.
size_t line_end_length(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  return line.size() - end;
}

void drop_trailing_blanks(std::string* text) {
  size_t end = text->size();
  while (end > 0 && is_blank((*text)[end - 1])) --end;
  text->resize(end);
}

}  // namespace

std::string record_text(const std::string& line) {
  std::string text = line.substr(0, line.size() - line_end_length(line));
  drop_trailing_blanks(&text);
  return text;
}

bool ends_hex_section(const std::string& text) {
  if (text.compare(0, 3, "***") == 0) return true;
  static const char kEnd[] = ":00000001FF";
  const size_t length = sizeof kEnd - 1;
  for (size_t at = text.find(':'); at != std::string::npos && at + length <= text.size();
       at = text.find(':', at + 1)) {
    size_t i = 1;
    while (i < length && std::toupper(static_cast<unsigned char>(text[at + i])) == kEnd[i]) ++i;
    if (i == length) return true;
  }
  return false;
}

// Room for the bytes is taken at the first record: a section that has no
// records, and most sections have none, costs nothing.
void ByteImage::record(int address, const uint8_t (&data)[16]) {
  if (values_.empty()) values_.assign(size_t(kSpan), int16_t(-1));
  for (int i = 0; i < 16; ++i) {
    int16_t& slot = values_[size_t(address + i)];
    if (slot < 0) ++byte_count_;
    slot = data[i];
  }
}

// One pass over the digits gives the fields and the checksum together: the
// load reads millions of these lines.
HexRecord read_hex_record(const std::string& text) {
  HexRecord record;
  if (text.size() < 11 || text[0] != ':' || (text.size() - 1) % 2 != 0) return record;
  unsigned sum = 0;
  for (size_t i = 1; i + 1 < text.size(); i += 2) {
    int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0) return record;
    sum += unsigned(high * 16 + low);
  }
  record.count = hex_field(text, 1, 2);
  if (text.size() != 11 + 2 * size_t(record.count)) return record;
  record.address = hex_field(text, 3, 4);
  record.type = hex_field(text, 7, 2);
  if (record.count >= 2) record.first_data_word = hex_field(text, 9, 4);
  record.checksum_ok = (sum & 0xFF) == 0;
  record.ok = true;
  return record;
}

namespace {

constexpr size_t kMaxErrorLines = 20;

}  // namespace

// Lines go into blocks that are never moved or grown, so a large section
// costs one copy of its text and nothing more; a line never spans blocks.
void SectionText::add_line(const std::string& line) {
  const size_t length = std::min(line.size(), kMaxLine);
  if (blocks_.empty() || used_ + length > kBlockSize) {
    blocks_.emplace_back(new char[kBlockSize]);
    used_ = 0;
  }
  std::memcpy(blocks_.back().get() + used_, line.data(), length);
  lines_.push_back(uint64_t(blocks_.size() - 1) << 40 | uint64_t(used_) << 20 | uint64_t(length));
  used_ += length;
}

std::string SectionText::line(size_t index) const {
  const uint64_t ref = lines_[index];
  const size_t block = size_t(ref >> 40), offset = size_t(ref >> 20) & 0xFFFFF,
               length = size_t(ref & 0xFFFFF);
  return std::string(blocks_[block].get() + offset, length);
}

bool burn_possible(unsigned flags) { return (flags & kSectionsForBurn) == kSectionsForBurn; }

bool system_font_present(unsigned flags) { return (flags & kSectionOsdAllFont) != 0; }

std::string strip_line_end(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  return line.substr(0, end);
}

bool hex_record_checksum_ok(const std::string& text) { return read_hex_record(text).checksum_ok; }

bool ChipsetParser::take_marker(const std::string& text) {
  // Tried in table order; "***OSD>" cannot match the font markers because the
  // character after "***OSD" differs.
  for (const SectionInfo& info : section_table()) {
    if (!starts_with(text, info.marker)) continue;
    const unsigned flag = section_flag(info.section);
    // A second section of a kind would be burned as a part of the first, or
    // not at all: the file is refused instead.
    if ((state_.flags & flag) && info.section != Section::Header)
      load_error(std::string("the section marker ") + info.marker + " appears a second time.\n");
    state_.log.push_back({text.substr(std::strlen(info.marker)) + "\n", kStyleBlue});
    state_.flags |= flag;
    section_ = info.section;
    section_end_line_ = 0;
    return true;
  }
  return false;
}

void ChipsetParser::take_pic_record(const std::string& text) {
  unsigned count = hex_field(text, 1, 2);
  int address = int(hex_field(text, 3, 4));
  unsigned type = hex_field(text, 7, 2);
  // A sign or "0x" in a field can read a number no record column holds; such a
  // record would write outside the PIC image, so it is left out like address 0.
  if (type != 0 || address <= 0 || address > 0xFFFF || count > 0xFF) return;
  trace("%s\n", text.c_str());
  trace("*%02x %04x %02x", count, address, 0);
  for (unsigned i = 0; i < count; ++i) {
    size_t pos = 9 + 2 * i;
    if (pos >= text.size()) break;  // a short line leaves the rest untouched
    uint8_t value = uint8_t(hex_field(text, pos, 2));
    state_.pic[size_t(address) + i] = value;
    trace(" %02x", value);
  }
  trace("\n");
  if (count > 0) ++state_.pic_records;
  if (address < state_.pic_adr_f) state_.pic_adr_f = address;
  if (address + int(count) > state_.pic_adr_l) state_.pic_adr_l = address + int(count);
}

void ChipsetParser::count_bad_checksum(const HexRecord& record) {
  if (record.checksum_ok) return;
  if (state_.bad_checksums++ == 0) state_.first_bad_checksum_line = line_number_;
}

void ChipsetParser::load_error(const std::string& what) {
  if (state_.load_errors++ < int(kMaxErrorLines))
    faults_.push_back({line_number_, {format_line("Line %d: ", line_number_) + what, kStyleBoldRed}});
}

// Something the burn writes as the file says, but perhaps not as its maker
// meant: named in the warning style, and the file still burns.
void ChipsetParser::load_warning(const std::string& what) {
  if (warning_count_++ < int(kMaxErrorLines))
    warnings_.push_back({format_line("Line %d: ", line_number_) + what, kStyleRed});
}

// A line of a burned section that cannot be read as the file means it: one
// the reader would have to cut, or one with a NUL byte (text tools stop at it,
// so the line reads differently to each of them).
bool ChipsetParser::line_readable(const std::string& line, uint64_t length) {
  const uint64_t own = length - line_end_length(line);
  if (own > kMaxSectionLineChars) {
    char what[160];
    std::snprintf(what, sizeof what, "a line of %llu characters; no line of a section is longer than %zu.\n",
                  static_cast<unsigned long long>(own), kMaxSectionLineChars);
    load_error(what);
    return false;
  }
  if (line.find('\0') != std::string::npos) {
    load_error("a NUL byte in the line; a chipset file is text.\n");
    return false;
  }
  return true;
}

// PIC records are read by their columns (take_pic_record); what the load
// refuses are lines it would read at a wrong place.
void ChipsetParser::check_pic_line(const std::string& text) {
  const HexRecord record = read_hex_record(text);
  if (!text.empty() && text[0] == ':') count_bad_checksum(record);
  if (!record.ok) {
    if (writer_takes_record(text))
      load_error("not an Intel HEX data record; it would be read at a wrong address.\n");
    return;
  }
  if (record.type == 0 && record.count > 0 && record.address + record.count > 0x10000) {
    char what[120];
    std::snprintf(what, sizeof what, "the PIC record at %04X runs past FFFF.\n", record.address);
    load_error(what);
  }
}

// FLASH and OSD lines: each either is a 16-byte record the writer sends as
// the file says, or carries nothing the writer would send; anything else is
// refused. The section's image is built from the records here, apart from
// the writer, so that Verify compares the box with the file.
void ChipsetParser::check_hex_line(const std::string& text) {
  const HexRecord record = read_hex_record(text);
  const bool data = writer_takes_record(text) || (record.ok && record.type == 0 && record.count > 0);
  if (section_end_line_ != 0) {
    if (data) {
      char what[160];
      std::snprintf(what, sizeof what,
                    "a data record after the section's end in line %d; it would not be burned.\n",
                    section_end_line_);
      load_error(what);
    }
    return;
  }
  if (ends_hex_section(text)) {
    section_end_line_ = line_number_;
    return;
  }
  if (!record.ok) {
    if (data || (!text.empty() && text[0] == ':'))
      load_error("not an Intel HEX record; it would be written at a wrong address or not at all.\n");
    return;
  }
  count_bad_checksum(record);
  check_hex_record(text, record);
}

void ChipsetParser::check_hex_record(const std::string& text, const HexRecord& record) {
  char what[160];
  if ((record.type == 2 || record.type == 4) && record.first_data_word != 0) {
    std::snprintf(what, sizeof what,
                  "an extended address record with base %04X; the box takes 16-bit addresses only.\n",
                  record.first_data_word);
    load_error(what);
  } else if (record.type != 0 && writer_takes_record(text)) {
    std::snprintf(what, sizeof what,
                  "a record of type %02X as long as a data record; it would be written as data.\n",
                  record.type);
    load_error(what);
  } else if (record.type == 0 && record.count > 0 && record.count != kBoxRecordBytes) {
    std::snprintf(what, sizeof what, "a data record of %u byte%s; the box is written in records of %u.\n",
                  record.count, record.count == 1 ? "" : "s", kBoxRecordBytes);
    load_error(what);
  } else if (record.type == 0 && record.count == kBoxRecordBytes) {
    take_box_record(text, int(record.address));
  }
}

// A record that runs past the end of its memory is refused: the box would
// put its last bytes at the start of that memory, and Verify, reading back
// with the same wrap, would find nothing wrong. Only an OSD record can: a
// flash address has 16 bits here (extended-address records with a base are
// refused), the flash 24.
void ChipsetParser::take_box_record(const std::string& text, int address) {
  const SectionInfo& info = section_info(section_);
  if (address + int(kBoxRecordBytes) > info.memory_end) {
    char what[160];
    std::snprintf(what, sizeof what, "the %s record at %04X runs past %X, the end of its memory.\n",
                  info.stage, unsigned(address), unsigned(info.memory_end - 1));
    load_error(what);
    return;
  }
  check_overlap(address);
  uint8_t bytes[kBoxRecordBytes];  // the record's digits are all hexadecimal
  for (size_t i = 0; i < kBoxRecordBytes; ++i)
    bytes[i] = uint8_t(hex_digit(text[9 + 2 * i]) * 16 + hex_digit(text[10 + 2 * i]));
  sections_->image_of(section_)->record(address, bytes);
}

// Bytes that two records of a section both write. A flash write can only
// clear bits of what its sector's erase left, so the second record would
// leave the AND of both, neither of them: refused. The OSD memory keeps the
// later one, as memory does: a warning, in case that was not meant.
void ChipsetParser::check_overlap(int address) {
  std::map<int, int>& lines = record_lines_[int(section_)];
  const int span = int(kBoxRecordBytes);
  int earlier = 0;
  for (auto it = lines.lower_bound(address - span + 1); it != lines.end() && it->first < address + span; ++it)
    if (earlier == 0 || it->second < earlier) earlier = it->second;
  lines.emplace(address, line_number_);
  if (earlier == 0) return;
  char what[200];
  if (section_ == Section::Flash) {
    std::snprintf(what, sizeof what,
                  "the flash record at %04X overlaps the one on line %d; the flash cannot be written twice "
                  "without an erase.\n",
                  unsigned(address), earlier);
    load_error(what);
  } else {
    std::snprintf(
        what, sizeof what,
        "the %s record at %04X overwrites bytes of the one on line %d; the box keeps the later one.\n",
        section_info(section_).stage, unsigned(address), earlier);
    load_warning(what);
  }
}

// Font rows after the line the font writer stops at would never be written.
void ChipsetParser::check_font_line(const std::string& line) {
  const std::string text = strip_line_end(line);
  if (section_end_line_ == 0) {
    if (ends_font_section(text)) section_end_line_ = line_number_;
    return;
  }
  if (text.size() >= kFontRowChars) {
    char what[160];
    std::snprintf(what, sizeof what,
                  "a font row after the section's end in line %d; it would not be burned.\n",
                  section_end_line_);
    load_error(what);
  }
}

void ChipsetParser::feed_line(const std::string& line, uint64_t length) {
  // Some editors begin a UTF-8 text with a byte-order mark. It belongs to no
  // line, and left in place it would hide the file's first marker.
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  if (line_number_ == 0 && starts_with(line, kByteOrderMark)) {
    const std::string note = "The file begins with a UTF-8 byte-order mark, which was skipped.";
    state_.notes.push_back(note);
    state_.log.push_back({note + "\n", kStyleBold});
    const size_t skipped = sizeof kByteOrderMark - 1;
    take_line(line.substr(skipped), length - skipped);
    return;
  }
  take_line(line, length);
}

void ChipsetParser::take_line(const std::string& line, uint64_t length) {
  ++line_number_;
  std::string text = strip_line_end(line);
  if (take_marker(text)) return;
  if (SectionText* kept = sections_->of(section_)) kept->add_line(line);
  const SectionWriter writer = section_info(section_).writer;
  // Records are read without the blanks after them (record_text); the PIC
  // record's columns below do not reach them.
  if (writer == SectionWriter::PicRecords || writer == SectionWriter::HexRecords) drop_trailing_blanks(&text);
  if (writer != SectionWriter::None && line_readable(line, length)) {
    switch (writer) {
      case SectionWriter::PicRecords: check_pic_line(text); break;
      case SectionWriter::HexRecords: check_hex_line(text); break;
      case SectionWriter::Font:
      case SectionWriter::SystemFont: check_font_line(line); break;
      case SectionWriter::None: break;
    }
  }
  if (section_ == Section::Pic) take_pic_record(text);
  ++state_.section_lines[static_cast<int>(section_)];
}

void ChipsetParser::report_damage(const std::string& where_and_why) {
  // Named first and always: the lines before it may have been garbled by it.
  ++state_.load_errors;
  faults_.insert(faults_.begin(),
                 {0, {"The file is damaged " + where_and_why + "; it cannot be burned.\n", kStyleBoldRed}});
}

// The faults in the order of the file, the damage of the file as a whole
// first, so that the first red line names the first fault.
void ChipsetParser::add_fault_lines() {
  if (state_.bad_checksums > 0) {
    char buffer[128];
    if (state_.bad_checksums == 1)
      std::snprintf(buffer, sizeof buffer, "1 record with a bad checksum, in line %d.\n",
                    state_.first_bad_checksum_line);
    else
      std::snprintf(buffer, sizeof buffer, "%d records with a bad checksum, the first in line %d.\n",
                    state_.bad_checksums, state_.first_bad_checksum_line);
    faults_.push_back({state_.first_bad_checksum_line, {buffer, kStyleBoldRed}});
  }
  std::stable_sort(faults_.begin(), faults_.end(),
                   [](const Fault& a, const Fault& b) { return a.line < b.line; });
  for (const Fault& fault : faults_) state_.log.push_back(fault.text);
  if (!faults_.empty()) state_.first_fault = strip_line_end(faults_.front().text.text);
  for (const Fault& fault : faults_) {
    if (fault.line == 0) continue;
    state_.first_fault_line = fault.line;
    break;
  }
  const int listed = int(faults_.size()) - (state_.bad_checksums > 0 ? 1 : 0);
  if (state_.load_errors > listed)
    state_.log.push_back(
        {format_line("... and %d more such lines.\n", state_.load_errors - listed), kStyleBoldRed});
}

// After the faults: a file with both is refused for its faults first.
void ChipsetParser::add_warning_lines() {
  state_.log.insert(state_.log.end(), warnings_.begin(), warnings_.end());
  if (warning_count_ > int(warnings_.size()))
    state_.log.push_back(
        {format_line("... and %d more such lines.\n", warning_count_ - int(warnings_.size())), kStyleRed});
}

LoadedChipset ChipsetParser::finish() {
  // "FLASH LINES 4096": each section by its name in the file; the system
  // font, which a file need not have, only when it has lines.
  for (const SectionInfo& info : section_table()) {
    const int lines = state_.lines_in(info.section);
    if (info.section == Section::Header || (info.writer == SectionWriter::SystemFont && lines == 0)) continue;
    const std::string marker = info.marker;
    state_.log.push_back(
        {marker.substr(3, marker.size() - 4) + format_line(" LINES %d\n", lines), kStyleBoldGreen});
  }
  add_fault_lines();
  add_warning_lines();
  trace(">pic_adr_f %04x pic_adr_l %04x\n", state_.pic_adr_f, state_.pic_adr_l);
  state_.sections = sections_;
  LoadedChipset result = std::move(state_);
  state_ = LoadedChipset();
  sections_ = std::make_shared<ChipsetSections>();
  section_ = Section::Header;
  line_number_ = 0;
  section_end_line_ = 0;
  faults_.clear();
  warnings_.clear();
  warning_count_ = 0;
  for (std::map<int, int>& lines : record_lines_) lines.clear();
  return result;
}

namespace {

// Reads a chipset file once, from start to end: digests its bytes as they
// are on disk, inflates them when they are gzip (one member or several) and
// cuts the text into whole lines. zlib's own line reader is not used: it
// stops at a NUL and cuts long lines into pieces, and the digest would need a
// second pass over the file.
class ChipsetReader {
 public:
  ~ChipsetReader() {
    if (inflating_) inflateEnd(&stream_);
    if (fd_ >= 0) ::close(fd_);
  }

  // Empty when the path names a regular file, now open; else why not. What
  // counts is what was opened, should the path change between the looks.
  std::string open(const std::string& path, int64_t* mtime_ns) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return open_error_problem(errno);
    if (!S_ISREG(info.st_mode)) return kind_problem(info.st_mode);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return open_error_problem(errno);
    int64_t size = 0;
    if (!identity_of(info, &size, mtime_ns)) return kind_problem(info.st_mode);
    return std::string();
  }

  // The next line with its line end, kept up to kKeptChars; `length` is its
  // whole length. False after the last line, and when the file could not be
  // read on (failure() says why).
  bool next_line(std::string* line, uint64_t* length) {
    line->clear();
    *length = 0;
    for (;;) {
      if (text_at_ == text_.size() && !decode_more()) return *length > 0;
      const char* begin = text_.data() + text_at_;
      const size_t left = text_.size() - text_at_;
      const char* newline = static_cast<const char*>(std::memchr(begin, '\n', left));
      const size_t take = newline ? size_t(newline - begin) + 1 : left;
      if (line->size() < kKeptChars) line->append(begin, std::min(take, kKeptChars - line->size()));
      *length += take;
      text_at_ += take;
      if (newline) return true;
    }
  }

  const std::string& failure() const { return failure_; }
  int64_t bytes_read() const { return bytes_read_; }
  std::string digest() { return digest_.hex_digest(); }

 private:
  static constexpr size_t kChunk = kChipsetReadBytes;
  static constexpr size_t kKeptChars = 4096;

  // Raw bytes from the file into `raw_`; false at its end or on a failure.
  bool read_raw() {
    raw_.resize(kChunk);
    ssize_t got;
    do got = ::read(fd_, &raw_[0], kChunk);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
      failure_ = at_byte(bytes_read_) + " (" + std::strerror(errno) + ")";
      failed_ = true;
    }
    raw_.resize(got > 0 ? size_t(got) : 0);
    if (got <= 0) return false;
    digest_.update(raw_.data(), raw_.size());
    bytes_read_ += got;
    return true;
  }

  std::string at_byte(int64_t offset) const {
    char text[64];
    std::snprintf(text, sizeof text, inflating_ ? "at byte %lld of the compressed file" : "at byte %lld",
                  static_cast<long long>(offset));
    return text;
  }

  // More text into `text_`; false at the end of the file or on a failure.
  bool decode_more() {
    text_.clear();
    text_at_ = 0;
    if (failed_) return false;
    if (!inflating_) {
      if (!read_raw()) return false;
      if (bytes_read_ == int64_t(raw_.size()) && raw_.size() >= 2 && uint8_t(raw_[0]) == 0x1F &&
          uint8_t(raw_[1]) == 0x8B)
        return start_inflating();
      text_.swap(raw_);
      return true;
    }
    return inflated_more();
  }

  // The room inflate_more() makes for text is no text: when nothing more
  // comes, `text_` must say so, or its empty room would be read as a line.
  bool inflated_more() {
    const bool more = inflate_more();
    if (!more) text_.clear();
    return more;
  }

  bool start_inflating() {
    std::memset(&stream_, 0, sizeof stream_);
    if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK) return fail("zlib could not start");
    inflating_ = true;
    stream_.next_in = reinterpret_cast<Bytef*>(&raw_[0]);
    stream_.avail_in = uInt(raw_.size());
    return inflated_more();
  }

  bool fail(const std::string& why) {
    failure_ = at_byte(bytes_read_ - int64_t(stream_.avail_in)) + " (" + why + ")";
    failed_ = true;
    return false;
  }

  bool refill() {
    if (stream_.avail_in > 0) return true;
    if (!read_raw()) return false;
    stream_.next_in = reinterpret_cast<Bytef*>(&raw_[0]);
    stream_.avail_in = uInt(raw_.size());
    return true;
  }

  // After the end of a gzip member: another member, zero padding, or the end
  // of the file. Anything else is not part of the compressed stream.
  bool next_member() {
    for (;;) {
      while (stream_.avail_in > 0 && *stream_.next_in == 0) ++stream_.next_in, --stream_.avail_in;
      if (stream_.avail_in > 0) break;
      if (!refill()) return false;
    }
    if (*stream_.next_in != 0x1F) return fail("data after the end of the compressed stream");
    inflateReset(&stream_);
    member_ended_ = false;
    return true;
  }

  bool inflate_more() {
    text_.resize(4 * kChunk);
    for (;;) {
      if (member_ended_ && !next_member()) return false;
      if (stream_.avail_in == 0 && !refill())
        return failure_.empty() ? fail("the compressed data end early") : false;
      stream_.next_out = reinterpret_cast<Bytef*>(&text_[0]);
      stream_.avail_out = uInt(text_.size());
      const int result = inflate(&stream_, Z_NO_FLUSH);
      const size_t produced = text_.size() - stream_.avail_out;
      if (result == Z_STREAM_END)
        member_ended_ = true;
      else if (result != Z_OK && result != Z_BUF_ERROR)
        return fail(stream_.msg ? stream_.msg : "damaged data");
      else if (result == Z_BUF_ERROR && produced == 0 && stream_.avail_in > 0)
        return fail("no progress");
      if (produced > 0) {
        text_.resize(produced);
        return true;
      }
    }
  }

  int fd_ = -1;
  Sha256 digest_;
  int64_t bytes_read_ = 0;
  std::string raw_;
  std::string text_;  // decoded text not yet cut into lines, from text_at_
  size_t text_at_ = 0;
  z_stream stream_;
  bool inflating_ = false;
  bool member_ended_ = false;
  bool failed_ = false;
  std::string failure_;
};

}  // namespace

LoadedChipset load_chipset(const std::string& path) {
  ChipsetParser parser;
  int64_t mtime_ns = 0;
  ChipsetReader reader;
  const std::string problem = reader.open(path, &mtime_ns);
  const bool opened = problem.empty();
  std::string line;
  uint64_t length = 0;
  while (opened && reader.next_line(&line, &length)) parser.feed_line(line, length);
  if (opened && !reader.failure().empty()) parser.report_damage(reader.failure());
  LoadedChipset loaded = parser.finish();
  loaded.path = path;
  loaded.opened = opened;
  loaded.size = reader.bytes_read();
  loaded.mtime_ns = mtime_ns;
  if (opened) loaded.sha256 = reader.digest();
  if (!opened)
    loaded.log.insert(loaded.log.begin(),
                      {"Cannot open the chipset file " + path + ": " + problem + ".\n", kStyleBoldRed});
  return loaded;
}

std::string chipset_open_problem(const std::string& path) {
  int64_t mtime_ns = 0;
  return ChipsetReader().open(path, &mtime_ns);
}

bool chipset_unchanged(const LoadedChipset& loaded, const std::string& field_path, std::string* why) {
  std::string reason;
  int64_t size = 0, mtime_ns = 0;
  if (field_path != loaded.path)
    reason = "The file field names another file than the one loaded; load it first.\n";
  else if (!loaded.opened || !file_identity(field_path, &size, &mtime_ns))
    reason = "The chipset file " + field_path + " cannot be read; load it again.\n";
  else if (size != loaded.size || mtime_ns != loaded.mtime_ns)
    reason = "The chipset file " + field_path + " has changed since it was loaded; load it again.\n";
  if (why) *why = reason;
  return reason.empty();
}

}  // namespace tv
