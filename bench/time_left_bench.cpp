// Time-left benchmark: how far the time left that both front ends show (the
// box's report, from the burn's plan) is from the burn's real end. Prints
// figures; asserts nothing.
//
// Each burn runs through tv::Station into a tvbox-sim paced at the line rate,
// with the reference chipset and a PIC program of the size real packages
// carry. The time left is sampled every second; once the burn has ended, each
// sample from the 10th second on is set against the seconds that really
// were left then. The error printed is the largest difference, as a share of
// the burn's whole time (a minute wrong in a ten-minute burn is 10 %), and in
// seconds, with the stage it came in. Three burns: the PIC, Flash, OSD and
// RusFont stages; the same with the system font (tvbox-burn --sysfont); and
// a resume of a burn whose line was lost at 90 % of the flash.
//
//   time_left_bench [--sim PATH] [--pic-bytes N]
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/trace.h"
#include "burn/burn_plan.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burn/resume_plan.h"
#include "link/ports.h"
#include "station/station.h"
#include "support/paced_sim.h"
#include "support/reference_chipset.h"

namespace {

using benchsupport::SimProcess;
using Clock = std::chrono::steady_clock;

constexpr double kFirstSampleSeconds = 10;

struct Sample {
  double at = 0;    // seconds since the start
  double left = 0;  // what the report said
  std::string stage;
};

// The seconds each stage really took, to set beside the plan's.
class StageClock : public tv::BurnSink {
 public:
  explicit StageClock(double* seconds) : seconds_(seconds) {}
  void log(const std::string& text, int style) override {
    if (style == tv::kStyleBoldRed) std::fprintf(stderr, "    %s", text.c_str());
  }
  void progress(int) override {}
  void done(bool) override {}
  void stage_begun(tv::Section stage) override { began_[int(stage)] = Clock::now(); }
  void stage_ended(tv::Section stage, bool) override {
    seconds_[int(stage)] += std::chrono::duration<double>(Clock::now() - began_[int(stage)]).count();
  }

 private:
  double* seconds_;
  Clock::time_point began_[tv::kBurnStageCount];
};

struct Measured {
  bool ok = false;
  double stage_seconds[tv::kBurnStageCount] = {};
  tv::StagePlan plan;
  double seconds = 0;
  double worst_error = 0;  // seconds, signed: positive when the time left was too long
  double worst_at = 0;
  std::string worst_stage;
  double worst_share() const { return seconds > 0 ? 100 * std::fabs(worst_error) / seconds : 0; }
};

unsigned stage_mask(bool sysfont) {
  unsigned mask = 0;
  for (tv::Section stage : {tv::Section::Pic, tv::Section::Flash, tv::Section::Osd, tv::Section::OsdRusFont})
    mask |= tv::section_flag(stage);
  if (sysfont) mask |= tv::section_flag(tv::Section::OsdSysFont);
  return mask;
}

// The saved log's word for the stages, which a resume reads back.
std::string section_words(unsigned mask) {
  std::string words;
  for (const tv::SectionInfo& info : tv::section_table())
    if (info.stage && (mask & tv::section_flag(info.section)))
      words += (words.empty() ? "" : ",") + std::string(info.box);
  return words;
}

tv::LineRule programming_line() {
  tv::LineRule rule;
  rule.open = [](tv::SerialPort& line, const std::string& port) {
    return tv::open_programming_line(line, port) == tv::kOpened ? std::string() : "the port did not open";
  };
  return rule;
}

Measured assess(const std::vector<Sample>& samples, double seconds, bool ok) {
  Measured measured;
  measured.ok = ok;
  measured.seconds = seconds;
  for (const Sample& sample : samples) {
    if (sample.at < kFirstSampleSeconds || sample.left < 0) continue;
    const double error = sample.left - (seconds - sample.at);
    if (std::fabs(error) <= std::fabs(measured.worst_error)) continue;
    measured.worst_error = error;
    measured.worst_at = sample.at;
    measured.worst_stage = sample.stage;
  }
  return measured;
}

// One burn through the station into the simulator whose ports are in
// `sim_dir`; a saved log goes to `log_dir` when one is named. `resume` makes
// it a resume of that burn.
Measured burn(const std::string& sim_dir, const std::string& log_dir, const tv::LoadedChipset& chipset,
              unsigned mask, const tv::ResumePlan* resume) {
  setenv("TVBOX_PORT_DIR", (sim_dir + "/ports").c_str(), 1);
  tv::BurnSettings settings;
  settings.stage_checked = [mask](tv::Section stage) { return (mask & tv::section_flag(stage)) != 0; };
  tv::BoxJob job;
  if (resume) {
    tv::continue_burn(*resume, &settings);
    job.plan = tv::plan_resume(chipset, *resume, settings.flash_delay, settings.sysfont_delay);
    job.resumes = resume->point;
    job.log_header.resumes = resume->log_path;
  } else {
    job.plan = tv::plan_stages(chipset, mask, settings.flash_delay, settings.sysfont_delay);
  }
  job.work = [&chipset, settings](tv::BoxLink& link, tv::BurnSink& sink, const std::atomic<bool>& cancel) {
    tv::run_burn(link, chipset, settings, sink, cancel);
  };
  job.log_dir = log_dir;
  job.log_header.program = "time_left_bench";
  job.log_header.chipset_path = chipset.path;
  job.log_header.chipset_sha256 = chipset.sha256;
  job.log_header.chipset_size = chipset.size;
  job.log_header.settings = {{"sections", section_words(mask)}};

  Measured measured;
  measured.plan = job.plan;
  job.front = std::make_unique<StageClock>(measured.stage_seconds);
  tv::Station station(programming_line());
  tv::Box* box = station.add("com3");
  const auto start = Clock::now();
  station.start(box, std::move(job));
  std::vector<Sample> samples;
  while (!box->finished()) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const tv::PortStatus status = box->status();
    samples.push_back(
        {std::chrono::duration<double>(Clock::now() - start).count(), status.left_s, status.stage});
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  station.join_all();
  Measured assessed = assess(samples, seconds, box->status().state == tv::BoxState::Ok);
  assessed.plan = measured.plan;
  std::copy(std::begin(measured.stage_seconds), std::end(measured.stage_seconds), assessed.stage_seconds);
  return assessed;
}

void print(const char* name, const Measured& measured) {
  std::printf("  %-22s %7.1f s  %-6s  worst %5.1f %%  (%+6.1f s at %5.1f s, in %s)\n", name, measured.seconds,
              measured.ok ? "ok" : "FAILED", measured.worst_share(), measured.worst_error, measured.worst_at,
              measured.worst_stage.empty() ? "-" : measured.worst_stage.c_str());
  std::printf("    stage seconds, real/planned:");
  for (const tv::SectionInfo& info : tv::section_table()) {
    const int stage = int(info.section);
    if (info.stage && measured.plan.runs[stage])
      std::printf("  %s %.1f/%.1f", info.short_name, measured.stage_seconds[stage],
                  measured.plan.seconds[stage]);
  }
  std::printf("  (plan %.1f s)\n", tv::plan_total_seconds(measured.plan));
}

int flash_records(const tv::LoadedChipset& chipset) {
  int records = 0;
  for (int address = 0; address < tv::ByteImage::kSpan; address += 16)
    records += chipset.sections->image_of(tv::Section::Flash)->holds(address);
  return records;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim_program = benchsupport::build_dir() + "/tools/tvbox-sim";
  int pic_bytes = 8192;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--sim") && i + 1 < argc) {
      sim_program = argv[++i];
    } else if (!std::strcmp(argv[i], "--pic-bytes") && i + 1 < argc) {
      pic_bytes = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: time_left_bench [--sim PATH] [--pic-bytes N]\n");
      return 2;
    }
  }
  tv::set_trace_enabled(false);
  char pattern[] = "/tmp/time_left_bench_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string path = dir + "/reference.hv", logs = dir + "/logs";
  chipsetgen::Options options = benchsupport::reference_chipset_options();
  options.pic_bytes = pic_bytes;
  std::string error;
  if (!chipsetgen::write_chipset(path, chipsetgen::generate(options).text, false, &error)) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  const tv::LoadedChipset chipset = tv::load_chipset(path);
  const int lost_after = flash_records(chipset) * 9 / 10;
  std::printf("time left against the real end, from the %.0fth second on (PIC program %d bytes)\n",
              kFirstSampleSeconds, pic_bytes);

  int rc = 1;
  SimProcess whole, sysfont, failing, resumed;
  if (benchsupport::start_sim(sim_program, dir + "/whole", &whole, {"--old-contents"}) &&
      benchsupport::start_sim(sim_program, dir + "/sysfont", &sysfont, {"--old-contents"}) &&
      benchsupport::start_sim(sim_program, dir + "/failing", &failing,
                              {"--old-contents", "--vanish-in-flash", std::to_string(lost_after)})) {
    print("whole burn", burn(dir + "/whole", "", chipset, stage_mask(false), nullptr));
    print("whole burn, --sysfont", burn(dir + "/sysfont", "", chipset, stage_mask(true), nullptr));
    // Its line is lost: no time left could foresee that, so it is not judged.
    const Measured cut = burn(dir + "/failing", logs, chipset, stage_mask(false), nullptr);
    std::printf("  %-22s %7.1f s  %s\n", "burn cut short", cut.seconds,
                cut.ok ? "ok (not lost?)" : "failed, as meant");
    benchsupport::stop_sim(&failing, 20000);
    tv::ResumePlan plan;
    if (!tv::find_resume_plan(logs, "com3", chipset.sha256, &plan, &error)) {
      std::fprintf(stderr, "nothing to resume: %s\n", error.c_str());
    } else if (benchsupport::start_sim(sim_program, dir + "/resumed", &resumed,
                                       {"--from-images", dir + "/failing/images"})) {
      print("resumed burn", burn(dir + "/resumed", logs, chipset, stage_mask(false), &plan));
      rc = 0;
    }
  }
  for (SimProcess* sim : {&whole, &sysfont, &failing, &resumed}) benchsupport::stop_sim(sim, 20000);
  std::system(("rm -rf '" + dir + "'").c_str());
  return rc;
}
