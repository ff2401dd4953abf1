#include "cli/burn_command.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "base/trace.h"
#include "burn/burn_log_file.h"
#include "burn/burn_sequence.h"
#include "burn/sha256.h"
#include "cli/bounded_output.h"
#include "cli/box_round.h"
#include "cli/burn_display.h"
#include "cli/port_listing.h"
#include "cli/read_modes.h"
#include "cli/resume_mode.h"
#include "cli/stop_signals.h"
#include "cli/wait_mode.h"
#include "cli/window_settings.h"
#include "link/port_list.h"
#include "link/ports.h"
#include "station/station.h"

namespace tv {
namespace {

constexpr int kTraceFlushMs = 500;
constexpr size_t kShortDigest = 12;

// A section as the file names it: its marker without "***" and ">".
std::string name_in_file(Section stage) {
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

// ---- signals -------------------------------------------------------------------

// What a signal reaches: the station whose boxes are working, if any, and
// the first stop signal for the exit status. Made once and never destroyed,
// since the signal thread outlives everything else.
struct Interruption {
  std::atomic<int> signal_number{0};  // the first stop signal that came
  std::mutex mutex;
  Station* station = nullptr;  // guarded by mutex
};

Interruption& interruption() {
  static Interruption* instance = new Interruption;
  return *instance;
}

// Each stop signal ends every burn the same way, with the closing four-Z line.
void take_stop_signal(int signal_number) {
  Interruption& stop = interruption();
  int none = 0;
  stop.signal_number.compare_exchange_strong(none, signal_number);
  std::lock_guard<std::mutex> lock(stop.mutex);
  if (!stop.station) return;
  // Between --wait's boxes nothing runs: only the loop ends.
  const bool burning = tally(stop.station->snapshot()).running > 0;
  // The notice goes on the board before the halt: once the burns end, the
  // display's last drain may come at any moment, and it must find it there.
  stop.station->board().post(std::string("interrupted (") + strsignal(signal_number) + ")" +
                             (burning ? ": every burn stops at its next packet" : ""));
  stop.station->halt();
}

int signal_exit_status() {
  const int signal_number = interruption().signal_number;
  return signal_number ? 128 + signal_number : 0;
}

// While it lives, a stop signal halts the station's boxes (each stops at its
// next packet; one not yet started starts cancelled). A signal that came
// before halts it at once.
class StationWatch {
 public:
  explicit StationWatch(Station& station) { watch(&station); }
  ~StationWatch() { watch(nullptr); }
  StationWatch(const StationWatch&) = delete;
  StationWatch& operator=(const StationWatch&) = delete;

 private:
  static void watch(Station* station) {
    Interruption& stop = interruption();
    std::lock_guard<std::mutex> lock(stop.mutex);
    stop.station = station;
    if (station && stop.signal_number) station->halt();
  }
};

// ---- the program ----------------------------------------------------------------

// The ports and their adapters; a latency timer that would slow a burn is
// warned of on standard error, so that the listing itself stays clean.
int list_ports(bool json) {
  const std::vector<SerialPortInfo> ports = list_serial_ports(system_roots_from_environment());
  if (ports.empty()) say("no serial ports found");
  for (const std::string& warning : port_listing_warnings(ports)) say("warning: " + warning);
  write_bounded(STDOUT_FILENO, json ? port_listing_json(ports) : port_listing_text(ports), kResultWaitMs);
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
  header.label = port_label(options, port);
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
  settings.stage_checked = [stages](Section stage) { return (stages & section_flag(stage)) != 0; };
  settings.verify = options.verify;
  settings.pic_records = (stages & section_flag(Section::Pic)) != 0;
  return settings;
}

// "firmware.hv, 123456 bytes, SHA-256 1a2b3c4d5e6f..., into com3, com4"
std::string burn_header_line(const ChipsetFacts& facts, const std::vector<std::string>& ports) {
  std::string line = "burning " + facts.path + ", " + std::to_string(facts.size) + " bytes, SHA-256 " +
                     facts.sha256.substr(0, kShortDigest) + "..., into ";
  for (size_t i = 0; i < ports.size(); ++i) line += (i ? ", " : "") + ports[i];
  return line;
}

// One port's burn: its settings, its plan for the time left, its saved log.
// `resume` is the burn it continues, or null for a whole burn.
BoxJob burn_job(const BurnOptions& options, const LoadedChipset& chipset, const ChipsetFacts& facts,
                const std::string& port, const ResumePlan* resume) {
  const unsigned stages = chosen_stages(chipset, options);
  const unsigned burned = resume ? resume->owed() : stages;
  BurnSettings settings = burn_settings(options, stages);
  if (resume) continue_burn(*resume, &settings);
  if (!options.patient) settings.planned_seconds = burn_estimate(chipset, options, burned);
  BoxJob job;
  job.plan = resume ? plan_resume(chipset, *resume, options.flash_delay, options.sysfont_delay)
                    : plan_stages(chipset, burned, options.flash_delay, options.sysfont_delay);
  job.log_dir = log_folder(options);
  job.log_header = log_header(options, facts, chipset, resume ? resume->chosen : stages, port);
  if (resume) {
    job.log_header.resumes = resume->log_path;
    job.resumes = resume->point;
  }
  job.verification.emplace(options.verify, verify_off_reason(options));
  job.silence_is_no_answer = true;
  const bool whole = resume == nullptr;
  const double exchanges = plan_total_exchanges(job.plan) + verify_reads(chipset, options, burned);
  job.work = [&chipset, settings, whole, exchanges](BoxLink& link, BurnSink& sink,
                                                    const std::atomic<bool>& cancel) {
    // A resume says it itself, once it knows whether the PIC stage is owed.
    if (whole) sink.log(kBurningPicLine, kStyleBlue);
    BurnSettings on_this_line = settings;
    // The adapter's hold on every answer is known once the line is open.
    if (on_this_line.planned_seconds > 0)
      on_this_line.planned_seconds += exchanges * link.port().answer_latency_ms() / 1000.0;
    run_burn(link, chipset, on_this_line, sink, cancel);
  };
  return job;
}

// A job for every port; with --resume only for those that have a burn to
// continue (`resumes`, by the options' ports).
BoxRound burn_round(const BurnOptions& options, const LoadedChipset& chipset, const ChipsetFacts& facts,
                    const std::vector<PortResume>& resumes) {
  BoxRound round;
  for (size_t i = 0; i < options.ports.size(); ++i) {
    if (options.resume && !resumes[i].found) continue;
    const std::string& port = options.ports[i];
    round.jobs.push_back(
        {port, burn_job(options, chipset, facts, port, options.resume ? &resumes[i].plan : nullptr)});
  }
  round.header_line = burn_header_line(facts, options.ports);
  return round;
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

// The boxes that a resume found to be other boxes than its log's: their
// ports and why, for the JSON's error.
std::string other_boxes(const std::vector<PortStatus>& ports) {
  std::string all;
  for (const PortStatus& port : ports)
    if (port.failure_kind == kFailureOtherBox)
      all += (all.empty() ? "" : "; ") + port.port + ": " + port.first_failure;
  return all;
}

// One run: the options, the file, the burn, and what is printed for it.
class BurnerRun {
 public:
  int run(int argc, char** argv);

 private:
  int load_and_burn();
  int read_mode();
  int run_boxes(BoxRound round);
  int run_wait(const LoadedChipset& chipset);
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
  if (options_.ports.empty()) options_.ports = default_ports(std::getenv("TVBOX_PORTS"), window.ports);
  if (!options_.keeping_given) options_.keeping = window.keeping;
  std::vector<std::string> warnings;
  take_window_settings(window, &options_, &warnings);
  if (options_.backup.empty() && !options_.compare)
    for (const std::string& warning : warnings) say("warning: " + warning);
  record_.chipset.path = options_.chipset;
  for (const std::string& port : options_.ports) {
    record_.devices.push_back(port_device_path(port));
    record_.labels.push_back(port_label(options_, port));
  }
}

int BurnerRun::run(int argc, char** argv) {
  record_.started = json_time_now();
  std::string error;
  const bool parsed = parse_burn_options(argc, argv, &options_, &error);
  // Even a usage error answers in JSON when --json was among the options.
  json_ = options_.json;
  record_.mode = json_mode(options_);
  if (!parsed) return finish(refuse(error + " (tvbox-burn --help lists the options)"));
  if (options_.help || options_.version || options_.option_table) {
    std::string text = options_.help      ? burn_usage_text()
                       : options_.version ? std::string("tvbox-burn ") + TVBOX_VERSION + "\n"
                                          : option_list_text();
    write_bounded(STDOUT_FILENO, text, kResultWaitMs);
    return kExitAllBurned;
  }
  set_trace_destination(TraceDestination::StandardError);
  set_trace_enabled(options_.trace);
  if (options_.list_ports) return list_ports(json_);
  take_defaults();
  if (read_mode_chosen(options_)) return read_mode();
  return finish(load_and_burn());
}

// A signal before any box was touched ends the run with no JSON.
int BurnerRun::read_mode() {
  if (options_.info) return run_info_mode(options_);
  BoxRound round;
  std::string refusal;
  if (!read_mode_round(options_, &round, &refusal)) return finish(refuse(refusal));
  if (int status = signal_exit_status()) return status;
  return finish(run_boxes(std::move(round)));
}

// Every mode's boxes, one station for them all; returns the exit status.
int BurnerRun::run_boxes(BoxRound round) {
  std::function<ChipsetFacts()> facts_after = std::move(round.facts_after);
  auto comparisons_after = std::move(round.comparisons_after);
  if (!round.jobs.empty()) {
    prune_default_folder(options_);
    Station station(burner_line_rule());
    StationWatch watch(station);
    record_.ports = run_round(station, std::move(round));
  }
  if (facts_after) record_.chipset = facts_after();
  if (comparisons_after) record_.comparisons = comparisons_after();
  int status = round_exit_status(record_.ports, signal_exit_status());
  // --resume: a port with nothing to resume was sent nothing, and says so.
  if (status == kExitAllBurned && record_.ports.size() < options_.ports.size()) status = kExitUsage;
  if (status == kExitUsage && record_.error.empty()) record_.error = other_boxes(record_.ports);
  // Standard output carries the results alone: the summary, or the JSON, or
  // the bytes of a backup into "-".
  const bool stdout_taken = json_ || options_.backup == "-";
  write_bounded(stdout_taken ? STDERR_FILENO : STDOUT_FILENO, summary_text(record_.ports), kResultWaitMs);
  return status;
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
  if (options_.wait) return run_wait(chipset);
  std::vector<PortResume> resumes;
  if (options_.resume) {
    resumes = find_port_resumes(options_, record_.chipset.sha256);
    record_.error = report_nothing_to_resume(resumes);
  }
  return run_boxes(burn_round(options_, chipset, record_.chipset, resumes));
}

// The production loop: each box that comes on a port gets the burn a plain
// run would give it, with a saved log of its own.
int BurnerRun::run_wait(const LoadedChipset& chipset) {
  prune_default_folder(options_);
  Station station(wait_line_rule());
  StationWatch watch(station);
  WaitLoop loop;
  loop.options = options_;
  loop.json = json_;
  loop.signal_status = signal_exit_status;
  loop.make_job = [this, &chipset](const std::string& port) {
    return burn_job(options_, chipset, record_.chipset, port, nullptr);
  };
  // The loop writes its own JSON Lines: no object for the run as a whole.
  json_ = false;
  return run_wait_loop(station, loop);
}

int BurnerRun::finish(int status) {
  trace_flush(kTraceFlushMs);
  const uint64_t dropped = trace_dropped_lines();
  record_.exit_code = status;
  record_.ended = json_time_now();
  record_.trace_lines_dropped = dropped;
  if (json_) write_bounded(STDOUT_FILENO, json_summary(record_, options_.wait), kResultWaitMs);
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
  if (options.sysfont) stages |= section_flag(Section::OsdSysFont);
  return stages;
}

int tvbox_burn_main(int argc, char** argv) {
  // Standard output may be a pipe whose reader goes away (tvbox-burn | head):
  // a failed write is better than being killed in the middle of a burn.
  ignore_broken_pipe_signal();
  take_stop_signals_on_a_thread(take_stop_signal);
  return BurnerRun().run(argc, argv);
}

}  // namespace tv
