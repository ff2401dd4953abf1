// How the register console keeps up with a box that talks at the full line
// rate, and what waiting for a silent box costs. Needs an X display.
//
// The simulator streams bytes paced at 57600 baud (5,760 bytes/s) for 10 s
// into the real window; the program prints the bytes shown per second, the
// console's line count and the process CPU time, then the CPU time of one
// echo wait that runs out (3 s of a silent box).
#include <fox-1.6/fx.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "link/packets.h"
#include "link/ports.h"
#include "shell/console_page.h"
#include "shell/main_window.h"
#include "shell/ui_queue.h"

namespace {

constexpr int kStreamSeconds = 10;
constexpr int kLineRateBytesPerSecond = 5760;

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the event loop, as the program's own loop would, until the console
// shows `last` as its data byte or `limit_ms` has passed.
bool run_gui_until_shown(FX::FXApp& app, tv::ConsolePage& console, uint8_t last, int64_t limit_ms) {
  const FX::FXString wanted = FX::FXStringFormat("%02X", last);
  const int64_t end = tv::monotonic_ms() + limit_ms;
  while (tv::monotonic_ms() < end) {
    app.runWhileEvents();
    tv::ui_queue().drain();
    if (console.dataText == wanted && console.outputLineCount() > 0) return true;
    tv::sleep_ms(1);  // the real loop blocks in select(); this stands in for it
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "console_bench needs an X display\n");
    return 1;
  }
  tv::set_trace_enabled(false);
  char dir_template[] = "/tmp/tvbox-console-bench-XXXXXX";
  const char* port_dir = mkdtemp(dir_template);
  if (!port_dir) return 1;
  setenv("TVBOX_PORT_DIR", port_dir, 1);

  boxsim::BoxSimulator sim;
  boxsim::Faults faults;
  faults.pace = true;  // the box's bytes leave at the line rate
  sim.set_faults(faults);
  std::string error;
  if (!sim.start(port_dir, &error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return 1;
  }
  // The line itself, without the window: how fast the paced box delivers.
  {
    tv::SerialPort line;
    if (tv::open_com(line, "com3") != 0) {
      std::fprintf(stderr, "cannot open the programming port\n");
      return 1;
    }
    std::vector<uint8_t> second(kLineRateBytesPerSecond, 0x55);
    uint8_t buffer[512];
    size_t got = 0;
    const int64_t raw_start = tv::monotonic_ms();
    sim.send_raw(second);
    while (got < second.size()) {
      const long n = line.read(buffer, sizeof buffer, 1000);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    const double raw_wall = (tv::monotonic_ms() - raw_start) / 1000.0;
    std::printf("line alone: %zu bytes in %.2f s = %.0f bytes/s\n", got, raw_wall, got / raw_wall);
  }

  FX::FXApp app("TV Box bench", "Harnvale");
  app.init(argc, argv);
  auto* window = new X_SRV_K_Window(&app);
  app.create();
  tv::BoxLines& lines = window->lines();
  if (tv::open_com(lines.programming, "com3") != 0) {
    std::fprintf(stderr, "cannot open the programming port\n");
    return 1;
  }

  std::vector<uint8_t> stream(static_cast<size_t>(kStreamSeconds) * kLineRateBytesPerSecond);
  // Values 0..254 in turn and one 0xFF at the very end, so that the data text
  // shows FF only once the whole stream has been shown.
  for (size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<uint8_t>(i % 255);
  stream.back() = 0xFF;
  const double cpu_before = cpu_seconds();
  const int64_t start = tv::monotonic_ms();
  sim.send_raw(stream);
  tv::ConsolePage& console = window->console();
  const bool all_shown = run_gui_until_shown(app, console, stream.back(), 3 * kStreamSeconds * 1000);
  const double wall = (tv::monotonic_ms() - start) / 1000.0;
  const double cpu = cpu_seconds() - cpu_before;

  const FX::FXint shown_lines = console.output->countLines(0, console.output->getLength());
  std::printf("stream: %zu bytes sent at %d bytes/s over %.1f s\n", stream.size(), kLineRateBytesPerSecond,
              wall);
  std::printf("stream fully shown: %s (data text %s, last byte sent %02X)\n",
              all_shown ? "yes" : "no, time limit", console.dataText.text(), stream.back());
  std::printf("bytes shown per second: %.0f\n", stream.size() / wall);
  std::printf("console lines kept: %d (limit %d)\n", shown_lines, tv::kOutputLineLimit);
  std::printf("process CPU time while streaming: %.3f s (%.1f %% of one core)\n", cpu, 100.0 * cpu / wall);

  // One echo that never comes: the box answers nothing to an unknown target.
  uint8_t packet[tv::kPacketSize] = {0x90, 0x6F, 0, 0, 0x00, 0, 0, 0, 0, 0, 0, 0x0D};
  uint8_t reply[1000];
  boxsim::Faults silent;
  silent.silent_after = 1;
  sim.set_faults(silent);
  lines.programming.purge();
  const double wait_cpu_before = cpu_seconds();
  const int64_t wait_start = tv::monotonic_ms();
  const int result = lines.link.wait_echo(reply, sizeof reply, packet, 0x6F);
  std::printf("echo wait on a silent box: result %d after %.2f s, CPU %.4f s\n", result,
              (tv::monotonic_ms() - wait_start) / 1000.0, cpu_seconds() - wait_cpu_before);

  delete window;
  sim.stop();
  return 0;
}
