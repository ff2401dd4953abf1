#include "burn/chipset_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "burn/burn_sink.h"
#include "base/hex_field.h"
#include "base/trace.h"

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
bool file_identity(const std::string& path, int64_t* size, int64_t* mtime_ns) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = info.st_size;
  *mtime_ns = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

// The fields of an Intel HEX record, when the text is one: ':', then only
// hexadecimal digits, exactly as many as its byte count promises.
}  // namespace

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

// ":10AAAA00" + 32 data digits + 2 checksum digits + CR LF: the writer takes
// every line this long as a 16-byte record.
constexpr size_t kWriterRecordLength = 44;
constexpr unsigned kBoxRecordBytes = 16;
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
  const size_t block = size_t(ref >> 40), offset = size_t(ref >> 20) & 0xFFFFF, length = size_t(ref & 0xFFFFF);
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
      load_error(format_line("Line %d: ", line_number_) + "the section marker " + info.marker +
                 " appears a second time.\n");
    state_.log.push_back({text.substr(std::strlen(info.marker)) + "\n", kStyleBlue});
    state_.flags |= flag;
    section_ = info.section;
    return true;
  }
  return false;
}

void ChipsetParser::take_pic_record(const std::string& text) {
  ++state_.pic_lines;
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
  if (address < state_.pic_adr_f) state_.pic_adr_f = address;
  if (address + int(count) > state_.pic_adr_l) state_.pic_adr_l = address + int(count);
}

void ChipsetParser::check_record(const std::string& text, const HexRecord& record) {
  if (text.empty() || text[0] != ':') return;
  if (record.checksum_ok) return;
  if (state_.bad_checksums++ == 0) state_.first_bad_checksum_line = line_number_;
}

void ChipsetParser::load_error(const std::string& what) {
  if (state_.load_errors++ < int(kMaxErrorLines)) errors_.push_back({what, kStyleBoldRed});
}

// Lines that the writers would put somewhere else than the file says, or not
// at all: each is a load error with its line number.
void ChipsetParser::check_placement(const std::string& line, const HexRecord& record) {
  auto where = [this] { return format_line("Line %d: ", line_number_); };
  if (!record.ok) {
    if (line.size() >= kWriterRecordLength)
      load_error(where() + "not an Intel HEX data record; it would be written at a wrong address.\n");
    return;
  }
  if ((record.type == 2 || record.type == 4) && record.first_data_word != 0) {
    char what[160];
    std::snprintf(what, sizeof what,
                  "an extended address record with base %04X; the box takes 16-bit addresses only.\n",
                  record.first_data_word);
    load_error(where() + what);
  }
  if (record.type != 0 || record.count == 0) return;
  if (section_ == Section::Pic && record.address + record.count > 0x10000) {
    char what[120];
    std::snprintf(what, sizeof what, "the PIC record at %04X runs past FFFF.\n", record.address);
    load_error(where() + what);
  } else if (section_ != Section::Pic && record.count != kBoxRecordBytes) {
    char what[160];
    std::snprintf(what, sizeof what, "a data record of %u bytes; the box is written in records of 16.\n",
                  record.count);
    load_error(where() + what);
  }
}

const SectionText* ChipsetSections::of(Section section) const {
  switch (section) {
    case Section::Flash: return &flash;
    case Section::Osd: return &osd;
    case Section::OsdRusFont: return &osd_font;
    case Section::OsdSysFont: return &osd_all_font;
    case Section::Header:
    case Section::Pic: break;
  }
  return nullptr;
}

int LoadedChipset::lines_in(Section section) const {
  switch (section) {
    case Section::Pic: return pic_lines;
    case Section::Flash: return flash_lines;
    case Section::Osd: return osd_lines;
    case Section::OsdRusFont: return osd_font_lines;
    case Section::OsdSysFont: return osd_all_font_lines;
    case Section::Header: break;
  }
  return 0;
}

void ChipsetParser::feed_line(const std::string& line) {
  ++line_number_;
  bytes_read_ += int64_t(line.size());
  std::string text = strip_line_end(line);
  if (take_marker(text)) return;
  if (SectionText* kept = sections_->of(section_)) kept->add_line(line);
  const SectionWriter writer = section_info(section_).writer;
  if (writer == SectionWriter::PicRecords || writer == SectionWriter::HexRecords) {
    HexRecord record = read_hex_record(text);
    check_record(text, record);
    check_placement(line, record);
  }
  switch (section_) {
    case Section::Pic: take_pic_record(text); break;  // counts the line too
    case Section::Flash: ++state_.flash_lines; break;
    case Section::Osd: ++state_.osd_lines; break;
    case Section::OsdRusFont: ++state_.osd_font_lines; break;
    case Section::OsdSysFont: ++state_.osd_all_font_lines; break;
    case Section::Header: break;
  }
}

void ChipsetParser::report_damage(const std::string& why) {
  char where[64];
  std::snprintf(where, sizeof where, "%lld", static_cast<long long>(bytes_read_));
  // Named first and always: the lines before it may have been garbled by it.
  ++state_.load_errors;
  errors_.insert(errors_.begin(),
                 {"The file is damaged at byte " + std::string(where) + " (" + why + "); it cannot be burned.\n",
                  kStyleBoldRed});
}

LoadedChipset ChipsetParser::finish() {
  state_.log.push_back({format_line("PIC LINES %d\n", state_.pic_lines), kStyleBoldGreen});
  state_.log.push_back({format_line("FLASH LINES %d\n", state_.flash_lines), kStyleBoldGreen});
  state_.log.push_back({format_line("OSD LINES %d\n", state_.osd_lines), kStyleBoldGreen});
  state_.log.push_back({format_line("OSD Font LINES %d\n", state_.osd_font_lines), kStyleBoldGreen});
  if (state_.osd_all_font_lines != 0)
    state_.log.push_back({format_line("OSD All Font LINES %d\n", state_.osd_all_font_lines), kStyleBoldGreen});
  if (state_.bad_checksums > 0) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%d records with a bad checksum, the first in line %d.\n",
                  state_.bad_checksums, state_.first_bad_checksum_line);
    state_.log.push_back({buffer, kStyleBoldRed});
  }
  for (const LogLine& error : errors_) state_.log.push_back(error);
  if (state_.load_errors > int(errors_.size()))
    state_.log.push_back(
        {format_line("... and %d more such lines.\n", state_.load_errors - int(errors_.size())), kStyleBoldRed});
  trace(">pic_adr_f %04x pic_adr_l %04x\n", state_.pic_adr_f, state_.pic_adr_l);
  state_.sections = sections_;
  LoadedChipset result = std::move(state_);
  state_ = LoadedChipset();
  sections_ = std::make_shared<ChipsetSections>();
  section_ = Section::Header;
  line_number_ = 0;
  bytes_read_ = 0;
  errors_.clear();
  return result;
}

LoadedChipset load_chipset(const std::string& path) {
  ChipsetParser parser;
  int64_t size = 0, mtime_ns = 0;
  bool known = file_identity(path, &size, &mtime_ns);
  ChipsetReader reader;
  bool opened = known && reader.open(path);
  std::string line;
  while (opened && reader.next_line(&line)) parser.feed_line(line);
  std::string failure = opened ? reader.read_failure() : std::string();
  if (!failure.empty()) parser.report_damage(failure);
  reader.close();
  LoadedChipset loaded = parser.finish();
  loaded.path = path;
  loaded.opened = opened;
  loaded.size = size;
  loaded.mtime_ns = mtime_ns;
  if (!opened)
    loaded.log.insert(loaded.log.begin(), {"Cannot open the chipset file " + path + ".\n", kStyleBoldRed});
  return loaded;
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

ChipsetReader::~ChipsetReader() { close(); }

bool ChipsetReader::open(const std::string& path) {
  close();
  int64_t size = 0, mtime_ns = 0;
  if (!file_identity(path, &size, &mtime_ns)) return false;
  file_ = gzopen(path.c_str(), "rb");
  return file_ != nullptr;
}

void ChipsetReader::close() {
  if (file_) gzclose(file_);
  file_ = nullptr;
}

bool ChipsetReader::next_line(std::string* line) {
  char buffer[kLineBufferSize];
  if (!file_ || gzgets(file_, buffer, sizeof buffer) == nullptr) return false;
  line->assign(buffer);
  return true;
}

std::string ChipsetReader::read_failure() const {
  if (!file_) return std::string();
  int code = Z_OK;
  const char* message = gzerror(file_, &code);
  if (code == Z_OK) return std::string();
  if (code == Z_ERRNO) return std::strerror(errno);
  return message && *message ? message : "unreadable";
}

bool ChipsetReader::seek_marker(const char* marker) {
  std::string line;
  while (next_line(&line))
    if (starts_with(line, marker)) return true;
  return false;
}

}  // namespace tv
