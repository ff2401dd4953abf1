// tvbox-sim: a simulated TV box behind two pseudo-terminals, for demos, tests
// and benchmarks that run the program as a separate process.
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "boxsim/box_sim.h"

namespace {

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_dump = 0;

void on_stop(int) { g_stop = 1; }
void on_dump(int) { g_dump = 1; }

const char kUsage[] =
    "usage: tvbox-sim --port-dir DIR [options]\n"
    "  --port-dir DIR         where the port symlinks are made (required)\n"
    "  --prog NAME            programming port name (default com3)\n"
    "  --ctrl NAME            control port name (default com5)\n"
    "  --images DIR           write flash.bin, osd.bin, font.bin, pic.bin here on\n"
    "                         exit and on SIGUSR1\n"
    "  --from-images DIR      start with the memories another simulator wrote there\n"
    "  --unsupported          answer the start-up probe (an unsupported box)\n"
    "  --drop-every N         drop every Nth byte the box sends\n"
    "  --corrupt-echo-every N corrupt every Nth echo or answer\n"
    "  --refuse-first N       refuse the first N attempts of each distinct packet\n"
    "  --refuse-address A     refuse every 16-byte write to address A, forever\n"
    "  --silent-after N       answer nothing after N exchanges\n"
    "  --vanish-after N       close the programming line after N exchanges\n"
    "  --delay-ms N           wait N ms before each answer\n"
    "  --pace                 send at the line rate\n"
    "  --adapter-latency MS   hand the box's answers over like a USB adapter whose\n"
    "                         latency timer is MS: a short answer MS after its first\n"
    "                         byte, a full 62-byte USB packet at once\n"
    "  --old-contents         start with an older firmware in flash, OSD and font\n"
    "                         memory\n"
    "  --wrong-flash-byte A   store the flash byte at address A one bit wrong,\n"
    "                         echoing correctly\n"
    "  --refuse-osd-clears N  refuse the first N OSD clears (-1: every one)\n"
    "  --silent-in-flash N    answer nothing more after N 16-byte flash writes\n"
    "  --vanish-in-flash N    close the programming line after N 16-byte flash writes\n"
    "  --reply HEX,HEX..      payload of the control reply (default 5A)\n"
    "  --stream RATE          send bytes on the programming port, RATE bytes/s\n"
    "  --version              print the version and exit\n"
    "  --help                 this text\n";

struct Options {
  std::string port_dir;
  std::string prog = "com3";
  std::string ctrl = "com5";
  std::string images;
  std::string from_images;
  boxsim::Faults faults;
  std::vector<uint8_t> reply{0x5A};
  long stream_rate = 0;
};

[[noreturn]] void usage_error(const std::string& message) {
  std::fprintf(stderr, "tvbox-sim: %s\n%s", message.c_str(), kUsage);
  std::exit(2);
}

long parse_number(const std::string& option, const char* text, long min, long max) {
  errno = 0;
  char* end = nullptr;
  long value = std::strtol(text, &end, 0);  // 0x... for addresses
  if (errno != 0 || end == text || *end != '\0' || value < min || value > max)
    usage_error(option + " wants a number from " + std::to_string(min) + " to " + std::to_string(max) +
                ", not '" + text + "'");
  return value;
}

std::vector<uint8_t> parse_reply(const char* text) {
  std::vector<uint8_t> bytes;
  std::string all(text);
  size_t start = 0;
  while (start <= all.size()) {
    size_t comma = all.find(',', start);
    std::string field = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(field.c_str(), &end, 16);
    if (field.empty() || errno != 0 || *end != '\0' || value > 0xFF)
      usage_error("--reply wants hexadecimal bytes separated by commas, not '" + all + "'");
    bytes.push_back(uint8_t(value));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return bytes;
}

Options parse_options(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) usage_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::puts("tvbox-sim " TVBOX_VERSION);
      std::exit(0);
    } else if (arg == "--port-dir")
      o.port_dir = value();
    else if (arg == "--prog")
      o.prog = value();
    else if (arg == "--ctrl")
      o.ctrl = value();
    else if (arg == "--images")
      o.images = value();
    else if (arg == "--from-images")
      o.from_images = value();
    else if (arg == "--unsupported")
      o.faults.unsupported = true;
    else if (arg == "--drop-every")
      o.faults.drop_every = int(parse_number(arg, value(), 0, INT_MAX));
    else if (arg == "--corrupt-echo-every")
      o.faults.corrupt_echo_every = int(parse_number(arg, value(), 0, INT_MAX));
    else if (arg == "--refuse-first")
      o.faults.refuse_first = int(parse_number(arg, value(), 0, INT_MAX));
    else if (arg == "--refuse-address")
      o.faults.refuse_always_address = int(parse_number(arg, value(), 0, 0xFFFFFF));
    else if (arg == "--silent-after")
      o.faults.silent_after = int(parse_number(arg, value(), 0, INT_MAX));
    else if (arg == "--vanish-after")
      o.faults.vanish_after = int(parse_number(arg, value(), 0, INT_MAX));
    else if (arg == "--delay-ms")
      o.faults.answer_delay_ms = int(parse_number(arg, value(), 0, 600000));
    else if (arg == "--pace")
      o.faults.pace = true;
    else if (arg == "--adapter-latency")
      o.faults.adapter_latency_ms = int(parse_number(arg, value(), 0, 255));
    else if (arg == "--old-contents")
      o.faults.old_contents = true;
    else if (arg == "--wrong-flash-byte")
      o.faults.wrong_flash_byte = int(parse_number(arg, value(), 0, 0xFFFFFF));
    else if (arg == "--refuse-osd-clears")
      o.faults.refuse_osd_clears = int(parse_number(arg, value(), -1, INT_MAX));
    else if (arg == "--silent-in-flash")
      o.faults.silent_after_flash_writes = int(parse_number(arg, value(), 0, INT_MAX));
    else if (arg == "--vanish-in-flash")
      o.faults.vanish_after_flash_writes = int(parse_number(arg, value(), 0, INT_MAX));
    else if (arg == "--reply")
      o.reply = parse_reply(value());
    else if (arg == "--stream")
      o.stream_rate = parse_number(arg, value(), 1, 10000000);
    else
      usage_error("unknown option '" + arg + "'");
  }
  if (o.port_dir.empty()) usage_error("--port-dir is required");
  if (o.prog.empty() || o.ctrl.empty() || o.prog == o.ctrl)
    usage_error("--prog and --ctrl must be two different names");
  return o;
}

void dump_images(const boxsim::BoxSimulator& sim, const std::string& dir) {
  if (dir.empty()) return;
  std::string error;
  if (!boxsim::write_memory_images(sim.memories(), dir, &error))
    std::fprintf(stderr, "tvbox-sim: %s\n", error.c_str());
}

void install_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_stop;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sa.sa_handler = on_dump;
  sigaction(SIGUSR1, &sa, nullptr);
}

double monotonic_seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// The console benchmark's stream: a counting pattern, owed by the clock so the
// rate holds however late the nap ends.
void stream_slice(boxsim::BoxSimulator& sim, long rate, double* last, double* owed, uint8_t* next) {
  double now = monotonic_seconds();
  *owed += rate * (now - *last);
  *last = now;
  std::vector<uint8_t> bytes;
  while (*owed >= 1.0) {
    bytes.push_back((*next)++);
    *owed -= 1.0;
  }
  if (!bytes.empty()) sim.send_raw(bytes);
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parse_options(argc, argv);
  install_signals();

  boxsim::BoxSimulator sim;
  sim.set_faults(options.faults);
  if (!options.from_images.empty()) {
    boxsim::Memories memories = sim.memories();
    std::string why;
    if (!boxsim::read_memory_images(options.from_images, &memories, &why)) {
      std::fprintf(stderr, "tvbox-sim: %s\n", why.c_str());
      return 1;
    }
    sim.set_memories(memories);
  }
  sim.set_control_reply(options.reply);
  std::string error;
  if (!sim.start(options.port_dir, &error, options.prog, options.ctrl)) {
    std::fprintf(stderr, "tvbox-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n%s\nready\n", sim.programming_path().c_str(), sim.control_path().c_str());
  std::fflush(stdout);

  double owed = 0;
  double last = monotonic_seconds();
  uint8_t next = 0;
  timespec tick{0, 10 * 1000000L};
  while (!g_stop) {
    // Signals interrupt the nap, so a stop is seen at once.
    nanosleep(&tick, nullptr);
    if (g_dump) {
      g_dump = 0;
      dump_images(sim, options.images);
    }
    if (options.stream_rate > 0) stream_slice(sim, options.stream_rate, &last, &owed, &next);
  }
  sim.stop();
  dump_images(sim, options.images);
  return 0;
}
