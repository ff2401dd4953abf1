// The burn's plan, which the time left of both front ends comes from: what
// each stage costs by the size of the file, what a resume still owes, and
// the time left it gives for a burn on and off its pace. The costs were
// measured against the simulator paced at 57600 baud (bench/time_left_bench).
#include <gtest/gtest.h>

#include <string>

#include "base/trace.h"
#include "burn/burn_plan.h"
#include "burn/chipset_file.h"
#include "burn/resume_plan.h"
#include "gen/chipset_gen.h"
#include "support/temp_dir.h"

namespace {

constexpr unsigned kPic = tv::section_flag(tv::Section::Pic);
constexpr unsigned kFlash = tv::section_flag(tv::Section::Flash);
constexpr unsigned kOsd = tv::section_flag(tv::Section::Osd);

// Seconds are compared to the millisecond: a cost that moves by a record's
// share of a byte shows.
constexpr double kNear = 0.001;
// An FTDI adapter's latency timer by default, in seconds.
constexpr double kHold = 0.016;

TEST(BurnPlan, StageCostsFollowTheRecordsOfTheFile) {
  struct Case {
    const char* what;
    int pic_records;  // 8 bytes each
    int flash_lines;
    int osd_lines;
    int flash_delay;
    double pic_seconds;  // the hand-shake, the records and the flash delay
    double flash_seconds;
    double osd_seconds;
    int latency_ms = 0;  // what a USB adapter holds each answer
  };
  // The PIC: 8 s of hand-shake (two reads that end in 3 s of silence and a
  // 2 s pause), then per record 26 characters each way and the loader's two
  // characters' time to echo it, at 5760 characters a second.
  // The flash: 32 bytes a line, and 2 s for each sector's erase.
  const Case cases[] = {
      {"no PIC program, the delay only", 0, 0, 0, 3, 8.0 + 3, 2.0, 6.0},
      {"a small PIC program", 64, 0, 0, 3, 8.0 + 64 * 54 / 5760.0 + 3, 2.0, 6.0},
      {"a PIC program of 8 KiB", 1024, 0, 0, 3, 8.0 + 1024 * 54 / 5760.0 + 3, 2.0, 6.0},
      {"a long flash delay", 1024, 0, 0, 20, 8.0 + 1024 * 54 / 5760.0 + 20, 2.0, 6.0},
      {"64 KiB of flash", 0, 4096, 0, 3, 11.0, 4096 * 32 / 5760.0 + (4096 / 256.0 + 1) * 2, 6.0},
      {"8 KiB of OSD", 0, 0, 512, 3, 11.0, 2.0, 6.0 + 512 * 32 / 5760.0},
      // Behind an adapter's 16 ms timer: every record and every sector erase
      // is a packet whose answer waits that long after its first byte, less
      // the rest of the answer crossing the line meanwhile: 25 characters of
      // a PIC record's echo, 5 of a 16-byte record's answer.
      {"a PIC program behind an adapter", 1024, 0, 0, 3, 8.0 + 1024 * (54 / 5760.0 + kHold - 25 / 5760.0) + 3,
       2.0 + kHold - 5 / 5760.0, 6.0, 16},
      {"flash and OSD behind an adapter", 0, 4096, 512, 3, 11.0,
       4096 * (32 + 5760 * kHold - 5) / 5760.0 + (4096 / 256.0 + 1) * (2 + kHold - 5 / 5760.0),
       6.0 + 512 * (32 + 5760 * kHold - 5) / 5760.0, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tv::LoadedChipset chipset;
    chipset.pic_adr_f = 0x10;
    chipset.pic_adr_l = 0x10 + 8 * c.pic_records;
    chipset.section_lines[int(tv::Section::Flash)] = c.flash_lines;
    chipset.section_lines[int(tv::Section::Osd)] = c.osd_lines;
    tv::StagePlan plan = tv::plan_stages(chipset, kPic | kFlash | kOsd, c.flash_delay, 6);
    tv::add_answer_latency(&plan, c.latency_ms);
    EXPECT_NEAR(plan.seconds[int(tv::Section::Pic)], c.pic_seconds, kNear);
    EXPECT_NEAR(plan.seconds[int(tv::Section::Flash)], c.flash_seconds, kNear);
    EXPECT_NEAR(plan.seconds[int(tv::Section::Osd)], c.osd_seconds, kNear);
    EXPECT_NEAR(tv::plan_total_seconds(plan), c.pic_seconds + c.flash_seconds + c.osd_seconds, kNear);
  }
  // A font row is two bytes, one packet each, each echoed whole (12 bytes);
  // a timer shorter than the echo itself costs nothing.
  tv::LoadedChipset fonts;
  fonts.section_lines[int(tv::Section::OsdRusFont)] = 100;
  tv::StagePlan plan = tv::plan_stages(fonts, tv::section_flag(tv::Section::OsdRusFont), 3, 6);
  const double without = tv::plan_total_seconds(plan);
  tv::StagePlan short_timer = plan;
  tv::add_answer_latency(&short_timer, 1);
  EXPECT_NEAR(tv::plan_total_seconds(short_timer), without, kNear);
  tv::add_answer_latency(&plan, 16);
  EXPECT_NEAR(tv::plan_total_seconds(plan) - without, 100 * 2 * (kHold - 11 / 5760.0), kNear);
}

// A resume of a burn whose line was lost in the second half of the flash:
// the PIC program and its flash delay are behind it, the flash is written
// from the first unfinished sector on, and the percent the burn reports for
// the flash starts where the records it skips end.
TEST(BurnPlan, AResumePlansOnlyWhatItOwes) {
  tv::set_trace_enabled(false);
  chipsetgen::Options options;
  options.flash_bytes = 0x10000;
  options.osd_bytes = 0x800;
  testsupport::TempDir dir{"burn_plan"};
  ASSERT_TRUE(
      chipsetgen::write_chipset(dir.file("firmware.hv"), chipsetgen::generate(options).text, false, nullptr));
  const tv::LoadedChipset chipset = tv::load_chipset(dir.file("firmware.hv"));
  tv::ResumePlan resume;
  resume.chosen = kPic | kFlash | kOsd;
  resume.point.done = kPic;
  resume.point.flash_from = 0xC010;  // in sector 12: sectors 0 to 11 are finished

  const tv::StagePlan whole = tv::plan_stages(chipset, resume.chosen, 3, 6);
  const tv::StagePlan plan = tv::plan_resume(chipset, resume, 3, 6);
  EXPECT_FALSE(plan.runs[int(tv::Section::Pic)]);
  const int flash = int(tv::Section::Flash);
  // 16 KiB of 16-byte records left in 4 sectors.
  EXPECT_NEAR(plan.seconds[flash], 1024 * 32 / 5760.0 + 4 * 2.0, kNear);
  EXPECT_NEAR(plan.exchanges[flash], 1024 + 4, kNear);
  const double lines = chipset.lines_in(tv::Section::Flash);
  EXPECT_NEAR(plan.skipped[flash], 1 - 1024 / lines, kNear);
  EXPECT_NEAR(tv::plan_total_seconds(plan), plan.seconds[flash] + whole.seconds[int(tv::Section::Osd)],
              kNear);
  // The first percent the burn reports after the records it skipped is the
  // stage's start, and its 100 % the stage's end.
  const int skipped = int(100 * plan.skipped[flash]) + 1;
  EXPECT_LE(tv::planned_stage_percent(plan, flash, skipped, 0), 4);
  EXPECT_EQ(tv::planned_stage_percent(plan, flash, 100, 0), 100);
  // A flash whose every record was behind the resume is done when it says so.
  tv::StagePlan all_behind = plan;
  all_behind.skipped[flash] = 1;
  EXPECT_EQ(tv::planned_stage_percent(all_behind, flash, 100, 0), 100);

  // Without the PIC behind it, the resume waits the flash delay as any burn.
  resume.point.done = 0;
  EXPECT_NEAR(tv::plan_resume(chipset, resume, 3, 6).seconds[int(tv::Section::Pic)],
              whole.seconds[int(tv::Section::Pic)], kNear);
}

// The time left is the plan's seconds still ahead, on a good line exactly;
// a line that has gone at half the plan's pace stretches them as far as the
// burn has got, so that one slow second at the start is not taken for the
// pace of the whole burn.
TEST(BurnPlan, TimeLeftIsThePlanAheadAtThePaceSoFar) {
  tv::LoadedChipset chipset;
  chipset.section_lines[int(tv::Section::Osd)] = 1080;  // 6 s of clear, 6 s of records
  const tv::StagePlan plan = tv::plan_stages(chipset, kOsd, 3, 6);
  const int osd = int(tv::Section::Osd);
  struct Case {
    int percent;
    double elapsed;
    double left;
  };
  const Case cases[] = {
      {50, 6.0, 6.0},               // on pace: half of 12 s
      {50, 12.0, 6.0 * 1.5},        // half the pace, half way: trusted by half
      {25, 6.0, 9.0 * (1 + 0.25)},  // a quarter in twice the time
      {100, 20.0, 0.0},             // at the end nothing is left however slow
  };
  for (const Case& c : cases)
    EXPECT_NEAR(tv::estimate_seconds_left(plan, 0, osd, c.percent, c.elapsed), c.left, kNear)
        << c.percent << "% after " << c.elapsed << " s";
  EXPECT_LT(tv::estimate_seconds_left(plan, 0, osd, 0, 5.0), 0) << "nothing to go on yet";
}

}  // namespace
