// USB adapter benchmark: what an adapter's latency timer costs a burn, and
// whether the estimate knows it. Prints figures; asserts nothing.
//
// A small but realistic chipset file (a PIC program, 16 KiB of flash, 2 KiB
// of OSD memory, a font of 32 glyphs) is burned through tvbox-burn's own
// station and line rule into tvbox-sim paced at the line rate: plainly, and
// with the simulator holding every answer as an FTDI adapter with a latency
// timer of 1 ms and of 16 ms (--adapter-latency) would. A pseudo-terminal
// has no latency timer of its own to read, so each burn tells the estimate
// the simulated adapter's latency through TVBOX_ADAPTER_LATENCY_MS, as a
// real adapter's would come from sysfs. The estimate is the plan the time
// left of both front ends is made from, with that latency on every exchange.
//
//   adapter_latency_bench [--sim PATH]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/trace.h"
#include "burn/burn_plan.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "cli/box_round.h"
#include "gen/chipset_gen.h"
#include "station/station.h"
#include "support/paced_sim.h"

namespace {

using benchsupport::SimProcess;
using Clock = std::chrono::steady_clock;

constexpr unsigned kStages = tv::section_flag(tv::Section::Pic) | tv::section_flag(tv::Section::Flash) |
                             tv::section_flag(tv::Section::Osd) | tv::section_flag(tv::Section::OsdRusFont);

chipsetgen::Options small_chipset() {
  chipsetgen::Options options;
  options.seed = 2;
  options.pic_bytes = 2048;
  options.flash_bytes = 0x4000;
  options.osd_bytes = 0x800;
  options.glyphs = 32;
  return options;
}

struct Result {
  bool ok = false;
  double seconds = 0;
  double estimate = 0;
  int latency_ms = 0;  // what the line carried for the estimate
};

// One burn into the simulator whose ports are in `sim_dir`, the estimate
// told `assumed_ms` of latency per answer.
Result burn(const std::string& sim_dir, const tv::LoadedChipset& chipset, int assumed_ms) {
  setenv("TVBOX_PORT_DIR", (sim_dir + "/ports").c_str(), 1);
  setenv("TVBOX_ADAPTER_LATENCY_MS", std::to_string(assumed_ms).c_str(), 1);
  tv::BurnSettings settings;
  settings.stage_checked = [](tv::Section stage) { return (kStages & tv::section_flag(stage)) != 0; };
  tv::BoxJob job;
  job.plan = tv::plan_stages(chipset, kStages, settings.flash_delay, settings.sysfont_delay);
  job.work = [&chipset, settings](tv::BoxLink& link, tv::BurnSink& sink, const std::atomic<bool>& cancel) {
    tv::run_burn(link, chipset, settings, sink, cancel);
  };
  tv::StagePlan plan = job.plan;
  tv::Station station(tv::burner_line_rule());
  tv::Box* box = station.add("com3");
  const auto start = Clock::now();
  station.start(box, std::move(job));
  station.join_all();
  Result result;
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.ok = box->status().state == tv::BoxState::Ok;
  // What the line found when it opened (closing it keeps it): the same the
  // station's report planned the time left with.
  result.latency_ms = box->line().answer_latency_ms();
  tv::add_answer_latency(&plan, result.latency_ms);
  result.estimate = tv::plan_total_seconds(plan);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim_program = benchsupport::build_dir() + "/tools/tvbox-sim";
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--sim") && i + 1 < argc) {
      sim_program = argv[++i];
    } else {
      std::fprintf(stderr, "usage: adapter_latency_bench [--sim PATH]\n");
      return 2;
    }
  }
  tv::set_trace_enabled(false);
  char pattern[] = "/tmp/adapter_latency_bench_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string path = dir + "/small.hv";
  std::string error;
  if (!chipsetgen::write_chipset(path, chipsetgen::generate(small_chipset()).text, false, &error)) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  const tv::LoadedChipset chipset = tv::load_chipset(path);
  const tv::StagePlan plan = tv::plan_stages(chipset, kStages, 3, 6);
  std::printf(
      "a burn of PIC, FLASH, OSD and RusFont (%.0f exchanges) at 57600 baud, by the adapter's\n"
      "latency timer\n\n",
      tv::plan_total_exchanges(plan));
  std::printf("  %-16s %10s %12s %16s\n", "adapter", "burn", "estimate", "estimate/actual");
  int rc = 0;
  for (int latency : {0, 1, 16}) {
    SimProcess sim;
    const std::string sim_dir = dir + "/latency" + std::to_string(latency);
    std::vector<std::string> options;
    if (latency > 0) options = {"--adapter-latency", std::to_string(latency)};
    if (!benchsupport::start_sim(sim_program, sim_dir, &sim, options)) {
      rc = 1;
      break;
    }
    const Result result = burn(sim_dir, chipset, latency);
    benchsupport::stop_sim(&sim, 20000);
    const std::string name = latency ? std::to_string(latency) + " ms timer" : "none (plain line)";
    std::printf("  %-16s %8.1f s %10.1f s %15.3f%s\n", name.c_str(), result.seconds, result.estimate,
                result.estimate / result.seconds, result.ok ? "" : "  FAILED");
    std::fflush(stdout);
    if (!result.ok) rc = 1;
  }
  std::system(("rm -rf '" + dir + "'").c_str());
  return rc;
}
