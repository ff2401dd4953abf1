#include "shell/port_keeper.h"

#include <cstdio>

#include "base/trace.h"
#include "link/port_problem.h"
#include "link/ports.h"
#include "shell/box_lines.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {

// clang-format off
FXDEFMAP(PortKeeper) PortKeeperMap[] = {
  FXMAPFUNC(SEL_TIMEOUT, PortKeeper::ID_RETRY, PortKeeper::onRetry),
  FXMAPFUNC(SEL_COMMAND, PortKeeper::ID_LAMP,  PortKeeper::onLampClicked),
};
// clang-format on
FXIMPLEMENT(PortKeeper, FXObject, PortKeeperMap, ARRAYNUMBER(PortKeeperMap))

namespace {

std::string control_name(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "COM%d", number);
  return name;
}

// "<what> <name> (<device>)", in the user's language.
FXString line_text(const char* what_key, const char* what_english, const std::string& name) {
  FXString text = ui_text_or(what_key, what_english);
  text += FXStringFormat(" %s (%s)", name.c_str(), port_device_path(name).c_str());
  return text;
}

}  // namespace

// "<Reason>: <device>. <what> (<name>).", in the user's language. A failure
// the system gave no named reason for carries the system's own words.
FXString port_problem_text(const char* what_key, const char* what_english, const std::string& name,
                           OpenResult open_result, int error_number) {
  const std::string device = port_device_path(name);
  const PortProblem problem = diagnose_port(device, open_result, error_number);
  FXString cause = ui_text_or(port_problem_key(problem), port_problem_english(problem));
  const std::string detail = port_problem_detail(problem, error_number);
  if (!detail.empty()) {
    const FXint colon = cause.find(": ");
    if (colon >= 0) cause.trunc(colon);
    cause += FXString(": ") + detail.c_str();
  }
  return port_problem_line(cause, device, ui_text_or(what_key, what_english), name);
}

PortKeeper::PortKeeper(FXApp* app, BoxLines& lines, const std::string& programming_name, Display display)
    : app_(app), lines_(&lines), display_(std::move(display)), programmingName_(programming_name) {}

PortKeeper::~PortKeeper() {
  if (app_) app_->removeTimeout(this, ID_RETRY);
}

bool PortKeeper::retryArmed() const {
  return app_ && app_->hasTimeout(const_cast<PortKeeper*>(this), ID_RETRY);
}

void PortKeeper::openAtStart(const std::string& name, int control_number, OpenResult control_result,
                             int control_error) {
  programmingName_ = name;
  controlNumber_ = control_number;
  openProgramming(true);
  if (control_result != kOpened) {
    controlProblem_ = port_problem_text("m_ctrl_open", "The control line did not open",
                                        control_name(control_number), control_result, control_error);
    // The programming port matters more; its problem keeps the status bar.
    if (lines_->programming.is_open())
      display_.tell(controlProblem_);
    else
      trace("%s\n", controlProblem_.text());
  }
  armRetry();
}

void PortKeeper::apply(const std::string& name) {
  programmingName_ = name;
  tryLines();
  armRetry();
}

void PortKeeper::programmingLineLost() {
  const std::string path = lines_->programming.path();
  lines_->programming.close();
  display_.lamp(false);
  programmingProblem_ =
      port_problem_line(ui_text_or("m_port_hung", "Hung up"), path,
                        ui_text_or("m_port_hangup", "The programming port is no longer read"), std::string());
  display_.tell(programmingProblem_);
  armRetry();
}

// Closed, or open under a name other than the one applied last.
bool PortKeeper::programmingWanted() const {
  const SerialPort& port = lines_->programming;
  return !port.is_open() || port.path() != port_device_path(programmingName_);
}

bool PortKeeper::controlWanted() const { return controlNumber_ > 0 && !lines_->control.is_open(); }

// When both lines change at once, the status line keeps the programming
// port's news; the control line's goes to the trace.
void PortKeeper::tryLines() {
  bool told = false;
  if (programmingWanted() && lines_->use.mayReopenProgrammingPort()) told = openProgramming(false);
  if (controlWanted() && lines_->use.mayReopenControlLine()) openControl(told);
}

// Start-up traces the name and the open as it always has; a retry says only
// what changed. The old line is closed first: an adapter that came back under
// the same name is a new device.
bool PortKeeper::openProgramming(bool at_start) {
  int error_number = 0;
  OpenResult result;
  if (at_start) {
    trace("(%s)\n", programmingName_.c_str());
    result = open_com(lines_->programming, programmingName_, &error_number);
  } else {
    result = open_programming_line(lines_->programming, programmingName_, &error_number);
  }
  display_.lamp(result == kOpened);
  FXString problem;
  if (result != kOpened)
    problem = port_problem_text("m_port_open", "The programming port did not open", programmingName_, result,
                                error_number);
  const bool changed = problem != programmingProblem_ || (result == kOpened && !at_start);
  programmingProblem_ = problem;
  if (!changed || (result == kOpened && at_start)) return false;
  display_.tell(result == kOpened
                    ? line_text("m_port_opened", "The programming port is open", programmingName_)
                    : programmingProblem_);
  return true;
}

void PortKeeper::openControl(bool status_taken) {
  int error_number = 0;
  const std::string name = control_name(controlNumber_);
  const OpenResult result = open_control_line(lines_->control, name, &error_number);
  FXString problem;
  if (result != kOpened)
    problem = port_problem_text("m_ctrl_open", "The control line did not open", name, result, error_number);
  if (problem == controlProblem_) return;
  controlProblem_ = problem;
  const FXString text =
      result == kOpened ? line_text("m_ctrl_opened", "The control line is open", name) : problem;
  // The programming port's problem or news keeps the status bar.
  if (lines_->programming.is_open() && !status_taken)
    display_.tell(text);
  else
    trace("%s\n", text.text());
}

void PortKeeper::armRetry() {
  if (!app_ || (!programmingWanted() && !controlWanted())) return;
  if (!retryArmed()) app_->addTimeout(this, ID_RETRY, kPortRetryMs);
}

long PortKeeper::onRetry(FXObject*, FXSelector, void*) {
  tryLines();
  armRetry();
  return 0;  // nothing for the GUI update pass to look at unless a line changed
}

long PortKeeper::onLampClicked(FXObject*, FXSelector, void*) {
  if (!programmingWanted() || !lines_->use.mayReopenProgrammingPort()) return 1;
  openProgramming(false);
  armRetry();
  return 1;
}

}  // namespace tv
