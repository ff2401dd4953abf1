// Burn benchmark: how close a burn of the reference chipset comes to what the
// line itself allows, and how fast a large gzip chipset loads compared with
// plain decompression. Prints figures; asserts nothing.
//
//   burn_bench [--skip-burn] [--skip-load] [--load-mb N]
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include <zlib.h>

#include "boxsim/box_sim.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "gen/chipset_gen.h"
#include "link/ports.h"
#include "link/trace.h"

namespace {

constexpr double kLineBytesPerSecond = 5760.0;  // 57600 baud, 10 bits a character

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double cpu_seconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class NullSink : public tv::BurnSink {
 public:
  void log(const std::string&, int) override {}
  void progress(int) override {}
  void done(bool ok) override {
    ok_ = ok;
    done_ = true;
  }
  std::atomic<bool> done_{false};
  bool ok_ = false;
};

int bench_burn(const std::string& dir) {
  chipsetgen::Options options;  // the reference chipset
  options.seed = 1;
  options.pic_bytes = 500;
  options.flash_bytes = 0x10000;
  options.osd_bytes = 0x2000;
  options.glyphs = 128;
  chipsetgen::Generated generated = chipsetgen::generate(options);
  std::string path = dir + "/reference.hv";
  if (!chipsetgen::write_chipset(path, generated.text, false, nullptr)) return 1;
  tv::LoadedChipset chipset = tv::load_chipset(path);

  boxsim::BoxSimulator sim;
  std::string error;
  if (!sim.start(dir, &error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return 1;
  }
  boxsim::Faults faults;
  faults.pace = true;
  sim.set_faults(faults);
  setenv("TVBOX_PORT_DIR", dir.c_str(), 1);
  if (tv::open_com("com3") != 0) return 1;

  tv::BurnSettings settings;
  settings.flash_delay = 0;
  settings.sysfont_delay = 0;
  NullSink sink;
  std::atomic<bool> cancel{false};
  double cpu_before = cpu_seconds();
  auto start = std::chrono::steady_clock::now();
  tv::run_burn(chipset, settings, sink, cancel);
  double wall = seconds_since(start);
  double cpu = cpu_seconds() - cpu_before;
  tv::close_com();

  boxsim::Stats stats = sim.stats();
  uint64_t sent = sim.received().size();
  uint64_t writes16 = uint64_t(options.flash_bytes + options.osd_bytes) / 16;
  uint64_t answered = stats.pic_records * 26 + writes16 * 6 + (stats.packets - writes16) * 12 + 9;
  // Pauses the protocol itself demands: two hand-shake silences of 3 s, 2 s
  // after the first star, 6 s around the OSD clear, 2 s per sector erase and
  // 300 ms per font page clear (the system font's extra clear has none).
  double pauses = 2 * 3.0 + 2.0 + 6.0 * double(stats.osd_clears) + 2.0 * double(stats.sector_erases) +
                  0.3 * double(stats.font_page_clears > 0 ? stats.font_page_clears - 1 : 0);
  double wire = double(sent + answered) / kLineBytesPerSecond;
  double minimum = wire + pauses;
  sim.stop();
  std::printf("burn of the reference chipset (%s)\n", sink.ok_ ? "ok" : "FAILED");
  std::printf("  bytes sent %llu, answered %llu, on the wire %.1f s, pauses %.1f s\n",
              (unsigned long long)sent, (unsigned long long)answered, wire, pauses);
  std::printf("  wall time        %8.1f s\n", wall);
  std::printf("  protocol minimum %8.1f s\n", minimum);
  std::printf("  ratio            %8.2f\n", wall / minimum);
  // The simulator paces only what the box sends; a pseudo-terminal carries
  // what the program sends at once. Against that half of the line:
  double paced_minimum = double(answered) / kLineBytesPerSecond + pauses;
  std::printf("  minimum, answers paced only %8.1f s, ratio %.2f\n", paced_minimum, wall / paced_minimum);
  std::printf("  process CPU time %8.2f s\n", cpu);
  return sink.ok_ ? 0 : 1;
}

// Random 16-byte records compress about two to one, so the file grows to
// roughly `megabytes` of gzip.
bool write_large_chipset(const std::string& path, int megabytes) {
  gzFile file = gzopen(path.c_str(), "wb1");
  if (!file) return false;
  std::mt19937 random(3);
  gzputs(file, "***HEADER>\r\n***PIC>\r\n***FLASH>\r\n");
  const size_t target = size_t(megabytes) * 1024 * 1024;
  std::vector<uint8_t> data(16);
  for (int line = 0;; ++line) {
    for (uint8_t& value : data) value = uint8_t(random());
    std::string record = chipsetgen::hex_record(0, (line * 16) & 0xFFFF, data) + "\r\n";
    gzwrite(file, record.data(), unsigned(record.size()));
    if (line % 65536 == 0 && gzoffset(file) >= long(target)) break;
  }
  gzputs(file, "***OSD>\r\n***OSD Font>\r\n");
  return gzclose(file) == Z_OK;
}

int bench_load(const std::string& dir, int megabytes) {
  std::string path = dir + "/large.hv.gz";
  if (!write_large_chipset(path, megabytes)) return 1;
  auto start = std::chrono::steady_clock::now();
  tv::LoadedChipset loaded = tv::load_chipset(path);
  double load = seconds_since(start);
  start = std::chrono::steady_clock::now();
  int rc = std::system(("gzip -dc '" + path + "' > /dev/null").c_str());
  double gunzip = seconds_since(start);
  std::printf("load of a %d MB gzip chipset (%d flash lines)\n", megabytes, loaded.flash_lines);
  std::printf("  load_chipset %8.2f s\n", load);
  std::printf("  gzip -dc     %8.2f s%s\n", gunzip, rc == 0 ? "" : " (gzip failed)");
  std::printf("  ratio        %8.2f\n", load / gunzip);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool burn = true, load = true;
  int megabytes = 50;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--skip-burn")) burn = false;
    else if (!std::strcmp(argv[i], "--skip-load")) load = false;
    else if (!std::strcmp(argv[i], "--load-mb") && i + 1 < argc) megabytes = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: burn_bench [--skip-burn] [--skip-load] [--load-mb N]\n");
      return 2;
    }
  }
  tv::set_trace_enabled(false);
  char pattern[] = "/tmp/burn_bench_XXXXXX";
  std::string dir = mkdtemp(pattern);
  int rc = 0;
  if (burn) rc |= bench_burn(dir);
  if (load && megabytes > 0) rc |= bench_load(dir, megabytes);
  std::system(("rm -rf '" + dir + "'").c_str());
  return rc;
}
