#include "shell/line_keeper.h"

#include <poll.h>

#include "base/trace.h"
#include "link/port_problem.h"
#include "link/ports.h"
#include "shell/window_parts.h"

using namespace FX;

namespace tv {

// clang-format off
FXDEFMAP(LineKeeper) LineKeeperMap[] = {
  FXMAPFUNC(SEL_TIMEOUT, LineKeeper::ID_RETRY, LineKeeper::onRetry),
  FXMAPFUNC(SEL_COMMAND, LineKeeper::ID_LAMP,  LineKeeper::onLampClicked),
  FXMAPFUNC(SEL_TIMEOUT, LineKeeper::ID_WATCH, LineKeeper::onWatch),
};
// clang-format on
FXIMPLEMENT(LineKeeper, FXObject, LineKeeperMap, ARRAYNUMBER(LineKeeperMap))

FXString line_text(const char* what_key, const char* what_english, const std::string& name) {
  FXString text = ui_text_or(what_key, what_english);
  text += FXStringFormat(" %s (%s)", name.c_str(), port_device_path(name).c_str());
  return text;
}

// A failure the system gave no named reason for carries the system's own words.
FXString port_problem_text(const char* what_key, const char* what_english, const std::string& name,
                           OpenResult open_result, int error_number) {
  const std::string device = port_device_path(name);
  const PortProblem problem = diagnose_port(device, open_result, error_number);
  FXString cause = ui_text_or(port_problem_key(problem), port_problem_english(problem));
  const std::string holders = problem == PortProblem::Busy ? port_holders(device) : "";
  if (!holders.empty()) cause = ui_text_or("m_port_held_by", "Busy: held by") + " " + holders.c_str();
  const std::string detail = port_problem_detail(problem, error_number);
  if (!detail.empty()) {
    const FXint colon = cause.find(": ");
    if (colon >= 0) cause.trunc(colon);
    cause += FXString(": ") + detail.c_str();
  }
  return port_problem_line(cause, device, ui_text_or(what_key, what_english), name);
}

bool line_hung_up(const SerialPort& line) {
  if (!line.is_open()) return false;
  pollfd watched{line.fd(), POLLIN, 0};
  return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

LineKeeper::LineKeeper(FXApp* app, Line line, Display display)
    : app_(app), line_(std::move(line)), display_(std::move(display)) {
  armWatch();
}

LineKeeper::~LineKeeper() {
  if (!app_) return;
  app_->removeTimeout(this, ID_RETRY);
  app_->removeTimeout(this, ID_WATCH);
}

void LineKeeper::armWatch() {
  if (app_ && line_.hangup_key && !app_->hasTimeout(this, ID_WATCH))
    app_->addTimeout(this, ID_WATCH, kPortRetryMs);
}

// Only while nothing runs on the line: a job notices a hang-up itself, and
// its end hands the line back here.
long LineKeeper::onWatch(FXObject*, FXSelector, void*) {
  armWatch();
  if ((line_.may_reopen && !line_.may_reopen()) || !line_hung_up(*line_.port)) return 0;
  const std::string path = line_.port->path();
  lineLost(port_problem_line(ui_text_or("m_port_hung", "Hung up"), path,
                             ui_text_or(line_.hangup_key, line_.hangup_english), name_));
  return 1;
}

bool LineKeeper::wanted() const {
  if (name_.empty()) return false;
  const SerialPort& port = *line_.port;
  return !port.is_open() || port.path() != port_device_path(name_);
}

bool LineKeeper::retryArmed() const {
  return app_ && app_->hasTimeout(const_cast<LineKeeper*>(this), ID_RETRY);
}

void LineKeeper::armRetry() {
  if (app_ && wanted() && !retryArmed()) app_->addTimeout(this, ID_RETRY, kPortRetryMs);
}

// The old line is closed first by the open: an adapter that came back under
// the same name is a new device.
bool LineKeeper::tryNow() {
  if (!wanted() || (line_.may_reopen && !line_.may_reopen())) return false;
  int error_number = 0;
  const OpenResult result = line_.open(*line_.port, name_, &error_number);
  return show(result, error_number, true);
}

void LineKeeper::tookOpen(OpenResult result, int error_number, bool tell) {
  show(result, error_number, false);
  if (tell && result != kOpened) display_.tell(problem_);
  armRetry();
}

bool LineKeeper::show(OpenResult result, int error_number, bool tell) {
  if (display_.lamp) display_.lamp(result == kOpened);
  FXString problem;
  if (result != kOpened)
    problem = port_problem_text(line_.failed_key, line_.failed_english, name_, result, error_number);
  const bool changed = problem != problem_ || result == kOpened;
  problem_ = problem;
  if (!changed || !tell) return changed;
  if (display_.tell)
    display_.tell(result == kOpened ? line_text(line_.opened_key, line_.opened_english, name_) : problem_);
  return true;
}

void LineKeeper::lineLost(const FXString& problem) {
  line_.port->close();
  if (display_.lamp) display_.lamp(false);
  problem_ = problem;
  if (display_.tell) display_.tell(problem_);
  armRetry();
}

// A try that changed what the window shows says so, so that FOX runs its
// update pass (the status line follows at once, not at the next mouse move);
// a quiet try says nothing, or the 2 s tick would repaint everything.
long LineKeeper::onRetry(FXObject*, FXSelector, void*) {
  const bool changed = tryNow();
  armRetry();
  return changed ? 1 : 0;
}

long LineKeeper::onLampClicked(FXObject*, FXSelector, void*) {
  tryNow();
  armRetry();
  return 1;
}

}  // namespace tv
