// Writing one section of the chipset file into the box: the 16-byte records of
// a FLASH or OSD section (hex-record mode), or a font section row by row (font
// mode). The writers read the section's lines from a line source positioned
// after its marker and talk to the box through BoxOps, so that they can run
// against the real link or against a recording fake.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "burn/burn_sink.h"
#include "link/box_link.h"

namespace tv {

// The box operations the writers use; LinkBoxOps forwards to a box link.
class BoxOps {
 public:
  virtual ~BoxOps() = default;
  virtual int osd_clr() = 0;
  virtual int osd_wrt16(int address, const char* hex32, uint8_t target) = 0;
  virtual int osd_wrt_fnt(int address, uint8_t value) = 0;
  virtual int osd_clr_fnt_page(int page_address, uint8_t operand) = 0;
  virtual int osd_clr_sysfnt_page(int page_address, uint8_t operand) = 0;
  virtual int osd_flashR(int address, uint8_t* out4) = 0;
  virtual int osd_read(int address, uint8_t* out4) = 0;
  virtual void line_recovery() = 0;
  // Why an operation returned `result` (non-zero). By default told from the
  // code alone: a failed read is a lost line, a time-out a silent box.
  virtual LinkFault fault_of(int result) const;
};

class LinkBoxOps : public BoxOps {
 public:
  explicit LinkBoxOps(BoxLink& link) : link_(link) {}
  int osd_clr() override;
  int osd_wrt16(int address, const char* hex32, uint8_t target) override;
  int osd_wrt_fnt(int address, uint8_t value) override;
  int osd_clr_fnt_page(int page_address, uint8_t operand) override;
  int osd_clr_sysfnt_page(int page_address, uint8_t operand) override;
  int osd_flashR(int address, uint8_t* out4) override;
  int osd_read(int address, uint8_t* out4) override;
  void line_recovery() override;
  // The link saw whether any byte came back.
  LinkFault fault_of(int result) const override;

 private:
  BoxLink& link_;
};

// Gives the next line of the section with its line end; false at the end.
using LineSource = std::function<bool(std::string* line)>;

// Failed: the box kept refusing. BoxSilent: it stopped answering (three
// time-outs in a row without a byte); the next command would fare no better.
// LineLost: the line itself failed.
enum class WriteResult { Done, Failed, Cancelled, BoxSilent, LineLost };

// A box that keeps refusing is given this many attempts, each followed by the
// line recovery step, before the stage gives up.
constexpr int kMaxAttempts = 10;
// Time-outs in a row, without one byte from the box, that end the burn.
constexpr int kSilentLimit = 3;

constexpr int kFontPageFirst = 0x2400;
constexpr int kFontPageCount = 10;
constexpr int kFontPageSize = 0x200;
constexpr int kGlyphBytes = 36;  // 18 rows of two bytes

// The bytes a hex section wrote, by address, for the read-back. Addresses of
// the records are 16-bit, so a record may reach 15 bytes past 0xFFFF.
class WrittenImage {
 public:
  WrittenImage();
  void record(int address, const uint8_t (&data)[16]);
  bool written(int address) const { return values_[size_t(address)] >= 0; }
  uint8_t value(int address) const { return uint8_t(values_[size_t(address)]); }
  int byte_count() const { return byte_count_; }
  static constexpr int kSpan = 0x10000 + 16;

 private:
  std::vector<int16_t> values_;
  int byte_count_ = 0;
};

struct WriterContext {
  BoxOps& box;
  BurnSink& sink;
  const std::atomic<bool>& cancel;
  std::string section;             // named in failure lines, e.g. "FLASH"
  WrittenImage* written = nullptr;  // filled by the hex writer when given
  int* reached = nullptr;           // the address being written, kept up to date when given
};

// Runs `attempt` until it returns 0, at most kMaxAttempts times, with the
// line recovery step after each refusal. Stops early when cancelled, when
// the box has stopped answering, or at once when the line is lost.
WriteResult retry_with_recovery(WriterContext& context, const std::function<int()>& attempt);

// Names the way a write ended in the log, in red, for any result but Done
// and Cancelled. `what` tells the refused item ("the record for address
// 0200 (line 7)"), `where` its address for the other failures ("0200").
void report_write_result(WriterContext& context, WriteResult result, const std::string& what,
                         const std::string& where);

// Progress of a section: line * 100 / count cut to an integer, 0..100; -1 when
// no update is due (only every tenth line, never with a zero count).
int section_progress(int line, int count);

// Writes the 16-byte records up to the end record into flash (target 0x66) or
// OSD memory (0x6F); the OSD memory is cleared first.
WriteResult write_hex_section(WriterContext& context, const LineSource& lines, int line_count,
                              uint8_t target);

// The two bytes of one font row: the byte at P (pixels 8..15) and the byte at
// P + 1 (pixels 0..7); '0' is a set pixel.
struct FontRowBytes {
  uint8_t at_p;
  uint8_t at_p1;
};
FontRowBytes font_row_bytes(const std::string& line);

// Clears the ten font pages and writes the font's glyph rows.
WriteResult write_font_section(WriterContext& context, const LineSource& lines, int line_count);

// Reads back every byte in `image` from flash (target 0x66) or OSD memory
// (0x6F), 4 bytes per read, and logs "<section> verified: N bytes" in green
// or the bytes that differ in red (then Failed).
WriteResult verify_section(WriterContext& context, const WrittenImage& image, uint8_t target);

}  // namespace tv
