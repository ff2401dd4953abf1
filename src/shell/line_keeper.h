// The one rule for keeping a serial line open, whatever is on it: the first
// box's programming line, every other box's line of the burn station, and
// the control line. A line that is closed (it never opened, it hung up, or
// its adapter went away) is tried again every 2 s, quietly: the display
// hears of a change (open, or a new reason), not of every try. A click on
// the line's lamp tries at once. A line is never reopened while a job runs
// on it: the try waits for the next tick after the job's end.
#pragma once

#include <fox-1.6/fx.h>

#include <functional>
#include <string>

#include "link/serial_port.h"

namespace tv {

// Every how many milliseconds a closed line is tried again.
constexpr FX::FXuint kPortRetryMs = 2000;

class LineKeeper : public FX::FXObject {
  FXDECLARE(LineKeeper)

 public:
  enum { ID_RETRY = 1, ID_LAMP, ID_WATCH };

  // What the line is and how it opens.
  struct Line {
    SerialPort* port = nullptr;
    // Opens the port under a name (open_programming_line, open_control_line).
    std::function<OpenResult(SerialPort&, const std::string& name, int* error_number)> open;
    // Nothing runs on the line now, so it may be closed and opened again.
    std::function<bool()> may_reopen;
    // "The programming port did not open", "The programming port is open".
    const char* failed_key;
    const char* failed_english;
    const char* opened_key;
    const char* opened_english;
    // A line nobody reads while it is idle (the control line, a box's line
    // between jobs) is watched every 2 s for a hang-up, so that a pulled
    // adapter is noticed and taken up again when it is back; `hangup_what`
    // names the line in that news. Null: a reader of its own notices.
    const char* hangup_key = nullptr;
    const char* hangup_english = nullptr;
  };
  // What is shown of the line: its lamp, and news of it (status line, tip, trace).
  struct Display {
    std::function<void(bool open)> lamp;
    std::function<void(const FX::FXString& text)> tell;
  };

  LineKeeper(FX::FXApp* app, Line line, Display display);
  ~LineKeeper();

  // The port the line is meant to be on; an empty name wants no line.
  void setName(const std::string& name) { name_ = name; }
  const std::string& name() const { return name_; }

  // Closed, or open under a name other than the one set last.
  bool wanted() const;
  // Tries the line now when it is wanted and free; true when what is shown
  // of it changed (it opened, or the reason it is closed is a new one).
  // `tell_open`: whether an open that was no news is said all the same.
  bool tryNow();
  // Takes the result of an open made elsewhere (start-up's): what is shown
  // follows it, and a retry is armed when it failed.
  void tookOpen(OpenResult result, int error_number, bool tell);
  // The line failed under its user: closed, lamp black, `problem` said
  // once, tried again.
  void lineLost(const FX::FXString& problem);
  // Arms the 2 s retry when the line is wanted.
  void armRetry();
  bool retryArmed() const;

  // Why the line is closed, in the user's language; empty while it is open.
  const FX::FXString& problem() const { return problem_; }
  SerialPort& port() { return *line_.port; }

  long onRetry(FX::FXObject*, FX::FXSelector, void*);
  long onLampClicked(FX::FXObject*, FX::FXSelector, void*);
  long onWatch(FX::FXObject*, FX::FXSelector, void*);

 private:
  LineKeeper() {}
  bool show(OpenResult result, int error_number, bool tell_open);
  void armWatch();

  FX::FXApp* app_ = nullptr;
  Line line_;
  Display display_;
  std::string name_;
  FX::FXString problem_;
};

// "<Reason>: <device>. <what> (<name>)." for a line that did not open, in the
// user's language; `open_result` and `error_number` as the open left them.
FX::FXString port_problem_text(const char* what_key, const char* what_english, const std::string& name,
                               OpenResult open_result, int error_number);

// The line's device is gone (a pulled adapter, a closed pseudo-terminal):
// asked without reading, so nothing the box sent is taken from its reader.
bool line_hung_up(const SerialPort& line);

// "<what> <name> (<device>)", in the user's language.
FX::FXString line_text(const char* what_key, const char* what_english, const std::string& name);

}  // namespace tv
