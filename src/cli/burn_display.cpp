#include "cli/burn_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace tv {
namespace {

constexpr int kDefaultWidth = 80;

std::string bytes_text(uint64_t bytes) {
  char text[32];
  if (bytes < 10000) std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
  else std::snprintf(text, sizeof text, "%.1f kB", double(bytes) / 1000.0);
  return text;
}

std::string joined(const std::vector<std::string>& words, const char* between) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : between) + word;
  return text;
}

std::string padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

std::string clock_text(double seconds) {
  long whole = seconds > 0 ? long(std::lround(seconds)) : 0;
  char text[32];
  if (whole >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  else std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

size_t port_column_width(const std::vector<PortStatus>& ports) {
  size_t width = 10;
  for (const PortStatus& port : ports) width = std::max(width, port.port.size());
  return width;
}

std::string status_line(const PortStatus& port, size_t name_width) {
  std::string line = padded(port.port, name_width) + " ";
  if (port.state == BoxState::Running) {
    char middle[160];
    std::snprintf(middle, sizeof middle, "%-8s %3d%%  %10s  retries %-3d %6s", port.stage.c_str(), port.percent,
                  bytes_text(port.bytes).c_str(), port.retries, clock_text(port.elapsed_s).c_str());
    line += middle;
    if (port.left_s >= 0) line += "  ~" + clock_text(port.left_s) + " left";
    return line;
  }
  line += padded(box_state_word(port.state), 10);
  if (port.state != BoxState::Waiting) line += clock_text(port.elapsed_s) + "  " + joined(port.stages_done, " ");
  return line;
}

std::string summary_text(const std::vector<PortStatus>& ports) {
  std::string text = "Summary:\n";
  const size_t name_width = port_column_width(ports);
  for (const PortStatus& port : ports) {
    std::string stages = port.stages_done.empty() ? "no stage done" : joined(port.stages_done, " ");
    text += "  " + padded(port.port, name_width) + " " + padded(box_state_word(port.state), 10) +
            padded(clock_text(port.elapsed_s), 8) + stages;
    if (!port.first_failure.empty()) text += "; first failure: " + port.first_failure;
    text += "\n";
  }
  for (const PortStatus& port : ports)
    if (!port.log_path.empty()) text += "  log " + port.port + ": " + port.log_path + "\n";
  return text;
}

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          // Bytes from a file or a box are not always UTF-8: each stays one
          // character, so the output is always valid JSON.
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

std::string json_summary(const ChipsetFacts& chipset, const std::vector<PortStatus>& ports, int exit_code) {
  std::string json = "{\n  \"chipset\": {\"path\": " + json_string(chipset.path) +
                     ", \"size\": " + std::to_string(chipset.size) +
                     ", \"sha256\": " + json_string(chipset.sha256) + "},\n";
  json += "  \"exit_code\": " + std::to_string(exit_code) + ",\n  \"boxes\": [";
  for (size_t i = 0; i < ports.size(); ++i) {
    const PortStatus& port = ports[i];
    std::string stages;
    for (const std::string& stage : port.stages_done) stages += (stages.empty() ? "" : ", ") + json_string(stage);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", port.elapsed_s);
    json += i ? ",\n" : "\n";
    json += "    {\"port\": " + json_string(port.port) + ", \"ok\": " + (port.state == BoxState::Ok ? "true" : "false") +
            ", \"result\": " + json_string(box_state_word(port.state)) + ", \"stages_done\": [" + stages +
            "], \"first_failure\": " + (port.first_failure.empty() ? "null" : json_string(port.first_failure)) +
            ", \"seconds\": " + seconds + ", \"bytes\": " + std::to_string(port.bytes) +
            ", \"retries\": " + std::to_string(port.retries) +
            ", \"log\": " + (port.log_path.empty() ? "null" : json_string(port.log_path)) + "}";
  }
  return json + "\n  ]\n}\n";
}

ProgressDisplay::ProgressDisplay(FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

int ProgressDisplay::width() const {
  winsize size{};
  if (ioctl(fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
  return kDefaultWidth;
}

void ProgressDisplay::show(const std::vector<std::string>& events, const std::vector<PortStatus>& ports) {
  if (!terminal_) {
    for (const std::string& event : events) std::fprintf(out_, "%s\n", event.c_str());
    if (!events.empty()) std::fflush(out_);
    return;
  }
  // The block shows the stages; only failures need a line of their own.
  std::vector<std::string> above;
  for (const std::string& event : events)
    if (event.find(": error: ") != std::string::npos) above.push_back(event);
  redraw(above, ports);
}

void ProgressDisplay::redraw(const std::vector<std::string>& above, const std::vector<PortStatus>& ports) {
  // A line wider than the terminal would wrap and break the count of lines
  // to go back up, so each is cut to fit.
  const size_t fit = size_t(width() - 1);
  std::string frame;
  if (drawn_ > 0) frame += "\x1b[" + std::to_string(drawn_) + "A\r";
  for (const std::string& line : above) frame += "\x1b[2K" + line + "\n";
  const size_t name_width = port_column_width(ports);
  for (const PortStatus& port : ports) frame += "\x1b[2K" + status_line(port, name_width).substr(0, fit) + "\n";
  drawn_ = ports.size();
  std::fputs(frame.c_str(), out_);
  std::fflush(out_);
}

}  // namespace tv
