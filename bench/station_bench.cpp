// Station benchmark: eight boxes burned at once through tv::Station against
// one box alone, each a tvbox-sim paced at the line rate. Prints figures;
// asserts nothing.
//
// A box's burn is bound by its line; eight at once should take hardly longer
// than one (target: at most 1.10 times), and the program's own work per box
// (the workers, the reports, a front end asking for snapshots every 100 ms
// as a display would) must stay cheap: the CPU time of the whole process per
// box and per second of burn.
//
//   station_bench [--sim PATH] [--boxes N]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/trace.h"
#include "burn/burn_plan.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "link/ports.h"
#include "station/station.h"
#include "support/paced_sim.h"
#include "support/reference_chipset.h"

namespace {

using benchsupport::SimProcess;
using Clock = std::chrono::steady_clock;

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Each box's port is the simulator's own, reached through its folder.
tv::LineRule lines_of(const std::string& dir) {
  tv::LineRule rule;
  rule.open = [dir](tv::SerialPort& line, const std::string& port) {
    const std::string path = dir + "/" + port + "/ports/com3";
    return tv::open_programming_line(line, path) == tv::kOpened ? std::string() : "the port did not open";
  };
  return rule;
}

struct Round {
  double seconds = 0;
  double cpu = 0;
  int ok = 0;
};

// Burns every box at once, asking for snapshots as a display does.
Round burn_all(const std::string& dir, int boxes, const tv::LoadedChipset& chipset) {
  tv::BurnSettings settings;
  settings.stage_checked = [](tv::Section stage) { return stage != tv::Section::OsdSysFont; };
  unsigned mask = 0;
  for (tv::Section stage : {tv::Section::Pic, tv::Section::Flash, tv::Section::Osd, tv::Section::OsdRusFont})
    mask |= tv::section_flag(stage);
  tv::Station station(lines_of(dir));
  const double cpu_before = cpu_seconds();
  const auto start = Clock::now();
  for (int i = 0; i < boxes; ++i) {
    tv::BoxJob job;
    job.plan = tv::plan_stages(chipset, mask, settings.flash_delay, settings.sysfont_delay);
    job.work = [&chipset, settings](tv::BoxLink& link, tv::BurnSink& sink, const std::atomic<bool>& cancel) {
      tv::run_burn(link, chipset, settings, sink, cancel);
    };
    station.start(station.add("box" + std::to_string(i)), std::move(job));
  }
  while (!station.all_finished()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    station.snapshot();
  }
  Round round;
  round.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  station.join_all();
  round.cpu = cpu_seconds() - cpu_before;
  for (const tv::PortStatus& status : station.snapshot()) round.ok += status.state == tv::BoxState::Ok;
  return round;
}

void print(const char* name, int boxes, const Round& round) {
  std::printf("  %-16s %7.1f s  %d of %d ok  CPU %.2f s = %.3f%% of one core per box\n", name, round.seconds,
              round.ok, boxes, round.cpu, 100 * round.cpu / boxes / round.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim_program = benchsupport::build_dir() + "/tools/tvbox-sim";
  int boxes = 8;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--sim") && i + 1 < argc) {
      sim_program = argv[++i];
    } else if (!std::strcmp(argv[i], "--boxes") && i + 1 < argc) {
      boxes = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: station_bench [--sim PATH] [--boxes N]\n");
      return 2;
    }
  }
  tv::set_trace_enabled(false);
  char pattern[] = "/tmp/station_bench_XXXXXX";
  const std::string dir = mkdtemp(pattern), path = dir + "/reference.hv";
  if (!benchsupport::write_reference_chipset(path)) return 1;
  const tv::LoadedChipset chipset = tv::load_chipset(path);

  int rc = 1;
  std::vector<SimProcess> sims(size_t(boxes) + 1);
  std::error_code made;
  std::filesystem::create_directories(dir + "/alone/box0", made);
  for (int i = 0; i < boxes; ++i)
    std::filesystem::create_directories(dir + "/many/box" + std::to_string(i), made);
  bool started = benchsupport::start_sim(sim_program, dir + "/alone/box0", &sims[0], {"--old-contents"});
  for (int i = 0; started && i < boxes; ++i)
    started = benchsupport::start_sim(sim_program, dir + "/many/box" + std::to_string(i),
                                      &sims[size_t(i) + 1], {"--old-contents"});
  if (started) {
    std::printf("the reference chipset through tv::Station, paced at 57600 baud\n");
    const Round alone = burn_all(dir + "/alone", 1, chipset);
    print("one box", 1, alone);
    const Round many = burn_all(dir + "/many", boxes, chipset);
    print((std::to_string(boxes) + " boxes at once").c_str(), boxes, many);
    std::printf("  %d boxes against one: %.3f   (target <= 1.10)\n", boxes, many.seconds / alone.seconds);
    rc = alone.ok == 1 && many.ok == boxes ? 0 : 1;
  }
  for (SimProcess& sim : sims) benchsupport::stop_sim(&sim, 20000);
  std::system(("rm -rf '" + dir + "'").c_str());
  return rc;
}
