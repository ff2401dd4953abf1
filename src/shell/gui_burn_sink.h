// The burn engine's sink on the GUI side. The engine calls it on its worker
// thread; every call becomes a closure on the UI queue, so the GUI thread sees
// log lines, progress values and the end in exactly the order the worker
// reported them, and the worker never touches a widget.
#pragma once

#include <functional>
#include <string>

#include "burn/burn_sink.h"
#include "shell/ui_queue.h"

namespace tv {

class GuiBurnSink : public BurnSink {
 public:
  // What the GUI thread does with each report.
  struct Handlers {
    std::function<void(const std::string& text, int style)> log;
    std::function<void(int percent)> progress;
    std::function<void(bool ok)> done;
    std::function<void()> line_lost;
    std::function<void(Section stage)> stage_begun;
    std::function<void(Section next, int seconds)> waiting;
    std::function<void(Section stage, int address)> stopped_at;
  };

  explicit GuiBurnSink(Handlers handlers, UiQueue& queue = ui_queue());

  void log(const std::string& text, int style) override;
  void progress(int percent) override;
  void done(bool ok) override;
  void line_lost() override;
  void stage_begun(Section stage) override;
  void waiting(Section next, int seconds) override;
  void stopped_at(Section stage, int address) override;

 private:
  Handlers handlers_;
  UiQueue& queue_;
};

}  // namespace tv
