// The chipset file: a sectioned text file (plain or gzip) holding the box's
// firmware. Loading reads it once: the PIC program is kept as an image, the
// other sections as their lines, and the burn writes from those; the file is
// not read again.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

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

// A line of a burned section (PIC, FLASH, OSD, a font) longer than this is
// refused: no record or glyph row comes near it.
constexpr size_t kMaxSectionLineChars = 1024;

// The one kind of record the flash and the OSD memory are written with: ":10",
// four address digits, "00", 32 data digits and two checksum digits. The
// lengths here and below count a line's own characters, never its line end,
// so the last line of a file is read alike with or without one.
constexpr unsigned kBoxRecordBytes = 16;
constexpr size_t kBoxRecordChars = 11 + 2 * kBoxRecordBytes;
// Font lines: shorter than kGlyphLineChars, a glyph number; kFontRowChars or
// more, a row of pixels; anything between is passed over.
constexpr size_t kGlyphLineChars = 7;
constexpr size_t kFontRowChars = 12;

// The characters of a line that belong to its record: without its line end
// and without blanks after the checksum.
std::string record_text(const std::string& line);
// True when the hex writer stops at this record text: the end record (found
// anywhere in it, in any case) or a line that begins with "***".
bool ends_hex_section(const std::string& text);
// True when the hex writer writes this record text as a 16-byte record.
inline bool writer_takes_record(const std::string& text) { return text.size() >= kBoxRecordChars; }
// True when the font writer stops at this line.
inline bool ends_font_section(const std::string& text) { return text.compare(0, 3, "***") == 0; }

// Bytes by 16-bit record address, for the flash or the OSD memory: what a file
// holds, or what a burn wrote. A record may reach 15 bytes past 0xFFFF.
class ByteImage {
 public:
  void record(int address, const uint8_t (&data)[16]);
  bool holds(int address) const { return !values_.empty() && values_[size_t(address)] >= 0; }
  // The same question, as the read-back of a burn asks it.
  bool written(int address) const { return holds(address); }
  uint8_t value(int address) const { return uint8_t(values_[size_t(address)]); }
  int byte_count() const { return byte_count_; }
  static constexpr int kSpan = 0x10000 + 16;

 private:
  std::vector<int16_t> values_;
  int byte_count_ = 0;
};

struct LogLine {
  std::string text;  // with its "\n"
  int style;
};

// The lines of one section as the load read them (line ends included), kept
// in one buffer: a burn writes exactly these, whatever happens to the file
// after the load.
class SectionText {
 public:
  void add_line(const std::string& line);
  size_t line_count() const { return lines_.size(); }
  std::string line(size_t index) const;

 private:
  static constexpr size_t kBlockSize = size_t(1) << 20;
  static constexpr size_t kMaxLine = 4096;  // longer lines of a section are refused
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0;              // of the last block
  std::vector<uint64_t> lines_;  // block << 40 | offset << 20 | length
};

// The sections the burn writes from, shared (never copied) by every copy of
// the loaded state and every stage of every burn.
struct ChipsetSections {
  // The lines kept for a section; null for the header and the PIC program,
  // whose lines are not kept.
  const SectionText* of(Section section) const {
    return lines_kept(section) ? &lines[int(section)] : nullptr;
  }
  SectionText* of(Section section) { return lines_kept(section) ? &lines[int(section)] : nullptr; }
  // The 16-byte records of a FLASH or OSD section as the load read them, by
  // address: what Verify compares the box with. Null for the other sections.
  const ByteImage* image_of(Section section) const {
    return holds_records(section) ? &images[int(section)] : nullptr;
  }
  ByteImage* image_of(Section section) { return holds_records(section) ? &images[int(section)] : nullptr; }

  SectionText lines[kSectionCount];
  ByteImage images[kSectionCount];  // empty but for the sections of records
};

struct LoadedChipset {
  std::vector<uint8_t> pic = std::vector<uint8_t>(kPicImageSize, 0xFF);
  int pic_adr_f = kPicNoFirst;  // lowest address of a taken PIC record
  int pic_adr_l = 0;            // end (exclusive) of the highest one
  // The lines of each section, by Section; the header's are those before the
  // first marker and in the header.
  int section_lines[kSectionCount] = {};
  int lines_in(Section section) const { return section_lines[static_cast<int>(section)]; }
  int pic_records = 0;  // PIC data records the load took into the image
  unsigned flags = 0;
  int bad_checksums = 0;            // hex records whose checksum does not add up
  int first_bad_checksum_line = 0;  // 1-based line number of the first one
  std::vector<LogLine> log;         // what the burn page shows after the load
  // Faults that make the file unburnable (lines the writers would put in the
  // wrong place, a repeated section, a damaged file); each has a red line in
  // the log.
  int load_errors = 0;
  // The first fault in the order of the file (the damage of the file as a
  // whole first), bad checksums included, without its line end; empty for a
  // clean file. Its line, 0 for the file as a whole: the first fault that has
  // one is named by `first_fault_line`.
  std::string first_fault;
  int first_fault_line = 0;
  // What the load passed over that the engineer should know of (a byte-order
  // mark), as sentences without line end; each is in the log too. The
  // warnings, which do not stop a burn, are the log's plain red lines.
  std::vector<std::string> notes;
  std::shared_ptr<const ChipsetSections> sections = std::make_shared<ChipsetSections>();

  // The file as it was when loaded, so a burn can tell that it changed. The
  // size and the digest are those of the bytes the load read (as they are on
  // disk, a gzip file compressed): the saved log names what was burned.
  std::string path;
  bool opened = false;
  int64_t size = 0;
  int64_t mtime_ns = 0;
  std::string sha256;
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
  // One line as read from the file, line end included (or not). `length` is
  // its whole length when the reader kept only its beginning.
  void feed_line(const std::string& line) { feed_line(line, line.size()); }
  void feed_line(const std::string& line, uint64_t length);
  // The file could not be read to its end (`where` and why): a red load
  // error, named before every other.
  void report_damage(const std::string& where_and_why);
  // Adds the closing log lines and hands the result over.
  LoadedChipset finish();

 private:
  struct Fault {
    int line;  // 0: the file as a whole
    LogLine text;
  };
  void take_line(const std::string& line, uint64_t length);
  bool take_marker(const std::string& text);
  bool line_readable(const std::string& line, uint64_t length);
  void take_pic_record(const std::string& text);
  void check_pic_line(const std::string& text);
  void check_hex_line(const std::string& text);
  void check_hex_record(const std::string& text, const HexRecord& record);
  void take_box_record(const std::string& text, int address);
  void check_overlap(int address);
  void check_font_line(const std::string& line);
  void count_bad_checksum(const HexRecord& record);
  void load_error(const std::string& what);
  void load_warning(const std::string& what);
  void add_fault_lines();
  void add_warning_lines();

  LoadedChipset state_;
  std::shared_ptr<ChipsetSections> sections_ = std::make_shared<ChipsetSections>();
  // Lines before the first marker are taken like the header's: shown, not kept.
  Section section_ = Section::Header;
  int line_number_ = 0;
  // The line at which the writer of the current section stops (its end
  // record); 0 while it has not come.
  int section_end_line_ = 0;
  std::vector<Fault> faults_;
  std::vector<LogLine> warnings_;  // the first kMaxErrorLines of them
  int warning_count_ = 0;
  // The 16-byte records taken so far, by section: their start address and
  // the line of the first record there.
  std::map<int, int> record_lines_[kSectionCount];
};

// The loader reads a file this many bytes at a time (of the compressed bytes,
// for gzip); a line may begin in one read and end in the next.
constexpr size_t kChipsetReadBytes = size_t(1) << 16;

// Reads the whole file, once. A file that cannot be opened reads as empty,
// with a red log line saying why (chipset_open_problem).
LoadedChipset load_chipset(const std::string& path);

// Why `path` cannot be opened as a chipset file, in a few words ("it does not
// exist", "permission denied", "it is a folder", "it is not a regular file (a
// FIFO)"); empty when it can. Only a regular file is taken: a pipe would block
// the opening and a device such as /dev/zero would yield lines without end.
std::string chipset_open_problem(const std::string& path);

// True when `field_path` still names the loaded file, unchanged in size and
// modification time. Otherwise false with the reason in `why` (a log line).
bool chipset_unchanged(const LoadedChipset& loaded, const std::string& field_path, std::string* why);

// Checks an Intel HEX record (":" count address type data checksum): true
// when its digits are complete and its bytes add up to 0 modulo 256.
bool hex_record_checksum_ok(const std::string& text);

// Removes trailing CR and LF characters, and nothing else.
std::string strip_line_end(const std::string& line);

}  // namespace tv
