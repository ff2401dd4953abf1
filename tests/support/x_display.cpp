#include "support/x_display.h"

#include <X11/Xlib.h>

#include "link/clock.h"

namespace testsupport {

bool display_answers(int timeout_ms) {
  tv::Deadline deadline(timeout_ms);
  for (;;) {
    if (Display* display = XOpenDisplay(nullptr)) {
      XCloseDisplay(display);
      return true;
    }
    if (deadline.expired()) return false;
    tv::sleep_ms(100);
  }
}

}  // namespace testsupport
