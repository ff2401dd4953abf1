// Keeps the window's two lines open. Start-up opens them once; from then on a
// line that is closed (it never opened, or it hung up) is tried again every
// 2 s, quietly: the status line and the trace hear of a change (open, or a
// new reason), not of every try. A click on the port lamp tries at once; Save
// applies a changed programming port at once, closing the old one. A line is
// never reopened while a worker runs on it (PortUse): the try waits for the
// next tick after the worker's end.
#pragma once

#include <fox-1.6/fx.h>

#include <functional>
#include <string>

#include "link/serial_port.h"

namespace tv {

struct BoxLines;

// Every how many milliseconds a closed line is tried again.
constexpr FX::FXuint kPortRetryMs = 2000;

class PortKeeper : public FX::FXObject {
  FXDECLARE(PortKeeper)

 public:
  enum { ID_RETRY = 1, ID_LAMP };

  // What the window shows of the lines.
  struct Display {
    std::function<void(bool open)> lamp;                 // the programming port's lamp
    std::function<void(const FX::FXString& text)> tell;  // status line, lamp tip and trace
  };

  // `programming_name`: the port the programming line is meant to be on.
  PortKeeper(FX::FXApp* app, BoxLines& lines, const std::string& programming_name, Display display);
  ~PortKeeper();

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
  const std::string& programmingName() const { return programmingName_; }
  // Why a line is closed, in the user's language; empty while it is open.
  const FX::FXString& programmingProblem() const { return programmingProblem_; }
  const FX::FXString& controlProblem() const { return controlProblem_; }
  // Whether a retry is waiting for its tick.
  bool retryArmed() const;

  long onRetry(FX::FXObject*, FX::FXSelector, void*);
  long onLampClicked(FX::FXObject*, FX::FXSelector, void*);

 private:
  PortKeeper() : lines_(nullptr) {}
  bool programmingWanted() const;
  bool controlWanted() const;
  void tryLines();
  // Each says what changed; true when the status line was told.
  bool openProgramming(bool at_start);
  void openControl(bool status_taken);
  void armRetry();

  FX::FXApp* app_ = nullptr;
  BoxLines* lines_;
  Display display_;
  std::string programmingName_;
  int controlNumber_ = 0;
  FX::FXString programmingProblem_;
  FX::FXString controlProblem_;
};

// "<what> <name> (<device>): <why>" for a line that did not open, in the
// user's language; `open_result` and `error_number` as the open left them.
FX::FXString port_problem_text(const char* what_key, const char* what_english, const std::string& name,
                               OpenResult open_result, int error_number);

}  // namespace tv
