// The burn station against simulated boxes: boxes burned at once, each
// ending alone however the others end, one cancelled, one whose port never
// opens, and a halted station whose late jobs start cancelled.
#include <gtest/gtest.h>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "station/station.h"
#include "support/box_images.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace {

constexpr int kRoundDeadlineMs = 120000;

// Each line opened as tvbox-burn opens it, closed after each job.
tv::LineRule opening_rule() {
  tv::LineRule rule;
  rule.open = [](tv::SerialPort& line, const std::string& port) {
    return tv::open_programming_line(line, port) == tv::kOpened ? std::string() : "cannot open " + port;
  };
  return rule;
}

tv::BoxJob burn_job(const tv::LoadedChipset& chipset) {
  tv::BurnSettings settings;
  settings.flash_delay = settings.sysfont_delay = 0;
  tv::BoxJob job;
  job.plan = tv::plan_stages(chipset, chipset.flags, 0, 0);  // every stage the file holds
  job.work = [&chipset, settings](tv::BoxLink& link, tv::BurnSink& sink, const std::atomic<bool>& cancel) {
    tv::run_burn(link, chipset, settings, sink, cancel);
  };
  return job;
}

enum class Act { Burn, CancelMidFlash, NoPort };

struct BoxCase {
  const char* name;
  boxsim::Faults faults;
  Act act;
  tv::BoxState end;
  const char* failure_kind;  // null: none
};

boxsim::Faults slow_answers() {
  boxsim::Faults faults;
  faults.answer_delay_ms = 15;  // still burning when the silent box is cancelled
  return faults;
}

boxsim::Faults silent_mid_flash() {
  boxsim::Faults faults;
  faults.silent_after_flash_writes = 10;
  return faults;
}

}  // namespace

TEST(Station, BoxesEndAloneAndTheRoundIsTalliedAndAHaltedStationStartsItsJobsCancelled) {
  tv::set_trace_enabled(false);
  tv::set_pause_scale_percent(1);
  testsupport::TempDir scratch("station");
  const chipsetgen::Generated generated = chipsetgen::generate(testsupport::small_chipset_options());
  ASSERT_TRUE(chipsetgen::write_chipset(scratch.file("f.hv"), generated.text, false, nullptr));
  const tv::LoadedChipset chipset = tv::load_chipset(scratch.file("f.hv"));

  const BoxCase cases[] = {
      {"good", {}, Act::Burn, tv::BoxState::Ok, nullptr},
      {"slow", slow_answers(), Act::Burn, tv::BoxState::Ok, nullptr},
      {"silent mid-flash, cancelled", silent_mid_flash(), Act::CancelMidFlash, tv::BoxState::Cancelled,
       tv::kFailureCancelled},
      {"no port", {}, Act::NoPort, tv::BoxState::Failed, tv::kFailurePort},
  };
  std::vector<std::unique_ptr<testsupport::SimulatedBox>> sims;
  tv::Station station(opening_rule());
  std::vector<tv::Box*> boxes;
  for (const BoxCase& c : cases) {
    sims.push_back(std::make_unique<testsupport::SimulatedBox>("station-box"));
    sims.back()->sim().set_faults(c.faults);
    std::string error;
    ASSERT_TRUE(sims.back()->start(&error)) << error;
    const std::string port =
        c.act == Act::NoPort ? scratch.file("no-such-port") : sims.back()->sim().programming_path();
    boxes.push_back(station.add(port));
    ASSERT_NE(boxes.back(), nullptr);
    EXPECT_EQ(station.add(port), nullptr) << "a port is in the station once";
  }
  for (tv::Box* box : boxes) EXPECT_TRUE(station.start(box, burn_job(chipset)));

  tv::Box* slow = boxes[1];
  tv::Box* silent = boxes[2];
  ASSERT_TRUE(testsupport::wait_for([&] { return silent->status().stage == "FLASH"; }, kRoundDeadlineMs));
  ASSERT_EQ(slow->status().state, tv::BoxState::Running) << "the cancel must come while another box burns";
  station.cancel(silent);
  EXPECT_FALSE(station.remove(slow)) << "a busy box stays";
  EXPECT_FALSE(station.start(slow, burn_job(chipset))) << "one job at a time";
  EXPECT_EQ(station.find(slow->port()), slow);

  ASSERT_TRUE(testsupport::wait_for([&] { return station.all_finished(); }, kRoundDeadlineMs));
  station.join_all();
  const std::vector<tv::PortStatus> ends = station.snapshot();
  ASSERT_EQ(ends.size(), 4u);
  for (size_t i = 0; i < ends.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(ends[i].state, cases[i].end) << ends[i].first_failure;
    EXPECT_STREQ(ends[i].failure_kind ? ends[i].failure_kind : "",
                 cases[i].failure_kind ? cases[i].failure_kind : "");
    if (cases[i].end == tv::BoxState::Ok) {
      EXPECT_TRUE(testsupport::box_holds(sims[i]->sim().memories(), generated.images));
    }
  }
  EXPECT_EQ(ends[2].failure_stage, "FLASH");
  EXPECT_EQ(ends[3].first_failure, "cannot open " + scratch.file("no-such-port"));
  const tv::StationTally tally = tv::tally(ends);
  EXPECT_EQ(tally.boxes, 4);
  EXPECT_EQ(tally.running, 0);
  EXPECT_EQ(tally.ok, 2);
  EXPECT_EQ(tally.failed, 1);
  EXPECT_EQ(tally.cancelled, 1);

  // The program is ending: a job started after the halt is cancelled before
  // it writes anything, and the box can go once its worker has ended.
  const uint64_t erases_before = sims[0]->sim().stats().sector_erases;
  station.halt();
  EXPECT_TRUE(station.halted());
  ASSERT_TRUE(station.start(boxes[0], burn_job(chipset)));
  ASSERT_TRUE(testsupport::wait_for([&] { return boxes[0]->finished(); }, kRoundDeadlineMs));
  station.join_all();
  EXPECT_EQ(boxes[0]->status().state, tv::BoxState::Cancelled);
  EXPECT_EQ(sims[0]->sim().stats().sector_erases, erases_before);
  EXPECT_TRUE(station.remove(boxes[0]));
  EXPECT_EQ(station.boxes().size(), 3u);
  tv::set_pause_scale_percent(100);
}
