// Burn benchmark: how close a burn of the reference chipset comes to what the
// line itself allows, what the program spends in CPU meanwhile, and how fast a
// large gzip chipset loads compared with plain decompression. Prints figures;
// asserts nothing.
//
// The box is the tvbox-sim program, started as a process of its own with
// --pace, so the line runs at 57600 baud in both directions and the CPU time
// of this process is the program's alone. The protocol's minimum is worked out
// here from the chipset file: every byte each exchange puts on the line both
// ways at 5,760 bytes/s, plus the pauses the protocol fixes.
//
// After the burn it times the Verify read-back of the flash and the OSD
// memory against its own wire minimum; then the burn with Verify, as a
// careful engineer runs it, against its own minimum (the burn's and the
// read-back's together); then the same burn without Verify over a line that
// loses one byte in N of those the box sends (1,000 unless --drop-every
// says otherwise; the option may be given more than once), against the
// clean burn's time.
//
//   burn_bench [--skip-burn] [--skip-verify-burn] [--skip-line-loss]
//              [--drop-every N]... [--skip-load] [--load-mb N]
//              [--default-delays] [--sim PATH]
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/trace.h"
#include "boxsim/box_decoder.h"
#include "burn/burn_sequence.h"
#include "burn/chipset_file.h"
#include "burn/section_writer.h"
#include "gen/chipset_gen.h"
#include "link/box_link.h"
#include "link/packets.h"
#include "link/ports.h"
#include "support/paced_sim.h"
#include "support/reference_chipset.h"

namespace {

using benchsupport::file_equals;
using benchsupport::reference_chipset;
using benchsupport::SimProcess;
using benchsupport::start_sim;
using benchsupport::stop_sim;

constexpr double kLineBytesPerSecond = 5760.0;  // 57600 baud, 10 bits a character

// Sizes on the wire, both ways.
constexpr int kPacket = 12;   // command packet and its echo
constexpr int kWrite16 = 26;  // 16-byte write packet
constexpr int kWrite16Answer = 6;
constexpr int kPicRecord = 26;  // sent and echoed
constexpr int kPicEnd = 9;      // ":00020001", answered with up to 9 bytes
constexpr int kFourZLine = 12;
// Fixed pauses, in seconds.
constexpr double kSilence = 3.0;  // a hand-shake read that the box leaves short
constexpr double kAfterFirstStar = 2.0;
constexpr double kSectorErase = 2.0;
constexpr double kOsdClear = 1.0 + 5.0;
constexpr double kFontPageClear = 0.3;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double cpu_seconds(int who) {
  struct rusage usage;
  getrusage(who, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class NullSink : public tv::BurnSink {
 public:
  void log(const std::string& text, int style) override {
    if (style == tv::kStyleBoldRed) std::fprintf(stderr, "burn: %s", text.c_str());
  }
  void progress(int) override {}
  void done(bool ok) override { ok_ = ok; }
  bool ok_ = false;
};

// ---------------------------------------------------------------------------
// The protocol's minimum

struct Minimum {
  uint64_t sent = 0;
  uint64_t answered = 0;
  double pauses = 0;
  // What the total is made of, for the print-out.
  int pic_records = 0, flash_records = 0, osd_records = 0, sector_erases = 0;
  int font_rows = 0, font_page_clears = 0, silences = 0;

  void exchange(int out, int in) {
    sent += uint64_t(out);
    answered += uint64_t(in);
  }
  double wire_seconds() const { return double(sent + answered) / kLineBytesPerSecond; }
  double seconds() const { return wire_seconds() + pauses; }
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The lines after the one that begins with `marker`, up to the next marker.
std::vector<std::string> section(const std::vector<std::string>& lines, const char* marker) {
  std::vector<std::string> body;
  bool inside = false;
  for (const std::string& line : lines) {
    bool is_marker = line.compare(0, 3, "***") == 0;
    if (inside && is_marker) break;
    if (inside) body.push_back(line);
    if (!inside && line.compare(0, std::strlen(marker), marker) == 0) inside = true;
  }
  return body;
}

// Addresses of the 16-byte data records, up to the end record.
std::vector<int> data_record_addresses(const std::vector<std::string>& body, int* others) {
  std::vector<int> addresses;
  for (const std::string& line : body) {
    if (line.compare(0, 11, ":00000001FF") == 0) break;
    if (line.size() < 11 || line[0] != ':') continue;
    if (line.compare(1, 2, "10") == 0 && line.compare(7, 2, "00") == 0)
      addresses.push_back(int(std::strtol(line.substr(3, 4).c_str(), nullptr, 16)));
    else if (line.compare(7, 2, "00") == 0)
      ++*others;  // a data record of another length: not a 16-byte write
  }
  return addresses;
}

// A fresh flash burn erases every sector it enters going upwards, once.
int sector_erases(const std::vector<int>& addresses) {
  int erases = 0;
  long erased_start = -1;
  for (int address : addresses) {
    if (erased_start < 0 || address - erased_start >= long(boxsim::kFlashSector)) {
      erased_start = address - address % long(boxsim::kFlashSector);
      ++erases;
    }
  }
  return erases;
}

int font_rows(const std::vector<std::string>& body) {
  int rows = 0;
  for (const std::string& line : body)
    if (line.size() >= 16) ++rows;
  return rows;
}

// The PIC hand-shake as the simulated box answers it: its answers, and how
// many of the reads end only by the box's silence.
void add_handshake(Minimum* m) {
  boxsim::BoxDecoder box;
  int64_t now = 0;
  auto step = [&](const std::string& text, int wanted) {
    std::vector<uint8_t> answer;
    for (char c : text) box.feed(uint8_t(c), now, &answer);
    now += 1000;  // long past the box's quiet limits
    box.idle(now, &answer);
    m->exchange(int(text.size()), int(answer.size()));
    if (wanted > 0 && int(answer.size()) < wanted) ++m->silences;
  };
  step("Z", 50);
  step("ZZ        \r", 1);
  step("*", 0);
  m->pauses += kAfterFirstStar;
  step("ZZZZ       \r", 1);
  step("*", 50);
  m->pauses += kSilence * m->silences;
}

void add_font(Minimum* m, const std::vector<std::string>& body) {
  int rows = font_rows(body);
  m->font_rows += rows;
  m->font_page_clears += tv::kFontPageCount;
  for (int i = 0; i < tv::kFontPageCount; ++i) m->exchange(kPacket, kPacket);
  m->pauses += kFontPageClear * tv::kFontPageCount;
  // Two bytes a row, then the closing blank row.
  int writes = 2 * rows + (rows > 0 ? 2 : 0);
  for (int i = 0; i < writes; ++i) m->exchange(kPacket, kPacket);
}

Minimum protocol_minimum(const std::string& text, const tv::LoadedChipset& chipset,
                         const tv::BurnSettings& settings) {
  Minimum m;
  std::vector<std::string> lines = lines_of(text);
  add_handshake(&m);

  m.pic_records = (chipset.pic_adr_l - chipset.pic_adr_f + 7) / 8;
  for (int i = 0; i < m.pic_records; ++i) m.exchange(kPicRecord, kPicRecord);
  m.exchange(kPicEnd, kPicEnd);
  m.pauses += settings.flash_delay;

  int others = 0;
  std::vector<int> flash =
      data_record_addresses(section(lines, tv::section_info(tv::Section::Flash).marker), &others);
  m.flash_records = int(flash.size());
  m.sector_erases = sector_erases(flash);
  for (int i = 0; i < m.sector_erases; ++i) m.exchange(kPacket, kPacket);
  m.pauses += kSectorErase * m.sector_erases;
  for (size_t i = 0; i < flash.size(); ++i) m.exchange(kWrite16, kWrite16Answer);

  m.exchange(kPacket, kPacket);  // the OSD clear
  m.pauses += kOsdClear;
  m.osd_records =
      int(data_record_addresses(section(lines, tv::section_info(tv::Section::Osd).marker), &others).size());
  for (int i = 0; i < m.osd_records; ++i) m.exchange(kWrite16, kWrite16Answer);

  add_font(&m, section(lines, tv::section_info(tv::Section::OsdRusFont).marker));
  m.exchange(kFourZLine, 0);

  m.pauses += settings.sysfont_delay;
  m.exchange(kPacket, kPacket);  // the system font's own page clear, without a pause
  add_font(&m, section(lines, tv::section_info(tv::Section::OsdSysFont).marker));
  m.exchange(kFourZLine, 0);
  if (others) std::printf("  (%d data records of another length are not counted)\n", others);
  return m;
}

// ---------------------------------------------------------------------------
// The simulator as a process of its own

std::string default_sim_path() { return benchsupport::build_dir() + "/tools/tvbox-sim"; }

// Whether the box now holds what the file says, memory by memory.

std::string memories_verdict(const std::string& dir, const chipsetgen::Images& images) {
  std::string wrong;
  if (!file_equals(dir + "/pic.bin", images.pic)) wrong += " pic";
  if (!file_equals(dir + "/flash.bin", images.flash)) wrong += " flash";
  if (!file_equals(dir + "/osd.bin", images.osd)) wrong += " osd";
  if (!file_equals(dir + "/font.bin", images.font)) wrong += " font";
  return wrong.empty() ? "all four match the file" : "DIFFER:" + wrong;
}

void print_minimum(const Minimum& m) {
  std::printf(
      "  exchanges: %d PIC records, %d flash and %d OSD 16-byte writes, %d sector erases,\n"
      "             %d font rows, %d font page clears, %d hand-shake silences\n",
      m.pic_records, m.flash_records, m.osd_records, m.sector_erases, m.font_rows, m.font_page_clears,
      m.silences);
  std::printf("  bytes sent %llu, answered %llu: %.1f s on the wire; fixed pauses %.1f s\n",
              (unsigned long long)m.sent, (unsigned long long)m.answered, m.wire_seconds(), m.pauses);
}

// Reads of 4 bytes the read-back makes: runs of the file's bytes, 4 at a time.
int verify_reads(const tv::ByteImage& image) {
  int reads = 0;
  for (int address = 0; address < tv::ByteImage::kSpan; ++address)
    if (image.holds(address)) {
      ++reads;
      address += 3;
    }
  return reads;
}

int verify_reads(const tv::LoadedChipset& chipset) {
  return verify_reads(*chipset.sections->image_of(tv::Section::Flash)) +
         verify_reads(*chipset.sections->image_of(tv::Section::Osd));
}

// Each 4-byte read is 12 bytes out and 16 back (the echo and the data), so
// the line sets the read-back's minimum.
double verify_minimum(const tv::LoadedChipset& chipset) {
  return verify_reads(chipset) * double(kPacket + kPacket + 4) / kLineBytesPerSecond;
}

// The Verify step alone, on the box just burned.
void bench_verify(tv::BoxLink& link, const tv::LoadedChipset& chipset) {
  const tv::ByteImage& flash = *chipset.sections->image_of(tv::Section::Flash);
  const tv::ByteImage& osd = *chipset.sections->image_of(tv::Section::Osd);
  const int reads = verify_reads(chipset);
  const double minimum = verify_minimum(chipset);
  NullSink sink;
  std::atomic<bool> cancel{false};
  tv::LinkBoxOps box(link);
  tv::WriterContext flash_context{box, sink, cancel, "FLASH"};
  tv::WriterContext osd_context{box, sink, cancel, "OSD"};
  double cpu_before = cpu_seconds(RUSAGE_SELF);
  auto start = std::chrono::steady_clock::now();
  bool ok = tv::verify_section(flash_context, flash, nullptr, tv::kTargetFlash) == tv::WriteResult::Done &&
            tv::verify_section(osd_context, osd, nullptr, tv::kTargetOsd) == tv::WriteResult::Done;
  double wall = seconds_since(start);
  double cpu = cpu_seconds(RUSAGE_SELF) - cpu_before;
  std::printf("  verify (read-back of %d flash and %d OSD bytes, %d reads): %s\n", flash.byte_count(),
              osd.byte_count(), reads, ok ? "all equal" : "FAILED");
  std::printf("  verify wall time %8.1f s\n", wall);
  std::printf("  verify minimum   %8.1f s\n", minimum);
  std::printf("  verify ratio     %8.3f   (target <= 1.05)\n", wall / minimum);
  std::printf("  verify CPU       %8.2f s\n", cpu);
}

class CountingSink : public NullSink {
 public:
  void retried() override { ++retries_; }
  int retries_ = 0;
};

// One burn into a simulator of its own, started in `dir` with `faults`.
struct SimBurn {
  bool ran = false;  // the simulator started and its port opened
  bool ok = false;
  int retries = 0;
  double wall = 0;
  std::string memories;  // the verdict on what the box holds afterwards
};

SimBurn burn_on_own_sim(const std::string& dir, const std::string& sim_program,
                        const tv::LoadedChipset& chipset, const tv::BurnSettings& settings,
                        const chipsetgen::Images& images, const std::vector<std::string>& faults) {
  SimBurn run;
  mkdir(dir.c_str(), 0700);
  SimProcess sim;
  if (!start_sim(sim_program, dir, &sim, faults)) {
    std::fprintf(stderr, "the simulator %s did not get ready\n", sim_program.c_str());
    stop_sim(&sim, 2000);
    return run;
  }
  setenv("TVBOX_PORT_DIR", (dir + "/ports").c_str(), 1);
  tv::SerialPort port;
  tv::BoxLink link(port);
  if (tv::open_programming_line(port, "com3") != 0) {
    std::fprintf(stderr, "cannot open the programming port of the simulator in %s\n", dir.c_str());
    stop_sim(&sim, 2000);
    return run;
  }
  CountingSink sink;
  std::atomic<bool> cancel{false};
  auto start = std::chrono::steady_clock::now();
  tv::run_burn(link, chipset, settings, sink, cancel);
  run.wall = seconds_since(start);
  port.close();
  stop_sim(&sim, 20000);
  run.ran = true;
  run.ok = sink.ok_;
  run.retries = sink.retries_;
  run.memories = memories_verdict(dir + "/images", images);
  return run;
}

// The burn with Verify on a clean line, against its own minimum: the burn's
// bytes and pauses and the read-back's bytes.
void bench_verify_burn(const std::string& dir, const std::string& sim_program,
                       const tv::LoadedChipset& chipset, tv::BurnSettings settings,
                       const chipsetgen::Images& images, const Minimum& burn_minimum) {
  settings.verify = true;
  SimBurn run = burn_on_own_sim(dir + "/verified", sim_program, chipset, settings, images, {});
  if (!run.ran) return;
  const double minimum = burn_minimum.seconds() + verify_minimum(chipset);
  std::printf("burn with Verify (the flash and the OSD memory read back) on a clean line\n");
  std::printf("  burn %s, %d retries; box memories: %s\n", run.ok ? "ok" : "FAILED", run.retries,
              run.memories.c_str());
  std::printf("  wall time        %8.1f s\n", run.wall);
  std::printf("  wire floor       %8.1f s   (the burn's %.1f s and the read-back's %.1f s)\n", minimum,
              burn_minimum.seconds(), verify_minimum(chipset));
  std::printf("  ratio            %8.3f   (target <= 1.05)\n", run.wall / minimum);
}

// The same burn over a line that loses one byte in `drop_every` of those the
// box sends: each loss should cost a fraction of a second and one retry, so
// the whole burn stays near the clean one.
void bench_lossy_burn(const std::string& dir, const std::string& sim_program,
                      const tv::LoadedChipset& chipset, const tv::BurnSettings& settings,
                      const chipsetgen::Images& images, double clean_wall, int drop_every) {
  SimBurn run = burn_on_own_sim(dir + "/lossy" + std::to_string(drop_every), sim_program, chipset, settings,
                                images, {"--drop-every", std::to_string(drop_every)});
  if (!run.ran) return;
  std::printf("burn over a line that loses one byte in %d the box sends\n", drop_every);
  std::printf("  burn %s, %d retries; box memories: %s\n", run.ok ? "ok" : "FAILED", run.retries,
              run.memories.c_str());
  std::printf("  wall time        %8.1f s   (clean burn %.1f s)\n", run.wall, clean_wall);
  std::printf("  extra per retry  %8.3f s\n", run.retries ? (run.wall - clean_wall) / run.retries : 0.0);
  std::printf("  ratio to clean   %8.3f   (target <= %s)\n", run.wall / clean_wall,
              drop_every >= 1000  ? "1.25"
              : drop_every >= 300 ? "1.5"
                                  : "none");
}

struct BenchOptions {
  bool burn = true, load = true, default_delays = false, line_loss = true, verify_burn = true;
  std::vector<int> drop_every;  // loss rates of the lossy burns; 1,000 when none is given
  int megabytes = 50;
  std::string sim_program = default_sim_path();
};

int bench_burn(const std::string& dir, const BenchOptions& options) {
  const std::string& sim_program = options.sim_program;
  const bool default_delays = options.default_delays;
  chipsetgen::Generated generated = reference_chipset();
  std::string path = dir + "/reference.hv";
  std::string error;
  if (!chipsetgen::write_chipset(path, generated.text, false, &error)) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  tv::LoadedChipset chipset = tv::load_chipset(path);
  tv::BurnSettings settings;
  settings.flash_delay = default_delays ? 3 : 0;
  settings.sysfont_delay = default_delays ? 6 : 0;
  std::printf("burn of the reference chipset, flash_delay %d s, sysfont_delay %d s%s\n", settings.flash_delay,
              settings.sysfont_delay, default_delays ? " (the defaults)" : " (set to 0)");
  Minimum minimum = protocol_minimum(generated.text, chipset, settings);
  print_minimum(minimum);

  SimProcess sim;
  if (!start_sim(sim_program, dir, &sim)) {
    std::fprintf(stderr, "the simulator %s did not get ready\n", sim_program.c_str());
    stop_sim(&sim, 2000);
    return 1;
  }
  setenv("TVBOX_PORT_DIR", (dir + "/ports").c_str(), 1);
  tv::SerialPort port;
  tv::BoxLink link(port);
  if (tv::open_com(port, "com3") != 0) {
    std::fprintf(stderr, "cannot open the simulator's programming port\n");
    stop_sim(&sim, 2000);
    return 1;
  }

  NullSink sink;
  std::atomic<bool> cancel{false};
  double cpu_before = cpu_seconds(RUSAGE_SELF);
  auto start = std::chrono::steady_clock::now();
  tv::run_burn(link, chipset, settings, sink, cancel);
  double wall = seconds_since(start);
  double cpu = cpu_seconds(RUSAGE_SELF) - cpu_before;
  if (sink.ok_) bench_verify(link, chipset);
  port.close();
  stop_sim(&sim, 20000);
  double sim_cpu = cpu_seconds(RUSAGE_CHILDREN);

  std::printf("  burn %s; box memories: %s\n", sink.ok_ ? "ok" : "FAILED",
              memories_verdict(dir + "/images", generated.images).c_str());
  std::printf("  wall time        %8.1f s\n", wall);
  std::printf("  protocol minimum %8.1f s\n", minimum.seconds());
  std::printf("  ratio            %8.3f   (target <= 1.02)\n", wall / minimum.seconds());
  std::printf("  program CPU      %8.2f s = %.2f%% of the wall time (target < 2%%)\n", cpu,
              100.0 * cpu / wall);
  std::printf("  (simulator CPU, its own process: %.2f s)\n", sim_cpu);
  if (options.verify_burn) bench_verify_burn(dir, sim_program, chipset, settings, generated.images, minimum);
  if (options.line_loss)
    for (int drop_every : options.drop_every)
      bench_lossy_burn(dir, sim_program, chipset, settings, generated.images, wall, drop_every);
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
  std::printf("load of a %d MB gzip chipset (%d flash lines)\n", megabytes,
              loaded.lines_in(tv::Section::Flash));
  std::printf("  load_chipset %8.2f s\n", load);
  std::printf("  gzip -dc     %8.2f s%s\n", gunzip, rc == 0 ? "" : " (gzip failed)");
  std::printf("  ratio        %8.2f\n", load / gunzip);
  return 0;
}

const char kUsage[] =
    "usage: burn_bench [--skip-burn] [--skip-verify-burn] [--skip-line-loss] [--drop-every N]...\n"
    "                  [--skip-load] [--load-mb N] [--default-delays] [--sim PATH]\n";

bool parse_options(int argc, char** argv, BenchOptions* options) {
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (!std::strcmp(argv[i], "--skip-burn"))
      options->burn = false;
    else if (!std::strcmp(argv[i], "--skip-load"))
      options->load = false;
    else if (!std::strcmp(argv[i], "--load-mb") && has_value)
      options->megabytes = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--default-delays"))
      options->default_delays = true;
    else if (!std::strcmp(argv[i], "--skip-line-loss"))
      options->line_loss = false;
    else if (!std::strcmp(argv[i], "--skip-verify-burn"))
      options->verify_burn = false;
    else if (!std::strcmp(argv[i], "--drop-every") && has_value && std::atoi(argv[i + 1]) > 0)
      options->drop_every.push_back(std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--sim") && has_value)
      options->sim_program = argv[++i];
    else
      return false;
  }
  if (options->drop_every.empty()) options->drop_every.push_back(1000);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  BenchOptions options;
  if (!parse_options(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  tv::set_trace_enabled(false);
  setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is measured, also into a file
  char pattern[] = "/tmp/burn_bench_XXXXXX";
  std::string dir = mkdtemp(pattern);
  int rc = 0;
  if (options.burn) rc |= bench_burn(dir, options);
  if (options.load && options.megabytes > 0) rc |= bench_load(dir, options.megabytes);
  std::system(("rm -rf '" + dir + "'").c_str());
  return rc;
}
