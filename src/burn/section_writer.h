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
#include "burn/chipset_file.h"
#include "burn/line_health.h"
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
  // After an answer that broke off: the box has had its say and the line
  // works, so only what is left of the answer is thrown away.
  virtual void discard_input() { line_recovery(); }
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
  void discard_input() override;
  // The link saw whether any byte came back.
  LinkFault fault_of(int result) const override;

 private:
  BoxLink& link_;
};

// Gives the next line of the section with its line end; false at the end.
using LineSource = std::function<bool(std::string* line)>;
// The lines the load kept for a section, from its first on. `text` must
// outlive the source.
LineSource lines_of(const SectionText& text);

// Failed: the box kept refusing. BoxSilent: it stopped answering (three
// time-outs in a row, whether no byte came or an answer broke off); the next
// command would fare no better. LineLost: the line itself failed. Mismatch:
// read back, the box does not hold what the file does. PoorLine: the line
// works but needs so many retries that the job would not end in sensible
// time (LineHealth).
enum class WriteResult { Done, Failed, Cancelled, BoxSilent, LineLost, Mismatch, PoorLine };

// The cause a front end names for a result other than Done and Cancelled.
FailureCause failure_cause(WriteResult result);

// A box that keeps refusing is given this many attempts, each followed by the
// line recovery step, before the stage gives up.
constexpr int kMaxAttempts = 10;
// Time-outs in a row (no answer, or one that broke off) that end the burn.
constexpr int kSilentLimit = 3;

constexpr int kFontPageFirst = 0x2400;
constexpr int kFontPageCount = 10;
constexpr int kFontPageSize = 0x200;
constexpr int kGlyphBytes = 36;  // 18 rows of two bytes

// The bytes a hex section wrote, by address, for the read-back.
using WrittenImage = ByteImage;

struct WriterContext {
  BoxOps& box;
  BurnSink& sink;
  const std::atomic<bool>& cancel;
  std::string section;              // named in failure lines, e.g. "FLASH"
  WrittenImage* written = nullptr;  // filled by the hex writer when given
  int* reached = nullptr;           // the address being written, kept up to date when given
  // A resumed Flash stage: records the box holds from the burn it continues
  // are not sent again (they count as written for the read-back).
  std::function<bool(int address)> already_in_box;
  // The job's watch on the line, when it keeps one: every packet is counted,
  // and none is sent once the line is hopeless.
  LineHealth* health = nullptr;
};

// Runs `attempt` until it returns 0, at most kMaxAttempts times, with the
// line recovery step after each refusal or silence (after an answer that
// broke off, its rest is discarded instead). Stops early when cancelled,
// when the box has stopped answering, or at once when the line is lost; does
// not begin when the context's line health says the line is hopeless.
WriteResult retry_with_recovery(WriterContext& context, const std::function<int()>& attempt);

// Names the way a write ended in the log, in red, for any result but Done
// and Cancelled. `what` tells the refused item ("the record for address
// 0200 (line 7)"), `where` its address for the other failures ("0200"), or
// the step when `where_is_step` ("clear": "... during the OSD clear").
void report_write_result(WriterContext& context, WriteResult result, const std::string& what,
                         const std::string& where, bool where_is_step = false);

// Progress of a section: line * 100 / count cut to an integer, 0..100; -1 when
// no update is due (only every tenth line, never with a zero count).
int section_progress(int line, int count);

// Writes the 16-byte records up to the end record into flash (target 0x66) or
// OSD memory (0x6F); the OSD memory is cleared first.
WriteResult write_hex_section(WriterContext& context, const LineSource& lines, int line_count,
                              uint8_t target);

constexpr int kFlashSectorBytes = 4096;

// The flash sectors (by address / kFlashSectorBytes) that a Flash stage which
// stopped at the record for `stopped_at` had finished: every sector whose
// records all come before that record, none of whose records from it on
// reaches it. Writing any later record never erases one of them. All false
// when no record has that address.
std::vector<bool> finished_flash_sectors(const LineSource& lines, int stopped_at);

// The two bytes of one font row: the byte at P (pixels 8..15) and the byte at
// P + 1 (pixels 0..7); '0' is a set pixel.
struct FontRowBytes {
  uint8_t at_p;
  uint8_t at_p1;
};
FontRowBytes font_row_bytes(const std::string& line);

// Clears the ten font pages and writes the font's glyph rows.
WriteResult write_font_section(WriterContext& context, const LineSource& lines, int line_count);

// Verify: compares the flash (target 0x66) or the OSD memory (0x6F) with the
// records of the file, address by address. An address of the file that the
// burn did not write (`written`, when given) fails at once, naming it;
// otherwise every byte of the file is read back, 4 bytes per read. Logs
// "<section> verified: N bytes" in green, or the first address that differs
// in red (then Failed).
WriteResult verify_section(WriterContext& context, const ByteImage& file, const ByteImage* written,
                           uint8_t target);

}  // namespace tv
