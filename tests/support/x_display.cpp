#include "support/x_display.h"

#include <X11/Xlib.h>

#include "base/clock.h"

namespace testsupport {
namespace {
Display* probe = nullptr;
}

bool display_answers(int timeout_ms) {
  tv::Deadline deadline(timeout_ms);
  while (!probe) {
    probe = XOpenDisplay(nullptr);
    if (probe) break;
    if (deadline.expired()) return false;
    tv::sleep_ms(100);
  }
  return true;
}

void release_display_probe() {
  if (probe) XCloseDisplay(probe);
  probe = nullptr;
}

}  // namespace testsupport
