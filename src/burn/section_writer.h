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

#include "burn/burn_sink.h"
#include "link/box_link.h"

namespace tv {

// The box operations the writers use; LinkBoxOps forwards to the link layer.
class BoxOps {
 public:
  virtual ~BoxOps() = default;
  virtual int osd_clr() = 0;
  virtual int osd_wrt16(int address, const char* hex32, uint8_t target) = 0;
  virtual int osd_wrt_fnt(int address, uint8_t value) = 0;
  virtual int osd_clr_fnt_page(int page_address, uint8_t operand) = 0;
  virtual int osd_clr_sysfnt_page(int page_address, uint8_t operand) = 0;
  virtual void line_recovery() = 0;
};

class LinkBoxOps : public BoxOps {
 public:
  explicit LinkBoxOps(BoxLink& link = programming_link()) : link_(link) {}
  int osd_clr() override;
  int osd_wrt16(int address, const char* hex32, uint8_t target) override;
  int osd_wrt_fnt(int address, uint8_t value) override;
  int osd_clr_fnt_page(int page_address, uint8_t operand) override;
  int osd_clr_sysfnt_page(int page_address, uint8_t operand) override;
  void line_recovery() override;

 private:
  BoxLink& link_;
};

// Gives the next line of the section with its line end; false at the end.
using LineSource = std::function<bool(std::string* line)>;

enum class WriteResult { Done, Failed, Cancelled };

// A box that keeps refusing is given this many attempts, each followed by the
// line recovery step, before the stage gives up.
constexpr int kMaxAttempts = 10;

constexpr int kFontPageFirst = 0x2400;
constexpr int kFontPageCount = 10;
constexpr int kFontPageSize = 0x200;
constexpr int kGlyphBytes = 36;  // 18 rows of two bytes

struct WriterContext {
  BoxOps& box;
  BurnSink& sink;
  const std::atomic<bool>& cancel;
  std::string section;  // named in failure lines, e.g. "FLASH"
};

// Runs `attempt` until it returns 0, at most kMaxAttempts times, with the
// line recovery step after each failure. Stops early when cancelled.
WriteResult retry_with_recovery(WriterContext& context, const std::function<int()>& attempt);

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

}  // namespace tv
