#include "cli/box_round.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "base/clock.h"
#include "cli/bounded_output.h"
#include "cli/burn_command.h"
#include "link/adapter_info.h"
#include "link/port_problem.h"
#include "link/ports.h"

namespace tv {
namespace {

constexpr int kTerminalTickMs = 250;
constexpr int kPlainTickMs = 1000;
// A port that is being made at this moment (the simulator just started, an
// adapter just plugged in) is looked for this long before it counts as missing.
constexpr int kPortAppearMs = 2000;
constexpr int kPortAppearPollMs = 50;

// "com3 (/dev/ttyS2)", or the path alone when the port was named by it.
std::string port_naming(const std::string& port) {
  const std::string device = port_device_path(port);
  return device == port ? port : port + " (" + device + ")";
}

// A cancelled box's line has its waits cut short: this wait ends with them.
void wait_for_port_to_appear(const SerialPort& line, const std::string& device) {
  Deadline deadline(kPortAppearMs);
  while (access(device.c_str(), F_OK) != 0 && errno == ENOENT && !deadline.expired() &&
         !line.waits_abandoned())
    std::this_thread::sleep_for(std::chrono::milliseconds(kPortAppearPollMs));
}

// $TVBOX_ADAPTER_LATENCY_MS: the latency the estimate assumes for every
// answer, in place of what the line's adapter says: a knob for the
// benchmarks and tests, whose simulated adapter sits behind a
// pseudo-terminal that says nothing. -1 when unset or not a number.
int assumed_answer_latency_ms() {
  const char* text = std::getenv("TVBOX_ADAPTER_LATENCY_MS");
  if (!text || !*text) return -1;
  char* end = nullptr;
  const long ms = std::strtol(text, &end, 10);
  return *end == '\0' && ms >= 0 && ms <= 1000 ? int(ms) : -1;
}

// Once per device and run: every job on the port would say the same.
bool first_warning_for(const std::string& device) {
  static std::mutex mutex;
  static std::set<std::string> warned;
  std::lock_guard<std::mutex> lock(mutex);
  return warned.insert(device).second;
}

// What the line's adapter adds to each answer, kept on the line for the
// estimates; a latency timer the open could not lower is worth a warning.
void take_line_latency(SerialPort& line, const std::string& device) {
  const SystemRoots roots = system_roots_from_environment();
  const int timer = take_adapter_latency(line, roots);
  if (timer > kLatencyTimerWarnMs && first_warning_for(device))
    say("warning: " + latency_warning(device, timer, read_adapter_info(device, roots).driver));
  const int assumed = assumed_answer_latency_ms();
  if (assumed >= 0) line.set_answer_latency_ms(assumed);
}

void start_every_box(Station& station, std::vector<PortJob>& jobs) {
  for (PortJob& one : jobs) {
    Box* box = station.add(one.port);
    std::string log_error;
    if (box) station.start(box, std::move(one.job), &log_error);
    if (!log_error.empty()) say("warning: no log file for " + one.port + ": " + log_error);
  }
}

}  // namespace

std::string open_box_line(SerialPort& line, const std::string& port) {
  const std::string device = port_device_path(port);
  wait_for_port_to_appear(line, device);
  int error_number = 0;
  const OpenResult result = open_programming_line(line, port, &error_number);
  if (result == kOpened) {
    take_line_latency(line, device);
    return std::string();
  }
  return "cannot open " + port_naming(port) + ": " + port_open_failure_text(device, result, error_number);
}

LineRule burner_line_rule() {
  LineRule rule;
  rule.open = open_box_line;
  rule.close_after_job = true;
  return rule;
}

std::vector<PortStatus> run_round(Station& station, BoxRound round) {
  start_every_box(station, round.jobs);
  if (!round.header_line.empty()) say(round.header_line);
  ProgressDisplay display(STDERR_FILENO);
  while (!station.all_finished()) {
    // The events before the snapshot: a box's end must not be followed by a
    // line that still shows it burning.
    const std::vector<std::string> events =
        station.board().wait(display.terminal() ? kTerminalTickMs : kPlainTickMs);
    display.show(events, station.snapshot());
  }
  // A box has ended before its worker has: it may still be telling the
  // report that its box never answered.
  station.join_all();
  std::vector<PortStatus> ports = station.snapshot();
  display.show(station.board().wait(0), ports);
  return ports;
}

int round_exit_status(const std::vector<PortStatus>& ports, int signal_status) {
  if (signal_status) return signal_status;
  int status = kExitAllBurned;
  for (const PortStatus& port : ports) {
    if (port.state == BoxState::Ok) continue;
    // A resume that found another box wrote nothing to it, like a port with
    // nothing to resume; a box that failed counts first.
    if (port.failure_kind != kFailureOtherBox) return kExitBoxFailed;
    status = kExitUsage;
  }
  return status;
}

}  // namespace tv
