#include "burn/burn_sequence.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "burn/section_writer.h"
#include "link/clock.h"
#include "link/packets.h"
#include "link/ports.h"
#include "link/trace.h"

namespace tv {

const char* const kBurningPicLine = "Burning PIC...\n";
const char* const kFontLoadingLine = "FONT Loading...\n";

namespace {

const char kTwoZLine[] = "ZZ        \r";
const char kFourZLine[] = "ZZZZ       \r";
const char kPicEndRecord[] = ":00020001";
constexpr int kPicRecordLength = 26;
constexpr int kPicAttempts = 5;
constexpr int kPauseSliceMs = 20;

const char* stage_name(Stage stage) {
  switch (stage) {
    case Stage::Pic: return "PIC";
    case Stage::Flash: return "FLASH";
    case Stage::Osd: return "OSD";
    case Stage::OsdRusFont: return "OSD RusFont";
    case Stage::OsdSysFont: return "OSD SysFont";
  }
  return "?";
}

// One run of the worker: the stages share the sink, the cancel flag and the
// list of what failed.
class BurnRun {
 public:
  BurnRun(BoxLink& link, const LoadedChipset& chipset, const BurnSettings& settings, BurnSink& sink,
          const std::atomic<bool>& cancel)
      : link_(link), chipset_(chipset), settings_(settings), sink_(sink), cancel_(cancel), box_(link) {}

  void burn();
  void system_font_alone();

 private:
  bool port_ready();
  bool checked(Stage stage) const { return !settings_.stage_checked || settings_.stage_checked(stage); }
  bool stopped() const { return cancel_ || stop_; }
  bool pause(int64_t ms);
  void send(const char* bytes, size_t size);
  void send_text(const char* text) { send(text, std::strlen(text)); }
  void read_and_trace(const char* format, int count);

  void pic_handshake();
  void pic_records();
  bool send_pic_record(int address);
  void section_stage(Stage stage, const char* marker, int lines, const char* start_line,
                     const char* done_line);
  void system_font();
  WriteResult write_section(Stage stage, ChipsetReader& reader, int lines);
  void fail(Stage stage) { failed_.push_back(stage_name(stage)); }
  void finish();

  BoxLink& link_;
  const LoadedChipset& chipset_;
  const BurnSettings& settings_;
  BurnSink& sink_;
  const std::atomic<bool>& cancel_;
  LinkBoxOps box_;
  std::vector<std::string> failed_;
  bool stop_ = false;  // a writer gave up: the remaining stages are left out
};

bool BurnRun::port_ready() {
  if (link_.port().is_open()) return true;
  sink_.log("The programming port is not open: nothing was sent to the box.\n", kStyleBoldRed);
  sink_.done(false);
  return false;
}

// Protocol pauses in small slices so that a cancel is seen at once.
bool BurnRun::pause(int64_t ms) {
  for (int64_t left = ms; left > 0 && !cancel_; left -= kPauseSliceMs)
    protocol_pause_ms(std::min<int64_t>(left, kPauseSliceMs));
  return !cancel_;
}

void BurnRun::send(const char* bytes, size_t size) {
  link_.port().write(reinterpret_cast<const uint8_t*>(bytes), size);
}

void BurnRun::read_and_trace(const char* format, int count) {
  uint8_t buffer[64];
  link_.wait_read(buffer, sizeof buffer - 1, count);
  buffer[sizeof buffer - 1] = 0;
  trace(format, reinterpret_cast<const char*>(buffer));
}

// What the box says during the hand-shake is not checked: the reads only let
// its PIC loader take each step in its own time.
void BurnRun::pic_handshake() {
  send_text("Z");
  uint8_t banner[64];
  link_.wait_read(banner, sizeof banner, 50);
  if (cancel_) return;
  send_text(kTwoZLine);
  read_and_trace("1!====<%s>\n", 1);
  send_text("*");
  if (!pause(2000)) return;
  send_text(kFourZLine);
  read_and_trace("11!====<%s>\n", 1);
  send_text("*");
  read_and_trace("2!====<%s>\n", 50);
}

bool BurnRun::send_pic_record(int address) {
  std::string record = pic_record(chipset_.pic, address);
  trace("===<%s>\n", record.c_str());
  for (int attempt = 0; attempt < kPicAttempts && !cancel_; ++attempt) {
    uint8_t echo[kPicRecordLength + 1];
    send(record.data(), record.size());
    int result = link_.wait_read(echo, sizeof echo, kPicRecordLength);
    echo[kPicRecordLength] = 0;
    trace("***<%s>\n", reinterpret_cast<const char*>(echo));
    if (std::memcmp(echo, record.data(), kPicRecordLength) == 0) return true;
    trace("ERROR %x\n", result);
    if (attempt + 1 < kPicAttempts) sink_.retried();
  }
  return false;
}

void BurnRun::pic_records() {
  bool ok = chipset_.pic_adr_f < chipset_.pic_adr_l;
  for (int address = chipset_.pic_adr_f; ok && address < chipset_.pic_adr_l; address += 8) {
    ok = send_pic_record(address);
    if (ok && address % 100 == 0)
      sink_.progress(int(static_cast<long long>(address) * 100 / chipset_.pic_adr_l));
  }
  if (cancel_) return;
  if (!ok) {
    sink_.log("ERROR !\n", kStyleBoldRed);
    sink_.log("PIC was not burned.\n", kStyleBoldRed);
    fail(Stage::Pic);
    return;
  }
  uint8_t answer[16];
  send(kPicEndRecord, std::strlen(kPicEndRecord));
  link_.wait_read(answer, sizeof answer, 9);
  trace("***<%s>\n", kPicEndRecord);
  sink_.log("PIC Burned OK!\n", kStyleBoldBlue);
}

WriteResult BurnRun::write_section(Stage stage, ChipsetReader& reader, int lines) {
  WriterContext context{box_, sink_, cancel_, stage_name(stage)};
  LineSource source = [&reader](std::string* line) { return reader.next_line(line); };
  switch (stage) {
    case Stage::Flash:
      // Every sector is erased again in each burn, not only those above the
      // one erased last in an earlier burn.
      link_.reset_flash_sector();
      return write_hex_section(context, source, lines, kTargetFlash);
    case Stage::Osd:
      return write_hex_section(context, source, lines, kTargetOsd);
    case Stage::OsdSysFont: {
      WriteResult cleared = retry_with_recovery(
          context, [this] { return box_.osd_clr_sysfnt_page(kFontPageFirst, 0xFF); });
      if (cleared == WriteResult::Failed)
        sink_.log("OSD SysFont: the font page at 2400 could not be cleared.\n", kStyleBoldRed);
      if (cleared != WriteResult::Done) return cleared;
      return write_font_section(context, source, lines);
    }
    default:
      return write_font_section(context, source, lines);
  }
}

void BurnRun::section_stage(Stage stage, const char* marker, int lines, const char* start_line,
                            const char* done_line) {
  sink_.log(start_line, kStyleBlue);
  sink_.progress(0);
  sink_.stage_begun(stage);
  ChipsetReader reader;
  if (!reader.open(chipset_.path)) {
    sink_.log(std::string(stage_name(stage)) + ": the chipset file " + chipset_.path +
                  " cannot be opened again.\n", kStyleBoldRed);
    fail(stage);
    stop_ = true;
    sink_.stage_ended(stage, false);
    return;
  }
  // A file without the marker gives the stage nothing to write.
  WriteResult result = reader.seek_marker(marker) ? write_section(stage, reader, lines) : WriteResult::Done;
  reader.close();
  if (result == WriteResult::Done) {
    sink_.log(done_line, kStyleBoldBlue);
  } else if (result == WriteResult::Failed) {
    fail(stage);
    stop_ = true;
  }
  sink_.stage_ended(stage, result == WriteResult::Done);
  sink_.progress(0);
}

void BurnRun::system_font() {
  if (!pause(int64_t(settings_.sysfont_delay) * 1000)) return;
  section_stage(Stage::OsdSysFont, kMarkerOsdAllFont, chipset_.osd_all_font_lines,
                "Burning OSD SysFont...\n", "OSD SysFont Burned OK!\n");
  if (!stopped()) send_text(kFourZLine);
}

void BurnRun::finish() {
  if (cancel_) {
    sink_.log("Burning cancelled.\n", kStyleBoldRed);
    sink_.done(false);
  } else if (!failed_.empty()) {
    std::string names;
    for (const std::string& name : failed_) names += (names.empty() ? "" : ", ") + name;
    sink_.log("Burning failed: " + names + ".\n", kStyleBoldRed);
    sink_.done(false);
  } else {
    sink_.done(true);
  }
}

void BurnRun::burn() {
  if (!port_ready()) return;
  // The hand-shake takes the box into its loader for every later stage; only
  // the PIC records themselves may be left out.
  const bool pic = checked(Stage::Pic);
  if (pic) sink_.stage_begun(Stage::Pic);
  pic_handshake();
  if (!cancel_ && pic) pic_records();
  if (pic) sink_.stage_ended(Stage::Pic, !cancel_ && failed_.empty());
  if (pause(int64_t(settings_.flash_delay) * 1000)) {
    sink_.progress(0);
    if (!stopped() && checked(Stage::Flash))
      section_stage(Stage::Flash, kMarkerFlash, chipset_.flash_lines, "Burning FLASH...\n", "FLASH Burned OK!\n");
    sink_.progress(0);
    if (!stopped() && checked(Stage::Osd))
      section_stage(Stage::Osd, kMarkerOsd, chipset_.osd_lines, "Burning OSD...\n", "OSD Burned OK!\n");
    sink_.progress(0);
    if (!stopped() && checked(Stage::OsdRusFont))
      section_stage(Stage::OsdRusFont, kMarkerOsdFont, chipset_.osd_font_lines, "Burning OSD RusFont...\n",
                    "OSD RusFont Burned OK!\n");
  }
  sink_.progress(0);
  // The four-Z line lets the box leave its loader, also after a failure.
  send_text(kFourZLine);
  sink_.progress(0);
  if (!stopped() && checked(Stage::OsdSysFont)) {
    sink_.log(kFontLoadingLine, kStyleBlue);
    system_font();
  }
  finish();
}

void BurnRun::system_font_alone() {
  if (!port_ready()) return;
  system_font();
  finish();
}

}  // namespace

std::string pic_record(const std::vector<uint8_t>& image, int address) {
  char record[kPicRecordLength + 1];
  int length = std::snprintf(record, sizeof record, ":08%04X00", address & 0xFFFF);
  for (int i = 0; i < 8; ++i) {
    size_t index = size_t(address) + size_t(i);
    unsigned value = index < image.size() ? image[index] : 0xFF;
    length += std::snprintf(record + length, sizeof record - size_t(length), "%02X", value);
  }
  return std::string(record, size_t(length)) + "*";
}

void run_burn(BoxLink& link, const LoadedChipset& chipset, const BurnSettings& settings,
              BurnSink& sink, const std::atomic<bool>& cancel) {
  BurnRun(link, chipset, settings, sink, cancel).burn();
}

void run_system_font_burn(BoxLink& link, const LoadedChipset& chipset, const BurnSettings& settings,
                          BurnSink& sink, const std::atomic<bool>& cancel) {
  BurnRun(link, chipset, settings, sink, cancel).system_font_alone();
}

void run_burn(const LoadedChipset& chipset, const BurnSettings& settings, BurnSink& sink,
              const std::atomic<bool>& cancel) {
  run_burn(programming_link(), chipset, settings, sink, cancel);
}

void run_system_font_burn(const LoadedChipset& chipset, const BurnSettings& settings,
                          BurnSink& sink, const std::atomic<bool>& cancel) {
  run_system_font_burn(programming_link(), chipset, settings, sink, cancel);
}

}  // namespace tv
