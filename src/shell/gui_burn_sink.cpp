#include "shell/gui_burn_sink.h"

#include <utility>

#include "shell/burn_log_text.h"

namespace tv {

GuiBurnSink::GuiBurnSink(Handlers handlers, UiQueue& queue) : handlers_(std::move(handlers)), queue_(queue) {}

// The handlers are copied into each closure: the sink belongs to the worker
// and may be gone by the time the GUI thread drains the queue. The line is
// put into the window's language there, where the catalogue is read.
void GuiBurnSink::log(const std::string& text, int style) {
  if (!handlers_.log) return;
  queue_.post([handler = handlers_.log, text, style] { handler(window_language_line(text), style); });
}

void GuiBurnSink::progress(int percent) {
  if (!handlers_.progress) return;
  queue_.post([handler = handlers_.progress, percent] { handler(percent); });
}

void GuiBurnSink::done(bool ok) {
  if (!handlers_.done) return;
  queue_.post([handler = handlers_.done, ok] { handler(ok); });
}

void GuiBurnSink::line_lost() {
  if (!handlers_.line_lost) return;
  queue_.post([handler = handlers_.line_lost] { handler(); });
}

void GuiBurnSink::stage_begun(Section stage) {
  if (!handlers_.stage_begun) return;
  queue_.post([handler = handlers_.stage_begun, stage] { handler(stage); });
}

void GuiBurnSink::waiting(Section next, int seconds) {
  if (!handlers_.waiting) return;
  queue_.post([handler = handlers_.waiting, next, seconds] { handler(next, seconds); });
}

void GuiBurnSink::stopped_at(Section stage, int address) {
  if (!handlers_.stopped_at) return;
  queue_.post([handler = handlers_.stopped_at, stage, address] { handler(stage, address); });
}

}  // namespace tv
