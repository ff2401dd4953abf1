#include "burn/burn_sequence.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "burn/log_sentences.h"
#include "burn/resume_check.h"
#include "burn/section_writer.h"
#include "link/packets.h"
#include "link/ports.h"

namespace tv {

const char* const kBurningPicLine = section_info(Section::Pic).start_line;
const char* const kFontLoadingLine = "FONT Loading...\n";

namespace {

const char kTwoZLine[] = "ZZ        \r";
const char kFourZLine[] = "ZZZZ       \r";
const char kPicEndRecord[] = ":00020001";
constexpr int kPicRecordLength = 26;
constexpr int kPicAttempts = 5;
constexpr int kPauseSliceMs = 20;

const char* stage_name(Section stage) { return section_info(stage).stage; }

// The memory a section of 16-byte records is written to and read back from.
uint8_t target_of(Section stage) { return section_info(stage).memory; }

// One run of the worker: the stages share the sink, the cancel flag and the
// list of what failed.
class BurnRun {
 public:
  BurnRun(BoxLink& link, const LoadedChipset& chipset, const BurnSettings& settings, BurnSink& sink,
          const std::atomic<bool>& cancel)
      : link_(link),
        chipset_(chipset),
        settings_(settings),
        sink_(sink),
        cancel_(cancel),
        box_(link),
        resume_(settings.resume ? settings.resume->point : ResumePoint()),
        health_(settings.planned_seconds),
        bytes_read_before_(link.port().bytes_read()) {}

  void burn();
  void system_font_alone();

 private:
  bool ready();
  bool checked(Section stage) const { return !settings_.stage_checked || settings_.stage_checked(stage); }
  bool done_before(Section stage) const { return resume_.done & section_flag(stage); }
  // The flash record at which the burn this one continues stopped; -1: none.
  int flash_resume_address() const { return resume_.flash_from; }
  bool check_resumed_box();
  bool sample_matches(const ResumeSample& sample);
  void take_back_resume_point();
  void say_resume();
  void skip_finished_sectors(WriterContext& context);
  // A stage failed in a way that leaves the later ones pointless, the line
  // was lost, or the burn was cancelled.
  bool stopped() const { return cancel_ || stop_ || line_lost_; }
  bool pause(int64_t ms);
  bool wait_before(Section next, int seconds);
  void reach(Section stage, int address = -1);
  std::string where_text() const;
  bool send(const char* bytes, size_t size);
  bool send_text(const char* text) { return send(text, std::strlen(text)); }
  bool read_and_trace(const char* format, int count);
  void lose_line(Section stage, const std::string& where);
  void give_up_on_line(Section stage, int address);
  void close_loader();

  void pic_handshake();
  void pic_records();
  bool send_pic_record(int address);
  void section_stage(Section stage);
  void system_font();
  WriteResult write_section(Section stage, WriterContext& context, int lines);
  WriteResult verify(Section stage, WriterContext& context, const ByteImage& written);
  void fail(Section stage, FailureCause cause);
  void finish();

  BoxLink& link_;
  const LoadedChipset& chipset_;
  const BurnSettings& settings_;
  BurnSink& sink_;
  const std::atomic<bool>& cancel_;
  LinkBoxOps box_;
  // What the burns this one continues put into the box, as far as the box
  // has shown it.
  ResumePoint resume_;
  LineHealth health_;
  bool other_box_ = false;  // a resume found a box the burn it continues did not write
  std::vector<std::string> failed_;
  bool stop_ = false;       // a stage gave up: the remaining stages are left out
  bool line_lost_ = false;  // the port failed: nothing more is sent
  // Where the burn is: the stage, the address reached in it (-1 before its
  // first record) and whether it is waiting for that stage to begin.
  Section stage_ = Section::Pic;
  int address_ = -1;
  bool waiting_ = false;
  // Where the first failure happened, for the end's report.
  Section failed_stage_ = Section::Pic;
  int failed_address_ = -1;
  FailureCause failed_because_ = FailureCause::Refused;
  bool nobody_answered_ = false;    // not one byte came back from the box
  uint64_t bytes_read_before_ = 0;  // by the port before this burn
};

// Nothing goes to the box from a file the load found faults in, nor without
// an open port.
bool BurnRun::ready() {
  if (!chipset_clean(chipset_)) {
    sink_.log(sentence::kFileFaulty, kStyleBoldRed);
    sink_.failed_because(FailureCause::FileFaulty);
    sink_.done(false);
    return false;
  }
  if (link_.port().is_open()) return true;
  sink_.log(sentence::kPortClosedBurn, kStyleBoldRed);
  sink_.failed_because(FailureCause::PortClosed);
  sink_.done(false);
  return false;
}

// Protocol pauses in small slices so that a cancel is seen at once.
bool BurnRun::pause(int64_t ms) {
  for (int64_t left = ms; left > 0 && !cancel_; left -= kPauseSliceMs)
    protocol_pause_ms(std::min<int64_t>(left, kPauseSliceMs));
  return !cancel_;
}

// The protocol's fixed delays are said before they begin, so that a front end
// can show the wait rather than a burn that seems to stand still.
bool BurnRun::wait_before(Section next, int seconds) {
  reach(next);
  waiting_ = true;
  if (seconds > 0) sink_.waiting(next, seconds);
  const bool waited = pause(int64_t(seconds) * 1000);
  waiting_ = !waited;  // a burn stopped here stopped in the wait
  return waited;
}

void BurnRun::reach(Section stage, int address) {
  stage_ = stage;
  address_ = address;
}

// "FLASH at 0320", "PIC", or "the wait before FLASH".
std::string BurnRun::where_text() const {
  if (waiting_) return fill_sentence(sentence::kWaitBefore, {stage_name(stage_)});
  if (address_ < 0) return stage_name(stage_);
  return fill_sentence(sentence::kStageAt, {stage_name(stage_), hex_digits(unsigned(address_ & 0xFFFF), 4)});
}

void BurnRun::fail(Section stage, FailureCause cause) {
  if (failed_.empty()) {
    failed_stage_ = stage;
    failed_address_ = stage == stage_ ? address_ : -1;
    failed_because_ = cause;
  }
  failed_.push_back(stage_name(stage));
}

bool BurnRun::send(const char* bytes, size_t size) {
  return link_.port().write(reinterpret_cast<const uint8_t*>(bytes), size) == long(size);
}

void BurnRun::lose_line(Section stage, const std::string& where) {
  if (line_lost_ || cancel_) return;
  line_lost_ = true;
  sink_.log(fill_sentence(sentence::kLineLostAt, {stage_name(stage), where}), kStyleBoldRed);
  sink_.line_lost();
  fail(stage, FailureCause::LineLost);
}

// The line works but so badly that the job would not end in sensible time:
// the later stages are left out, and the log names the line, not the box.
void BurnRun::give_up_on_line(Section stage, int address) {
  sink_.log(fill_sentence(sentence::kPoorLineStop,
                          {stage_name(stage), hex_digits(unsigned(address & 0xFFFF), 4), health_.verdict()}),
            kStyleBoldRed);
  fail(stage, FailureCause::PoorLine);
  stop_ = true;
}

// The four-Z line lets the box leave its loader: it ends every burn, also a
// failed or cancelled one, unless there is no line left to send it on.
void BurnRun::close_loader() {
  if (!line_lost_) send_text(kFourZLine);
}

bool BurnRun::read_and_trace(const char* format, int count) {
  uint8_t buffer[64];
  const BoxLink::ReadResult result = link_.wait_read(buffer, sizeof buffer - 1, count);
  buffer[sizeof buffer - 1] = 0;
  trace(format, reinterpret_cast<const char*>(buffer));
  return result != BoxLink::kReadFailed;
}

// What the box says during the hand-shake is not checked: the reads only let
// its PIC loader take each step in its own time. A failing line is another
// matter.
void BurnRun::pic_handshake() {
  uint8_t banner[64];
  bool line_ok = send_text("Z") && link_.wait_read(banner, sizeof banner, 50) != BoxLink::kReadFailed;
  if (line_ok && !cancel_)
    line_ok = send_text(kTwoZLine) && read_and_trace("1!====<%s>\n", 1) && send_text("*");
  if (line_ok && !cancel_ && pause(2000))
    line_ok = send_text(kFourZLine) && read_and_trace("11!====<%s>\n", 1) && send_text("*") &&
              read_and_trace("2!====<%s>\n", 50);
  if (!line_ok) lose_line(Section::Pic, sentence::kStepHandshake);
}

bool BurnRun::send_pic_record(int address) {
  std::string record = pic_record(chipset_.pic, address);
  reach(Section::Pic, address);
  trace("===<%s>\n", record.c_str());
  for (int attempt = 0; attempt < kPicAttempts && !cancel_; ++attempt) {
    uint8_t echo[kPicRecordLength + 1];
    bool sent = send(record.data(), record.size());
    const int result = sent ? link_.wait_text_echo(echo, sizeof echo, kPicRecordLength, uint8_t(record[0]))
                            : BoxLink::kReadFailed;
    echo[kPicRecordLength] = 0;
    trace("***<%s>\n", reinterpret_cast<const char*>(echo));
    if (result == BoxLink::kReadFailed) {
      lose_line(Section::Pic, hex_digits(unsigned(address & 0xFFFF), 4));
      return false;
    }
    if (std::memcmp(echo, record.data(), kPicRecordLength) == 0) {
      health_.packet(attempt > 0);
      return true;
    }
    trace("ERROR %x\n", result);
    // The echo broke off (the line lost a byte of it): what came of it is
    // thrown away and the record goes again at once, as after any failed
    // attempt. A late rest of this echo, should one still come, holds no
    // ':' and so is never taken for the start of the next.
    if (result == BoxLink::kReadCutShort) link_.discard_input();
    // Not one byte since the burn began, through the hand-shake and a whole
    // record: no box is there, and four more attempts would only wait out
    // their time-outs.
    if (link_.port().bytes_read() == bytes_read_before_) {
      nobody_answered_ = true;
      return false;
    }
    if (attempt + 1 < kPicAttempts) sink_.retried();
  }
  return false;
}

// The PIC stage keeps its own rule: five attempts per record, then "ERROR !"
// and the later stages still run (a box may lack the PIC loader).
void BurnRun::pic_records() {
  bool ok = chipset_.pic_adr_f < chipset_.pic_adr_l;
  for (int address = chipset_.pic_adr_f; ok && address < chipset_.pic_adr_l; address += 8) {
    if (health_.hopeless()) return give_up_on_line(Section::Pic, address);
    ok = send_pic_record(address);
    if (ok && address % 100 == 0)
      sink_.progress(int(static_cast<long long>(address) * 100 / chipset_.pic_adr_l));
  }
  if (cancel_ || line_lost_) return;
  if (nobody_answered_) {
    sink_.log(sentence::kPicSilent, kStyleBoldRed);
    fail(Section::Pic, FailureCause::Silent);
    stop_ = true;
    return;
  }
  if (!ok) {
    sink_.log("ERROR !\n", kStyleBoldRed);
    sink_.log(sentence::kPicNotBurned, kStyleBoldRed);
    fail(Section::Pic, FailureCause::Refused);
    return;
  }
  uint8_t answer[16];
  if (!send(kPicEndRecord, std::strlen(kPicEndRecord)) ||
      link_.wait_read(answer, sizeof answer, 9) == BoxLink::kReadFailed) {
    lose_line(Section::Pic, sentence::kStepEndRecord);
    return;
  }
  trace("***<%s>\n", kPicEndRecord);
  sink_.log(section_info(Section::Pic).done_line, kStyleBoldBlue);
}

WriteResult BurnRun::write_section(Section stage, WriterContext& context, int lines) {
  LineSource source = lines_of(*chipset_.sections->of(stage));
  switch (section_info(stage).writer) {
    case SectionWriter::HexRecords:
      // Every sector is erased again in each burn, before its first write.
      if (stage == Section::Flash) link_.reset_flash_sector();
      return write_hex_section(context, source, lines, target_of(stage));
    case SectionWriter::SystemFont: {
      WriteResult cleared =
          retry_with_recovery(context, [this] { return box_.osd_clr_sysfnt_page(kFontPageFirst, 0xFF); });
      if (cleared == WriteResult::Failed)
        sink_.log(
            fill_sentence(sentence::kFontPageNotCleared, {stage_name(stage), hex_digits(kFontPageFirst, 4)}),
            kStyleBoldRed);
      else
        report_write_result(context, cleared, "", hex_digits(kFontPageFirst, 4));
      if (cleared != WriteResult::Done) return cleared;
      return write_font_section(context, source, lines);
    }
    default: return write_font_section(context, source, lines);
  }
}

// Compared with the file's records, never with what the writer sent: a
// record the writer left out cannot then pass.
WriteResult BurnRun::verify(Section stage, WriterContext& context, const ByteImage& written) {
  sink_.progress(0);
  return verify_section(context, *chipset_.sections->image_of(stage), &written, target_of(stage));
}

void BurnRun::section_stage(Section stage) {
  const SectionInfo& info = section_info(stage);
  sink_.log(info.start_line, kStyleBlue);
  sink_.progress(0);
  sink_.stage_begun(stage);
  ByteImage written;
  const bool read_back = settings_.verify && info.writer == SectionWriter::HexRecords;
  reach(stage);
  WriterContext context{box_, sink_, cancel_, stage_name(stage), read_back ? &written : nullptr, &address_};
  context.health = &health_;
  if (stage == Section::Flash) skip_finished_sectors(context);
  // A file without the section gives the stage nothing to write.
  WriteResult result = WriteResult::Done;
  if (chipset_.flags & section_flag(stage)) result = write_section(stage, context, chipset_.lines_in(stage));
  const bool writes_done = result == WriteResult::Done;
  if (result == WriteResult::Done && read_back) result = verify(stage, context, written);
  // Cut short while writing, the flash is taken up again at the record it
  // reached (or where this burn took it up); a failed read-back leaves no
  // sector to trust.
  if (stage == Section::Flash && result != WriteResult::Done)
    sink_.flash_resumes_at(writes_done ? -1 : address_ >= 0 ? address_ : flash_resume_address());
  if (result == WriteResult::Done) sink_.log(info.done_line, kStyleBoldBlue);
  if (result == WriteResult::LineLost) {
    line_lost_ = true;
    sink_.line_lost();
  }
  if (result != WriteResult::Done && result != WriteResult::Cancelled) {
    fail(stage, failure_cause(result));
    stop_ = true;
  }
  // The box differs from what this resume and the burns before it wrote:
  // none of what they finished can be built on.
  if (result == WriteResult::Mismatch && settings_.resume) take_back_resume_point();
  sink_.stage_ended(stage, result == WriteResult::Done);
  sink_.progress(0);
}

// Sectors the burn being continued finished are left as they are: none of
// their records is sent, so none of them is erased.
void BurnRun::skip_finished_sectors(WriterContext& context) {
  if (flash_resume_address() < 0 || !(chipset_.flags & section_flag(Section::Flash))) return;
  auto finished = std::make_shared<std::vector<bool>>(
      finished_flash_sectors(lines_of(*chipset_.sections->of(Section::Flash)), flash_resume_address()));
  context.already_in_box = [finished](int address) {
    return (*finished)[size_t(address / kFlashSectorBytes)];
  };
}

void BurnRun::take_back_resume_point() {
  resume_ = ResumePoint();
  sink_.resume_point_revised(resume_);
}

// A resume builds on the saved log only as far as the box shows that it is
// the box that log is of. A sample of what the log calls finished is read
// back first; nothing is written before it matches.
bool BurnRun::check_resumed_box() {
  // What the stopped burn left on the line must not be taken for an answer.
  link_.line_recovery();
  const ResumeSample sample = resume_sample(chipset_, resume_);
  if (!sample.empty()) return sample_matches(sample);
  // The PIC program and the fonts cannot be read back: with nothing that can
  // be, no stage the log calls finished is trusted.
  if (resume_.done != 0)
    sink_.log(fill_sentence(sentence::kResumeUnprovable, {stage_list_text(resume_.done)}), kStyleRed);
  if (resume_.done != 0 || resume_.flash_from >= 0) take_back_resume_point();
  return true;
}

bool BurnRun::sample_matches(const ResumeSample& sample) {
  sink_.log(fill_sentence(sentence::kResumeSampling, {std::to_string(sample.bytes())}), kStyleBlue);
  WriterContext context{box_, sink_, cancel_, "", nullptr, &address_};
  context.health = &health_;
  reach(sample.flash.empty() ? Section::Osd : Section::Flash);
  const SampleVerdict verdict = read_resume_sample(context, sample);
  sink_.progress(0);
  if (verdict.read != WriteResult::Done) {
    if (verdict.read == WriteResult::LineLost) {
      line_lost_ = true;
      sink_.line_lost();
    }
    if (verdict.read != WriteResult::Cancelled) fail(stage_, failure_cause(verdict.read));
    return false;
  }
  if (verdict.differ == 0) {
    sink_.log(fill_sentence(sentence::kResumeSameBox, {std::to_string(sample.bytes())}), kStyleGreen);
    return true;
  }
  sink_.log(other_box_line(*settings_.resume), kStyleBoldRed);
  sink_.log(fill_sentence(sentence::kResumeSampleDiffers,
                          {std::to_string(verdict.differ), std::to_string(sample.bytes()),
                           stage_name(verdict.first_stage), hex_digits(unsigned(verdict.first_address), 4),
                           hex_digits(verdict.first_file, 2), hex_digits(verdict.first_box, 2)}),
            kStyleRed);
  take_back_resume_point();
  other_box_ = true;
  return false;
}

void BurnRun::say_resume() {
  const std::string done = stage_list_text(resume_.done);
  if (flash_resume_address() >= 0 && !done_before(Section::Flash) && checked(Section::Flash)) {
    const int sector = flash_resume_address() / kFlashSectorBytes * kFlashSectorBytes;
    sink_.log(fill_sentence(sentence::kResumingFlashFrom, {done, hex_digits(unsigned(sector), 4)}),
              kStyleBlue);
  } else {
    sink_.log(fill_sentence(sentence::kResuming, {done}), kStyleBlue);
  }
}

void BurnRun::system_font() {
  if (wait_before(Section::OsdSysFont, settings_.sysfont_delay)) section_stage(Section::OsdSysFont);
  close_loader();
}

void BurnRun::finish() {
  if (other_box_) {
    sink_.log(sentence::kNothingWritten, kStyleBoldRed);
    sink_.failed_because(FailureCause::OtherBox);
    sink_.done(false);
  } else if (cancel_) {
    sink_.log(fill_sentence(sentence::kStoppedIn, {where_text()}), kStyleBoldRed);
    sink_.log(sentence::kBurnCancelled, kStyleBoldRed);
    sink_.stopped_at(stage_, address_);
    sink_.done(false);
  } else if (!failed_.empty()) {
    std::string names;
    for (const std::string& name : failed_) names += (names.empty() ? "" : ", ") + name;
    sink_.log(fill_sentence(sentence::kBurnFailed, {names}), kStyleBoldRed);
    sink_.failed_because(failed_because_);
    sink_.stopped_at(failed_stage_, failed_address_);
    sink_.done(false);
  } else {
    sink_.done(true);
  }
}

void BurnRun::burn() {
  if (!ready()) return;
  if (settings_.verify) sink_.log(sentence::kVerifyCannotReadAll, kStyleBold);
  if (settings_.resume) {
    // Only reads have gone to the box: it has not been taken into its
    // loader, and nothing (not the four-Z line either) is written.
    if (!check_resumed_box()) return finish();
    say_resume();
  }
  // The hand-shake takes the box into its loader for every later stage; only
  // the PIC records themselves may be left out. A resume whose PIC stage was
  // done finds the box past its PIC loader already.
  const bool pic_done = done_before(Section::Pic);
  const bool pic = settings_.pic_records && !pic_done;
  if (settings_.resume && !pic_done) sink_.log(kBurningPicLine, kStyleBlue);
  if (pic) sink_.stage_begun(Section::Pic);
  reach(Section::Pic);
  if (!pic_done) pic_handshake();
  if (!stopped() && pic) pic_records();
  if (pic) sink_.stage_ended(Section::Pic, !cancel_ && failed_.empty());
  if (!line_lost_ && (pic_done || wait_before(Section::Flash, settings_.flash_delay))) {
    // The sections written inside the loader, in the table's order; the bar
    // is reset before each stage, whether it runs or not.
    for (const SectionInfo& info : section_table()) {
      if (info.writer != SectionWriter::HexRecords && info.writer != SectionWriter::Font) continue;
      sink_.progress(0);
      if (!stopped() && checked(info.section) && !done_before(info.section)) section_stage(info.section);
    }
  }
  sink_.progress(0);
  close_loader();
  sink_.progress(0);
  if (!stopped() && checked(Section::OsdSysFont) && !done_before(Section::OsdSysFont)) {
    sink_.log(kFontLoadingLine, kStyleBlue);
    system_font();
  }
  finish();
}

void BurnRun::system_font_alone() {
  if (!ready()) return;
  if (settings_.verify) sink_.log(sentence::kVerifyNothing, kStyleBold);
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

void continue_burn(const ResumePlan& plan, BurnSettings* settings) {
  const unsigned chosen = plan.chosen;
  settings->stage_checked = [chosen](Section stage) { return (chosen & section_flag(stage)) != 0; };
  settings->pic_records = (chosen & section_flag(Section::Pic)) != 0;
  settings->resume = plan;
}

void run_burn(BoxLink& link, const LoadedChipset& chipset, const BurnSettings& settings, BurnSink& sink,
              const std::atomic<bool>& cancel) {
  BurnRun(link, chipset, settings, sink, cancel).burn();
}

void run_system_font_burn(BoxLink& link, const LoadedChipset& chipset, const BurnSettings& settings,
                          BurnSink& sink, const std::atomic<bool>& cancel) {
  BurnRun(link, chipset, settings, sink, cancel).system_font_alone();
}

}  // namespace tv
