#include "burn/section_writer.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "link/packets.h"
#include "link/ports.h"
#include "link/trace.h"

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
void LinkBoxOps::line_recovery() { link_.line_recovery(); }

namespace {

const char* const kEndRecord = ":00000001FF";
// ":10AAAA00" + 32 data digits + 2 checksum digits + CR LF.
constexpr size_t kMinRecordLength = 44;

void report_failure(WriterContext& context, const char* what) {
  context.sink.log(context.section + ": " + what + "\n", kStyleBoldRed);
}

void upper_case(std::string* line) {
  for (char& c : *line)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
}

int address_field(const std::string& line) {
  // Four digits at positions 3..6, read like "%x".
  unsigned value = 0;
  for (size_t pos = 3; pos < 7 && pos < line.size() && std::isxdigit(static_cast<unsigned char>(line[pos])); ++pos) {
    char c = line[pos];
    value = value * 16 + unsigned(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  return int(value);
}

void report_progress(WriterContext& context, int line, int count) {
  int percent = section_progress(line, count);
  if (percent >= 0) context.sink.progress(percent);
}

}  // namespace

WriteResult retry_with_recovery(WriterContext& context, const std::function<int()>& attempt) {
  for (int tries = 0; tries < kMaxAttempts; ++tries) {
    if (context.cancel) return WriteResult::Cancelled;
    if (attempt() == 0) return WriteResult::Done;
    context.sink.retried();
    context.box.line_recovery();
  }
  return context.cancel ? WriteResult::Cancelled : WriteResult::Failed;
}

int section_progress(int line, int count) {
  if (count <= 0 || line % 10 != 0) return -1;
  long long percent = static_cast<long long>(line) * 100 / count;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  return int(percent);
}

WriteResult write_hex_section(WriterContext& context, const LineSource& lines, int line_count,
                              uint8_t target) {
  if (target == kTargetOsd) {
    trace("!!!!osd_clr >>\n");
    context.box.osd_clr();
    trace("!!!!osd_clr <<\n");
  }
  std::string line;
  int line_number = 0;
  while (lines(&line)) {
    ++line_number;
    upper_case(&line);
    if (line.find(kEndRecord) != std::string::npos) break;
    // A marker ends the section whatever its length, so a section without an
    // end record never spills into the next one.
    if (line.compare(0, 3, "***") == 0) break;
    if (line.size() < kMinRecordLength) continue;
    int address = address_field(line);
    trace("%s <%s><%x>\n", line.c_str(), line.substr(3, 4).c_str(), address);
    report_progress(context, line_number, line_count);
    const char* data = line.c_str() + 9;
    WriteResult result = retry_with_recovery(
        context, [&] { return context.box.osd_wrt16(address, data, target); });
    if (result == WriteResult::Failed) {
      char what[96];
      std::snprintf(what, sizeof what, "the record for address %04X (line %d) was refused %d times.",
                    address, line_number, kMaxAttempts);
      report_failure(context, what);
    }
    if (result != WriteResult::Done) return result;
  }
  return context.cancel ? WriteResult::Cancelled : WriteResult::Done;
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
      char what[96];
      std::snprintf(what, sizeof what, "the font page at %04X could not be cleared.", address);
      report_failure(context, what);
    }
    if (result != WriteResult::Done) return result;
    trace("******** osd_clr_fnt_page err %d\n", 0);
  }
  return WriteResult::Done;
}

WriteResult write_font_byte(WriterContext& context, unsigned address, uint8_t value, int line_number) {
  int wire_address = int(address & 0xFFFF);
  WriteResult result = retry_with_recovery(context, [&] {
    int code = context.box.osd_wrt_fnt(wire_address, value);
    trace("\nwf -> (%d-%x) %d ++++\n", int(address), value, code);
    return code;
  });
  if (result == WriteResult::Failed) {
    char what[96];
    std::snprintf(what, sizeof what, "the font byte at %04X (line %d) was refused %d times.",
                  wire_address, line_number, kMaxAttempts);
    report_failure(context, what);
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
    if (line.compare(0, 3, "***") == 0) break;
    ++line_number;
    report_progress(context, line_number, line_count);
    std::string text = line.substr(0, line.find_first_of("\r\n"));
    if (line.size() < 9) {
      glyph = glyph_number(line);
      row_offset = 0;
      trace("<%s>%05x %05x %05d\n", text.c_str(), glyph, glyph * kGlyphBytes, glyph * kGlyphBytes);
    } else if (line.size() >= 14) {
      unsigned address = glyph * kGlyphBytes + row_offset;
      trace("<%s>%05x %05x %05d\n", text.c_str(), glyph, address, address);
      FontRowBytes bytes = font_row_bytes(line);
      result = write_font_byte(context, address, bytes.at_p, line_number);
      if (result == WriteResult::Done) result = write_font_byte(context, address + 1, bytes.at_p1, line_number);
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
