// Resume benchmark: what a burn whose line is lost at 90 % of the flash costs
// to finish with a resume, against a whole burn of the same box. Prints
// figures; asserts nothing.
//
// Three paced tvbox-sim processes at 57600 baud, each with its own ports:
// both first boxes start with an older firmware. The first takes a whole burn of the reference chipset (PIC,
// Flash, OSD, RusFont, the protocol's own pauses); the second the same burn with its line lost after 90 % of
// the flash records; the third starts from the second's memory images and takes the resume read from the
// failed burn's saved log. At the end the resumed box must hold what the whole burn left.
//
//   resume_bench [--sim PATH]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/trace.h"
#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burn/resume_plan.h"
#include "link/ports.h"
#include "support/paced_sim.h"
#include "support/reference_chipset.h"

namespace {

using benchsupport::SimProcess;

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Keeps the seconds each stage took, so the figures show where a resume's
// time goes.
class QuietSink : public tv::BurnSink {
 public:
  void log(const std::string& text, int style) override {
    if (style == tv::kStyleBoldRed) std::fprintf(stderr, "  %s", text.c_str());
  }
  void progress(int) override {}
  void done(bool ok) override { ok_ = ok; }
  void stage_begun(tv::Section stage) override { began_[int(stage)] = now_seconds(); }
  void stage_ended(tv::Section stage, bool) override {
    seconds[int(stage)] += now_seconds() - began_[int(stage)];
  }
  bool ok_ = false;
  double seconds[tv::kSectionCount] = {};

 private:
  double began_[tv::kSectionCount] = {};
};

struct Burned {
  bool ok = false;
  double seconds = 0;
  double stage_seconds[tv::kSectionCount] = {};
};

std::string stage_text(const Burned& burned) {
  std::string text;
  for (tv::Section stage :
       {tv::Section::Pic, tv::Section::Flash, tv::Section::Osd, tv::Section::OsdRusFont}) {
    char part[48];
    std::snprintf(part, sizeof part, "  %s %.1f", tv::section_info(stage).stage,
                  burned.stage_seconds[int(stage)]);
    text += part;
  }
  return text;
}

// One burn into the simulator whose ports are in `sim_dir`, with its saved
// log in `log_dir`; `plan` makes it a resume.
Burned burn(const std::string& sim_dir, const std::string& log_dir, const tv::LoadedChipset& chipset,
            const tv::ResumePlan* plan) {
  setenv("TVBOX_PORT_DIR", (sim_dir + "/ports").c_str(), 1);
  tv::SerialPort port;
  tv::BoxLink link(port);
  Burned burned;
  if (tv::open_com(port, "com3") != 0) {
    std::fprintf(stderr, "cannot open the simulator's programming port in %s\n", sim_dir.c_str());
    return burned;
  }
  tv::BurnSettings settings;
  settings.stage_checked = [](tv::Section stage) { return stage != tv::Section::OsdSysFont; };
  tv::BurnLogHeader header;
  header.program = "resume_bench";
  header.chipset_path = chipset.path;
  header.chipset_sha256 = chipset.sha256;
  header.chipset_size = chipset.size;
  header.port = "com3";
  header.settings = {{"sections", "PIC,Flash,OSD,OSD RusFont"}};
  if (plan) {
    settings.stage_checked = [chosen = plan->chosen](tv::Section stage) {
      return (chosen & tv::section_flag(stage)) != 0;
    };
    settings.resume = *plan;
    header.resumes = plan->log_path;
  }
  QuietSink sink;
  tv::BurnLogFile log(sink);
  std::string error;
  if (!log.open(log_dir, header, &error)) std::fprintf(stderr, "no log: %s\n", error.c_str());
  if (plan) log.carry_resume_point(plan->point);
  std::atomic<bool> cancel{false};
  const auto start = std::chrono::steady_clock::now();
  tv::run_burn(link, chipset, settings, log, cancel);
  burned.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  burned.ok = sink.ok_;
  for (int i = 0; i < tv::kSectionCount; ++i) burned.stage_seconds[i] = sink.seconds[i];
  port.close();
  return burned;
}

bool same_images(const std::string& a, const std::string& b) {
  for (const char* name : {"flash.bin", "osd.bin", "font.bin", "pic.bin"}) {
    if (std::system(("cmp -s '" + a + "/images/" + name + "' '" + b + "/images/" + name + "'").c_str()) != 0)
      return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim_program = benchsupport::build_dir() + "/tools/tvbox-sim";
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--sim") && i + 1 < argc) {
      sim_program = argv[++i];
    } else {
      std::fprintf(stderr, "usage: resume_bench [--sim PATH]\n");
      return 2;
    }
  }
  tv::set_trace_enabled(false);
  char pattern[] = "/tmp/resume_bench_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  const std::string whole = dir + "/whole", failing = dir + "/failing", resumed = dir + "/resumed";
  const std::string logs = dir + "/logs", path = dir + "/reference.hv";
  if (!benchsupport::write_reference_chipset(path)) return 1;
  std::string error;
  const tv::LoadedChipset chipset = tv::load_chipset(path);
  int records = 0;
  for (int address = 0; address < tv::ByteImage::kSpan; address += 16)
    records += chipset.sections->image_of(tv::Section::Flash)->holds(address);
  const int lost_after = records * 9 / 10;

  int rc = 1;
  SimProcess a, b, c;
  if (benchsupport::start_sim(sim_program, whole, &a, {"--old-contents"}) &&
      benchsupport::start_sim(sim_program, failing, &b,
                              {"--old-contents", "--vanish-in-flash", std::to_string(lost_after)})) {
    const Burned full = burn(whole, dir + "/whole-logs", chipset, nullptr);
    const Burned cut = burn(failing, logs, chipset, nullptr);
    benchsupport::stop_sim(&b, 20000);
    tv::ResumePlan plan;
    if (!tv::find_resume_plan(logs, "com3", chipset.sha256, &plan, &error)) {
      std::fprintf(stderr, "nothing to resume: %s\n", error.c_str());
    } else if (benchsupport::start_sim(sim_program, resumed, &c, {"--from-images", failing + "/images"})) {
      const Burned again = burn(resumed, logs, chipset, &plan);
      benchsupport::stop_sim(&a, 20000);
      benchsupport::stop_sim(&c, 20000);
      const bool exact = same_images(whole, resumed);
      std::printf("resume after the line was lost at 90%% of the flash (record %d of %d)\n", lost_after,
                  records);
      std::printf("  whole burn        %8.1f s  %s\n", full.seconds, full.ok ? "ok" : "FAILED");
      std::printf("    by stage (s):  %s\n", stage_text(full).c_str());
      std::printf("  burn cut short    %8.1f s  %s\n", cut.seconds,
                  cut.ok ? "ok (the line was not lost?)" : "failed, as meant");
      std::printf("  resumed burn      %8.1f s  %s\n", again.seconds, again.ok ? "ok" : "FAILED");
      std::printf("    by stage (s):  %s\n", stage_text(again).c_str());
      std::printf("  ratio             %8.3f   (target <= 0.25)\n", again.seconds / full.seconds);
      // The OSD and RusFont stages were never reached: a resume owes them whole.
      const double owed =
          full.stage_seconds[int(tv::Section::Osd)] + full.stage_seconds[int(tv::Section::OsdRusFont)];
      std::printf(
          "  of it, the owed OSD and RusFont stages alone %.3f of a whole burn; the rest of the\n"
          "  resume %.3f (a whole burn's FLASH took %.3f)\n",
          owed / full.seconds, (again.seconds - owed) / full.seconds,
          full.stage_seconds[int(tv::Section::Flash)] / full.seconds);
      std::printf("  the resumed box %s the wholly burned one\n", exact ? "equals" : "DIFFERS FROM");
      rc = full.ok && !cut.ok && again.ok && exact ? 0 : 1;
    }
  }
  benchsupport::stop_sim(&a, 20000);
  benchsupport::stop_sim(&b, 20000);
  benchsupport::stop_sim(&c, 20000);
  std::system(("rm -rf '" + dir + "'").c_str());
  return rc;
}
