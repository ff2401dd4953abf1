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

#include "base/trace.h"
#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "cli/burn_display.h"
#include "cli/port_report.h"
#include "cli/read_modes.h"
#include "cli/resume_mode.h"
#include "link/box_link.h"
#include "link/port_list.h"
#include "link/ports.h"
#include "link/serial_port.h"

namespace tv {
namespace {

constexpr int kTerminalTickMs = 250;
constexpr int kPlainTickMs = 1000;
constexpr int kTraceFlushMs = 500;

unsigned stage_bit(Stage stage) { return 1u << int(stage); }

// The sections of the file a choice of --sections names.
struct ChoiceSection {
  SectionChoice choice;
  Stage stage;
};
const ChoiceSection kChoiceSections[] = {
    {kChoosePic, Stage::Pic},
    {kChooseFlash, Stage::Flash},
    {kChooseOsd, Stage::Osd},
    {kChooseRusFont, Stage::OsdRusFont},
};

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

void print_error(const std::string& message) {
  std::fprintf(stderr, "tvbox-burn: %s\n", message.c_str());
}

// ---- ctrl-C ------------------------------------------------------------------

// What a ctrl-C or a SIGTERM reaches: the cancel flag every burn reads, and
// the ports whose waits are cut short. Made once and never destroyed, since
// the signal thread outlives everything else.
struct Interruption {
  std::atomic<bool> cancel{false};
  std::atomic<bool> interrupted{false};
  std::mutex mutex;
  std::vector<SerialPort*> ports;  // guarded by mutex
  ReportBoard* board = nullptr;    // guarded by mutex
};

Interruption& interruption() {
  static Interruption* instance = new Interruption;
  return *instance;
}

sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// Signals are taken by one thread with sigwait, so the work done on a
// ctrl-C is ordinary code, not a signal handler. Every other thread keeps
// them blocked; the mask is set before any thread starts, so all inherit it.
void start_signal_thread() {
  sigset_t set = stop_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    for (;;) {
      int signal_number = 0;
      if (sigwait(&set, &signal_number) != 0) continue;
      Interruption& stop = interruption();
      stop.interrupted = true;
      stop.cancel = true;
      std::lock_guard<std::mutex> lock(stop.mutex);
      for (SerialPort* port : stop.ports) port->abandon_waits(true);
      if (stop.board) stop.board->post("interrupted: every burn stops at its next packet");
    }
  }).detach();
}

// ---- the line to each box ----------------------------------------------------

struct BoxJob {
  std::string port;
  SerialPort line;
  BoxLink link{line};
  std::unique_ptr<PortReport> report;
  std::unique_ptr<BurnLogFile> log_file;
  std::thread worker;
  BurnSettings settings;
  const ResumePlan* resume = nullptr;  // --resume: the burn it continues
};

// Opens the box's programming line. Empty when it is open, else why not.
std::string open_box_line(BoxJob& job) {
  int error_number = 0;
  int result = open_programming_line(job.line, job.port, &error_number);
  if (result == 0) return std::string();
  std::string why = result == 1 ? "the device did not open" : "its line settings could not be made";
  if (error_number != 0) why += std::string(": ") + std::strerror(error_number);
  return "cannot open the port " + job.port + " (" + port_device_path(job.port) + "), " + why;
}

// A ctrl-C cuts short the waits on every open port, so a silent box does not
// hold the burn for its time-outs; what the driver takes at once (the closing
// four-Z line) still goes out.
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

void burn_box(BoxJob& job, const LoadedChipset& chipset) {
  const BurnSettings& settings = job.settings;
  BurnSink& sink = job.log_file ? static_cast<BurnSink&>(*job.log_file) : *job.report;
  job.report->begin();
  std::string why = open_box_line(job);
  if (!why.empty()) {
    sink.log(why + "\n", kStyleBoldRed);
    sink.done(false);
    return;
  }
  SerialPort* line = &job.line;
  job.report->set_byte_counter([line] { return line->bytes_written() + line->bytes_read(); });
  watch_port(line, true);
  if (!job.resume || !(job.resume->point.done & section_flag(Stage::Pic)))
    sink.log(kBurningPicLine, kStyleBlue);
  run_burn(job.link, chipset, settings, sink, interruption().cancel);
  watch_port(line, false);
  // The box is free for another program as soon as its burn is over; its
  // byte counts stay readable for the summary.
  job.line.drain();
  job.line.close();
}

// What --backup and --compare share of the ctrl-C handling above.
ModeHooks mode_hooks() {
  ModeHooks hooks;
  hooks.cancel = &interruption().cancel;
  hooks.interrupted = &interruption().interrupted;
  hooks.watch_port = watch_port;
  hooks.show_notices_on = [](ReportBoard* board) {
    std::lock_guard<std::mutex> lock(interruption().mutex);
    interruption().board = board;
  };
  return hooks;
}

// ---- the program ----------------------------------------------------------------

int list_ports() {
  std::vector<SerialPortInfo> ports = list_serial_ports();
  if (ports.empty()) std::fprintf(stderr, "tvbox-burn: no serial ports found\n");
  for (const SerialPortInfo& port : ports) {
    if (port.description.empty()) std::printf("%s\n", port.path.c_str());
    else std::printf("%-60s %s\n", port.path.c_str(), port.description.c_str());
  }
  return kExitAllBurned;
}

BurnLogHeader log_header(const BurnOptions& options, const ChipsetFacts& facts, const LoadedChipset& chipset,
                         unsigned stages, const std::string& port) {
  BurnLogHeader header;
  header.program = "tvbox-burn";
  header.chipset_path = facts.path;
  header.chipset_size = facts.size;
  header.chipset_sha256 = facts.sha256;
  header.port = port;
  // Named by their boxes, as the window's saved logs name them.
  std::string names;
  for (const SectionInfo& info : section_table())
    if (info.section != Section::Header && (stages & stage_bit(info.section)))
      names += (names.empty() ? "" : ",") + std::string(info.box);
  header.settings = {{"sections", names},
                     {"flash_delay", std::to_string(options.flash_delay) + " s"},
                     {"sysfont_delay", std::to_string(options.sysfont_delay) + " s"},
                     {"verify", options.verify ? "yes" : "no"}};
  header.load_log = chipset.log;
  return header;
}

BurnSettings burn_settings(const BurnOptions& options, unsigned stages) {
  BurnSettings settings;
  settings.flash_delay = options.flash_delay;
  settings.sysfont_delay = options.sysfont_delay;
  settings.stage_checked = [stages](Stage stage) { return (stages & stage_bit(stage)) != 0; };
  settings.verify = options.verify;
  settings.pic_records = (stages & stage_bit(Stage::Pic)) != 0;
  return settings;
}

std::vector<PortStatus> snapshots(const std::vector<std::unique_ptr<BoxJob>>& jobs) {
  std::vector<PortStatus> all;
  for (const auto& job : jobs) all.push_back(job->report->snapshot());
  return all;
}

bool all_finished(const std::vector<std::unique_ptr<BoxJob>>& jobs) {
  for (const auto& job : jobs)
    if (!job->report->finished()) return false;
  return true;
}

void open_log_files(std::vector<std::unique_ptr<BoxJob>>& jobs, const BurnOptions& options,
                    const ChipsetFacts& facts, const LoadedChipset& chipset, unsigned stages) {
  const std::string dir = options.log_dir.empty() ? default_burn_log_dir() : options.log_dir;
  prune_burn_logs(dir, std::time(nullptr));
  for (auto& job : jobs) {
    job->log_file.reset(new BurnLogFile(*job->report));
    std::string error;
    BurnLogHeader header =
        log_header(options, facts, chipset, job->resume ? job->resume->chosen : stages, job->port);
    if (job->resume) header.resumes = job->resume->log_path;
    if (job->log_file->open(dir, header, &error)) {
      job->log_file->set_cancel_flag(&interruption().cancel);
      if (job->resume) job->log_file->carry_resume_point(job->resume->point);
      job->report->set_log_path(job->log_file->path());
    } else {
      print_error("warning: no log file for " + job->port + ": " + error);
      job->log_file.reset();
    }
  }
}

int exit_status(const std::vector<PortStatus>& ports) {
  if (interruption().interrupted) return kExitInterrupted;
  for (const PortStatus& port : ports)
    if (port.state != BoxState::Ok) return kExitBoxFailed;
  return kExitAllBurned;
}

int burn_all(const BurnOptions& options, const LoadedChipset& chipset, const ChipsetFacts& facts) {
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
      prepare_resume(*job->resume, &job->settings);
    }
    const StagePlan port_plan =
        options.resume ? plan_stages(chipset, job->resume->owed(), 0, options.sysfont_delay) : plan;
    job->report.reset(new PortReport(port, port_plan, board));
    job->report->set_cancel_flag(&interruption().cancel);
    jobs.push_back(std::move(job));
  }
  if (jobs.empty()) return kExitUsage;  // --resume with nothing to resume
  open_log_files(jobs, options, facts, chipset, stages);

  FILE* out = options.json ? stderr : stdout;
  ProgressDisplay display(out, isatty(fileno(out)) != 0);
  for (auto& job : jobs) {
    BoxJob* box = job.get();
    box->worker = std::thread([box, &chipset] { burn_box(*box, chipset); });
  }
  while (!all_finished(jobs)) display.show(board.wait(display.terminal() ? kTerminalTickMs : kPlainTickMs), snapshots(jobs));
  for (auto& job : jobs) job->worker.join();
  {
    std::lock_guard<std::mutex> lock(interruption().mutex);
    interruption().board = nullptr;
  }
  std::vector<PortStatus> ports = snapshots(jobs);
  display.show(board.wait(0), ports);
  int status = exit_status(ports);
  if (status == kExitAllBurned && jobs.size() < options.ports.size()) status = kExitUsage;
  std::fputs(summary_text(ports).c_str(), out);
  std::fflush(out);
  if (options.json) {
    std::fputs(json_summary(facts, ports, status).c_str(), stdout);
    std::fflush(stdout);
  }
  return status;
}

int run(int argc, char** argv) {
  BurnOptions options;
  std::string error;
  if (!parse_burn_options(argc, argv, &options, &error)) {
    print_error(error + " (tvbox-burn --help lists the options)");
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(burn_usage_text().c_str(), stdout);
    return kExitAllBurned;
  }
  set_trace_destination(TraceDestination::StandardError);
  set_trace_enabled(options.trace);
  if (options.list_ports) return list_ports();
  if (read_mode_chosen(options)) return run_read_mode(options, mode_hooks());

  // Loaded and checked once; every box gets the same data.
  LoadedChipset chipset = load_chipset(options.chipset);
  std::string refusal = chipset_refusal(chipset, options);
  if (!refusal.empty()) {
    print_error(options.chipset + ": " + refusal + "; nothing was sent");
    return kExitUsage;
  }
  // The size and digest of the bytes the load read: what is burned.
  ChipsetFacts facts;
  facts.path = options.chipset;
  facts.sha256 = chipset.sha256;
  facts.size = chipset.size;
  // A ctrl-C while the file was being read: no box has been touched yet.
  if (interruption().interrupted) return kExitInterrupted;
  return burn_all(options, chipset, facts);
}

}  // namespace

std::string chipset_refusal(const LoadedChipset& chipset, const BurnOptions& options) {
  if (!chipset.opened) {
    if (!chipset.log.empty()) return without_final_stop(without_line_end(chipset.log.front().text));
    return "cannot be read";
  }
  // The loader names the faults in the order of the file, the damage of the
  // file as a whole first; the refusal names the first.
  for (const LogLine& line : chipset.log)
    if (line.style == kStyleBoldRed)
      return "does not load cleanly: " + without_final_stop(without_line_end(line.text));
  for (const ChoiceSection& section : kChoiceSections) {
    if ((options.sections & section.choice) && !(chipset.flags & section_flag(section.stage)))
      return "has no " + name_in_file(section.stage) + " section";
  }
  if (options.sysfont && !(chipset.flags & kSectionOsdAllFont)) return "has no OSD All Font section (--sysfont)";
  if (chosen_stages(chipset, options) == 0) return "holds no section to burn";
  return std::string();
}

unsigned chosen_stages(const LoadedChipset& chipset, const BurnOptions& options) {
  unsigned stages = 0;
  for (const ChoiceSection& section : kChoiceSections) {
    bool chosen = options.sections ? (options.sections & section.choice) != 0 : (chipset.flags & section_flag(section.stage)) != 0;
    if (chosen) stages |= stage_bit(section.stage);
  }
  if (options.sysfont) stages |= stage_bit(Stage::OsdSysFont);
  return stages;
}

int tvbox_burn_main(int argc, char** argv) {
  // Standard output may be a pipe whose reader goes away (tvbox-burn | head):
  // a failed write is better than being killed in the middle of a burn.
  ignore_broken_pipe_signal();
  start_signal_thread();
  int status = run(argc, argv);
  trace_flush(kTraceFlushMs);
  return status;
}

}  // namespace tv
