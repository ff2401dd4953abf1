#include "burn/section_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/trace.h"
#include "burn/log_sentences.h"
#include "link/packets.h"
#include "link/ports.h"

namespace tv {

int LinkBoxOps::osd_clr() { return link_.osd_clr(); }
int LinkBoxOps::osd_wrt16(int address, const char* hex32, uint8_t target) {
  return link_.osd_wrt16(address, hex32, target);
}
int LinkBoxOps::osd_wrt_fnt(int address, uint8_t value) { return link_.osd_wrt_fnt(address, value); }
int LinkBoxOps::osd_clr_fnt_page(int page_address, uint8_t operand) {
  return link_.osd_clr_fnt_page(page_address, operand);
}
int LinkBoxOps::osd_clr_sysfnt_page(int page_address, uint8_t operand) {
  return link_.osd_clr_sysfnt_page(page_address, operand);
}
int LinkBoxOps::osd_flashR(int address, uint8_t* out4) { return link_.osd_flashR(address, out4); }
int LinkBoxOps::osd_read(int address, uint8_t* out4) { return link_.osd_read(address, out4); }
void LinkBoxOps::line_recovery() { link_.line_recovery(); }
void LinkBoxOps::discard_input() { link_.discard_input(); }
LinkFault LinkBoxOps::fault_of(int result) const {
  return result == 0 ? LinkFault::None : link_.last_fault();
}

LineSource lines_of(const SectionText& text) {
  auto next = std::make_shared<size_t>(0);
  return [&text, next](std::string* line) {
    if (*next >= text.line_count()) return false;
    *line = text.line((*next)++);
    return true;
  };
}

LinkFault BoxOps::fault_of(int result) const {
  if (result == 0) return LinkFault::None;
  if ((result & ~kEchoMismatch) == kEchoReadFailed) return LinkFault::Lost;
  if (result >= kEchoTimeout) return LinkFault::Silent;
  return LinkFault::Refused;
}

namespace {

// Both end in a time-out: a box that stops in the middle of its answer has
// stopped answering as surely as one that never begins.
bool timed_out(LinkFault fault) { return fault == LinkFault::Silent || fault == LinkFault::CutShort; }

void report_failure(WriterContext& context, const std::string& line) {
  context.sink.log(line, kStyleBoldRed);
}

void upper_case(std::string* line) {
  for (char& c : *line)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
}

// The four address digits at positions 3..6.
int address_field(const std::string& text) {
  return text.size() > 3 ? int(hex_value(text.c_str() + 3, 4)) : 0;
}

void report_progress(WriterContext& context, int line, int count) {
  int percent = section_progress(line, count);
  if (percent >= 0) context.sink.progress(percent);
}

// The 16 bytes a record's data text puts on the wire, read as the 16-byte
// write reads them.
const uint8_t (&record_bytes(const char* data))[16] {
  static thread_local uint8_t bytes[16];
  const size_t length = strnlen(data, 32);
  for (size_t i = 0; i < 16; ++i) bytes[i] = 2 * i < length ? uint8_t(hex_value(data + 2 * i, 2) & 0xFF) : 0;
  return bytes;
}

}  // namespace

WriteResult retry_with_recovery(WriterContext& context, const std::function<int()>& attempt) {
  if (context.health && context.health->hopeless()) return WriteResult::PoorLine;
  int silent = 0;
  for (int tries = 0; tries < kMaxAttempts; ++tries) {
    if (context.cancel) return WriteResult::Cancelled;
    int result = attempt();
    if (result == 0) {
      if (context.health) context.health->packet(tries > 0);
      return WriteResult::Done;
    }
    if (context.cancel) return WriteResult::Cancelled;  // its waits were cut short
    LinkFault fault = context.box.fault_of(result);
    if (fault == LinkFault::Lost) return WriteResult::LineLost;
    silent = timed_out(fault) ? silent + 1 : 0;
    if (silent >= kSilentLimit) return WriteResult::BoxSilent;
    if (tries + 1 < kMaxAttempts) context.sink.retried();
    // An answer that broke off is what a byte lost on the line looks like:
    // the box took the packet and answered, so only the rest of its answer
    // is thrown away, and the loss costs the burst's margin, not the
    // recovery step's 630 ms of pauses on top. A refusal or a silent box
    // may mean a box out of step with the packets: that gets the step.
    if (fault == LinkFault::CutShort)
      context.box.discard_input();
    else
      context.box.line_recovery();
  }
  return context.cancel ? WriteResult::Cancelled : WriteResult::Failed;
}

void report_write_result(WriterContext& context, WriteResult result, const std::string& what,
                         const std::string& where, bool where_is_step) {
  switch (result) {
    case WriteResult::Failed:
      report_failure(
          context, fill_sentence(sentence::kRefused, {context.section, what, std::to_string(kMaxAttempts)}));
      break;
    case WriteResult::BoxSilent:
      context.sink.log(fill_sentence(where_is_step ? sentence::kSilentDuring : sentence::kSilentAt,
                                     {context.section, where}),
                       kStyleBoldRed);
      break;
    case WriteResult::LineLost:
      context.sink.log(fill_sentence(where_is_step ? sentence::kLineLostDuring : sentence::kLineLostAt,
                                     {context.section, where}),
                       kStyleBoldRed);
      break;
    case WriteResult::PoorLine:
      context.sink.log(
          fill_sentence(sentence::kPoorLineStop,
                        {context.section, where, context.health ? context.health->verdict() : std::string()}),
          kStyleBoldRed);
      break;
    case WriteResult::Done:
    case WriteResult::Cancelled:
    case WriteResult::Mismatch: break;  // the read-back has said what differs
  }
}

FailureCause failure_cause(WriteResult result) {
  switch (result) {
    case WriteResult::BoxSilent: return FailureCause::Silent;
    case WriteResult::LineLost: return FailureCause::LineLost;
    case WriteResult::Mismatch: return FailureCause::Mismatch;
    case WriteResult::PoorLine: return FailureCause::PoorLine;
    default: return FailureCause::Refused;
  }
}

int section_progress(int line, int count) {
  if (count <= 0 || line % 10 != 0) return -1;
  long long percent = static_cast<long long>(line) * 100 / count;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  return int(percent);
}

// A box that refused the clear keeps its old OSD bytes under the new ones:
// the clear is retried like any refused command, and the stage fails when
// the box never takes it.
static WriteResult clear_osd(WriterContext& context) {
  trace("!!!!osd_clr >>\n");
  WriteResult result = retry_with_recovery(context, [&] { return context.box.osd_clr(); });
  trace("!!!!osd_clr <<\n");
  report_write_result(context, result, sentence::kWhatOsdClear, sentence::kStepClear, true);
  return result;
}

WriteResult write_hex_section(WriterContext& context, const LineSource& lines, int line_count,
                              uint8_t target) {
  if (target == kTargetOsd) {
    WriteResult cleared = clear_osd(context);
    if (cleared != WriteResult::Done) return cleared;
  }
  std::string line;
  int line_number = 0;
  while (lines(&line)) {
    ++line_number;
    // The loader reads the file by the same rules (ends_hex_section,
    // writer_takes_record) and refuses what this loop would leave out.
    std::string text = record_text(line);
    upper_case(&text);
    if (ends_hex_section(text)) break;
    if (!writer_takes_record(text)) continue;
    int address = address_field(text);
    if (context.already_in_box && context.already_in_box(address)) {
      if (context.written) context.written->record(address, record_bytes(text.c_str() + 9));
      continue;
    }
    if (context.reached) *context.reached = address;
    trace("%s <%s><%x>\n", text.c_str(), text.substr(3, 4).c_str(), address);
    report_progress(context, line_number, line_count);
    const char* data = text.c_str() + 9;
    WriteResult result =
        retry_with_recovery(context, [&] { return context.box.osd_wrt16(address, data, target); });
    if (result != WriteResult::Done) {
      const std::string where = hex_digits(unsigned(address), 4);
      report_write_result(context, result,
                          fill_sentence(sentence::kWhatRecord, {where, std::to_string(line_number)}), where);
      return result;
    }
    if (context.written) context.written->record(address, record_bytes(data));
  }
  return context.cancel ? WriteResult::Cancelled : WriteResult::Done;
}

std::vector<bool> finished_flash_sectors(const LineSource& lines, int stopped_at) {
  std::vector<int> records;  // addresses, in the order of the file
  std::string line;
  while (lines(&line)) {
    std::string text = record_text(line);
    upper_case(&text);
    if (ends_hex_section(text)) break;
    if (writer_takes_record(text)) records.push_back(address_field(text));
  }
  const size_t sectors = size_t(ByteImage::kSpan / kFlashSectorBytes + 1);
  std::vector<bool> touched(sectors, false), unfinished(sectors, false);
  const size_t stop = size_t(std::find(records.begin(), records.end(), stopped_at) - records.begin());
  if (stop == records.size()) return std::vector<bool>(sectors, false);
  auto first_sector = [](int address) { return size_t(address / kFlashSectorBytes); };
  auto last_sector = [](int address) { return size_t((address + 15) / kFlashSectorBytes); };
  for (size_t i = 0; i < records.size(); ++i)
    for (size_t s = first_sector(records[i]); s <= last_sector(records[i]); ++s) {
      touched[s] = true;
      if (i >= stop) unfinished[s] = true;
    }
  // A record that reaches into an unfinished sector erases every sector it
  // touches when it is written again: those are unfinished too.
  for (bool grew = true; grew;) {
    grew = false;
    for (int address : records) {
      bool reaches = false;
      for (size_t s = first_sector(address); s <= last_sector(address); ++s)
        reaches = reaches || unfinished[s];
      for (size_t s = first_sector(address); reaches && s <= last_sector(address); ++s)
        if (!unfinished[s]) unfinished[s] = grew = true;
    }
  }
  std::vector<bool> finished(sectors, false);
  for (size_t s = 0; s < sectors; ++s) finished[s] = touched[s] && !unfinished[s];
  return finished;
}

FontRowBytes font_row_bytes(const std::string& line) {
  unsigned row = 0;
  for (size_t pixel = 0; pixel < 16; ++pixel) {
    row <<= 1;
    if (pixel < line.size() && line[pixel] == '0') row |= 1;
  }
  return FontRowBytes{uint8_t(row & 0xFF), uint8_t(row >> 8)};
}

namespace {

WriteResult clear_font_pages(WriterContext& context) {
  for (int page = 0; page < kFontPageCount; ++page) {
    int address = kFontPageFirst + page * kFontPageSize;
    WriteResult result =
        retry_with_recovery(context, [&] { return context.box.osd_clr_fnt_page(address, 0xFF); });
    if (result == WriteResult::Failed) {
      report_failure(context, fill_sentence(sentence::kFontPageNotCleared,
                                            {context.section, hex_digits(unsigned(address), 4)}));
    } else if (result != WriteResult::Done) {
      report_write_result(context, result, "", hex_digits(unsigned(address), 4));
    }
    if (result != WriteResult::Done) return result;
    trace("******** osd_clr_fnt_page err %d\n", 0);
  }
  return WriteResult::Done;
}

WriteResult write_font_byte(WriterContext& context, unsigned address, uint8_t value, int line_number) {
  int wire_address = int(address & 0xFFFF);
  if (context.reached) *context.reached = wire_address;
  WriteResult result = retry_with_recovery(context, [&] {
    int code = context.box.osd_wrt_fnt(wire_address, value);
    trace("\nwf -> (%d-%x) %d ++++\n", int(address), value, code);
    return code;
  });
  if (result == WriteResult::Failed) {
    report_failure(context, fill_sentence(sentence::kFontByteRefused,
                                          {context.section, hex_digits(unsigned(wire_address), 4),
                                           std::to_string(line_number), std::to_string(kMaxAttempts)}));
  } else if (result != WriteResult::Done) {
    report_write_result(context, result, "", hex_digits(unsigned(wire_address), 4));
  }
  return result;
}

unsigned glyph_number(const std::string& line) {
  unsigned value = 0;
  for (char c : line) {
    if (c < '0' || c > '9') break;
    value = value * 10 + unsigned(c - '0');
  }
  return value;
}

}  // namespace

WriteResult write_font_section(WriterContext& context, const LineSource& lines, int line_count) {
  WriteResult result = clear_font_pages(context);
  if (result != WriteResult::Done) return result;
  std::string line;
  unsigned glyph = 0, row_offset = 0;
  int line_number = 0;
  bool any_row = false;
  while (lines(&line)) {
    // Blanks are pixels here: only the line end is not part of the line.
    const std::string text = strip_line_end(line);
    if (ends_font_section(text)) break;
    ++line_number;
    report_progress(context, line_number, line_count);
    if (text.size() < kGlyphLineChars) {
      glyph = glyph_number(text);
      row_offset = 0;
      trace("<%s>%05x %05x %05d\n", text.c_str(), glyph, glyph * kGlyphBytes, glyph * kGlyphBytes);
    } else if (text.size() >= kFontRowChars) {
      unsigned address = glyph * kGlyphBytes + row_offset;
      trace("<%s>%05x %05x %05d\n", text.c_str(), glyph, address, address);
      FontRowBytes bytes = font_row_bytes(text);
      result = write_font_byte(context, address, bytes.at_p, line_number);
      if (result == WriteResult::Done)
        result = write_font_byte(context, address + 1, bytes.at_p1, line_number);
      if (result != WriteResult::Done) return result;
      row_offset += 2;
      any_row = true;
    }
  }
  if (context.cancel) return WriteResult::Cancelled;
  // The last row of the last glyph is written once more as zeros (a blank
  // closing row); without any row there is nothing to close.
  if (any_row) {
    unsigned end = glyph * kGlyphBytes + row_offset;
    context.box.osd_wrt_fnt(int((end - 2) & 0xFFFF), 0);
    context.box.osd_wrt_fnt(int((end - 1) & 0xFFFF), 0);
  }
  return WriteResult::Done;
}

}  // namespace tv

namespace tv {
namespace {

// One 4-byte read of flash or OSD memory.
int read_four(BoxOps& box, uint8_t target, int address, uint8_t* out4) {
  return target == kTargetFlash ? box.osd_flashR(address, out4) : box.osd_read(address, out4);
}

struct VerifyTally {
  int compared = 0;
  int differ = 0;
  int first_address = -1;
  uint8_t first_file = 0, first_box = 0;

  void compare(int address, uint8_t file, uint8_t box) {
    ++compared;
    if (file == box) return;
    if (differ++ == 0) {
      first_address = address;
      first_file = file;
      first_box = box;
    }
  }
};

void report_verify(WriterContext& context, const VerifyTally& tally) {
  if (tally.differ == 0) {
    context.sink.log(fill_sentence(sentence::kVerified, {context.section, std::to_string(tally.compared)}),
                     kStyleBoldGreen);
  } else {
    context.sink.log(
        fill_sentence(
            tally.differ == 1 ? sentence::kVerifyFailedOne : sentence::kVerifyFailedMany,
            {context.section, std::to_string(tally.differ), hex_digits(unsigned(tally.first_address), 4),
             hex_digits(tally.first_file, 2), hex_digits(tally.first_box, 2)}),
        kStyleBoldRed);
  }
}

// Addresses the file holds and the burn did not write: the box cannot hold
// them but by chance, so they fail Verify before anything is read.
bool report_unwritten(WriterContext& context, const ByteImage& file, const ByteImage& written) {
  int missing = 0, first = -1;
  for (int address = 0; address < ByteImage::kSpan; ++address) {
    if (!file.holds(address) || written.holds(address)) continue;
    if (missing++ == 0) first = address;
  }
  if (missing == 0) return false;
  context.sink.log(fill_sentence(missing == 1 ? sentence::kUnwrittenOne : sentence::kUnwrittenMany,
                                 {context.section, std::to_string(missing), hex_digits(unsigned(first), 4)}),
                   kStyleBoldRed);
  return true;
}

}  // namespace

WriteResult verify_section(WriterContext& context, const ByteImage& file, const ByteImage* written,
                           uint8_t target) {
  if (written && report_unwritten(context, file, *written)) return WriteResult::Mismatch;
  VerifyTally tally;
  const int total = file.byte_count();
  int last_percent = -1;
  for (int address = 0; address < ByteImage::kSpan; ++address) {
    if (!file.holds(address)) continue;
    if (context.reached) *context.reached = address;
    uint8_t read[4] = {0, 0, 0, 0};
    WriteResult result =
        retry_with_recovery(context, [&] { return read_four(context.box, target, address, read); });
    if (result != WriteResult::Done) {
      const std::string where = hex_digits(unsigned(address), 4);
      report_write_result(context, result, fill_sentence(sentence::kWhatReadBack, {where}), where);
      return result;
    }
    for (int i = 0; i < 4 && address + i < ByteImage::kSpan; ++i)
      if (file.holds(address + i)) tally.compare(address + i, file.value(address + i), read[i]);
    int percent = total > 0 ? int(static_cast<long long>(tally.compared) * 100 / total) : 100;
    if (percent != last_percent) context.sink.progress(last_percent = percent);
    address += 3;
  }
  report_verify(context, tally);
  return tally.differ == 0 ? WriteResult::Done : WriteResult::Mismatch;
}

}  // namespace tv
