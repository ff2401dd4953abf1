// The chipset file: a sectioned text file (plain or gzip) holding the box's
// firmware. Loading reads it once: the PIC program is kept as an image, the
// other sections as their lines, and the burn writes from those; the file is
// not read again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "burn/chipset_sections.h"

namespace tv {

// The load's flags, one bit per marker found.
constexpr unsigned kSectionHeader = section_flag(Section::Header);
constexpr unsigned kSectionPic = section_flag(Section::Pic);
constexpr unsigned kSectionFlash = section_flag(Section::Flash);
constexpr unsigned kSectionOsd = section_flag(Section::Osd);
constexpr unsigned kSectionOsdFont = section_flag(Section::OsdRusFont);
constexpr unsigned kSectionOsdAllFont = section_flag(Section::OsdSysFont);

constexpr size_t kPicImageSize = 100000;
constexpr int kPicNoFirst = 0xFFFFFF;
// gzgets reads into a buffer of this size, so a longer line arrives in pieces.
constexpr int kLineBufferSize = 999;

struct LogLine {
  std::string text;  // with its "\n"
  int style;
};

// The lines of one section as the load read them (line ends included, long
// lines in the pieces gzgets gives), kept in one buffer: a burn writes
// exactly these, whatever happens to the file after the load.
class SectionText {
 public:
  void add_line(const std::string& line);
  size_t line_count() const { return lines_.size(); }
  std::string line(size_t index) const;

 private:
  static constexpr size_t kBlockSize = size_t(1) << 20;
  static constexpr size_t kMaxLine = 4096;  // gzgets gives at most 998 characters
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0;              // of the last block
  std::vector<uint64_t> lines_;  // block << 40 | offset << 20 | length
};

// The sections the burn writes from, shared (never copied) by every copy of
// the loaded state and every stage of every burn.
struct ChipsetSections {
  SectionText flash;
  SectionText osd;
  SectionText osd_font;
  SectionText osd_all_font;

  // The lines kept for a section; null for the header and the PIC program,
  // whose lines are not kept.
  const SectionText* of(Section section) const;
  SectionText* of(Section section) { return const_cast<SectionText*>(static_cast<const ChipsetSections*>(this)->of(section)); }
};

struct LoadedChipset {
  std::vector<uint8_t> pic = std::vector<uint8_t>(kPicImageSize, 0xFF);
  int pic_adr_f = kPicNoFirst;  // lowest address of a taken PIC record
  int pic_adr_l = 0;            // end (exclusive) of the highest one
  int pic_lines = 0;
  int flash_lines = 0;
  int osd_lines = 0;
  int osd_font_lines = 0;
  int osd_all_font_lines = 0;
  int lines_in(Section section) const;  // 0 for the header
  unsigned flags = 0;
  int bad_checksums = 0;            // hex records whose checksum does not add up
  int first_bad_checksum_line = 0;  // 1-based line number of the first one
  std::vector<LogLine> log;         // what the burn page shows after the load
  // Faults that make the file unburnable (lines the writers would put in the
  // wrong place, a repeated section, a damaged file); each has a red line in
  // the log.
  int load_errors = 0;
  std::shared_ptr<const ChipsetSections> sections = std::make_shared<ChipsetSections>();

  // The file as it was when loaded, so a burn can tell that it changed.
  std::string path;
  bool opened = false;
  int64_t size = 0;
  int64_t mtime_ns = 0;
};

// The five sections a whole burn needs.
constexpr unsigned kSectionsForBurn =
    kSectionHeader | kSectionPic | kSectionFlash | kSectionOsd | kSectionOsdFont;
// True when all five sections a burn needs were found.
bool burn_possible(unsigned flags);
// True when the file carries a system font.
bool system_font_present(unsigned flags);
// True when the load found no fault that forbids burning the file (the
// required sections are a separate question: burn_possible).
inline bool chipset_clean(const LoadedChipset& loaded) { return loaded.load_errors == 0; }

// The fields of an Intel HEX record, when the text is one: ':', then only
// hexadecimal digits, exactly as many as its byte count promises.
struct HexRecord {
  bool ok = false;
  bool checksum_ok = false;  // its bytes add up to 0 modulo 256
  unsigned count = 0;
  unsigned address = 0;
  unsigned type = 0;
  unsigned first_data_word = 0;  // the base of an extended-address record
};
HexRecord read_hex_record(const std::string& text);

// Line-fed loader state: no I/O, so it can be fed any bytes.
class ChipsetParser {
 public:
  // One line as read from the file, line end included (or not).
  void feed_line(const std::string& line);
  // The file could not be read to its end: a red load error.
  void report_damage(const std::string& why);
  // Adds the closing log lines and hands the result over.
  LoadedChipset finish();

 private:
  bool take_marker(const std::string& text);
  void take_pic_record(const std::string& text);
  void check_record(const std::string& text, const HexRecord& record);
  void check_placement(const std::string& line, const HexRecord& record);
  void load_error(const std::string& what);

  LoadedChipset state_;
  std::shared_ptr<ChipsetSections> sections_ = std::make_shared<ChipsetSections>();
  // Lines before the first marker are taken like the header's: shown, not kept.
  Section section_ = Section::Header;
  int line_number_ = 0;
  int64_t bytes_read_ = 0;
  std::vector<LogLine> errors_;
};

// Reads the whole file. A file that cannot be opened reads as empty, with a
// red log line saying so.
LoadedChipset load_chipset(const std::string& path);

// True when `field_path` still names the loaded file, unchanged in size and
// modification time. Otherwise false with the reason in `why` (a log line).
bool chipset_unchanged(const LoadedChipset& loaded, const std::string& field_path,
                       std::string* why);

// Checks an Intel HEX record (":" count address type data checksum): true
// when its digits are complete and its bytes add up to 0 modulo 256.
bool hex_record_checksum_ok(const std::string& text);

// Removes trailing CR and LF characters, and nothing else.
std::string strip_line_end(const std::string& line);

// A chipset file opened for reading line by line through zlib, for the burn
// stages that read a section again.
class ChipsetReader {
 public:
  ChipsetReader() = default;
  ~ChipsetReader();
  ChipsetReader(const ChipsetReader&) = delete;
  ChipsetReader& operator=(const ChipsetReader&) = delete;

  bool open(const std::string& path);
  void close();
  bool is_open() const { return file_ != nullptr; }
  // The next line with its line end, as gzgets gives it; false at the end.
  bool next_line(std::string* line);
  // Reads up to and including the first line that begins with `marker`.
  bool seek_marker(const char* marker);
  // After the last line: empty when the file was read to its end, otherwise
  // why it could not be (a damaged or cut gzip stream, a read error).
  std::string read_failure() const;

 private:
  gzFile file_ = nullptr;
};

}  // namespace tv
