// Read-back benchmark: how close a backup of a whole box and a compare with
// the reference chipset come to what the line allows. Prints figures;
// asserts nothing.
//
// The box is the tvbox-sim program, paced at 57600 baud in both directions.
// It is first given the reference chipset's flash and OSD memory (a burn with
// its fixed pauses shortened, which is not measured), so the compare finds
// every byte equal. Each 4-byte read is 12 bytes out and 16 back (the echo
// and the data): the reads times 28 bytes at 5,760 bytes/s are the minimum.
//
//   readback_bench [--skip-compare] [--skip-backup] [--sim PATH]
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/clock.h"
#include "base/trace.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burn/chipset_summary.h"
#include "burn/read_back.h"
#include "link/ports.h"
#include "support/paced_sim.h"
#include "support/reference_chipset.h"

namespace {

using benchsupport::SimProcess;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double cpu_seconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class QuietSink : public tv::BurnSink {
 public:
  void log(const std::string& text, int style) override {
    if (style == tv::kStyleBoldRed) std::fprintf(stderr, "  %s", text.c_str());
  }
  void progress(int) override {}
  void done(bool ok) override { ok_ = ok; }
  bool ok_ = false;
};

void print_figures(const char* what, bool ok, size_t reads, double wall, double cpu) {
  const double minimum = tv::read_back_seconds(reads);
  std::printf("%s: %s, %zu reads\n", what, ok ? "ok" : "FAILED", reads);
  std::printf("  wall time     %8.1f s\n", wall);
  std::printf("  wire minimum  %8.1f s\n", minimum);
  std::printf("  ratio         %8.3f   (target <= 1.05)\n", wall / minimum);
  std::printf("  program CPU   %8.2f s\n", cpu);
}

// The flash and OSD stages alone, with the protocol's pauses cut short: the
// box only has to hold the data before the measurements begin.
bool give_box_the_chipset(tv::BoxLink& link, const tv::LoadedChipset& chipset) {
  tv::BurnSettings settings;
  settings.flash_delay = 0;
  settings.sysfont_delay = 0;
  settings.pic_records = false;
  settings.stage_checked = [](tv::Section stage) {
    return stage == tv::Section::Flash || stage == tv::Section::Osd;
  };
  QuietSink sink;
  std::atomic<bool> cancel{false};
  tv::set_pause_scale_percent(1);
  tv::run_burn(link, chipset, settings, sink, cancel);
  tv::set_pause_scale_percent(100);
  return sink.ok_;
}

bool bench_compare(tv::BoxLink& link, const tv::LoadedChipset& chipset) {
  size_t reads = 0;
  for (tv::Section stage : {tv::Section::Flash, tv::Section::Osd})
    reads += tv::reads_covering(tv::image_to_burn(chipset, stage)).size();
  QuietSink sink;
  std::atomic<bool> cancel{false};
  const double cpu = cpu_seconds();
  const auto start = std::chrono::steady_clock::now();
  tv::run_compare(link, chipset, tv::CompareSettings(), sink, cancel);
  print_figures("compare with the reference chipset (every byte equal)", sink.ok_, reads,
                seconds_since(start), cpu_seconds() - cpu);
  return sink.ok_;
}

bool bench_backup(tv::BoxLink& link, const std::string& dir, const chipsetgen::Images& images) {
  tv::BackupRequest request;
  request.path = dir + "/backup.hv.gz";
  request.port = "com3";
  QuietSink sink;
  std::atomic<bool> cancel{false};
  const double cpu = cpu_seconds();
  const auto start = std::chrono::steady_clock::now();
  tv::run_backup(link, request, sink, cancel);
  const double wall = seconds_since(start);
  print_figures("backup of the whole flash and OSD memory", sink.ok_,
                2 * tv::kReadBackSpan / tv::kBytesPerRead, wall, cpu_seconds() - cpu);
  const tv::LoadedChipset backup = tv::load_chipset(request.path);
  const tv::WrittenImage flash = tv::image_to_burn(backup, tv::Section::Flash);
  bool same = flash.byte_count() == tv::kReadBackSpan;
  for (int address = 0; same && address < tv::kReadBackSpan; ++address)
    same = flash.value(address) == images.flash[size_t(address)];
  std::printf("  the backup's flash %s the reference chipset's\n", same ? "equals" : "DIFFERS FROM");
  return sink.ok_ && same;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sim_program = benchsupport::build_dir() + "/tools/tvbox-sim";
  bool compare = true, backup = true;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--skip-compare")) {
      compare = false;
    } else if (!std::strcmp(argv[i], "--skip-backup")) {
      backup = false;
    } else if (!std::strcmp(argv[i], "--sim") && i + 1 < argc) {
      sim_program = argv[++i];
    } else {
      std::fprintf(stderr, "usage: readback_bench [--skip-compare] [--skip-backup] [--sim PATH]\n");
      return 2;
    }
  }
  tv::set_trace_enabled(false);
  char pattern[] = "/tmp/readback_bench_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  chipsetgen::Generated generated;
  const std::string path = dir + "/reference.hv";
  int rc = 1;
  SimProcess sim;
  if (!benchsupport::write_reference_chipset(path, &generated)) {
    // said on standard error
  } else if (!benchsupport::start_sim(sim_program, dir, &sim)) {
    std::fprintf(stderr, "the simulator %s did not get ready\n", sim_program.c_str());
  } else {
    setenv("TVBOX_PORT_DIR", (dir + "/ports").c_str(), 1);
    const tv::LoadedChipset chipset = tv::load_chipset(path);
    tv::SerialPort port;
    tv::BoxLink link(port);
    if (tv::open_com(port, "com3") != 0) {
      std::fprintf(stderr, "cannot open the simulator's programming port\n");
    } else if (!give_box_the_chipset(link, chipset)) {
      std::fprintf(stderr, "the box could not be given the reference chipset\n");
    } else {
      const bool compared = !compare || bench_compare(link, chipset);
      const bool backed_up = !backup || bench_backup(link, dir, generated.images);
      rc = compared && backed_up ? 0 : 1;
    }
  }
  benchsupport::stop_sim(&sim, 20000);
  std::system(("rm -rf '" + dir + "'").c_str());
  return rc;
}
