#include "cli/burn_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "cli/bounded_output.h"

namespace tv {
namespace {

constexpr int kDefaultWidth = 80;
// A port column narrower than this would leave nothing to tell ports apart.
constexpr size_t kNarrowestPortColumn = 16;
// The running line after the port: stage, percent, bytes, retries, time, ETA.
constexpr size_t kRunningLineRest = 62;
constexpr int kFrameWaitMs = 0;     // a busy terminal skips a frame, the next one catches up
constexpr int kEventsWaitMs = 200;  // plain lines wait a little, then are dropped
// Without a terminal a long job still says how far it is: a line per box at
// every tenth of its job, and at least every half minute.
constexpr int kProgressStepPercent = 10;
constexpr double kProgressEverySeconds = 30;
const char kEllipsis[] = "...";

std::string bytes_text(uint64_t bytes) {
  char text[32];
  if (bytes < 10000)
    std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
  else
    std::snprintf(text, sizeof text, "%.1f kB", double(bytes) / 1000.0);
  return text;
}

std::string joined(const std::vector<std::string>& words, const char* between) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : between) + word;
  return text;
}

// " in PIC (refused)": where the first failure came and what kind it was,
// since its words alone ("PIC was not burned.") may not say why.
std::string failure_place(const PortStatus& port) {
  std::string place = port.failure_stage.empty() ? "" : " in " + port.failure_stage;
  if (port.failure_kind) place += std::string(" (") + port.failure_kind + ")";
  return place;
}

std::string padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

std::string clock_text(double seconds) {
  long whole = seconds > 0 ? long(std::lround(seconds)) : 0;
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

std::string shortened_in_the_middle(const std::string& text, size_t width) {
  const size_t mark = sizeof kEllipsis - 1;
  if (text.size() <= width) return text;
  if (width <= mark) return text.substr(0, width);
  const size_t tail = (width - mark) / 2;
  const size_t head = width - mark - tail;
  return text.substr(0, head) + kEllipsis + text.substr(text.size() - tail);
}

size_t port_column_width(const std::vector<PortStatus>& ports, size_t line_width) {
  size_t width = 10;
  for (const PortStatus& port : ports) width = std::max(width, port.port.size());
  if (line_width > kRunningLineRest + kNarrowestPortColumn)
    width = std::min(width, line_width - kRunningLineRest);
  else if (line_width > 0)
    width = std::min(width, kNarrowestPortColumn);
  return width;
}

std::string status_line(const PortStatus& port, size_t name_width) {
  std::string line = padded(shortened_in_the_middle(port.port, name_width), name_width) + " ";
  if (port.state == BoxState::Running) {
    char middle[160];
    std::snprintf(middle, sizeof middle, "%-8s %3d%%  %10s  retries %-3d %6s", port.stage.c_str(),
                  port.percent, bytes_text(port.bytes).c_str(), port.retries,
                  clock_text(port.elapsed_s).c_str());
    line += middle;
    if (port.left_s >= 0) line += "  ~" + clock_text(port.left_s) + " left";
    return line;
  }
  line += padded(box_state_word(port.state), 10);
  if (port.state != BoxState::Waiting)
    line += clock_text(port.elapsed_s) + "  " + joined(port.stages_done, " ");
  return line;
}

std::string summary_text(const std::vector<PortStatus>& ports) {
  std::string text = "Summary:\n";
  const size_t name_width = port_column_width(ports);
  for (const PortStatus& port : ports) {
    std::string stages = port.stages_done.empty() ? "no stage done" : joined(port.stages_done, " ");
    text += "  " + padded(port.port, name_width) + " " + padded(box_state_word(port.state), 10) +
            padded(clock_text(port.elapsed_s), 8) + stages;
    if (!port.verification.empty()) text += "; " + port.verification;
    if (!port.first_failure.empty())
      text += "; first failure" + failure_place(port) + ": " + port.first_failure;
    text += "\n";
  }
  for (const PortStatus& port : ports)
    if (!port.log_path.empty()) text += "  log " + port.port + ": " + port.log_path + "\n";
  return text;
}

JsonTime json_time(std::time_t when) {
  std::tm utc{}, local{};
  gmtime_r(&when, &utc);
  localtime_r(&when, &local);
  char text[40];
  JsonTime time;
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  time.utc = text;
  // strftime's %z has no colon ("+0100"); RFC 3339 wants one.
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  time.local = text;
  time.local.insert(time.local.size() - 2, ":");
  return time;
}

JsonTime json_time_now() { return json_time(std::time(nullptr)); }

nlohmann::ordered_json json_head(const std::string& mode, const char* program) {
  return {{"format", kJsonFormatVersion}, {"program", program}, {"version", TVBOX_VERSION}, {"mode", mode}};
}

std::string json_text(const nlohmann::ordered_json& object, bool one_line) {
  return object.dump(one_line ? -1 : 2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

namespace {

using Json = nlohmann::ordered_json;  // the keys in the order a reader expects them

Json text_or_null(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json failure_json(const PortStatus& port) {
  if (!port.failure_kind) return nullptr;
  return {
      {"stage", text_or_null(port.failure_stage)}, {"kind", port.failure_kind}, {"text", port.first_failure}};
}

Json box_json(const PortStatus& port, const std::string& device, const std::string& label) {
  const bool ok = port.state == BoxState::Ok;
  return {{"port", port.port},
          {"device", device},
          {"label", text_or_null(label)},
          {"ok", ok},
          {"result", box_state_word(port.state)},
          {"verified", port.verified},
          {"verification", text_or_null(port.verification)},
          {"stages_done", port.stages_done},
          {"failure", failure_json(port)},
          {"first_failure", text_or_null(port.first_failure)},
          {"seconds", std::round(port.elapsed_s * 10) / 10},
          {"bytes", port.bytes},
          {"retries", port.retries},
          {"log", text_or_null(port.log_path)}};
}

}  // namespace

namespace {

// "memories": how each memory of a compare came out, in numbers.
Json comparison_json(const std::vector<MemoryComparison>& memories) {
  Json array = Json::array();
  for (const MemoryComparison& memory : memories) {
    const bool differs = memory.differing > 0;
    array.push_back({{"memory", stage_display_name(memory.memory)},
                     {"bytes_compared", memory.compared},
                     {"bytes_differing", memory.differing},
                     {"first_difference", differs ? Json(memory.first_address) : Json()},
                     {"file_byte", differs ? Json(memory.file_byte) : Json()},
                     {"box_byte", differs ? Json(memory.box_byte) : Json()}});
  }
  return array;
}

}  // namespace

std::string json_summary(const RunRecord& run, bool one_line) {
  Json error = nullptr;
  if (!run.error.empty())
    error = {{"text", run.error}, {"line", run.error_line > 0 ? Json(run.error_line) : Json()}};
  // --info opens no port and takes no time worth telling: its object (made
  // by the mode itself) has neither; a usage error of it says only why.
  if (run.mode == "info") {
    Json object = json_head(run.mode);
    object.update({{"exit_code", run.exit_code}, {"error", error}});
    return json_text(object, one_line);
  }
  Json boxes = Json::array();
  for (size_t i = 0; i < run.ports.size(); ++i) {
    Json box = box_json(run.ports[i], i < run.devices.size() ? run.devices[i] : std::string(),
                        i < run.labels.size() ? run.labels[i] : std::string());
    if (run.mode == "compare")
      box["memories"] =
          comparison_json(i < run.comparisons.size() ? run.comparisons[i] : std::vector<MemoryComparison>());
    boxes.push_back(box);
  }
  Json chipset = {
      {"path", run.chipset.path}, {"size", nullptr}, {"sha256", text_or_null(run.chipset.sha256)}};
  if (run.chipset.size >= 0) chipset["size"] = run.chipset.size;
  Json object = json_head(run.mode);
  object.update({{"started", run.started.utc},
                 {"started_local", run.started.local},
                 {"ended", run.ended.utc},
                 {"ended_local", run.ended.local},
                 {"exit_code", run.exit_code},
                 {"trace_lines_dropped", run.trace_lines_dropped},
                 {"error", error},
                 {"chipset", chipset},
                 {"boxes", boxes}});
  return json_text(object, one_line);
}

namespace {

// A box that failed says how in a word or two; the log has the rest.
std::string wait_verdict(const PortStatus& port) {
  std::string verdict = box_state_word(port.state);
  if (port.state == BoxState::Ok && !port.verification.empty())
    verdict += port.verified ? " verified" : " not verified";
  if (port.state == BoxState::Failed && port.failure_kind)
    verdict += std::string(" (") + port.failure_kind + ")";
  return verdict;
}

Json wait_header(const char* mode_object) {
  Json object = json_head("wait");
  object["object"] = mode_object;
  return object;
}

}  // namespace

std::string wait_result_line(const WaitedBox& box) {
  std::string line = box.status.port + "  #" + std::to_string(box.count) + "  " + wait_verdict(box.status) +
                     "  " + clock_text(box.status.elapsed_s);
  if (!box.label.empty()) line += "  " + box.label;
  return line + "\n";
}

std::string wait_box_json(const WaitedBox& box) {
  Json object = wait_header("box");
  object["port"] = box.status.port;
  object["count"] = box.count;
  object["label"] = text_or_null(box.label);
  object["result"] = box_json(box.status, box.device, box.label);
  object["started"] = box.started;
  object["ended"] = box.ended;
  return json_text(object, true);
}

std::string wait_summary_text(const std::vector<WaitTally>& ports) {
  std::string text = "Summary:\n";
  size_t width = 5;
  for (const WaitTally& port : ports) width = std::max(width, port.port.size());
  WaitTally total{"total", "", 0, 0};
  auto row = [width](const WaitTally& port) {
    return "  " + padded(port.port, width) + "  " + std::to_string(port.ok) + " OK, " +
           std::to_string(port.failed) + " failed" + (port.label.empty() ? "" : "  " + port.label) + "\n";
  };
  for (const WaitTally& port : ports) {
    text += row(port);
    total.ok += port.ok;
    total.failed += port.failed;
  }
  return text + row(total);
}

std::string wait_summary_json(const std::vector<WaitTally>& ports, const std::string& started,
                              const std::string& ended, int exit_code) {
  Json object = wait_header("summary");
  Json list = Json::array();
  int ok = 0, failed = 0;
  for (const WaitTally& port : ports) {
    list.push_back(
        {{"port", port.port}, {"label", text_or_null(port.label)}, {"ok", port.ok}, {"failed", port.failed}});
    ok += port.ok;
    failed += port.failed;
  }
  object["started"] = started;
  object["ended"] = ended;
  object["exit_code"] = exit_code;
  object["ports"] = list;
  object["total"] = {{"ok", ok}, {"failed", failed}};
  return json_text(object, true);
}

bool redraws_in_place(int fd, const char* term) {
  return isatty(fd) != 0 && !(term && std::strcmp(term, "dumb") == 0);
}

std::string progress_line(const PortStatus& port) {
  char line[200];
  std::snprintf(line, sizeof line, ": %d%% of the job, %s %d%%, retries %d, %s elapsed, ", port.job_percent,
                port.stage.c_str(), port.percent, port.retries, clock_text(port.elapsed_s).c_str());
  const std::string left = port.left_s >= 0 ? "about " + clock_text(port.left_s) + " left"
                                            : std::string("time left not known yet");
  return port.port + line + left;
}

ProgressDisplay::ProgressDisplay(int fd, bool terminal) : fd_(fd), terminal_(terminal) {}

ProgressDisplay::ProgressDisplay(int fd) : ProgressDisplay(fd, redraws_in_place(fd, std::getenv("TERM"))) {}

int ProgressDisplay::width() const {
  winsize size{};
  if (ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
  return kDefaultWidth;
}

void ProgressDisplay::show(const std::vector<std::string>& events, const std::vector<PortStatus>& ports) {
  if (!terminal_) return write_plain(events, ports);
  // The block shows the stages; only failures need a line of their own.
  std::vector<std::string> above;
  above.swap(above_);
  for (const std::string& event : events)
    if (event.find(": error: ") != std::string::npos) above.push_back(event);
  redraw(above, ports);
}

void ProgressDisplay::print_above(const std::string& line) {
  if (terminal_)
    above_.push_back(line);
  else
    write_bounded(fd_, line + "\n", kEventsWaitMs);
}

// The events first, then a progress line for each box that is due one.
void ProgressDisplay::write_plain(const std::vector<std::string>& events,
                                  const std::vector<PortStatus>& ports) {
  std::string text;
  for (const std::string& event : events) text += event + "\n";
  marks_.resize(std::max(marks_.size(), ports.size()));
  for (size_t i = 0; i < ports.size(); ++i)
    if (progress_due(i, ports[i])) text += progress_line(ports[i]) + "\n";
  if (!text.empty()) write_bounded(fd_, text, kEventsWaitMs);
}

// Due when the box's job has passed another tenth since its last line, or
// that line is half a minute old; a box that is not burning has none.
bool ProgressDisplay::progress_due(size_t index, const PortStatus& port) {
  if (port.state != BoxState::Running) return false;
  ProgressMark& mark = marks_[index];
  const int step = port.job_percent / kProgressStepPercent;
  if (step <= mark.step && port.elapsed_s - mark.elapsed_s < kProgressEverySeconds) return false;
  mark.step = std::max(step, mark.step);
  mark.elapsed_s = port.elapsed_s;
  return true;
}

void ProgressDisplay::redraw(const std::vector<std::string>& above, const std::vector<PortStatus>& ports) {
  // A line wider than the terminal would wrap and break the count of lines
  // to go back up: a long port name gives up its middle, and what is still
  // too wide is cut.
  const size_t fit = size_t(width() - 1);
  std::string frame;
  if (drawn_ > 0) frame += "\x1b[" + std::to_string(drawn_) + "A\r";
  for (const std::string& line : above) frame += "\x1b[2K" + line.substr(0, fit) + "\n";
  const size_t name_width = port_column_width(ports, fit);
  for (const PortStatus& port : ports)
    frame += "\x1b[2K" + status_line(port, name_width).substr(0, fit) + "\n";
  // A frame that does not go out whole would leave the count of lines wrong:
  // the next one starts below whatever is on the screen.
  drawn_ = write_bounded(fd_, frame, kFrameWaitMs) ? ports.size() : 0;
}

}  // namespace tv
