#include "shell/box_lines.h"

namespace tv {
namespace {

LineRule window_line_rule(BoxLines* lines) {
  LineRule rule;
  rule.open = [lines](SerialPort& line, const std::string& port) -> std::string {
    if (line.is_open()) return std::string();
    const std::string why = lines->whyClosed ? lines->whyClosed(port) : std::string();
    return why.empty() ? "The port " + port + " is not open" : why;
  };
  rule.close_after_job = false;
  return rule;
}

}  // namespace

// The first box has no port name until start-up reads the settings.
BoxLines::BoxLines()
    : station(window_line_rule(this)),
      first(*station.add(std::string())),
      programming(first.line()),
      link(first.link()) {}

}  // namespace tv
