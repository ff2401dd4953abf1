#include "cli/burn_command.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/sha256.h"
#include "cli/bounded_output.h"
#include "cli/burn_display.h"
#include "station/port_report.h"
#include "cli/read_modes.h"
#include "cli/resume_mode.h"
#include "cli/window_settings.h"
#include "link/box_link.h"
#include "link/port_list.h"
#include "link/port_problem.h"
#include "link/ports.h"
#include "link/serial_port.h"

namespace tv {
namespace {

constexpr int kTerminalTickMs = 250;
constexpr int kPlainTickMs = 1000;
constexpr int kTraceFlushMs = 500;
// A port that is being made at this moment (the simulator just started, an
// adapter just plugged in) is looked for this long before it counts as missing.
constexpr int kPortAppearMs = 2000;
constexpr int kPortAppearPollMs = 50;
constexpr size_t kShortDigest = 12;

// A section as the file names it: its marker without "***" and ">".
std::string name_in_file(Stage stage) {
  const std::string marker = section_info(stage).marker;
  return marker.substr(3, marker.size() - 4);
}

std::string without_line_end(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The refusal goes on after the loader's sentence ("...; nothing was sent").
std::string without_final_stop(std::string text) {
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// One line for people, on standard error: an error, a warning, a note.
void say(const std::string& message) {
  write_bounded(STDERR_FILENO, "tvbox-burn: " + message + "\n", kMessageWaitMs);
}

// ---- signals -------------------------------------------------------------------

// What a signal reaches: the cancel flag every burn reads, and the ports
// whose waits are cut short. Made once and never destroyed, since the signal
// thread outlives everything else.
struct Interruption {
  std::atomic<bool> cancel{false};
  std::atomic<int> signal_number{0};  // the first stop signal that came
  std::mutex mutex;
  std::vector<SerialPort*> ports;  // guarded by mutex
  ReportBoard* board = nullptr;    // guarded by mutex
};

Interruption& interruption() {
  static Interruption* instance = new Interruption;
  return *instance;
}

// ctrl-C, a kill, and the two a dropped terminal or ssh session sends: each
// ends every burn the same way, with the closing four-Z line.
sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set, signal_number);
  return set;
}

void take_stop_signal(int signal_number) {
  // The terminal is gone: what would be written to it could only fail or
  // hang, and a new terminal on the same device must not get it.
  if (signal_number == SIGHUP) leave_terminal();
  Interruption& stop = interruption();
  int none = 0;
  stop.signal_number.compare_exchange_strong(none, signal_number);
  stop.cancel = true;
  std::lock_guard<std::mutex> lock(stop.mutex);
  for (SerialPort* port : stop.ports) port->abandon_waits(true);
  if (stop.board)
    stop.board->post(std::string("interrupted (") + strsignal(signal_number) +
                     "): every burn stops at its next packet");
}

// Signals are taken by one thread with sigwait, so the work done on a stop
// is ordinary code, not a signal handler. Every other thread keeps them
// blocked; the mask is set before any thread starts, so all inherit it.
void start_signal_thread() {
  sigset_t set = stop_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    for (;;) {
      int signal_number = 0;
      if (sigwait(&set, &signal_number) == 0) take_stop_signal(signal_number);
    }
  }).detach();
}

int signal_exit_status() {
  const int signal_number = interruption().signal_number;
  return signal_number ? 128 + signal_number : 0;
}

// ---- the line to each box ----------------------------------------------------

struct BoxJob : BoxRun {
  BurnSettings settings;
  const ResumePlan* resume = nullptr;  // --resume: the burn it continues
};

// "com3 (/dev/ttyS2)", or the path alone when the port was named by it.
std::string port_naming(const std::string& port) {
  const std::string device = port_device_path(port);
  return device == port ? port : port + " (" + device + ")";
}

void wait_for_port_to_appear(const std::string& device) {
  Deadline deadline(kPortAppearMs);
  while (access(device.c_str(), F_OK) != 0 && errno == ENOENT && !deadline.expired() &&
         !interruption().cancel)
    std::this_thread::sleep_for(std::chrono::milliseconds(kPortAppearPollMs));
}

// In the window's words where it has them (a regular file is "not a serial
// line"; "permission denied" comes with the dialout advice), else the system's.
std::string open_failure_reason(const std::string& device, OpenResult result, int error_number) {
  const PortProblem problem = diagnose_port(device, result, error_number);
  if (problem == PortProblem::NotASerialLine || problem == PortProblem::PermissionDenied || error_number == 0)
    return port_problem_english(problem);
  return std::strerror(error_number);
}

// Opens a box's programming line. Empty when it is open, else why not.
std::string open_box_line(SerialPort& line, const std::string& port) {
  const std::string device = port_device_path(port);
  wait_for_port_to_appear(device);
  int error_number = 0;
  const OpenResult result = open_programming_line(line, port, &error_number);
  if (result == kOpened) return std::string();
  return "cannot open " + port_naming(port) + ": " + open_failure_reason(device, result, error_number);
}

// A stop signal cuts short the waits on every open port, so a silent box does
// not hold the burn for its time-outs; what the driver takes at once (the
// closing four-Z line) still goes out.
void watch_port(SerialPort* port, bool watch) {
  Interruption& stop = interruption();
  std::lock_guard<std::mutex> lock(stop.mutex);
  if (watch) {
    stop.ports.push_back(port);
    if (stop.cancel) port->abandon_waits(true);
  } else {
    stop.ports.erase(std::remove(stop.ports.begin(), stop.ports.end(), port), stop.ports.end());
  }
}

// What --backup and --compare share of the ctrl-C handling above.
ModeHooks mode_hooks() {
  ModeHooks hooks;
  hooks.cancel = &interruption().cancel;
  hooks.signal_exit_status = signal_exit_status;
  hooks.open_line = open_box_line;
  hooks.watch_port = watch_port;
  hooks.show_notices_on = [](ReportBoard* board) {
    std::lock_guard<std::mutex> lock(interruption().mutex);
    interruption().board = board;
  };
  return hooks;
}

void burn_box(BoxJob& job, const LoadedChipset& chipset) {
  work_on_box(job, mode_hooks(), [&job, &chipset](BoxLink& link, BurnSink& sink) {
    // A resume says it itself, once it knows whether the PIC stage is owed.
    if (!job.resume) sink.log(kBurningPicLine, kStyleBlue);
    run_burn(link, chipset, job.settings, sink, interruption().cancel);
    if (!interruption().cancel && job.line.bytes_read() == 0) job.report->no_answer();
  });
}

// ---- the program ----------------------------------------------------------------

int list_ports() {
  std::vector<SerialPortInfo> ports = list_serial_ports();
  if (ports.empty()) say("no serial ports found");
  std::string text;
  for (const SerialPortInfo& port : ports) {
    char line[512];
    if (port.description.empty())
      std::snprintf(line, sizeof line, "%s\n", port.path.c_str());
    else
      std::snprintf(line, sizeof line, "%-60s %s\n", port.path.c_str(), port.description.c_str());
    text += line;
  }
  write_bounded(STDOUT_FILENO, text, kResultWaitMs);
  return kExitAllBurned;
}

BurnLogHeader log_header(const BurnOptions& options, const ChipsetFacts& facts, const LoadedChipset& chipset,
                         unsigned stages, const std::string& port) {
  BurnLogSetup setup;
  setup.program = "tvbox-burn";
  setup.chipset_path = facts.path;
  setup.port = port;
  setup.device = port_device_path(port);
  setup.flash_delay = options.flash_delay;
  setup.sysfont_delay = options.sysfont_delay;
  setup.sections = stages;
  setup.verify = options.verify;
  setup.flash_delay_from = setting_source_text(options.flash_delay_from);
  setup.sysfont_delay_from = setting_source_text(options.sysfont_delay_from);
  setup.verify_from = setting_source_text(options.verify_from);
  BurnLogHeader header = burn_log_header(setup);
  header.chipset_size = facts.size;
  header.chipset_sha256 = facts.sha256;
  header.load_log = chipset.log;
  return header;
}

// Why a burn does not read back what it wrote, in the words of whatever
// turned it off.
std::string verify_off_reason(const BurnOptions& options) {
  switch (options.verify_from) {
    case SettingSource::Option: return "--no-verify";
    case SettingSource::WindowSettings: return "the window's saved Verify box is off";
    case SettingSource::Default: break;
  }
  return "verify is off by default";
}

BurnSettings burn_settings(const BurnOptions& options, unsigned stages) {
  BurnSettings settings;
  settings.flash_delay = options.flash_delay;
  settings.sysfont_delay = options.sysfont_delay;
  settings.stage_checked = [stages](Stage stage) { return (stages & section_flag(stage)) != 0; };
  settings.verify = options.verify;
  settings.pic_records = (stages & section_flag(Stage::Pic)) != 0;
  return settings;
}

void open_log_files(std::vector<std::unique_ptr<BoxJob>>& jobs, const BurnOptions& options,
                    const ChipsetFacts& facts, const LoadedChipset& chipset, unsigned stages) {
  prune_default_folder(options);
  const std::string dir = options.log_dir.empty() ? default_burn_log_dir() : options.log_dir;
  for (auto& job : jobs) {
    job->log_file.reset(new BurnLogFile(*job->report));
    std::string error;
    BurnLogHeader header =
        log_header(options, facts, chipset, job->resume ? job->resume->chosen : stages, job->port);
    if (job->resume) header.resumes = job->resume->log_path;
    if (job->log_file->open(dir, header, &error)) {
      job->log_file->set_cancel_flag(&interruption().cancel);
      job->log_file->track_verification(options.verify, verify_off_reason(options));
      if (job->resume) job->log_file->carry_resume_point(job->resume->point);
      job->report->set_log_path(job->log_file->path());
    } else {
      say("warning: no log file for " + job->port + ": " + error);
      job->log_file.reset();
    }
  }
}

int exit_status(const std::vector<PortStatus>& ports) {
  if (int status = signal_exit_status()) return status;
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

// "firmware.hv, 123456 bytes, SHA-256 1a2b3c4d5e6f..., into com3, com4"
std::string burn_header_line(const ChipsetFacts& facts, const std::vector<std::string>& ports) {
  std::string line = "burning " + facts.path + ", " + std::to_string(facts.size) + " bytes, SHA-256 " +
                     facts.sha256.substr(0, kShortDigest) + "..., into ";
  for (size_t i = 0; i < ports.size(); ++i) line += (i ? ", " : "") + ports[i];
  return line;
}

std::vector<PortStatus> burn_all(const BurnOptions& options, const LoadedChipset& chipset,
                                 const ChipsetFacts& facts) {
  const unsigned stages = chosen_stages(chipset, options);
  const StagePlan plan = plan_stages(chipset, stages, options.flash_delay, options.sysfont_delay);
  const BurnSettings settings = burn_settings(options, stages);
  ReportBoard board;
  {
    std::lock_guard<std::mutex> lock(interruption().mutex);
    interruption().board = &board;
  }
  std::vector<PortResume> resumes;
  if (options.resume) {
    resumes = find_port_resumes(options, facts.sha256);
    report_nothing_to_resume(resumes);
  }
  std::vector<std::unique_ptr<BoxJob>> jobs;
  for (size_t i = 0; i < options.ports.size(); ++i) {
    const std::string& port = options.ports[i];
    if (options.resume && !resumes[i].found) continue;
    auto job = std::make_unique<BoxJob>();
    job->port = port;
    job->settings = settings;
    if (options.resume) {
      job->resume = &resumes[i].plan;
      continue_burn(*job->resume, &job->settings);
    }
    const StagePlan port_plan =
        options.resume ? plan_resume(chipset, *job->resume, options.flash_delay, options.sysfont_delay)
                       : plan;
    if (!options.patient)
      job->settings.planned_seconds =
          burn_estimate(chipset, options, options.resume ? job->resume->owed() : stages);
    job->report.reset(new PortReport(port, port_plan, board));
    job->report->set_cancel_flag(&interruption().cancel);
    job->report->track_verification(options.verify, verify_off_reason(options));
    jobs.push_back(std::move(job));
  }
  if (jobs.empty()) return {};  // --resume with nothing to resume
  open_log_files(jobs, options, facts, chipset, stages);
  say(burn_header_line(facts, options.ports));

  ProgressDisplay display(STDERR_FILENO);
  for (auto& job : jobs) {
    BoxJob* box = job.get();
    box->worker = std::thread([box, &chipset] { burn_box(*box, chipset); });
  }
  while (!all_finished(jobs)) {
    // The events before the snapshot: a box's end must not be followed by a
    // line that still shows it burning.
    const std::vector<std::string> events = board.wait(display.terminal() ? kTerminalTickMs : kPlainTickMs);
    display.show(events, snapshots(jobs));
  }
  for (auto& job : jobs) job->worker.join();
  {
    std::lock_guard<std::mutex> lock(interruption().mutex);
    interruption().board = nullptr;
  }
  std::vector<PortStatus> ports = snapshots(jobs);
  display.show(board.wait(0), ports);
  return ports;
}

// The number of the chipset file's line a refusal is about: the first red
// line of the load that names one.
int refusal_line(const LoadedChipset& chipset) { return chipset.first_fault_line; }

// Why the chipset file cannot even be opened, as the loader tells it; empty
// when it can. (A file that fails later is refused as damaged by the load.)
std::string unreadable(const std::string& path) {
  const std::string problem = chipset_open_problem(path);
  return problem.empty() ? problem : "cannot read the chipset file " + path + ": " + problem;
}

bool wants_json(int argc, char** argv) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
    if (std::strcmp(argv[i], "--json") == 0) return true;
  return false;
}

// One run: the options, the file, the burn, and what is printed for it.
class BurnerRun {
 public:
  int run(int argc, char** argv);

 private:
  int load_and_burn();
  int refuse(const std::string& message, int line = 0);
  int finish(int status);
  void take_defaults();

  BurnOptions options_;
  RunRecord record_;
  bool json_ = false;
};

int BurnerRun::refuse(const std::string& message, int line) {
  say(message);
  record_.error = message;
  record_.error_line = line;
  return kExitUsage;
}

// What the window saved counts where no option decided; a saved burn setting
// that cannot be taken is said only where it would have counted (a burn or
// --info, not a backup or a compare).
void BurnerRun::take_defaults() {
  const WindowSettings window = read_window_settings(window_settings_path());
  if (options_.ports.empty()) options_.ports = default_ports(std::getenv("TVBOX_PORTS"), window.port);
  if (!options_.keeping_given) options_.keeping = window.keeping;
  std::vector<std::string> warnings;
  take_window_settings(window, &options_, &warnings);
  if (options_.backup.empty() && !options_.compare)
    for (const std::string& warning : warnings) say("warning: " + warning);
  record_.chipset.path = options_.chipset;
  for (const std::string& port : options_.ports) record_.devices.push_back(port_device_path(port));
}

int BurnerRun::run(int argc, char** argv) {
  record_.started = iso_time_now();
  json_ = wants_json(argc, argv);
  std::string error;
  if (!parse_burn_options(argc, argv, &options_, &error))
    return finish(refuse(error + " (tvbox-burn --help lists the options)"));
  if (options_.help || options_.version) {
    std::string text = options_.help ? burn_usage_text() : std::string("tvbox-burn ") + TVBOX_VERSION + "\n";
    write_bounded(STDOUT_FILENO, text, kResultWaitMs);
    return kExitAllBurned;
  }
  set_trace_destination(TraceDestination::StandardError);
  set_trace_enabled(options_.trace);
  if (options_.list_ports) return list_ports();
  take_defaults();
  if (read_mode_chosen(options_)) return run_read_mode(options_, mode_hooks());
  return finish(load_and_burn());
}

int BurnerRun::load_and_burn() {
  std::string why = unreadable(options_.chipset);
  if (!why.empty()) return refuse(why + "; nothing was sent");
  // Loaded and checked once; every box gets the same data.
  LoadedChipset chipset = load_chipset(options_.chipset);
  std::string refusal = chipset_refusal(chipset, options_);
  if (!refusal.empty())
    return refuse(options_.chipset + ": " + refusal + "; nothing was sent", refusal_line(chipset));
  // The size and digest of the bytes the load read: what is burned.
  record_.chipset.sha256 = chipset.sha256;
  record_.chipset.size = chipset.size;
  // A signal while the file was being read: no box has been touched yet.
  if (int status = signal_exit_status()) return status;
  record_.ports = burn_all(options_, chipset, record_.chipset);
  int status = exit_status(record_.ports);
  // --resume: a port with nothing to resume was sent nothing, and says so.
  if (status == kExitAllBurned && record_.ports.size() < options_.ports.size()) status = kExitUsage;
  // Standard output carries the results alone: the summary, or the JSON.
  write_bounded(json_ ? STDERR_FILENO : STDOUT_FILENO, summary_text(record_.ports), kResultWaitMs);
  return status;
}

int BurnerRun::finish(int status) {
  trace_flush(kTraceFlushMs);
  const uint64_t dropped = trace_dropped_lines();
  record_.exit_code = status;
  record_.ended = iso_time_now();
  record_.trace_lines_dropped = dropped;
  if (json_) write_bounded(STDOUT_FILENO, json_summary(record_), kResultWaitMs);
  if (dropped > 0)
    say(std::to_string(dropped) + " trace line" + (dropped == 1 ? " was" : "s were") +
        " dropped: the reader of standard error was too slow");
  return status;
}

}  // namespace

// Only the default folder is pruned: a folder named with --log is the
// user's own, and its logs are never removed behind their back.
void prune_default_folder(const BurnOptions& options) {
  if (!options.log_dir.empty()) return;
  const std::string dir = default_burn_log_dir();
  const int removed =
      prune_burn_logs(dir, std::time(nullptr), options.keeping.days, size_t(options.keeping.files));
  if (removed > 0)
    say("removed " + std::to_string(removed) + " old log" + (removed == 1 ? "" : "s") + " from " + dir +
        " (it keeps the newest " + std::to_string(options.keeping.files) + ", none older than " +
        std::to_string(options.keeping.days) + " days)");
}

std::string chipset_refusal(const LoadedChipset& chipset, const BurnOptions& options) {
  if (!chipset.opened) {
    if (!chipset.log.empty()) return without_final_stop(without_line_end(chipset.log.front().text));
    return "cannot be read";
  }
  // The loader names the faults in the order of the file, the damage of the
  // file as a whole first; the refusal names the first.
  if (!chipset.first_fault.empty())
    return "does not load cleanly: " + without_final_stop(chipset.first_fault);
  if (options.sections == 0) {
    // Without --sections the burn is the window's, which needs all five.
    std::string missing;
    for (const SectionInfo& info : section_table())
      if ((kSectionsForBurn & section_flag(info.section)) && !(chipset.flags & section_flag(info.section)))
        missing += (missing.empty() ? "" : ", ") + name_in_file(info.section);
    if (!missing.empty())
      return "has no " + missing +
             " section; a whole burn needs HEADER, PIC, FLASH, OSD and OSD Font "
             "(--sections burns only some)";
  }
  for (const SectionInfo& info : section_table()) {
    if ((options.sections & section_flag(info.section)) && !(chipset.flags & section_flag(info.section)))
      return "has no " + name_in_file(info.section) + " section";
  }
  if (options.sysfont && !(chipset.flags & kSectionOsdAllFont))
    return "has no OSD All Font section (--sysfont)";
  if (chosen_stages(chipset, options) == 0) return "holds no section to burn";
  return std::string();
}

unsigned chosen_stages(const LoadedChipset& chipset, const BurnOptions& options) {
  unsigned stages = 0;
  for (const SectionInfo& info : section_table()) {
    if (!info.option) continue;  // the header is never burned; the system font comes with --sysfont
    const unsigned flag = section_flag(info.section);
    bool chosen = options.sections ? (options.sections & flag) != 0 : (chipset.flags & flag) != 0;
    if (chosen) stages |= flag;
  }
  if (options.sysfont) stages |= section_flag(Stage::OsdSysFont);
  return stages;
}

int tvbox_burn_main(int argc, char** argv) {
  // Standard output may be a pipe whose reader goes away (tvbox-burn | head):
  // a failed write is better than being killed in the middle of a burn.
  ignore_broken_pipe_signal();
  start_signal_thread();
  return BurnerRun().run(argc, argv);
}

}  // namespace tv
