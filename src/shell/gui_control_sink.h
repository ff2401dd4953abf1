// The control exchange's sink on the GUI side: progress goes through the UI
// queue to the window's progress bar, in order with everything else the
// worker posts; the key that cuts a query's wake-up short is read from the
// terminal the program was started from, as the box's engineers always had it.
#pragma once

#include <functional>

#include "link/control_frame.h"

namespace tv {

class GuiControlSink : public ControlSink {
 public:
  // `show_progress` runs on the GUI thread.
  explicit GuiControlSink(std::function<void(int percent)> show_progress)
      : showProgress_(std::move(show_progress)) {}

  void progress(int percent) override;
  int key() override;

 private:
  std::function<void(int percent)> showProgress_;
};

// A key typed on the terminal the program was started from; 0 when none (or
// when standard input is not a terminal). Never blocks.
int terminal_key();

}  // namespace tv
