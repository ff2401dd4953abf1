#include "support/wait_for.h"

#include "base/clock.h"

namespace testsupport {

bool wait_for(const std::function<bool()>& condition, int timeout_ms) {
  tv::Deadline deadline(timeout_ms);
  while (!condition()) {
    if (deadline.expired()) return condition();
    tv::sleep_ms(2);
  }
  return true;
}

}  // namespace testsupport
