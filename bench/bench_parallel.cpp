// Parallel burn benchmark: tvbox-burn burns the reference chipset into 1, 4
// and 16 simulated boxes at once, each box a tvbox-sim process of its own
// whose line is paced at 57600 baud both ways. For each count it prints the
// wall time, its ratio to the one-box time, boxes per hour, and the CPU time
// tvbox-burn took (its own process, measured by the kernel). Prints figures;
// asserts nothing, but says whether every box holds exactly the file.
//
// Targets: 16 boxes in at most 1.10 x the one-box time; tvbox-burn under 1%
// of one core per box.
//
//   bench_parallel [--boxes 1,4,16] [--small] [--sim PATH] [--burner PATH]
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "gen/chipset_gen.h"
#include "support/paced_sim.h"

namespace {

using benchsupport::file_equals;
using benchsupport::SimProcess;
using benchsupport::start_sim;
using benchsupport::stop_sim;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool box_exact(const std::string& dir, const chipsetgen::Images& images) {
  return file_equals(dir + "/pic.bin", images.pic) && file_equals(dir + "/flash.bin", images.flash) &&
         file_equals(dir + "/osd.bin", images.osd) && file_equals(dir + "/font.bin", images.font);
}

struct Outcome {
  bool ran = false;
  int exit_code = -1;
  double wall = 0;
  double cpu = 0;
  int exact = 0;
};

double cpu_of(const rusage& usage) {
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Outcome burn_boxes(int boxes, const std::string& dir, const std::string& chipset,
                   const chipsetgen::Images& images, const std::string& sim_program,
                   const std::string& burner) {
  Outcome outcome;
  std::vector<SimProcess> sims(static_cast<size_t>(boxes));
  std::vector<std::string> args = {burner, "--sysfont", "--log", dir + "/logs"};
  for (int i = 0; i < boxes; ++i) {
    std::string box_dir = dir + "/box" + std::to_string(boxes) + "-" + std::to_string(i);
    if (!start_sim(sim_program, box_dir, &sims[size_t(i)])) {
      std::fprintf(stderr, "simulator %d did not get ready\n", i);
      for (SimProcess& sim : sims) stop_sim(&sim, 20000);
      return outcome;
    }
    args.push_back("-p");
    args.push_back(box_dir + "/ports/com3");
  }
  args.push_back(chipset);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);

  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, STDOUT_FILENO);
    setenv("TVBOX_TRACE", "0", 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  outcome.wall = seconds_since(start);
  outcome.cpu = cpu_of(usage);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.ran = true;
  for (int i = 0; i < boxes; ++i) {
    stop_sim(&sims[size_t(i)], 20000);
    std::string box_dir = dir + "/box" + std::to_string(boxes) + "-" + std::to_string(i);
    outcome.exact += box_exact(box_dir + "/images", images) ? 1 : 0;
  }
  return outcome;
}

std::vector<int> parse_counts(const char* text) {
  std::vector<int> counts;
  for (const char* p = text; *p;) {
    char* end = nullptr;
    long value = std::strtol(p, &end, 10);
    if (end == p || value < 1 || value > 64) return {};
    counts.push_back(int(value));
    p = *end == ',' ? end + 1 : end;
  }
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts = {1, 4, 16};
  bool small = false;
  std::string sim_program = benchsupport::build_dir() + "/tools/tvbox-sim";
  std::string burner = benchsupport::build_dir() + "/src/tvbox-burn";
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--boxes") && i + 1 < argc)
      counts = parse_counts(argv[++i]);
    else if (!std::strcmp(argv[i], "--small"))
      small = true;
    else if (!std::strcmp(argv[i], "--sim") && i + 1 < argc)
      sim_program = argv[++i];
    else if (!std::strcmp(argv[i], "--burner") && i + 1 < argc)
      burner = argv[++i];
    else
      counts.clear();
    if (counts.empty()) {
      std::fprintf(stderr, "usage: bench_parallel [--boxes 1,4,16] [--small] [--sim PATH] [--burner PATH]\n");
      return 2;
    }
  }
  chipsetgen::Options options;  // the reference chipset of burn_bench
  options.seed = 1;
  options.pic_bytes = 500;
  options.flash_bytes = small ? 4096 : 0x10000;
  options.osd_bytes = small ? 512 : 0x2000;
  options.glyphs = small ? 4 : 128;
  chipsetgen::Generated generated = chipsetgen::generate(options);
  char pattern[] = "/tmp/bench_parallel_XXXXXX";
  std::string dir = mkdtemp(pattern);
  std::string chipset = dir + "/reference.hv";
  std::string error;
  if (!chipsetgen::write_chipset(chipset, generated.text, false, &error)) {
    std::fprintf(stderr, "cannot write %s: %s\n", chipset.c_str(), error.c_str());
    return 1;
  }
  std::printf("tvbox-burn --sysfont of the %s chipset, default delays, every line paced at 57600 baud\n",
              small ? "small" : "reference");
  std::printf("%6s %10s %8s %11s %12s %12s %8s\n", "boxes", "wall s", "ratio", "boxes/hour", "burner CPU s",
              "%core/box", "exact");
  double one_box = 0;
  int rc = 0;
  for (int boxes : counts) {
    Outcome outcome = burn_boxes(boxes, dir, chipset, generated.images, sim_program, burner);
    if (!outcome.ran) {
      rc = 1;
      continue;
    }
    if (one_box == 0 && boxes == 1) one_box = outcome.wall;
    double ratio = one_box > 0 ? outcome.wall / one_box : 0;
    std::printf("%6d %10.1f %8.3f %11.0f %12.2f %11.3f%% %5d/%d%s\n", boxes, outcome.wall, ratio,
                boxes * 3600.0 / outcome.wall, outcome.cpu, 100.0 * outcome.cpu / outcome.wall / boxes,
                outcome.exact, boxes, outcome.exit_code == 0 ? "" : "  (tvbox-burn did not exit 0)");
    std::fflush(stdout);
    if (outcome.exit_code != 0 || outcome.exact != boxes) rc = 1;
  }
  std::printf("targets: 16 boxes within 1.10 x the one-box time; tvbox-burn under 1%% of a core per box\n");
  std::system(("rm -rf '" + dir + "'").c_str());
  return rc;
}
