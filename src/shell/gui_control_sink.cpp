#include "shell/gui_control_sink.h"

#include <poll.h>
#include <unistd.h>

#include "shell/ui_queue.h"

namespace tv {

void GuiControlSink::progress(int percent) {
  auto show = showProgress_;
  ui_queue().post([show, percent] {
    if (show) show(percent);
  });
}

int GuiControlSink::key() { return terminal_key(); }

int terminal_key() {
  if (!isatty(STDIN_FILENO)) return 0;
  pollfd waiting{STDIN_FILENO, POLLIN, 0};
  if (::poll(&waiting, 1, 0) <= 0 || !(waiting.revents & POLLIN)) return 0;
  unsigned char key = 0;
  return ::read(STDIN_FILENO, &key, 1) == 1 ? key : 0;
}

}  // namespace tv
