// Resuming a burn from its saved log, against the box simulator: the first
// burn is cut short (its line lost mid-flash, or stopped in the OSD or the
// RusFont stage), a second simulated box starts from the first one's memory
// images, and the resumed burn must leave it exactly as a whole burn leaves
// a box, sending only what was owed.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/read_back.h"
#include "burn/resume_check.h"
#include "burn/resume_plan.h"
#include "burn_test_support.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

using burntest::RecordingSink;

constexpr int kBurnDeadlineMs = 240000;
constexpr int kFlashSectors = 4;

// Sets the cancel flag once `stage` has reported some progress: a Stop
// pressed in the middle of that stage.
class StoppingSink : public RecordingSink {
 public:
  StoppingSink(int stop_in, std::atomic<bool>& cancel) : stop_in_(stop_in), cancel_(cancel) {}
  void stage_begun(tv::Section stage) override {
    running_ = int(stage);
    RecordingSink::stage_begun(stage);
  }
  void progress(int percent) override {
    if (running_ == stop_in_ && percent > 0) cancel_ = true;
    RecordingSink::progress(percent);
  }

 private:
  int stop_in_;
  std::atomic<bool>& cancel_;
  int running_ = -1;
};

struct BoxRun {
  testsupport::SimulatedBox box;
  tv::SerialPort port;
  tv::BoxLink link{port};
  explicit BoxRun(const boxsim::Faults& faults, const boxsim::Memories* start_from = nullptr)
      : box("resume") {
    box.sim().set_faults(faults);
    if (start_from) box.sim().set_memories(*start_from);
    std::string error;
    EXPECT_TRUE(box.start(&error)) << error;
    EXPECT_EQ(box.open_programming_port(port), tv::kOpened);
  }
  ~BoxRun() { port.close(); }
};

tv::BurnLogHeader header_for(const tv::LoadedChipset& chipset, const tv::ResumePlan* resumes) {
  tv::BurnLogHeader header;
  header.program = "test";
  header.chipset_path = chipset.path;
  header.chipset_size = chipset.size;
  header.chipset_sha256 = chipset.sha256;
  header.port = "com3";
  header.settings = {{"sections", "PIC,Flash,OSD,OSD RusFont,OSD SysFont"}};
  if (resumes) header.resumes = resumes->log_path;
  return header;
}

// One burn into `run`'s box with its saved log in `log_dir`.
void burn(BoxRun& run, const tv::LoadedChipset& chipset, const tv::ResumePlan* plan,
          const std::string& log_dir, RecordingSink& sink, std::atomic<bool>& cancel, bool verify = false) {
  tv::BurnLogFile log(sink);
  ASSERT_TRUE(log.open(log_dir, header_for(chipset, plan), nullptr));
  log.set_cancel_flag(&cancel);
  tv::BurnSettings settings;
  settings.flash_delay = 0;
  settings.sysfont_delay = 0;
  settings.verify = verify || plan != nullptr;
  if (plan) {
    settings.resume = *plan;
    log.carry_resume_point(plan->point);
  }
  std::thread worker([&] { tv::run_burn(run.link, chipset, settings, log, cancel); });
  bool ended = testsupport::wait_for([&] { return !sink.done_calls().empty(); }, kBurnDeadlineMs);
  worker.join();
  ASSERT_TRUE(ended);
}

// What a log looks like when the program died in the burn: the lines up to
// then, no Failures, Outcome or Resume lines.
void cut_off_the_end(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    ASSERT_NE(text.find("\nResume:"), std::string::npos);
    std::ofstream(entry.path(), std::ios::trunc) << text.substr(0, text.find("\nFailures:"));
  }
}

class Resume : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    tv::set_pause_scale_percent(1);
    chipsetgen::Options options = testsupport::small_chipset_options();
    options.flash_bytes = kFlashSectors * 4096;
    generated_ = chipsetgen::generate(options);
    ASSERT_TRUE(chipsetgen::write_chipset(scratch_.file("firmware.hv"), generated_.text, false, nullptr));
    chipset_ = tv::load_chipset(scratch_.file("firmware.hv"));
    old_.old_contents = true;
  }
  void TearDown() override { tv::set_pause_scale_percent(100); }

  // What a whole burn leaves in a box that held the old firmware.
  boxsim::Memories whole_burn() {
    BoxRun run(old_);
    RecordingSink sink;
    std::atomic<bool> cancel{false};
    burn(run, chipset_, nullptr, scratch_.file("reference-logs"), sink, cancel);
    EXPECT_EQ(sink.done_calls(), std::vector<bool>{true});
    return run.box.sim().memories();
  }

  testsupport::TempDir scratch_{"resume"};
  chipsetgen::Generated generated_;
  tv::LoadedChipset chipset_;
  boxsim::Faults old_;
};

TEST_F(Resume, ABurnCutShortIsFinishedExactlyWithOnlyWhatItOwed) {
  const boxsim::Memories expected = whole_burn();
  struct Case {
    const char* name;
    int vanish_after_flash_writes;  // the line is lost after this many flash records
    int stop_in;                    // or the burn is stopped in this stage
    uint64_t sector_erases;         // by the resumed burn
    const char* resume_line;
    const char* or_resume_line;  // the answer to the last write may still get through
    bool killed = false;         // the program died: its log has no end, no Resume line
  };
  // 600 records of 256 a sector: the line goes in the third sector. The
  // 600th answer is on the wire when the line goes; whether the burn reads
  // it before the hang-up is the machine's scheduling, so the burn fails at
  // the 600th or the 601st record; both are in the same sector.
  const Case cases[] = {
      {"line lost in FLASH", 600, -1, 2, "done=PIC; flash-from=2570", "done=PIC; flash-from=2580"},
      {"stopped in OSD", 0, int(tv::Section::Osd), 0, "done=PIC,FLASH; flash-from=start", nullptr},
      {"stopped in RusFont", 0, int(tv::Section::OsdRusFont), 0, "done=PIC,FLASH,OSD; flash-from=start",
       nullptr},
      {"killed in OSD", 0, int(tv::Section::Osd), 0, "done=PIC,FLASH; flash-from=start", nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string logs = scratch_.file(std::string("logs-") + std::to_string(&c - cases));
    boxsim::Faults faults = old_;
    faults.vanish_after_flash_writes = c.vanish_after_flash_writes;
    std::atomic<bool> cancel{false};
    auto first = std::make_unique<BoxRun>(faults);
    StoppingSink cut(c.stop_in, cancel);
    burn(*first, chipset_, nullptr, logs, cut, cancel);
    ASSERT_EQ(cut.done_calls(), std::vector<bool>{false});
    if (c.killed) cut_off_the_end(logs);
    // The second box starts from the images the first one wrote.
    ASSERT_TRUE(first->box.sim().write_images(scratch_.file("images")));
    first.reset();
    boxsim::Memories left;
    std::string error;
    ASSERT_TRUE(boxsim::read_memory_images(scratch_.file("images"), &left, &error)) << error;

    tv::ResumePlan plan;
    ASSERT_TRUE(tv::find_resume_plan(logs, "com3", chipset_.sha256, &plan, &error)) << error;
    const std::string point = tv::resume_point_text(plan.point);
    EXPECT_TRUE(point == c.resume_line || (c.or_resume_line && point == c.or_resume_line)) << point;
    BoxRun second(boxsim::Faults{}, &left);
    RecordingSink resumed;
    std::atomic<bool> no_cancel{false};
    burn(second, chipset_, &plan, logs, resumed, no_cancel);
    EXPECT_EQ(resumed.done_calls(), std::vector<bool>{true});
    EXPECT_TRUE(resumed.has_line("FLASH verified: 16384 bytes\n") || c.vanish_after_flash_writes == 0);
    const boxsim::Stats stats = second.box.sim().stats();
    EXPECT_EQ(stats.pic_records, 0u);
    EXPECT_FALSE(resumed.has_line("Burning PIC...\n"));
    EXPECT_EQ(stats.sector_erases, c.sector_erases);
    const boxsim::Memories held = second.box.sim().memories();
    EXPECT_TRUE(held.flash == expected.flash && held.osd == expected.osd && held.font == expected.font &&
                held.pic == expected.pic);
    // The resumed burn's log names the one it continued, and ended well:
    // nothing is left to resume.
    tv::ResumePlan again;
    EXPECT_FALSE(tv::find_resume_plan(logs, "com3", chipset_.sha256, &again, &error));
    EXPECT_NE(error.find("ended well"), std::string::npos) << error;
  }
}

// The sectors a Flash stage had finished: only those whose every record came
// before the one it stopped at, also when the file's records are out of order
// or a record reaches over a sector's end.
TEST(ResumeSectors, OnlySectorsWhollyWrittenBeforeTheStopCountAsFinished) {
  auto record = [](int address) {
    return chipsetgen::hex_record(0, address, std::vector<uint8_t>(16, 0x11)) + "\r\n";
  };
  struct Case {
    std::vector<int> addresses;
    int stopped_at;
    std::vector<bool> finished;  // sectors 0..3
  };
  const Case cases[] = {
      {{0x0000, 0x1000, 0x2000, 0x3000}, 0x2000, {true, true, false, false}},
      {{0x2000, 0x0000, 0x1000, 0x2010}, 0x1000, {true, false, false, false}},   // 2000 is written again
      {{0x0000, 0x0FF8, 0x1000, 0x2000}, 0x1000, {false, false, false, false}},  // 0FF8 reaches into sector 1
      {{0x0000, 0x1000}, 0x5000, {false, false, false, false}},                  // no such record
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines;
    for (int address : c.addresses) lines.push_back(record(address));
    std::vector<bool> finished = tv::finished_flash_sectors(burntest::lines_of(lines), c.stopped_at);
    finished.resize(4);
    EXPECT_EQ(finished, c.finished) << c.stopped_at;
  }
}

// A verify that fails leaves no flash sector to build on; in a resumed burn
// it leaves no stage at all, PIC included, since the box may not be the one
// the log is of.
TEST_F(Resume, AFailedVerifyLeavesNoSectorToTrustAndInAResumeNoStage) {
  boxsim::Faults weak = old_;
  weak.wrong_flash_byte = 0x1234;
  BoxRun run(weak);
  const std::string logs = scratch_.file("weak-logs");
  std::atomic<bool> cancel{false};
  RecordingSink first;
  burn(run, chipset_, nullptr, logs, first, cancel, true);
  ASSERT_EQ(first.done_calls(), std::vector<bool>{false});
  tv::ResumePlan plan;
  std::string error;
  ASSERT_TRUE(tv::find_resume_plan(logs, "com3", chipset_.sha256, &plan, &error)) << error;
  EXPECT_EQ(tv::resume_point_text(plan.point), "done=PIC; flash-from=start");

  // Nothing finished can be read back: the PIC stage is burned again.
  const uint64_t pic_records = run.box.sim().stats().pic_records;
  RecordingSink resumed;
  burn(run, chipset_, &plan, logs, resumed, cancel);
  EXPECT_EQ(resumed.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(resumed.has_line(
      "Nothing the burn being resumed finished can be read back to show this is the same box: PIC will be "
      "burned again.\n"));
  EXPECT_TRUE(resumed.has_line("Burning PIC...\n"));
  EXPECT_GT(run.box.sim().stats().pic_records, pic_records);
  ASSERT_TRUE(tv::find_resume_plan(logs, "com3", chipset_.sha256, &plan, &error)) << error;
  EXPECT_EQ(tv::resume_point_text(plan.point), "done=none; flash-from=start");
}

// What a resume reads back before it trusts the log: the head and the tail
// of every finished flash sector and of every 4 KiB of a finished OSD, with
// the file's values; nothing at all when only unreadable stages are done.
TEST_F(Resume, TheSampleIsTheHeadAndTailOfEachFinishedBlock) {
  const unsigned pic = tv::section_flag(tv::Section::Pic), flash = tv::section_flag(tv::Section::Flash),
                 osd = tv::section_flag(tv::Section::Osd);
  struct Case {
    tv::ResumePoint point;
    std::vector<int> flash_starts;  // of each run of 16 sampled bytes
    std::vector<int> osd_starts;
  };
  const Case cases[] = {
      {{pic, 0x2570}, {0x0000, 0x0FF0, 0x1000, 0x1FF0}, {}},
      {{pic | flash | osd, -1},
       {0x0000, 0x0FF0, 0x1000, 0x1FF0, 0x2000, 0x2FF0, 0x3000, 0x3FF0},
       {0x0000, 0x01F0}},
      {{pic, -1}, {}, {}},
      {{0, 0x0100}, {}, {}},
  };
  const tv::WrittenImage flash_image = tv::image_to_burn(chipset_, tv::Section::Flash);
  const tv::WrittenImage osd_image = tv::image_to_burn(chipset_, tv::Section::Osd);
  for (const Case& c : cases) {
    SCOPED_TRACE(tv::resume_point_text(c.point));
    const tv::ResumeSample sample = tv::resume_sample(chipset_, c.point);
    auto runs_of = [](const std::vector<std::pair<int, uint8_t>>& bytes) {
      std::vector<int> starts;
      for (size_t i = 0; i < bytes.size(); i += 16) starts.push_back(bytes[i].first);
      for (size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(bytes[i].first, bytes[i / 16 * 16].first + int(i % 16));
      return starts;
    };
    EXPECT_EQ(runs_of(sample.flash), c.flash_starts);
    EXPECT_EQ(runs_of(sample.osd), c.osd_starts);
    EXPECT_EQ(sample.empty(), c.flash_starts.empty() && c.osd_starts.empty());
    for (const auto& byte : sample.flash) EXPECT_EQ(byte.second, flash_image.value(byte.first));
    for (const auto& byte : sample.osd) EXPECT_EQ(byte.second, osd_image.value(byte.first));
  }
}

// Another box on the port (a fresh one here) does not hold what the burn
// being resumed wrote: the resume reads its sample, writes nothing, names
// the burn by its date and port, and leaves a log with nothing to trust.
TEST_F(Resume, AnotherBoxOnThePortIsRefusedWithNothingWritten) {
  const std::string logs = scratch_.file("other-box-logs");
  {
    boxsim::Faults faults = old_;
    faults.vanish_after_flash_writes = 600;
    BoxRun first(faults);
    RecordingSink cut;
    std::atomic<bool> cancel{false};
    burn(first, chipset_, nullptr, logs, cut, cancel);
    ASSERT_EQ(cut.done_calls(), std::vector<bool>{false});
  }
  tv::ResumePlan plan;
  std::string error;
  ASSERT_TRUE(tv::find_resume_plan(logs, "com3", chipset_.sha256, &plan, &error)) << error;
  {
    // A box that falls silent while its sample is read proves nothing: the
    // resume ends there, with nothing written.
    boxsim::Faults silent;
    silent.silent_after = 5;
    BoxRun quiet(silent);
    RecordingSink unread;
    std::atomic<bool> cancel{false};
    burn(quiet, chipset_, &plan, logs, unread, cancel);
    EXPECT_EQ(unread.done_calls(), std::vector<bool>{false});
    EXPECT_TRUE(unread.has_red_line_containing("The box stopped answering"));
    EXPECT_TRUE(testsupport::only_reads(quiet.box.sim().received()));
  }
  BoxRun fresh(boxsim::Faults{});
  const boxsim::Memories before = fresh.box.sim().memories();
  RecordingSink refused;
  std::atomic<bool> cancel{false};
  burn(fresh, chipset_, &plan, logs, refused, cancel);
  EXPECT_EQ(refused.done_calls(), std::vector<bool>{false});
  EXPECT_TRUE(testsupport::only_reads(fresh.box.sim().received()));
  EXPECT_TRUE(fresh.box.sim().memories().flash == before.flash);
  EXPECT_EQ(plan.port, "com3");
  ASSERT_EQ(plan.started.size(), 19u) << plan.started;  // "2026-12-08 14:10:05"
  EXPECT_TRUE(refused.has_line("this box does not hold what the burn of " + plan.started +
                               " wrote to com3; burn it whole.\n"));
  bool named_first = false;  // the file's first flash byte is not the erased box's FF
  for (const std::string& text : refused.texts())
    named_first =
        named_first || text.find("bytes read back differ, first FLASH at 0x0000") != std::string::npos;
  EXPECT_TRUE(named_first);
  EXPECT_FALSE(refused.has_line("Burning PIC...\n"));
  ASSERT_TRUE(tv::find_resume_plan(logs, "com3", chipset_.sha256, &plan, &error)) << error;
  EXPECT_EQ(tv::resume_point_text(plan.point), "done=none; flash-from=start");
}

}  // namespace
