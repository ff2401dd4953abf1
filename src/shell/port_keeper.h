// Keeps the window's two lines open, each by the rule of LineKeeper: the
// first box's programming line and the control line (2400 8E2). Start-up
// opens them once; from then on a line that is closed is tried again every
// 2 s, quietly, and at once on a click of its lamp; Save applies a changed
// programming port at once, closing the old one. A line is never reopened
// while a job runs on it (PortUse). When both lines have news, the status
// line keeps the programming port's; the control line's goes to its own lamp
// and the trace.
#pragma once

#include <fox-1.6/fx.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "link/serial_port.h"
#include "shell/line_keeper.h"

namespace tv {

struct BoxLines;

class PortKeeper {
 public:
  // What the window shows of the lines.
  struct Display {
    std::function<void(bool open)> lamp;                        // the programming port's lamp
    std::function<void(bool open)> controlLamp;                 // the control line's lamp
    std::function<void(const FX::FXString& text)> tell;         // status line, lamp tip and trace
    std::function<void(const FX::FXString& text)> tellControl;  // the control lamp's tip
  };

  // `programming_name`: the port the programming line is meant to be on.
  PortKeeper(FX::FXApp* app, BoxLines& lines, const std::string& programming_name, Display display);

  // Start-up, when the window is shown: opens the programming port under
  // `name`, and takes the control line COM<control_number> as start-up
  // left it (`control_result` and `control_error` of its open).
  void openAtStart(const std::string& name, int control_number, OpenResult control_result, int control_error);

  // Save: `name` is the programming port from now on. Both lines are tried
  // at once when they are closed or named anew (and free).
  void apply(const std::string& name);

  // The programming line failed under the window: closed, and tried again.
  void programmingLineLost();

  // The programming port's name as last applied (not the field being edited).
  const std::string& programmingName() const { return programming_->name(); }
  // Why a line is closed, in the user's language; empty while it is open.
  const FX::FXString& programmingProblem() const { return programming_->problem(); }
  const FX::FXString& controlProblem() const { return control_->problem(); }
  // Whether a retry of either line is waiting for its tick.
  bool retryArmed() const { return programming_->retryArmed() || control_->retryArmed(); }

  LineKeeper& programming() { return *programming_; }
  LineKeeper& control() { return *control_; }

 private:
  void tellControl(const FX::FXString& text);
  // After the programming line opened: keeps what its adapter adds to each
  // answer on the line, and returns the warning a slow latency timer is
  // worth, once per device (empty otherwise).
  FX::FXString takeAdapterLatency();

  BoxLines& lines_;
  Display display_;
  std::unique_ptr<LineKeeper> programming_;
  std::unique_ptr<LineKeeper> control_;
  int64_t programmingToldMs_ = -1000000;  // when the status line last had the programming port's news
  FX::FXString latencyNote_;              // told with the programming port's next news
  std::set<std::string> latencyWarned_;   // devices whose latency timer was warned of
};

}  // namespace tv
