#include "cli/wait_mode.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/bounded_output.h"
#include "cli/box_round.h"
#include "cli/burn_command.h"
#include "link/box_link.h"
#include "link/ports.h"

namespace tv {
namespace {

// A read of one word of the OSD memory: every box this program burns
// answers it, and it changes nothing in the box. An answer that is not the
// echo is still a box (what a burn left on the line, a bad byte); only
// silence or a line that fails means none.
bool answers_on(SerialPort& line) {
  line.purge();
  BoxLink link(line);
  uint8_t word[4];
  if (link.osd_read(0, word) == 0) return true;
  return link.last_fault() == LinkFault::Refused || link.last_fault() == LinkFault::CutShort;
}

// How often a port is looked at while no box is burning on it: a box that
// comes is seen within about this, and the machine stays idle meanwhile.
constexpr int kPresencePollMs = 500;
constexpr int kTerminalTickMs = 250;
constexpr int kPlainTickMs = 1000;

// Where one port is in its round: a box is looked for, has answered, is
// burning, or has ended and is waited out.
enum class Phase { Awaiting, Arrived, Burning, Leaving };

// One port's presence watch, on a thread of its own, since a probe of a
// silent line takes seconds. The front end's thread moves the phase from
// Arrived to Burning and from Burning to Leaving; the watch from Awaiting to
// Arrived and from Leaving to Awaiting.
class PortWatch {
 public:
  // `burned` is the box's line, which each burn leaves open.
  PortWatch(std::string port, SerialPort& burned)
      : port_(std::move(port)), burned_(burned), thread_([this] { watch(); }) {}
  ~PortWatch() {
    stop();
    thread_.join();
  }
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;

  Phase phase() const { return phase_; }
  void set_phase(Phase phase) { phase_ = phase; }
  void stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    line_.abandon_waits(true);
    burned_.abandon_waits(true);
    wake_.notify_all();
  }

 private:
  void watch() {
    while (!stopping_) {
      Phase now = phase_;
      if (now == Phase::Awaiting && box_answers(line_, port_))
        phase_.compare_exchange_strong(now, Phase::Arrived);
      else if (now == Phase::Leaving && !box_still_there())
        phase_.compare_exchange_strong(now, Phase::Awaiting);
      else
        rest();
    }
    line_.close();
  }
  // The burn's line stays open while the box that was burned is there: a
  // box swapped faster than a poll still takes the old line with it (its
  // device hangs up), where a name opened afresh would find the next box and
  // take it for the old one.
  bool box_still_there() {
    if (burned_.is_open() && answers_on(burned_)) return true;
    burned_.close();
    return false;
  }
  void rest() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(kPresencePollMs), [this] { return stopping_.load(); });
  }

  std::string port_;
  SerialPort line_;     // for looking for a box
  SerialPort& burned_;  // the station's line of the box, while it is Leaving
  std::atomic<Phase> phase_{Phase::Awaiting};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stopping_{false};  // set under mutex_, so a rest cannot miss it
  std::thread thread_;                 // last: it starts once everything else is made
};

// The loop's state on the front end's thread.
class WaitRun {
 public:
  WaitRun(Station& station, const WaitLoop& loop) : station_(station), loop_(loop) {}
  int run();

 private:
  struct PortState {
    Box* box = nullptr;
    std::unique_ptr<PortWatch> watch;
    WaitTally tally;
    int count = 0;
    std::string started;
  };
  void start_box(PortState& port);
  void end_box(PortState& port, ProgressDisplay& display);
  bool any_burning() const;
  void print(const std::string& text) const { write_bounded(STDOUT_FILENO, text, kResultWaitMs); }

  Station& station_;
  const WaitLoop& loop_;
  std::vector<PortState> ports_;
  bool interrupted_ = false;  // a burn was stopped by the signal
};

void WaitRun::start_box(PortState& port) {
  std::string log_error;
  ++port.count;
  port.started = json_time_now().utc;
  station_.start(port.box, loop_.make_job(port.box->port()), &log_error);
  if (!log_error.empty()) say("warning: no log file for " + port.box->port() + ": " + log_error);
  port.watch->set_phase(Phase::Burning);
}

void WaitRun::end_box(PortState& port, ProgressDisplay& display) {
  WaitedBox ended;
  ended.status = port.box->status();
  ended.device = port_device_path(port.box->port());
  ended.label = port.tally.label;
  ended.count = port.count;
  ended.started = port.started;
  ended.ended = json_time_now().utc;
  if (ended.status.state == BoxState::Ok)
    ++port.tally.ok;
  else
    ++port.tally.failed;
  if (ended.status.state == BoxState::Cancelled) interrupted_ = true;
  const std::string line = wait_result_line(ended);
  // Standard output on the terminal the block is redrawn on: the line goes
  // above the block, or the block's next frame would draw over it.
  if (loop_.json || (display.terminal() && isatty(STDOUT_FILENO)))
    display.print_above(line.substr(0, line.size() - 1));
  if (loop_.json)
    print(wait_box_json(ended));
  else if (!(display.terminal() && isatty(STDOUT_FILENO)))
    print(line);
  port.watch->set_phase(Phase::Leaving);
}

bool WaitRun::any_burning() const {
  for (const PortState& port : ports_)
    if (port.watch->phase() == Phase::Burning) return true;
  return false;
}

int WaitRun::run() {
  const std::string started = json_time_now().utc;
  for (const std::string& name : loop_.options.ports) {
    PortState port;
    port.box = station_.add(name);
    port.tally = {name, port_label(loop_.options, name), 0, 0};
    port.watch = std::make_unique<PortWatch>(name, port.box->line());
    ports_.push_back(std::move(port));
  }
  say("waiting for boxes on " + std::to_string(ports_.size()) + " port" + (ports_.size() == 1 ? "" : "s") +
      "; ctrl-C between boxes ends the loop");
  ProgressDisplay display(STDERR_FILENO);
  for (;;) {
    const std::vector<std::string> events =
        station_.board().wait(display.terminal() ? kTerminalTickMs : kPlainTickMs);
    // The workers whose box has ended are joined first: a box's status is
    // final only then.
    station_.reap();
    display.show(events, station_.snapshot());
    const bool stopping = loop_.signal_status() != 0;
    for (PortState& port : ports_) {
      if (port.watch->phase() == Phase::Burning && !port.box->busy()) end_box(port, display);
      if (port.watch->phase() == Phase::Arrived && !stopping) start_box(port);
    }
    if (stopping && !any_burning()) break;
  }
  display.show(station_.board().wait(0), station_.snapshot());
  for (PortState& port : ports_) port.watch->stop();
  std::vector<WaitTally> tallies;
  bool failed = false;
  for (const PortState& port : ports_) {
    tallies.push_back(port.tally);
    failed = failed || port.tally.failed > 0;
  }
  const int status = interrupted_ ? loop_.signal_status()
                     : failed     ? int(kExitBoxFailed)
                                  : int(kExitAllBurned);
  write_bounded(loop_.json ? STDERR_FILENO : STDOUT_FILENO, wait_summary_text(tallies), kResultWaitMs);
  if (loop_.json) print(wait_summary_json(tallies, started, json_time_now().utc, status));
  return status;
}

}  // namespace

bool wait_usage(const BurnOptions& options, std::string* error) {
  if (!options.wait) return true;
  if (!options.backup.empty() || options.compare || options.info || options.resume) {
    *error = "--wait burns box after box: --backup, --compare, --info and --resume do not go with it";
    return false;
  }
  return true;
}

bool box_answers(SerialPort& line, const std::string& port) {
  const std::string device = port_device_path(port);
  if (access(device.c_str(), F_OK) != 0) return false;
  if (open_programming_line(line, port) != kOpened) return false;
  const bool answered = answers_on(line);
  line.close();
  return answered;
}

LineRule wait_line_rule() {
  LineRule rule = burner_line_rule();
  rule.close_after_job = false;
  return rule;
}

int run_wait_loop(Station& station, const WaitLoop& loop) { return WaitRun(station, loop).run(); }

}  // namespace tv
