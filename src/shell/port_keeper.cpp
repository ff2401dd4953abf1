#include "shell/port_keeper.h"

#include <cstdio>

#include "base/clock.h"
#include "base/trace.h"
#include "link/adapter_info.h"
#include "link/ports.h"
#include "shell/box_lines.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {
namespace {

std::string control_name(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "COM%d", number);
  return name;
}

}  // namespace

PortKeeper::PortKeeper(FXApp* app, BoxLines& lines, const std::string& programming_name, Display display)
    : lines_(lines), display_(std::move(display)) {
  LineKeeper::Line programming;
  programming.port = &lines.programming;
  programming.open = [this](SerialPort& port, const std::string& name, int* error) {
    const OpenResult result = open_programming_line(port, name, error);
    if (result == kOpened) latencyNote_ = takeAdapterLatency();
    return result;
  };
  programming.may_reopen = [&lines] { return lines.use.mayReopenProgrammingPort() && !lines.first.busy(); };
  programming.failed_key = "m_port_open";
  programming.failed_english = "The programming port did not open";
  programming.opened_key = "m_port_opened";
  programming.opened_english = "The programming port is open";
  auto tell_programming = [this](const FXString& text) {
    programmingToldMs_ = monotonic_ms();
    const bool with_note = !latencyNote_.empty() && lines_.programming.is_open();
    if (display_.tell) display_.tell(with_note ? text + ". " + latencyNote_ : text);
    if (with_note) latencyNote_ = FXString();
  };
  programming_.reset(new LineKeeper(app, programming, {display_.lamp, tell_programming}));
  programming_->setName(programming_name);

  LineKeeper::Line control;
  control.port = &lines.control;
  control.open = [](SerialPort& port, const std::string& name, int* error) {
    return open_control_line(port, name, error);
  };
  control.may_reopen = [&lines] { return lines.use.mayReopenControlLine(); };
  control.failed_key = "m_ctrl_open";
  control.failed_english = "The control line did not open";
  control.opened_key = "m_ctrl_opened";
  control.opened_english = "The control line is open";
  control.hangup_key = "m_ctrl_hangup";
  control.hangup_english = "The control line is gone";
  control_.reset(new LineKeeper(app, control,
                                {display_.controlLamp, [this](const FXString& text) { tellControl(text); }}));
}

// The programming port matters more: while it is closed, its problem keeps
// the status line, and so does its news for a retry's time (both lines
// often come back together); the control line's news then goes to the trace.
void PortKeeper::tellControl(const FXString& text) {
  if (display_.tellControl) display_.tellControl(text);
  const bool programming_news_fresh = monotonic_ms() - programmingToldMs_ <= int64_t(kPortRetryMs);
  if (lines_.programming.is_open() && !programming_news_fresh && display_.tell)
    display_.tell(text);
  else
    trace("%s\n", text.text());
}

// Start-up traces the name and the open as it always has.
void PortKeeper::openAtStart(const std::string& name, int control_number, OpenResult control_result,
                             int control_error) {
  programming_->setName(name);
  trace("(%s)\n", name.c_str());
  int error_number = 0;
  const OpenResult result = open_com(lines_.programming, name, &error_number);
  programming_->tookOpen(result, error_number, true);
  const FXString note = result == kOpened ? takeAdapterLatency() : FXString();
  if (!note.empty() && display_.tell) display_.tell(note);
  if (control_number <= 0) return;
  control_->setName(control_name(control_number));
  control_->tookOpen(control_result, control_error, true);
}

FXString PortKeeper::takeAdapterLatency() {
  SerialPort& port = lines_.programming;
  const SystemRoots roots = system_roots_from_environment();
  const int timer = take_adapter_latency(port, roots);
  if (timer <= kLatencyTimerWarnMs || !latencyWarned_.insert(port.path()).second) return FXString();
  FXString note =
      ui_text_or("m_port_latency",
                 "The USB adapter holds every answer of the box for its latency timer, and a burn "
                 "is slower for it. A udev rule sets the timer to 1 ms (README, USB serial adapters)");
  note += FXStringFormat(" (%d ms, %s): ", timer, port.path().c_str());
  note += latency_udev_rule(read_adapter_info(port.path(), roots).driver).c_str();
  return note;
}

void PortKeeper::apply(const std::string& name) {
  programming_->setName(name);
  programming_->tryNow();
  programming_->armRetry();
  control_->tryNow();
  control_->armRetry();
}

void PortKeeper::programmingLineLost() {
  const std::string path = lines_.programming.path();
  programming_->lineLost(port_problem_line(
      ui_text_or("m_port_hung", "Hung up"), path,
      ui_text_or("m_port_hangup", "The programming port is no longer read"), std::string()));
}

}  // namespace tv
